#pragma once
// What the Alarmkeeper tests share: the example alarm, and the order check
// of a sorted table taken from the SortKey texts themselves.
#include "logger/core/alarmMessage.h"
#include "logger/core/eventTableModel.h"
#include "logger/core/sortGrid.h"

#include <QByteArrayList>
#include <algorithm>
#include <cstring>

// Off-Line from "Peer A" (192.168.19.7) naming 192.168.19.9, at 4/30/2007 8:5:3.
inline AlarmMessage ExampleAlarm(uint8_t code = 2, QByteArrayView name = "Peer A")
{
    AlarmMessage m;
    m.EventType = code;
    m.Year = 2007;
    m.Month = 4;
    m.Day = 30;
    m.Hour = 8;
    m.Minute = 5;
    m.Second = 3;
    std::memcpy(m.SourceName, name.data(), size_t(std::min<qsizetype>(name.size(), kSourceNameSize)));
    const uint8_t src[4] = { 192, 168, 19, 7 }, dst[4] = { 192, 168, 19, 9 };
    std::memcpy(m.SourceIp, src, 4);
    std::memcpy(m.DestinationIp, dst, 4);
    return m;
}

inline QByteArrayList Column(const TEventTableModel& t, int column)
{
    QByteArrayList out;
    for (int r = 0; r < t.rowCount(); ++r)
        out.append(t.CellText(r, column));
    return out;
}

inline bool InOrder(const TEventTableModel& t, int column, bool ascending)
{
    const TSortKind kind = column == 0 ? TSortKind::Numeric : TSortKind::Text;
    for (int r = 1; r < t.rowCount(); ++r) {
        const QByteArray a = SortKey(t.CellText(r - 1, column), kind), b = SortKey(t.CellText(r, column), kind);
        if (ascending ? SortKeyLess(b, a) : SortKeyLess(a, b))
            return false;
    }
    return true;
}
