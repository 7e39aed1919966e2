#pragma once
#include <QString>
#include <cstdint>

// The first six bytes as "%02X-%02X-%02X-%02X-%02X-%02X".
QString FormatMacAddress(const uint8_t* bytes);

// A network-order IPv4 address (first octet in the lowest-addressed byte)
// as dotted decimal.
QString FormatIpAddress(uint32_t networkOrderAddress);
