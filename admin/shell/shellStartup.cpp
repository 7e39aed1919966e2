#include "admin/shell/shellStartup.h"

#include "admin/discovery/devscanBinding.h"

#include <QCoreApplication>
#include <QMessageBox>

bool BindDiscoveryLibrary()
{
    if (BindDevscan(QCoreApplication::applicationDirPath()) == dbOk)
        return true;
    QMessageBox::critical(nullptr, QStringLiteral("TwinlaneAdmin"), DevscanBindErrorText());
    return false;
}
