#pragma once
// One accepted alarm as an RFC 5424 syslog message, and its RFC 6587
// octet-counted frame for TCP. Pure functions.
#include "logger/core/eventRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Structured-data ID: a private-enterprise style name (32473 is the number
// set aside for examples and documentation).
inline constexpr const char* kAlarmSdId = "alarm@32473";
// local0: a site's own applications.
inline constexpr int kSyslogFacility = 16;
inline constexpr int kSeverityWarning = 4;
inline constexpr int kSeverityNotice = 5;

struct TSyslogOrigin {
    QString hostName; // this computer; "-" when empty
    qint64 processId = 0;
};

// Off-Line is a warning, every other event type a notice.
int AlarmSeverity(int eventTypeCode);

// "<PRI>1 TIMESTAMP HOST Alarmkeeper PID MSGID [alarm@32473 ...] text".
// TIMESTAMP is the reception time with its UTC offset; the sender's own
// clock travels in the structured data, as shown in the table. MSGID is the
// event type without blanks and hyphens. The six cells are SD parameters
// (no, type, time, source, sourceIp, destIp), Latin-1 turned into UTF-8 with
// '"', '\' and ']' escaped as the RFC asks.
QByteArray FormatSyslogMessage(const TEventRecord& record, const TSyslogOrigin& origin, const QDateTime& received);
// The same with TIMESTAMP given as text (see TSyslogClock).
QByteArray FormatSyslogMessage(const TEventRecord& record, const TSyslogOrigin& origin, QByteArrayView timestamp);

// "LEN SP MSG": the length in decimal, one blank, the message.
QByteArray OctetCountedFrame(const QByteArray& message);
