#pragma once
// The two fixed Modbus/TCP frames that give a Q6120 a new address and
// restart it, sent as they stand on a socket of their own, and the check of
// the address an operator types for it.
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

constexpr int SetIpRequestSize = 17;
constexpr int RestartRequestSize = 12;
constexpr int IpChangeReplySize = 12;
// Byte offset of the new address in SetIpRequest.
constexpr int SetIpAddressOffset = 13;

// Write multiple registers 0x1022, two registers: the address a.b.c.d.
std::array<uint8_t, SetIpRequestSize> SetIpRequest(const std::array<uint8_t, 4>& address);
// Diagnostics, restart communications, data 0xFF00.
extern const std::array<uint8_t, RestartRequestSize> RestartRequest;

enum TAddressCheck : int {
    acOk = 0,
    acNotDotted, // not four decimal numbers 0-255 separated by dots
    acNotHost, // 0.x, 127.x, 224 and up: no address of a single host
    acUnchanged, // the address the server has now
};
// The four octets of text when it is a dotted host address other than old.
TAddressCheck CheckNewAddress(const QString& text, const QString& oldAddress, std::array<uint8_t, 4>* octets);
// What the operator is told for a refused text.
QString AddressCheckText(TAddressCheck check, const QString& text);
