#include "adminApplication.h"

#include <QMessageBox>
#include <exception>

TAdminApplication::TAdminApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TAdminApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        QMessageBox::critical(activeWindow(), QStringLiteral("TwinlaneAdmin"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(activeWindow(), QStringLiteral("TwinlaneAdmin"), QStringLiteral("Unknown error"));
    }
    return false;
}
