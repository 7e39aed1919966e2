#include "logger/core/alarmMessage.h"

#include "common/formatting.h"
#include "logger/core/eventTypes.h"

#include <cstring>

namespace {

uint8_t ByteSum(QByteArrayView bytes)
{
    uint8_t sum = 0;
    for (char c : bytes)
        sum = uint8_t(sum + uint8_t(c));
    return sum;
}

QByteArray IpText(const uint8_t* wire)
{
    uint32_t networkOrder;
    std::memcpy(&networkOrder, wire, 4);
    return FormatIpAddress(networkOrder).toLatin1();
}

} // namespace

AlarmMessage ParseAlarmMessage(const char* bytes)
{
    const auto* b = reinterpret_cast<const uint8_t*>(bytes);
    AlarmMessage m;
    m.Marker = b[0];
    m.EventType = b[1];
    m.Year = uint16_t(b[2] | (b[3] << 8));
    m.Month = b[4];
    m.Day = b[5];
    m.Hour = b[6];
    m.Minute = b[7];
    m.Second = b[8];
    std::memcpy(m.SourceName, b + 9, kSourceNameSize);
    std::memcpy(m.SourceIp, b + 49, 4);
    std::memcpy(m.DestinationIp, b + 53, 4);
    m.Checksum = b[57];
    return m;
}

QByteArray EncodeAlarmMessage(const AlarmMessage& m, bool keepChecksum)
{
    QByteArray out(kAlarmMessageSize, '\0');
    auto* b = reinterpret_cast<uint8_t*>(out.data());
    b[0] = m.Marker;
    b[1] = m.EventType;
    b[2] = uint8_t(m.Year & 0xFF);
    b[3] = uint8_t(m.Year >> 8);
    b[4] = m.Month;
    b[5] = m.Day;
    b[6] = m.Hour;
    b[7] = m.Minute;
    b[8] = m.Second;
    std::memcpy(b + 9, m.SourceName, kSourceNameSize);
    std::memcpy(b + 49, m.SourceIp, 4);
    std::memcpy(b + 53, m.DestinationIp, 4);
    b[57] = keepChecksum ? m.Checksum : uint8_t(0x100 - ByteSum(QByteArrayView(out).first(57)));
    return out;
}

bool AlarmMessageValid(QByteArrayView bytes)
{
    return bytes.size() == kAlarmMessageSize && uint8_t(bytes[0]) == kAlarmMarker && ByteSum(bytes) == 0;
}

std::optional<TEventRecord> DecodeAlarm(QByteArrayView bytes)
{
    if (!AlarmMessageValid(bytes))
        return std::nullopt;
    const AlarmMessage m = ParseAlarmMessage(bytes.data());

    TEventRecord r;
    r.tag = m.EventType < kEventTypeCount ? m.EventType : 0;
    r.cells[colEventType] = EventTypeName(m.EventType).toLatin1();
    r.cells[colDateTime] = FormatAlarmTime(m.Month, m.Day, m.Year, m.Hour, m.Minute, m.Second);
    const char* end = static_cast<const char*>(std::memchr(m.SourceName, 0, kSourceNameSize));
    QByteArray name(m.SourceName, end ? end - m.SourceName : kSourceNameSize);
    for (char& c : name) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    r.cells[colSourceName] = name;
    r.cells[colSourceIp] = IpText(m.SourceIp);
    r.cells[colDestinationIp] = (m.EventType == 2 || m.EventType == 3) ? IpText(m.DestinationIp) : QByteArray("--");
    return r;
}

QByteArray FormatAlarmTime(int month, int day, int year, int hour, int minute, int second)
{
    return QByteArray::number(month) + '/' + QByteArray::number(day) + '/' + QByteArray::number(year) + ' '
        + QByteArray::number(hour) + ':' + QByteArray::number(minute) + ':' + QByteArray::number(second);
}

QByteArray FormatRowNumber(int number)
{
    QByteArray digits = QByteArray::number(number < 0 ? -qint64(number) : qint64(number));
    if (digits.size() < 2)
        digits.prepend('0');
    return number < 0 ? '-' + digits : digits;
}
