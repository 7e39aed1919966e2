#pragma once
// Modbus/TCP protocol core: request frames, reply sizes, the transaction
// identifier and CRC-16, as pure functions over byte buffers. The transport
// (sockets and workers) only moves the bytes.
#include <array>
#include <cstdint>
#include <functional>
#include <span>

class TIOClientSocket;

// The largest request: function 16 with 125 registers.
constexpr int ModbusMaxRequestSize = 263;
// The largest reply: a read of 125 registers or 2000 coils.
constexpr int ModbusMaxReplySize = 259;

struct TModbusFrame {
    uint8_t Bytes[ModbusMaxRequestSize] = {};
    int Size = 0; // bytes to send
    int ReplySize = 0; // the whole expected reply, header included
};

// Builds the request for functionCode (1, 2, 3, 4, 5, 6, 8, 15, 16) with a
// one-based number (for 8 the sub-function, unchanged). Returns false, frame
// untouched, for an unknown function code, a count out of range, or missing
// data for 15 and 16.
bool ModbusBuildRequest(uint16_t transactionId, uint8_t unitId, unsigned functionCode, unsigned number,
    uint16_t countOrValue, const uint8_t* data, TModbusFrame& frame);

// The whole expected reply of a request, or -1 when the function code or
// the count is refused.
int ModbusReplySize(unsigned functionCode, uint16_t countOrValue);

// Bit 7 of the function code at offset 7. False until eight bytes have
// arrived: before that, byte 7 is whatever the buffer held.
bool ModbusIsExceptionReply(const uint8_t* reply, int received);

// Transaction identifier source of the whole process; user-interface thread
// only. Its low 16 bits are the identifier of the next request.
extern uint32_t RequestCounter;
// Advance after a request that passed its argument checks: by one, but
// after 65535 comes 0 (so identifier 0 serves two requests in a row then).
void AdvanceRequestCounter();

// CRC-16 of the Modbus serial line (reflected 0xA001, initial 0xFFFF, no
// final inversion) by its two 256-entry tables. The value 0x4B37 of
// "123456789" has the low byte 0x37, sent first on a serial line.
struct TModbusCrc {
    uint8_t high;
    uint8_t low;
    uint16_t Value() const { return uint16_t(high << 8 | low); }
};
TModbusCrc ModbusCrc16(const uint8_t* bytes, int length);

namespace ModbusCrcDetail {
// Entry i of the byte-wise table of the reflected polynomial 0xA001; the
// serial line's two tables are its low and its high bytes.
constexpr uint16_t Entry(unsigned i)
{
    uint16_t crc = uint16_t(i);
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    return crc;
}
constexpr std::array<uint8_t, 256> Table(bool hi)
{
    std::array<uint8_t, 256> t {};
    for (unsigned i = 0; i < 256; ++i)
        t[i] = hi ? uint8_t(Entry(i)) : uint8_t(Entry(i) >> 8);
    return t;
}
} // namespace ModbusCrcDetail
// The serial line's tables auchCRCHi and auchCRCLo.
inline constexpr std::array<uint8_t, 256> ModbusCrcTableHi = ModbusCrcDetail::Table(true);
inline constexpr std::array<uint8_t, 256> ModbusCrcTableLo = ModbusCrcDetail::Table(false);

// One Modbus/TCP request on connection, with the retry rules of a module:
// connect when closed, exchange, on failure with retry once more on a new
// connection; setOffline is called when the request finally fails. A
// failed exchange without retry closes the connection, so that a late reply
// can't pass for the next request's.
// timeout 0 means SocketTimeout. Returns -1 (refused, nothing sent, or the
// reply not received in full), 0 (expectReply false, request written), or
// the reply size. A reply buffer smaller than the expected reply is refused
// like a bad argument; ModbusLastError says why a -1 came. User-interface
// thread.
int ModbusTransaction(TIOClientSocket* connection, uint8_t unitId, unsigned functionCode, unsigned number,
    uint16_t countOrValue, const uint8_t* data, std::span<uint8_t> reply, bool expectReply, int timeout, bool retry,
    const std::function<void()>& setOffline);

// Why the last ModbusTransaction of this thread returned -1 (meOk after one
// that did not). One code per cause, one text for each.
enum TModbusError : int {
    meOk = 0,
    meBadRequest, // unknown function code, count out of range, data missing
    meReplyBufferTooSmall, // the reply buffer can't hold the expected reply
    meAborted, // AbortRequested was set: nothing sent
    meNoConnection, // no socket, or it could not be connected
    meNoReply, // the reply did not arrive in full (an exception reply included)
};
TModbusError ModbusLastError();
const char* ModbusErrorText(TModbusError error);
