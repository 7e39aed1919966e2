#include "logger/core/syslogMessage.h"

#include "common/latin1.h"
#include "logger/core/eventTypes.h"

namespace {

constexpr int kMaxHostNameLength = 255;
constexpr int kEventTypeOffLine = 2;

const char* const kParamNames[kEventColumnCount] = { "no", "type", "time", "source", "sourceIp", "destIp" };

QByteArray ParamValue(const QByteArray& latin1)
{
    QByteArray out = FromWire(latin1).toUtf8();
    out.replace('\\', "\\\\").replace('"', "\\\"").replace(']', "\\]");
    return out;
}

// HOSTNAME and MSGID are printable US-ASCII without blanks.
QByteArray Token(const QString& text, int maxLength)
{
    QByteArray out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u > 32 && u < 127)
            out.append(char(u));
        if (out.size() == maxLength)
            break;
    }
    return out.isEmpty() ? QByteArrayLiteral("-") : out;
}

QByteArray MessageId(const QByteArray& typeName)
{
    QByteArray id;
    for (const char c : typeName)
        if (c != ' ' && c != '-')
            id.append(c);
    return Token(QString::fromLatin1(id), 32);
}

} // namespace

int AlarmSeverity(int eventTypeCode)
{
    return eventTypeCode == kEventTypeOffLine ? kSeverityWarning : kSeverityNotice;
}

QByteArray FormatSyslogMessage(const TEventRecord& record, const TSyslogOrigin& origin, const QDateTime& received)
{
    return FormatSyslogMessage(
        record, origin, received.toOffsetFromUtc(received.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1());
}

QByteArray FormatSyslogMessage(const TEventRecord& record, const TSyslogOrigin& origin, QByteArrayView timestamp)
{
    const QByteArray& type = record.cells[colEventType];
    QByteArray m;
    m.reserve(320);
    m += '<' + QByteArray::number(kSyslogFacility * 8 + AlarmSeverity(record.tag)) + ">1 ";
    m += timestamp;
    m += ' ' + Token(origin.hostName, kMaxHostNameLength);
    m += " Alarmkeeper ";
    m += origin.processId > 0 ? QByteArray::number(origin.processId) : QByteArrayLiteral("-");
    m += ' ' + MessageId(type) + " [" + kAlarmSdId;
    for (int c = 0; c < kEventColumnCount; ++c)
        m += QByteArray(" ") + kParamNames[c] + "=\"" + ParamValue(record.cells[size_t(c)]) + '"';
    m += "] ";
    QString text = FromWire(type) + QStringLiteral(" from ") + FromWire(record.cells[colSourceName])
        + QStringLiteral(" (") + FromWire(record.cells[colSourceIp]) + QLatin1Char(')');
    if (record.cells[colDestinationIp] != "--")
        text += QStringLiteral(" naming ") + FromWire(record.cells[colDestinationIp]);
    text += QStringLiteral(" at ") + FromWire(record.cells[colDateTime]);
    m += text.toUtf8();
    return m;
}

QByteArray OctetCountedFrame(const QByteArray& message)
{
    return QByteArray::number(message.size()) + ' ' + message;
}
