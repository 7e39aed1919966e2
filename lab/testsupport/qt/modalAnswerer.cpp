#include "lab/testsupport/qt/modalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>

namespace twltest {

namespace {
constexpr int PollMs = 5;
}

ModalAnswerer::ModalAnswerer(QMessageBox::StandardButton answer, OtherDialogs others)
    : answer_(answer)
    , others_(others)
{
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
    timer_.start(PollMs);
}

void ModalAnswerer::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == last_)
        return;
    last_ = modal;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        Texts.append(box->text());
        Captions.append(box->windowTitle());
        Icons.append(box->icon());
        if (AtBox)
            AtBox(box);
        const QMessageBox::StandardButton answer = Answers.isEmpty() ? answer_ : Answers.takeFirst();
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
        if (!button && !box->buttons().isEmpty())
            button = box->buttons().first();
        // Clicked from a fresh event: the click may open the next box, whose
        // own loop needs this poll free to run again.
        if (button)
            QTimer::singleShot(0, button, &QAbstractButton::click);
        return;
    }
    DialogClasses.append(QString::fromLatin1(modal->metaObject()->className()));
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        Frames.append(dialog->frameGeometry());
        OwnerFrames.append(dialog->parentWidget() ? dialog->parentWidget()->window()->frameGeometry() : QRect());
        const Handler handler = Dialogs.isEmpty() ? Handler() : Dialogs.takeFirst();
        const bool accept = others_ == OtherDialogs::Accept;
        QTimer::singleShot(0, dialog, [dialog, handler, accept] {
            if (handler && handler(dialog))
                return;
            if (accept)
                dialog->accept();
            else
                dialog->reject();
        });
    }
}

} // namespace twltest
