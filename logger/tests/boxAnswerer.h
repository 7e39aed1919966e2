#pragma once
// Answers the modal boxes and dialogs a window opens in a test, and keeps
// what they said. Polls the application's active modal widget, so the real
// QMessageBox runs its real event loop.
#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

class TBoxAnswerer : public QObject {
public:
    // A handler gets the modal widget; it returns true when it closed it.
    using THandler = std::function<bool(QWidget*)>;

    TBoxAnswerer()
    {
        connect(&timer_, &QTimer::timeout, this, &TBoxAnswerer::Poll);
        timer_.start(5);
    }

    // Message boxes: the text is kept, then the box is answered with the
    // next queued button, or Yes/OK when none is queued. Cancel queued for a
    // box without it stands for its close box; Escape for the Escape key.
    QStringList Texts;
    QStringList Captions;
    QList<QMessageBox::StandardButton> Answers;
    // Any other modal dialog: handlers in order; one with none is rejected.
    QList<THandler> Dialogs;
    QStringList DialogClasses;

private:
    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == last_)
            return;
        last_ = modal;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Texts.append(box->text());
            Captions.append(box->windowTitle());
            QMessageBox::StandardButton answer = Answers.isEmpty() ? QMessageBox::NoButton : Answers.takeFirst();
            if (answer == QMessageBox::StandardButton(QMessageBox::Escape)) {
                QTimer::singleShot(0, box, [box] {
                    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QApplication::sendEvent(box, &press);
                });
                return;
            }
            if (answer == QMessageBox::Cancel && !box->button(QMessageBox::Cancel)) {
                QTimer::singleShot(0, box, &QWidget::close);
                return;
            }
            QAbstractButton* button = answer != QMessageBox::NoButton ? box->button(answer) : nullptr;
            if (!button)
                button = box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes) : box->button(QMessageBox::Ok);
            // Clicked from a fresh event: the click may open the next box,
            // whose own loop needs this poll free to run again.
            QTimer::singleShot(0, button, &QAbstractButton::click);
            return;
        }
        DialogClasses.append(QString::fromLatin1(modal->metaObject()->className()));
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            THandler handler = Dialogs.isEmpty() ? THandler() : Dialogs.takeFirst();
            QTimer::singleShot(0, dialog, [dialog, handler] {
                if (!handler || !handler(dialog))
                    dialog->reject();
            });
        }
    }

    QTimer timer_;
    QPointer<QWidget> last_;
};
