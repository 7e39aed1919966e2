#include "admin/model/ioModNet.h"

#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/comm/ioModbus.h"
#include "common/latin1.h"

#include <span>

TIOModNet::TIOModNet(int32_t unitId, int32_t modelIndex, uint32_t channelKinds)
    : TIOMod(unitId, modelIndex, channelKinds)
{
}

TIOModNet::TPendingGuard::TPendingGuard(TIOModNet* module)
    : Module(module)
{
    ++Module->m_pendingDepth;
    Module->requestPending = true;
}

TIOModNet::TPendingGuard::~TPendingGuard()
{
    Module->requestPending = --Module->m_pendingDepth > 0;
}

void TIOModNet::SetAddress(const QString& address)
{
    TIOMod::SetAddress(address);
    // An open connection keeps its peer; the new host counts from the next open.
    for (TIOClientSocket* c : Connections)
        if (c)
            c->SetHost(ToWire(Address).toStdString());
}

int TIOModNet::ModbusRequest(uint32_t functionCode, uint32_t number, uint16_t countOrValue, const uint8_t* data,
    uint8_t* reply, bool expectReply, int timeout, bool retry)
{
    // One request at a time: a second one from an event handled during the
    // wait would share the socket with the worker.
    if (m_inRequest)
        return -1;
    const int replySize = expectReply ? ModbusReplySize(functionCode, countOrValue) : 0;
    if (replySize < 0 || (replySize > 0 && !reply))
        return -1;
    TPendingGuard pending(this);
    // Cleared on every way out, also by an error, or the module would refuse
    // every later request.
    m_inRequest = true;
    struct TClear {
        bool& flag;
        ~TClear() { flag = false; }
    } clear { m_inRequest };
    return ModbusTransaction(Connections[0], uint8_t(UnitId), functionCode, number, countOrValue, data,
        std::span<uint8_t>(reply, reply ? size_t(replySize) : 0), expectReply, timeout, retry,
        [this] { SetOnline(false); });
}

void TIOModNet::SetOnline(bool online)
{
    TIOMod::SetOnline(online);
    if (!online && !AbortRequested.load())
        CloseConnections();
}

void TIOModNet::CloseConnections()
{
    for (TIOClientSocket* c : Connections)
        if (c && c->IsOpen())
            c->Close();
}

void TIOModNet::Reserved13()
{
}

void TIOModNet::Reserved14(const QString&)
{
}
