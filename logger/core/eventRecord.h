#pragma once
// One data row of an event table as handed between decoder, log and table.
#include <QByteArray>
#include <array>

inline constexpr int kEventColumnCount = 6;

enum TEventColumn { colNumber = 0, colEventType, colDateTime, colSourceName, colSourceIp, colDestinationIp };

struct TEventRecord {
    // Single-byte texts in column order: "#", event type, date/time, source
    // name, source address, destination address or "--".
    std::array<QByteArray, kEventColumnCount> cells;
    int tag = 0; // event type code; 0 for a row that never received one
};
