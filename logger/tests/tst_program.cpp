// The Alarmkeeper program itself: one copy only, and an alarm sent to it
// over loopback lands in today's file.
#include "akSettings.h"
#include "akTestData.h"
#include "logFormat.h"
#include "privateNetns.h"
#include "settingsStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

class TestProgram : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QProcessEnvironment env_;
    QString program_;
    int port_ = 0;

    bool Accepting() const
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(port_));
        return s.waitForConnected(200);
    }

private slots:
    void initTestCase()
    {
        if (!InPrivateNetns())
            QSKIP("needs a network namespace of its own (unshare(CLONE_NEWNET) failed; run as root)");
        program_ = qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/Alarmkeeper");
        QVERIFY2(QFileInfo(program_).isExecutable(), qPrintable(program_));
        const QString ini = dir_.filePath(QStringLiteral("machine.ini"));
        qputenv("KORVEL_MACHINE_SETTINGS", ini.toLocal8Bit());
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port_ = probe.serverPort();
        probe.close();
        WriteRegInteger(AkSettingsKey(), QStringLiteral("Port"), port_);
        WriteRegString(AkSettingsKey(), QStringLiteral("LogPath"), dir_.filePath(QStringLiteral("log")));

        const QString runtime = dir_.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("KORVEL_MACHINE_SETTINGS"), ini);
        env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }

    void singleInstanceAndReception()
    {
        QProcess first;
        first.setProcessEnvironment(env_);
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(program_, {});
        QVERIFY(first.waitForStarted());
        auto stop = qScopeGuard([&] {
            first.terminate();
            if (!first.waitForFinished(5000))
                first.kill();
            first.waitForFinished(5000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(Accepting(), 30000);

        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(port_));
        QVERIFY(s.waitForConnected(5000));
        s.write(EncodeAlarmMessage(ExampleAlarm()));
        QVERIFY(s.waitForBytesWritten(5000));
        const QString today = LogFilePath(dir_.filePath(QStringLiteral("log")), QDate::currentDate());
        auto content = [&] {
            QFile f(today);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(
            content(), QByteArray("01,Off-Line,\"4/30/2007 8:5:3\",\"Peer A\",192.168.19.7,192.168.19.9\r\n"), 10000);

        // A second start asks the first to come forward and ends.
        QProcess second;
        second.setProcessEnvironment(env_);
        second.start(program_, {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(Accepting());
    }
};

AK_NETNS_QTEST_MAIN(TestProgram)
#include "tst_program.moc"
