#include "admin/routehelper/routeProtocol.h"

#include <arpa/inet.h>
#include <charconv>
#include <cstdio>
#include <vector>

namespace routehelper {

const char* ReasonText(TReason reason)
{
    switch (reason) {
    case TReason::Ok:
        return "done";
    case TReason::Malformed:
        return "malformed request";
    case TReason::Oversized:
        return "request too long";
    case TReason::NotHostRoute:
        return "only /32 host routes are written";
    case TReason::NoSuchInterface:
        return "no such interface";
    case TReason::BadAddress:
        return "not a unicast IPv4 address";
    case TReason::BadNextHop:
        return "next hop is not a unicast IPv4 address";
    case TReason::BadMacAddress:
        return "not a unicast MAC address";
    case TReason::RouteExists:
        return "a route with the same destination and metric exists and is not ours";
    case TReason::TooMany:
        return "too many entries";
    case TReason::NotFound:
        return "nothing to remove";
    case TReason::NoCapability:
        return "the route helper does not hold CAP_NET_ADMIN";
    case TReason::SystemError:
        return "refused by the system";
    case TReason::NoHelper:
        return "the route helper is not running";
    case TReason::NotLocalAddress:
        return "not an address of this computer";
    case TReason::BadMask:
        return "destination and mask do not form a route";
    case TReason::ReadFailed:
        return "the interface tables could not be read";
    }
    return "unknown reason";
}

namespace {

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t blank = line.find(' ', start);
        fields.push_back(line.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
        if (blank == std::string_view::npos)
            return fields;
        start = blank + 1;
    }
}

// A decimal number without sign or leading zero, at most max.
std::optional<uint32_t> Number(std::string_view text, uint32_t max)
{
    if (text.empty() || (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<tMAC> Mac(std::string_view text)
{
    if (text.size() != 17)
        return std::nullopt;
    tMAC mac {};
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && text[3 * i - 1] != ':')
            return std::nullopt;
        const int high = HexDigit(text[3 * i]), low = HexDigit(text[3 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        mac[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return mac;
}

tPARSED Refuse(TReason reason)
{
    return { std::nullopt, reason };
}

} // namespace

std::optional<uint32_t> ParseAddress(std::string_view text)
{
    uint32_t hostOrder = 0;
    int parts = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string_view part
            = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        const std::optional<uint32_t> value = Number(part, 255);
        if (!value || ++parts > 4)
            return std::nullopt;
        hostOrder = hostOrder << 8 | *value;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (parts != 4)
        return std::nullopt;
    return htonl(hostOrder);
}

std::string FormatAddress(uint32_t address)
{
    const uint32_t a = ntohl(address);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
    return text;
}

bool IsUnicast(uint32_t address)
{
    const uint32_t a = ntohl(address);
    const uint32_t first = a >> 24;
    return first != 0 && first != 127 && first < 224;
}

tPARSED ParseRequest(std::string_view line)
{
    if (line.size() >= MaxRequestLength)
        return Refuse(TReason::Oversized);
    const std::vector<std::string_view> f = Fields(line);
    tREQUEST r;
    auto address = [&](std::string_view text, uint32_t& out) {
        const std::optional<uint32_t> a = ParseAddress(text);
        if (a)
            out = *a;
        return a.has_value();
    };
    auto number = [&](std::string_view text, uint32_t max, uint32_t& out) {
        const std::optional<uint32_t> n = Number(text, max);
        if (n)
            out = *n;
        return n.has_value();
    };
    const std::string_view word = f[0];
    if (word == "hello" && f.size() == 1) {
        r.command = TCommand::Hello;
    } else if (word == "release" && f.size() == 1) {
        r.command = TCommand::Release;
    } else if (word == "route" && f.size() == 6) {
        r.command = TCommand::Route;
        const std::size_t slash = f[1].find('/');
        uint32_t prefix = 0;
        if (slash == std::string_view::npos || !address(f[1].substr(0, slash), r.address)
            || !number(f[1].substr(slash + 1), 32, prefix) || !number(f[2], INT32_MAX, r.interfaceIndex)
            || !address(f[3], r.source) || !(f[4] == "direct" || address(f[4], r.nextHop))
            || !number(f[5], UINT32_MAX, r.metric))
            return Refuse(TReason::Malformed);
        r.prefixLength = static_cast<int>(prefix);
    } else if (word == "neigh" && f.size() == 4) {
        r.command = TCommand::Neigh;
        const std::optional<tMAC> mac = Mac(f[3]);
        if (!address(f[1], r.address) || !number(f[2], INT32_MAX, r.interfaceIndex) || !mac)
            return Refuse(TReason::Malformed);
        r.mac = *mac;
    } else if (word == "delroutes" && f.size() == 2) {
        r.command = TCommand::DelRoutes;
        if (!address(f[1], r.address))
            return Refuse(TReason::Malformed);
    } else if (word == "delneigh" && f.size() == 3) {
        r.command = TCommand::DelNeigh;
        if (!address(f[1], r.address) || !number(f[2], INT32_MAX, r.interfaceIndex))
            return Refuse(TReason::Malformed);
    } else {
        return Refuse(TReason::Malformed);
    }
    return { r, TReason::Ok };
}

std::string FormatRequest(const tREQUEST& r)
{
    switch (r.command) {
    case TCommand::Hello:
        return "hello\n";
    case TCommand::Release:
        return "release\n";
    case TCommand::Route:
        return "route " + FormatAddress(r.address) + "/" + std::to_string(r.prefixLength) + " "
            + std::to_string(r.interfaceIndex) + " " + FormatAddress(r.source) + " "
            + (r.nextHop == 0 ? std::string("direct") : FormatAddress(r.nextHop)) + " " + std::to_string(r.metric)
            + "\n";
    case TCommand::Neigh: {
        char mac[18];
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", r.mac[0], r.mac[1], r.mac[2], r.mac[3],
            r.mac[4], r.mac[5]);
        return "neigh " + FormatAddress(r.address) + " " + std::to_string(r.interfaceIndex) + " " + mac + "\n";
    }
    case TCommand::DelRoutes:
        return "delroutes " + FormatAddress(r.address) + "\n";
    case TCommand::DelNeigh:
        return "delneigh " + FormatAddress(r.address) + " " + std::to_string(r.interfaceIndex) + "\n";
    }
    return "\n";
}

std::string FormatAnswer(TReason reason, std::string_view text)
{
    std::string line = std::to_string(static_cast<int>(reason)) + " ";
    // One line whatever the text holds.
    for (char c : text)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    if (line.size() > MaxRequestLength * 2)
        line.resize(MaxRequestLength * 2);
    return line + "\n";
}

std::optional<tANSWER> ParseAnswer(std::string_view line)
{
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return std::nullopt;
    const std::optional<uint32_t> code = Number(line.substr(0, blank), static_cast<uint32_t>(LastHelperReason));
    if (!code)
        return std::nullopt;
    return tANSWER { static_cast<TReason>(*code), std::string(line.substr(blank + 1)) };
}

} // namespace routehelper
