#pragma once
// The remote Ethernet module: one Modbus/TCP connection to port 502 of its
// server, and the two maintenance commands of the module pop-up menu.
#include "admin/model/ioModNet.h"

class QObject;

// The port of every server's Modbus/TCP service.
constexpr int ModbusTcpPort = 502;

class TIOModRemoteE : public TIOModNet {
public:
    TIOModRemoteE(int32_t unitId, int32_t modelIndex, uint32_t channelKinds);
    // Deletes a connection that was not released by Detach, and unbinds the
    // menu items if they still point here.
    ~TIOModRemoteE() override;

    void Attach(QWidget* page, QWidget* hostControl, TIOObject* parentObject) override;
    void Detach() override;
    void AttachToList(QList<TIOObject*>* list, QWidget* hostControl, const QString& address) override;
    // Binds "Restart System" and "Reset to Default" of the main window's
    // module menu to this module, replacing the binding of any module.
    void PrepareMenu() override;
    // Slots 15 to 18; menu click handlers.
    virtual void RestartServer(QObject* sender);
    virtual void ResetServer(QObject* sender);
    virtual void Reserved17(QObject* sender);
    virtual void Reserved18(QObject* sender);

    // The module the menu items are bound to, or null.
    static TIOModRemoteE* MenuModule();

private:
    void RunRestart(uint16_t data, const QString& success, const QString& failure);
    void UnbindMenu();
};
