#include "admin/comm/ioModbus.h"

#include "admin/comm/modbusCodes.h"

#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/comm/ioThreadSocketConnect.h"
#include "admin/comm/ioThreadSocketRW.h"

#include <cstring>

uint32_t RequestCounter = 0;

namespace {

void Put16(uint8_t* at, unsigned value)
{
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
}

} // namespace

TModbusCrc ModbusCrc16(const uint8_t* bytes, int length)
{
    // crcHi and crcLo are the high and low bytes of the CRC value; the
    // tables keep the serial line's names, which say where their entries go
    // in its own (byte-swapped) listing.
    uint8_t crcHi = 0xFF;
    uint8_t crcLo = 0xFF;
    for (int i = 0; i < length; ++i) {
        unsigned index = crcLo ^ bytes[i];
        crcLo = crcHi ^ ModbusCrcTableHi[index];
        crcHi = ModbusCrcTableLo[index];
    }
    return { crcHi, crcLo };
}

bool ModbusBuildRequest(uint16_t transactionId, uint8_t unitId, unsigned functionCode, unsigned number,
    uint16_t countOrValue, const uint8_t* data, TModbusFrame& frame)
{
    const unsigned count = countOrValue;
    unsigned field8 = number - 1; // bytes 8-9: zero-based address
    unsigned field10 = countOrValue;
    int dataBytes = -1; // -1: no byte count and data
    int replySize = 12;
    switch (functionCode) {
    case ModbusFunction::ReadCoils:
    case ModbusFunction::ReadDiscreteInputs:
        if (count < 1 || count > ModbusMaxReadBits)
            return false;
        replySize = 9 + int((count + 7) / 8);
        break;
    case ModbusFunction::ReadHoldingRegisters:
    case ModbusFunction::ReadInputRegisters:
        if (count < 1 || count > ModbusMaxReadRegisters)
            return false;
        replySize = 9 + 2 * int(count);
        break;
    case ModbusFunction::WriteSingleCoil:
        field10 = countOrValue ? ModbusCoilOn : 0x0000;
        break;
    case ModbusFunction::WriteSingleRegister:
        break;
    case ModbusFunction::Diagnostics:
        field8 = number; // the sub-function, as given
        break;
    case ModbusFunction::WriteMultipleCoils:
        if (count < 1 || count > ModbusMaxWriteCoils)
            return false;
        dataBytes = int((count + 7) / 8);
        break;
    case ModbusFunction::WriteMultipleRegisters:
        if (count < 1 || count > ModbusMaxWriteRegisters)
            return false;
        dataBytes = 2 * int(count);
        break;
    default:
        return false;
    }
    if (dataBytes >= 0 && !data)
        return false;

    uint8_t* f = frame.Bytes;
    Put16(f + 0, transactionId);
    Put16(f + 2, 0);
    Put16(f + 4, dataBytes >= 0 ? 7 + dataBytes : 6);
    f[6] = unitId;
    f[7] = uint8_t(functionCode);
    Put16(f + 8, field8 & 0xFFFF);
    Put16(f + 10, field10 & 0xFFFF);
    frame.Size = 12;
    if (dataBytes >= 0) {
        f[12] = uint8_t(dataBytes);
        std::memcpy(f + 13, data, dataBytes);
        frame.Size = 13 + dataBytes;
    }
    frame.ReplySize = replySize;
    return true;
}

int ModbusReplySize(unsigned functionCode, uint16_t countOrValue)
{
    static const uint8_t data[2 * ModbusMaxWriteRegisters] = {}; // the most data a request carries
    TModbusFrame frame;
    return ModbusBuildRequest(0, 0, functionCode, 1, countOrValue, data, frame) ? frame.ReplySize : -1;
}

bool ModbusIsExceptionReply(const uint8_t* reply, int received)
{
    return received >= 8 && (reply[7] & ModbusExceptionFlag);
}

void AdvanceRequestCounter()
{
    if (RequestCounter > 65535)
        RequestCounter = 0;
    else
        ++RequestCounter;
}

namespace {
thread_local TModbusError LastError = meOk;
}

TModbusError ModbusLastError()
{
    return LastError;
}

const char* ModbusErrorText(TModbusError error)
{
    switch (error) {
    case meOk:
        return "no error";
    case meBadRequest:
        return "request refused: unknown function code, count out of range or data missing";
    case meReplyBufferTooSmall:
        return "request refused: reply buffer too small";
    case meAborted:
        return "request not sent: aborted";
    case meNoConnection:
        return "no connection to the server";
    case meNoReply:
        return "reply not received in full";
    }
    return "unknown error";
}

int ModbusTransaction(TIOClientSocket* connection, uint8_t unitId, unsigned functionCode, unsigned number,
    uint16_t countOrValue, const uint8_t* data, std::span<uint8_t> reply, bool expectReply, int timeout, bool retry,
    const std::function<void()>& setOffline)
{
    TModbusFrame frame;
    if (!ModbusBuildRequest(uint16_t(RequestCounter), unitId, functionCode, number, countOrValue, data, frame)) {
        LastError = meBadRequest;
        return -1;
    }
    const int expected = expectReply ? frame.ReplySize : 0;
    if (int(reply.size()) < expected) {
        LastError = meReplyBufferTooSmall;
        return -1;
    }

    auto offline = [&] {
        if (setOffline)
            setOffline();
    };
    int result = -1;
    TModbusError error = meAborted;
    if (!AbortRequested.load()) {
        error = meOk;
        bool open = connection && connection->IsOpen();
        if (connection && !open)
            open = ConnectWithTimeout(connection);
        if (open) {
            const int t = timeout != 0 ? timeout : SocketTimeout.load();
            result = RunExchange(connection, t, frame.Bytes, frame.Size, reply.data(), expected);
            if (result < 0 && retry) {
                connection->Close();
                if (ConnectWithTimeout(connection)) {
                    result = RunExchange(connection, t, frame.Bytes, frame.Size, reply.data(), expected);
                    if (result < 0)
                        error = meNoReply;
                } else {
                    error = meNoConnection;
                }
                if (result < 0)
                    offline();
            } else if (result < 0) {
                // Replies are matched by length alone: a reply still on its
                // way (a slow commit) would be read as the answer to the next
                // request. A new connection starts clean.
                connection->Close();
                error = meNoReply;
            }
        } else {
            error = meNoConnection;
            offline();
        }
    }
    LastError = error;
    AdvanceRequestCounter();
    return result;
}
