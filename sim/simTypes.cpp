#include "sim/simTypes.h"

#include <charconv>
#include <cstdio>

namespace sim {

std::optional<Ipv4> ParseIpv4(std::string_view text)
{
    Ipv4 out {};
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p == end || *p != '.')
                return std::nullopt;
            ++p;
        }
        if (p == end || *p < '0' || *p > '9')
            return std::nullopt;
        unsigned value = 0;
        auto [next, ec] = std::from_chars(p, end, value);
        if (ec != std::errc() || value > 255 || next - p > 3)
            return std::nullopt;
        out[i] = uint8_t(value);
        p = next;
    }
    if (p != end)
        return std::nullopt;
    return out;
}

std::string FormatIpv4(const Ipv4& a)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return buf;
}

std::optional<MacAddress> ParseMac(std::string_view text)
{
    if (text.size() != 17)
        return std::nullopt;
    MacAddress mac {};
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != ':' && text[i * 3 - 1] != '-')
            return std::nullopt;
        unsigned value = 0;
        const char* p = text.data() + i * 3;
        auto [next, ec] = std::from_chars(p, p + 2, value, 16);
        if (ec != std::errc() || next != p + 2)
            return std::nullopt;
        mac[i] = uint8_t(value);
    }
    return mac;
}

std::string FormatMac(const MacAddress& m)
{
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02X-%02X-%02X-%02X-%02X-%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
    return buf;
}

std::string HexBytes(const uint8_t* bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

bool IsHostAddress(const Ipv4& a)
{
    if (a[0] == 0 || a[0] == 127 || a[0] >= 224)
        return false;
    return true;
}

} // namespace sim
