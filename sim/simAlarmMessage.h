#pragma once
#include "sim/simTypes.h"

#include <array>
#include <cstdint>
#include <string>

namespace sim {

inline constexpr size_t AlarmMessageSize = 58;
using AlarmMessage = std::array<uint8_t, AlarmMessageSize>;

enum class AlarmEvent : uint8_t { ColdStart = 0, WarmStart = 1, OffLine = 2, OnLine = 3 };

struct AlarmFields {
    AlarmEvent event = AlarmEvent::ColdStart;
    uint16_t year = 0;
    uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
    // At most 39 bytes go out; the field always keeps its ending zero byte.
    std::string sourceName;
    Ipv4 source {};
    // Only meaningful for off-line and on-line.
    Ipv4 destination {};
};

AlarmMessage EncodeAlarm(const AlarmFields& fields);

// The fields with the local date and time of now.
AlarmFields AlarmNow(AlarmEvent event, const std::string& sourceName, const Ipv4& source, const Ipv4& destination);

} // namespace sim
