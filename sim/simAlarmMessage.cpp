#include "sim/simAlarmMessage.h"

#include <algorithm>
#include <ctime>

namespace sim {

AlarmMessage EncodeAlarm(const AlarmFields& f)
{
    AlarmMessage m {};
    m[0] = 1; // marker
    m[1] = uint8_t(f.event);
    m[2] = uint8_t(f.year & 0xFF);
    m[3] = uint8_t(f.year >> 8);
    m[4] = f.month;
    m[5] = f.day;
    m[6] = f.hour;
    m[7] = f.minute;
    m[8] = f.second;
    const size_t nameLength = std::min<size_t>(f.sourceName.size(), 39);
    std::copy_n(f.sourceName.begin(), nameLength, m.begin() + 9);
    std::copy(f.source.begin(), f.source.end(), m.begin() + 49);
    std::copy(f.destination.begin(), f.destination.end(), m.begin() + 53);
    uint8_t sum = 0;
    for (size_t i = 0; i < AlarmMessageSize - 1; ++i)
        sum = uint8_t(sum + m[i]);
    m[57] = uint8_t(0x100 - sum);
    return m;
}

AlarmFields AlarmNow(AlarmEvent event, const std::string& sourceName, const Ipv4& source, const Ipv4& destination)
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    AlarmFields f;
    f.event = event;
    f.year = uint16_t(local.tm_year + 1900);
    f.month = uint8_t(local.tm_mon + 1);
    f.day = uint8_t(local.tm_mday);
    f.hour = uint8_t(local.tm_hour);
    f.minute = uint8_t(local.tm_min);
    f.second = uint8_t(local.tm_sec);
    f.sourceName = sourceName;
    f.source = source;
    if (event == AlarmEvent::OffLine || event == AlarmEvent::OnLine)
        f.destination = destination;
    return f;
}

} // namespace sim
