// The parts of a forwarded message a collector can't check for us: the
// reception time text across time zones, the octet-counted frame, severity.
#include "logger/core/syslogClock.h"
#include "logger/core/syslogMessage.h"
#include "logger/core/tests/akTestData.h"

#include <QTest>
#include <QTimeZone>
#include <cstdlib>
#include <ctime>

class TestSyslogMessage : public QObject {
    Q_OBJECT
private slots:
    void timestamp_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("UTC") << QByteArray("UTC");
        QTest::newRow("east, summer time") << QByteArray("Europe/Berlin");
        QTest::newRow("half hour west") << QByteArray("America/St_Johns");
    }
    // Same text as the full conversion, at both ends of a second and
    // across a change of summer time.
    void timestamp()
    {
        QFETCH(QByteArray, zone);
        const QByteArray old = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();
        TSyslogClock clock;
        const qint64 dstChange = QDateTime(QDate(2026, 3, 29), QTime(0, 59, 59), QTimeZone::utc()).toMSecsSinceEpoch();
        for (const qint64 ms : { qint64(1781000000000), qint64(1781000000999), qint64(1781000001000), dstChange,
                 dstChange + 1001, qint64(1000) }) {
            const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms);
            const QByteArray want = t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs).toLatin1();
            QCOMPARE(clock.Timestamp(ms), want);
        }
        qputenv("TZ", old);
        tzset();
    }

    void frameAndSeverity()
    {
        TEventRecord r = *DecodeAlarm(EncodeAlarmMessage(ExampleAlarm(2, "\xC9tage")));
        r.cells[colNumber] = "01";
        const QByteArray m = FormatSyslogMessage(r, { QStringLiteral("ops host"), 42 }, QByteArrayView("T"));
        QVERIFY(m.startsWith("<132>1 T opshost Alarmkeeper 42 OffLine [alarm@32473 no=\"01\""));
        // Latin-1 goes out as UTF-8; the frame counts bytes, not characters.
        QVERIFY(m.contains("source=\"\xC3\x89tage\""));
        QCOMPARE(OctetCountedFrame(m), QByteArray::number(m.size()) + ' ' + m);
        r.tag = 3;
        QVERIFY(FormatSyslogMessage(r, {}, QByteArrayView("T")).startsWith("<133>1 T - Alarmkeeper - "));
    }
};

QTEST_MAIN(TestSyslogMessage)
#include "tst_syslogMessage.moc"
