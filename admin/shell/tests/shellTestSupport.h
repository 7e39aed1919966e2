#pragma once
// Shared by the window tests: a lab network namespace for the whole test
// process, and an answerer for modal boxes and dialogs.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QTimer>

#include "labNet.h"

#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <unistd.h>

// Set by main: the process entered the host namespace of a lab of its own,
// which goes away with it. Everything the window reads or writes of
// interfaces and routes, and every search it makes, then stays inside.
inline bool& InPrivateNetns()
{
    static bool inside = false;
    return inside;
}

// The lab whose host namespace the test process lives in, and that
// namespace's name.
inline std::unique_ptr<lab::LabNet>& TestLab()
{
    static std::unique_ptr<lab::LabNet> net;
    return net;
}
inline std::string& TestHostNamespace()
{
    static std::string name;
    return name;
}

// Moves the process into a new lab host namespace. Called first in main,
// while the process has one thread: threads made later inherit it.
inline bool EnterLabHost()
{
    if (!lab::UnavailableReason().empty())
        return false;
    TestLab() = std::make_unique<lab::LabNet>();
    TestHostNamespace() = TestLab()->AddNamespace("host");
    if (TestHostNamespace().empty())
        return false;
    const int fd = ::open(("/run/netns/" + TestHostNamespace()).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool entered = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return entered && lab::InLabNamespace();
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
        InPrivateNetns() = EnterLabHost();                                                                             \
        int result = 0;                                                                                                \
        {                                                                                                              \
            QApplication app(argc, argv);                                                                              \
            TestObject tc;                                                                                             \
            QTEST_SET_MAIN_SOURCE_PATH                                                                                 \
            result = QTest::qExec(&tc, argc, argv);                                                                    \
        }                                                                                                              \
        TestLab().reset();                                                                                             \
        return result;                                                                                                 \
    }
