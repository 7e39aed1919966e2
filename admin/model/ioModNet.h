#pragma once
// A module reached over Ethernet: its requests travel over its first
// connection, a request that finally fails closes the connections, and the
// next request opens them again.
#include "admin/model/ioMod.h"

class TIOClientSocket;

class TIOModNet : public TIOMod {
public:
    TIOModNet(int32_t unitId, int32_t modelIndex, uint32_t channelKinds);

    void SetAddress(const QString& address) override;
    // The Modbus/TCP transaction on Connections[0]. Refused (-1, nothing
    // sent) while another request of this module waits.
    int ModbusRequest(uint32_t functionCode, uint32_t number, uint16_t countOrValue, const uint8_t* data,
        uint8_t* reply, bool expectReply, int timeout, bool retry) override;
    void SetOnline(bool online) override;
    // Slots 12 to 14.
    virtual void CloseConnections();
    virtual void Reserved13();
    virtual void Reserved14(const QString& text);

    // Only the first slot is ever filled, and only by TIOModRemoteE, which
    // owns and deletes it.
    TIOClientSocket* Connections[4] = {};

protected:
    // Keeps RequestPending set for as long as any guard lives, so that a
    // command can hold the module across the message boxes that follow its
    // request.
    class TPendingGuard {
    public:
        explicit TPendingGuard(TIOModNet* module);
        ~TPendingGuard();
        TPendingGuard(const TPendingGuard&) = delete;
        TPendingGuard& operator=(const TPendingGuard&) = delete;

    private:
        TIOModNet* Module;
    };

private:
    int m_pendingDepth = 0;
    bool m_inRequest = false;
};
