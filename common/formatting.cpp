#include "common/formatting.h"

#include <cstdio>
#include <cstring>

QString FormatMacAddress(const uint8_t* b)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
    return QString::fromLatin1(text);
}

QString FormatIpAddress(uint32_t networkOrderAddress)
{
    uint8_t o[4];
    std::memcpy(o, &networkOrderAddress, 4);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
    return QString::fromLatin1(text);
}
