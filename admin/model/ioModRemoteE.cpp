#include "admin/model/ioModRemoteE.h"

#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioModbus.h"
#include "admin/comm/modbusCodes.h"
#include "admin/model/frmWait.h"
#include "admin/model/ioAppGlobals.h"
#include "common/busyCursor.h"
#include "common/latin1.h"

#include <QAction>
#include <QMessageBox>

namespace {

// One binding of the two menu items at a time, for the whole program.
struct TMenuBinding {
    TIOModRemoteE* Module = nullptr;
    QMetaObject::Connection Restart;
    QMetaObject::Connection Reset;
};

TMenuBinding& MenuBinding()
{
    static TMenuBinding binding;
    return binding;
}

void ClearMenuBinding()
{
    TMenuBinding& b = MenuBinding();
    QObject::disconnect(b.Restart);
    QObject::disconnect(b.Reset);
    b = TMenuBinding {};
}

void ShowMessage(const QString& text)
{
    QMessageBox box(
        QMessageBox::NoIcon, QStringLiteral("TwinlaneAdmin"), text, QMessageBox::Ok, MainWindowLinks.window);
    box.exec();
}

} // namespace

TIOModRemoteE::TIOModRemoteE(int32_t unitId, int32_t modelIndex, uint32_t channelKinds)
    : TIOModNet(unitId, modelIndex, channelKinds)
{
    TypeCode = TypeCodeRemoteEthernet;
}

TIOModRemoteE::~TIOModRemoteE()
{
    UnbindMenu();
    delete Connections[0];
    Connections[0] = nullptr;
}

void TIOModRemoteE::Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject)
{
    TIOModNet::Attach(page, hostControl, parentObject);
    if (TypeCode == TypeCodeRemoteEthernet && !Connections[0])
        Connections[0] = new TIOClientSocket;
}

void TIOModRemoteE::Detach()
{
    // A menu click after this must not reach a module on its way out.
    UnbindMenu();
    if (TypeCode == TypeCodeRemoteEthernet) {
        delete Connections[0]; // closes it if open
        Connections[0] = nullptr;
    }
    TIOModNet::Detach();
}

void TIOModRemoteE::AttachToList(QList<TIOObject*>* list, QWidget* hostControl, const QString& address)
{
    TIOModNet::AttachToList(list, hostControl, address);
    if (TypeCode == TypeCodeRemoteEthernet && Connections[0]) {
        Connections[0]->SetBlockingMode(true);
        Connections[0]->SetHost(ToWire(Address).toStdString());
        Connections[0]->SetPort(ModbusTcpPort);
    }
}

TIOModRemoteE* TIOModRemoteE::MenuModule()
{
    return MenuBinding().Module;
}

void TIOModRemoteE::UnbindMenu()
{
    if (MenuBinding().Module == this)
        ClearMenuBinding();
}

void TIOModRemoteE::PrepareMenu()
{
    TIOModNet::PrepareMenu();
    if (TypeCode != TypeCodeRemoteEthernet)
        return;
    ClearMenuBinding();
    TMenuBinding& b = MenuBinding();
    b.Module = this;
    if (QAction* restart = MainWindowLinks.muRemoteERestartModule) {
        b.Restart
            = QObject::connect(restart, &QAction::triggered, restart, [this, restart] { RestartServer(restart); });
        // While this module's request runs, a second one would only fail.
        restart->setEnabled(!requestPending);
    }
    if (QAction* reset = MainWindowLinks.muRemoteEResetModule) {
        b.Reset = QObject::connect(reset, &QAction::triggered, reset, [this, reset] { ResetServer(reset); });
        reset->setEnabled(!requestPending);
    }
}

void TIOModRemoteE::RestartServer(QObject*)
{
    RunRestart(RestartWord, QStringLiteral("I/O server restarted successfully..."),
        QStringLiteral("FAIL to restart I/O server!"));
}

void TIOModRemoteE::ResetServer(QObject*)
{
    RunRestart(
        ResetWord, QStringLiteral("I/O server reset successfully..."), QStringLiteral("FAIL to reset I/O server!"));
}

void TIOModRemoteE::Reserved17(QObject*)
{
}

void TIOModRemoteE::Reserved18(QObject*)
{
}

void TIOModRemoteE::RunRestart(uint16_t data, const QString& success, const QString& failure)
{
    // The countdown and the message run event loops of their own: the module
    // stays marked busy until the command is over, so nothing deletes it
    // under this call.
    TPendingGuard pending(this);
    bool ok = false;
    {
        TBusyCursor hourglass;
        uint8_t reply[ModbusMaxReplySize] = {};
        const int result
            = ModbusRequest(ModbusFunction::Diagnostics, RestartSubFunction, data, nullptr, reply, true, 0, true);
        if (result > 0) {
            TfmWait wait(MainWindowLinks.window);
            wait.exec();
            ok = true;
        }
    }
    ShowMessage(ok ? success : failure);
}
