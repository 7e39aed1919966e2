// TwinlaneAdmin: finds the Twinlane servers on the local networks, lists
// them in a tree and opens each one's web console and maintenance commands.
#include "admin/maintenance/installQ6120Factory.h"
#include "admin/maintenance/webProfile.h"
#include "admin/shell/adminApplication.h"
#include "admin/shell/frmMain.h"
#include "admin/shell/shellStartup.h"
#include "common/singleInstance.h"

#include <QMessageBox>
#include <exception>

int main(int argc, char** argv)
{
    // Before anything is created or written.
    if (const QString refusal = TAdminApplication::RootRefusal(); !refusal.isEmpty())
        return TAdminApplication::Refuse(refusal, argc, argv);
    // Must come before the application object: the web engine reads it then.
    PrepareWebEngine();
    TAdminApplication app(argc, argv);
    TSingleInstance instance(QStringLiteral("TwinlaneAdmin"));
    if (!instance.Acquire()) {
        if (instance.State() == TSingleInstance::TState::Failed) {
            QMessageBox::critical(nullptr, QStringLiteral("TwinlaneAdmin"), instance.ErrorText());
            return 1;
        }
        // Another copy runs: ask it to come forward, and end either way.
        instance.NotifyRunning();
        return 0;
    }
    if (!BindDiscoveryLibrary())
        return ExitNoDiscoveryLibrary;
    try {
        QApplication::setApplicationName(QStringLiteral("KORVEL TwinlaneAdmin"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.png")));
        InstallQ6120Factory();
        TfmMain window;
        QObject::connect(&instance, &TSingleInstance::activationRequested, &window,
            [&window] { TSingleInstance::BringForward(&window); });
        window.show();
        window.activateWindow();
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("TwinlaneAdmin"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("TwinlaneAdmin"), QStringLiteral("Unknown error"));
    }
    return 0;
}
