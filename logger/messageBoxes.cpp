#include "logger/messageBoxes.h"

#include <QCloseEvent>
#include <QMessageBox>

void ShowMessageBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

namespace {
// QMessageBox would take its close box for the Escape button.
class TConfirmBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    bool closedByBox = false;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        closedByBox = true;
        event->accept();
        done(QMessageBox::Cancel);
    }
};
} // namespace

TAnswer ShowConfirmBox(QWidget* parent, const QString& text)
{
    TConfirmBox box(QMessageBox::Question, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    const int answer = box.exec();
    if (box.closedByBox)
        return TAnswer::Closed;
    return answer == QMessageBox::Yes ? TAnswer::Yes : TAnswer::No;
}

void ShowErrorBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}
