#include "logger/core/syslogClock.h"

#include <QDateTime>
#include <QString>

QByteArray TSyslogClock::Timestamp(qint64 ms)
{
    const qint64 second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    if (second != m_second) {
        const QDateTime t = QDateTime::fromSecsSinceEpoch(second);
        const int offset = t.offsetFromUtc();
        const QDateTime fixed = t.toOffsetFromUtc(offset);
        m_date = fixed.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1();
        m_offset = offset == 0 ? QByteArrayLiteral("Z") : fixed.toString(Qt::ISODate).right(6).toLatin1();
        m_second = second;
    }
    const int milli = int(ms - second * 1000);
    QByteArray out = m_date;
    out += '.';
    out += char('0' + milli / 100);
    out += char('0' + milli / 10 % 10);
    out += char('0' + milli % 10);
    out += m_offset;
    return out;
}

QByteArray TSyslogClock::Now()
{
    return Timestamp(QDateTime::currentMSecsSinceEpoch());
}
