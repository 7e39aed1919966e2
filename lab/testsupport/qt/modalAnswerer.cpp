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
    : m_answer(answer)
    , m_others(others)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::Poll);
    m_timer.start(PollMs);
}

void ModalAnswerer::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == m_last)
        return;
    m_last = modal;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        texts.append(box->text());
        captions.append(box->windowTitle());
        icons.append(box->icon());
        if (atBox)
            atBox(box);
        const QMessageBox::StandardButton answer = answers.isEmpty() ? m_answer : answers.takeFirst();
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
    dialogClasses.append(QString::fromLatin1(modal->metaObject()->className()));
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        frames.append(dialog->frameGeometry());
        ownerFrames.append(dialog->parentWidget() ? dialog->parentWidget()->window()->frameGeometry() : QRect());
        const Handler handler = dialogs.isEmpty() ? Handler() : dialogs.takeFirst();
        const bool accept = m_others == OtherDialogs::Accept;
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
