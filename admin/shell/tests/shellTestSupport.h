#pragma once
// Shared by the window tests: a private network namespace for the whole
// test process, and an answerer for modal boxes and dialogs.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QTimer>

#include <sched.h>

// Set by main: the process entered a network namespace of its own, which
// goes away with it. Everything the window reads or writes of interfaces
// and routes then stays inside.
inline bool& InPrivateNetns()
{
    static bool inside = false;
    return inside;
}

// Answers every modal box or dialog that opens while it lives: a message
// box with the given button (or its only one), any other dialog with
// accept(). Records what it saw.
class TModalAnswerer : public QObject {
public:
    explicit TModalAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok)
        : answer_(answer)
    {
        connect(&timer_, &QTimer::timeout, this, &TModalAnswerer::Poll);
        timer_.start(10);
    }
    QStringList Texts; // message box texts, dialog class names
    QList<QMessageBox::Icon> Icons;
    QList<QRect> Frames; // frame of each dialog when it was answered
    QList<QRect> OwnerFrames; // frame of its owner window

private:
    void Poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == last_)
            return;
        last_ = w;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            Texts << box->text();
            Icons << box->icon();
            QAbstractButton* b = box->button(answer_);
            if (!b && !box->buttons().isEmpty())
                b = box->buttons().first();
            if (b)
                b->click();
            return;
        }
        if (auto* d = qobject_cast<QDialog*>(w)) {
            Texts << QString::fromLatin1(d->metaObject()->className());
            Frames << d->frameGeometry();
            OwnerFrames << (d->parentWidget() ? d->parentWidget()->window()->frameGeometry() : QRect());
            d->accept();
        }
    }
    QMessageBox::StandardButton answer_;
    QTimer timer_;
    QPointer<QWidget> last_;
};

#define TWL_NETNS_QTEST_MAIN(TestObject)                                                                               \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        InPrivateNetns() = ::unshare(CLONE_NEWNET) == 0;                                                               \
        QApplication app(argc, argv);                                                                                  \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
