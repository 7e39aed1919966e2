// Desktop notifications through a private session bus (a dbus-daemon of the
// test's own) to a small notification service of the test's own; the rate
// limit; no service at all; the tray tool tip.
#include "logger/alarmNotifier.h"
#include "logger/core/tests/akTestData.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

namespace {

TEventRecord Alarm(uint8_t code, const QByteArray& name = "Peer A")
{
    return *DecodeAlarm(EncodeAlarmMessage(ExampleAlarm(code, name)));
}

} // namespace

// What a desktop's notification service offers, as far as we call it.
class TFakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct TShown {
        QString summary;
        QString body;
        int urgency;
        qint64 atMs;
    };
    QList<TShown> shown;
    QElapsedTimer clock;

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
        const QStringList&, const QVariantMap& hints, int)
    {
        if (app == QLatin1String("Alarmkeeper"))
            shown.append({ summary, body, hints.value(QStringLiteral("urgency")).toInt(), clock.elapsed() });
        return uint(shown.size());
    }
};

class TestAlarmNotifier : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<TFakeNotifications> m_fake;

    QDBusConnection Bus(const QString& name) { return QDBusConnection::connectToBus(m_address, name); }

private slots:
    void initTestCase()
    {
        m_daemon.setProgram(QStringLiteral("dbus-daemon"));
        m_daemon.setArguments({ QStringLiteral("--session"), QStringLiteral("--nofork"),
            QStringLiteral("--address=unix:path=") + m_dir.filePath(QStringLiteral("bus")),
            QStringLiteral("--print-address=1") });
        m_daemon.start();
        if (!m_daemon.waitForStarted(10000))
            QSKIP("dbus-daemon is not installed (scripts/install-deps.sh)");
        QTRY_VERIFY_WITH_TIMEOUT(m_daemon.canReadLine(), 10000);
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        QVERIFY(!m_address.isEmpty());
    }
    void cleanupTestCase()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }
    void init()
    {
        m_fake = std::make_unique<TFakeNotifications>();
        m_fake->clock.start();
        QDBusConnection service = Bus(QStringLiteral("service"));
        QVERIFY(service.isConnected());
        QVERIFY(service.registerObject(
            QStringLiteral("/org/freedesktop/Notifications"), m_fake.get(), QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void cleanup()
    {
        QDBusConnection service = Bus(QStringLiteral("service"));
        service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        service.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        m_fake.reset();
    }

    // Off-Line is ticked by default, urgent; the other types only when ticked.
    void tickedTypes()
    {
        TAlarmNotifier notifier(nullptr, Bus(QStringLiteral("client")));
        notifier.Alarm(Alarm(0));
        notifier.Alarm(Alarm(3));
        QTest::qWait(200);
        QCOMPARE(m_fake->shown.size(), 0);
        notifier.Alarm(Alarm(2, "Pump Hall"));
        QTRY_COMPARE(m_fake->shown.size(), 1);
        QCOMPARE(m_fake->shown[0].summary, QStringLiteral("Off-Line: Pump Hall"));
        QCOMPARE(m_fake->shown[0].body,
            QStringLiteral("Off-Line from Pump Hall (192.168.19.7) naming 192.168.19.9 at 4/30/2007 8:5:3"));
        QCOMPARE(m_fake->shown[0].urgency, 2);

        notifier.SetTypes({ true, false, false, false });
        QTest::qWait(TAlarmNotifier::kMinIntervalMs);
        notifier.Alarm(Alarm(0, "Boiler"));
        QTRY_COMPARE(m_fake->shown.size(), 2);
        QCOMPARE(m_fake->shown[1].summary, QStringLiteral("Cold Start: Boiler"));
        QCOMPARE(m_fake->shown[1].urgency, 1);
    }

    // A burst gives one notification at once and one a second later that
    // counts the rest; nothing more follows.
    void rateLimit()
    {
        constexpr int kBurst = 10;
        TAlarmNotifier notifier(nullptr, Bus(QStringLiteral("client")));
        for (int i = 0; i < kBurst; ++i)
            notifier.Alarm(Alarm(2, "Node " + QByteArray::number(i)));
        QTRY_COMPARE(m_fake->shown.size(), 2);
        QCOMPARE(m_fake->shown[0].summary, QStringLiteral("Off-Line: Node 0"));
        QCOMPARE(m_fake->shown[1].summary, QStringLiteral("%1 alarms").arg(kBurst - 1));
        QVERIFY(m_fake->shown[1].body.contains(QStringLiteral("Node 9")));
        QVERIFY2(m_fake->shown[1].atMs - m_fake->shown[0].atMs >= TAlarmNotifier::kMinIntervalMs * 9 / 10,
            "a second notification within the second");
        QTest::qWait(TAlarmNotifier::kMinIntervalMs * 3 / 2);
        QCOMPARE(m_fake->shown.size(), 2);
        QCOMPARE(notifier.NotificationsSent(), 2);
    }

    // No notification service on the bus, or no bus: alarms pass, nothing breaks.
    void withoutService()
    {
        cleanup();
        TAlarmNotifier onBus(nullptr, Bus(QStringLiteral("client")));
        onBus.Alarm(Alarm(2));
        TAlarmNotifier noBus(nullptr, QDBusConnection(QStringLiteral("no such bus")));
        noBus.Alarm(Alarm(2));
        QTest::qWait(300);
        QCOMPARE(onBus.UnseenOffLine(), 1);
        QCOMPARE(noBus.NotificationsSent(), 1);
        init();
    }

    // The tray tool tip counts the Off-Line alarms that came while the
    // window was not in front, until it comes to the front.
    void unseenOffLine()
    {
        QWidget window;
        TAlarmNotifier notifier(&window, Bus(QStringLiteral("client")));
        QCOMPARE(notifier.Tray()->toolTip(), QStringLiteral("Alarmkeeper"));
        for (uint8_t code : { 2, 3, 2, 0, 2 })
            notifier.Alarm(Alarm(code));
        QCOMPARE(notifier.Tray()->toolTip(), QStringLiteral("Alarmkeeper: 3 unseen Off-Line alarm(s)"));
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&window, &activate);
        QCOMPARE(notifier.UnseenOffLine(), 0);
        QCOMPARE(notifier.Tray()->toolTip(), QStringLiteral("Alarmkeeper"));
    }
};

QTEST_MAIN(TestAlarmNotifier)
#include "tst_alarmNotifier.moc"
