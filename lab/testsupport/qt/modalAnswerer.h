#pragma once
// The one answerer of modal boxes and dialogs for window tests. It polls the
// application's active modal widget, so the real QMessageBox or dialog runs
// its real event loop, answers it, and keeps what it saw.
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace twltest {

class ModalAnswerer : public QObject {
public:
    // A dialog handler gets the dialog; it returns true when it closed it.
    using Handler = std::function<bool(QWidget*)>;
    enum class OtherDialogs { Reject, Accept };

    explicit ModalAnswerer(
        QMessageBox::StandardButton answer = QMessageBox::NoButton, OtherDialogs others = OtherDialogs::Reject);

    // Message boxes are answered with the next queued button, else the
    // constructor's answer, else Yes or OK, else their first button. Cancel
    // queued for a box without it stands for its close box;
    // QMessageBox::Escape for the Escape key.
    QList<QMessageBox::StandardButton> answers;
    QStringList texts; // each box's text
    QStringList captions; // each box's title
    QList<QMessageBox::Icon> icons;
    // Runs when a box is seen, before it is answered (while it is up).
    std::function<void(QMessageBox*)> atBox;

    // Any other modal dialog: the next handler, else accepted or rejected as
    // constructed.
    QList<Handler> dialogs;
    QStringList dialogClasses;
    QList<QRect> frames; // each dialog's frame when it was answered
    QList<QRect> ownerFrames; // its owner window's frame

private:
    void Poll();

    QMessageBox::StandardButton m_answer;
    OtherDialogs m_others;
    QTimer m_timer;
    QPointer<QWidget> m_last;
};

} // namespace twltest
