// Desktop notifications through a private session bus (a dbus-daemon of the
// test's own) to a small notification service of the test's own; the rate
// limit; no service at all; the tray tool tip.
#include "logger/core/tests/akTestData.h"
#include "logger/alarmNotifier.h"

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
        QString Summary;
        QString Body;
        int Urgency;
        qint64 AtMs;
    };
    QList<TShown> Shown;
    QElapsedTimer Clock;

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
        const QStringList&, const QVariantMap& hints, int)
    {
        if (app == QLatin1String("Alarmkeeper"))
            Shown.append({ summary, body, hints.value(QStringLiteral("urgency")).toInt(), Clock.elapsed() });
        return uint(Shown.size());
    }
};

class TestAlarmNotifier : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    std::unique_ptr<TFakeNotifications> fake_;

    QDBusConnection Bus(const QString& name) { return QDBusConnection::connectToBus(address_, name); }

private slots:
    void initTestCase()
    {
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({ QStringLiteral("--session"), QStringLiteral("--nofork"),
            QStringLiteral("--address=unix:path=") + dir_.filePath(QStringLiteral("bus")),
            QStringLiteral("--print-address=1") });
        daemon_.start();
        if (!daemon_.waitForStarted(10000))
            QSKIP("dbus-daemon is not installed (scripts/install-deps.sh)");
        QTRY_VERIFY_WITH_TIMEOUT(daemon_.canReadLine(), 10000);
        address_ = QString::fromUtf8(daemon_.readLine().trimmed());
        QVERIFY(!address_.isEmpty());
    }
    void cleanupTestCase()
    {
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    void init()
    {
        fake_ = std::make_unique<TFakeNotifications>();
        fake_->Clock.start();
        QDBusConnection service = Bus(QStringLiteral("service"));
        QVERIFY(service.isConnected());
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), fake_.get(),
            QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void cleanup()
    {
        QDBusConnection service = Bus(QStringLiteral("service"));
        service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        service.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        fake_.reset();
    }

    // Off-Line is ticked by default, urgent; the other types only when ticked.
    void tickedTypes()
    {
        TAlarmNotifier notifier(nullptr, Bus(QStringLiteral("client")));
        notifier.Alarm(Alarm(0));
        notifier.Alarm(Alarm(3));
        QTest::qWait(200);
        QCOMPARE(fake_->Shown.size(), 0);
        notifier.Alarm(Alarm(2, "Pump Hall"));
        QTRY_COMPARE(fake_->Shown.size(), 1);
        QCOMPARE(fake_->Shown[0].Summary, QStringLiteral("Off-Line: Pump Hall"));
        QCOMPARE(fake_->Shown[0].Body,
            QStringLiteral("Off-Line from Pump Hall (192.168.19.7) naming 192.168.19.9 at 4/30/2007 8:5:3"));
        QCOMPARE(fake_->Shown[0].Urgency, 2);

        notifier.SetTypes({ true, false, false, false });
        QTest::qWait(TAlarmNotifier::kMinIntervalMs);
        notifier.Alarm(Alarm(0, "Boiler"));
        QTRY_COMPARE(fake_->Shown.size(), 2);
        QCOMPARE(fake_->Shown[1].Summary, QStringLiteral("Cold Start: Boiler"));
        QCOMPARE(fake_->Shown[1].Urgency, 1);
    }

    // A burst gives one notification at once and one a second later that
    // counts the rest; nothing more follows.
    void rateLimit()
    {
        constexpr int kBurst = 10;
        TAlarmNotifier notifier(nullptr, Bus(QStringLiteral("client")));
        for (int i = 0; i < kBurst; ++i)
            notifier.Alarm(Alarm(2, "Node " + QByteArray::number(i)));
        QTRY_COMPARE(fake_->Shown.size(), 2);
        QCOMPARE(fake_->Shown[0].Summary, QStringLiteral("Off-Line: Node 0"));
        QCOMPARE(fake_->Shown[1].Summary, QStringLiteral("%1 alarms").arg(kBurst - 1));
        QVERIFY(fake_->Shown[1].Body.contains(QStringLiteral("Node 9")));
        QVERIFY2(fake_->Shown[1].AtMs - fake_->Shown[0].AtMs >= TAlarmNotifier::kMinIntervalMs * 9 / 10,
            "a second notification within the second");
        QTest::qWait(TAlarmNotifier::kMinIntervalMs * 3 / 2);
        QCOMPARE(fake_->Shown.size(), 2);
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
