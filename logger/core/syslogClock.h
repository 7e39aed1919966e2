#pragma once
#include <QByteArray>
#include <QtGlobal>

// RFC 3339 text of the local time with milliseconds and UTC offset. The
// conversion to local time is made once a second: at thousands of alarms a
// second it would cost more than the rest of the message.
class TSyslogClock {
public:
    QByteArray Timestamp(qint64 msecsSinceEpoch);
    QByteArray Now();

private:
    qint64 m_second = -1;
    QByteArray m_date; // "yyyy-MM-ddTHH:mm:ss"
    QByteArray m_offset; // "+hh:mm" or "Z"
};
