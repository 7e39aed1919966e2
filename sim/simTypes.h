#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// An IPv4 address as it goes on the wire, first octet first.
using Ipv4 = std::array<uint8_t, 4>;
using MacAddress = std::array<uint8_t, 6>;

// Strict dotted decimal: four numbers 0..255, no leading or trailing junk.
std::optional<Ipv4> ParseIpv4(std::string_view text);
std::string FormatIpv4(const Ipv4& address);

// Accepts "aa:bb:cc:dd:ee:ff" and "AA-BB-CC-DD-EE-FF".
std::optional<MacAddress> ParseMac(std::string_view text);
// "%02X-%02X-%02X-%02X-%02X-%02X", the way the servers print it.
std::string FormatMac(const MacAddress& mac);

// Upper-case hex bytes separated by single blanks: "00 3E 00 00".
std::string HexBytes(const uint8_t* bytes, size_t count);

// True when the address can stand as a unicast host address of a server.
bool IsHostAddress(const Ipv4& address);

} // namespace sim
