// The Alarmkeeper program itself: one copy only, and an alarm sent to it
// over loopback lands in today's file.
#include "common/settingsStore.h"
#include "common/singleInstance.h"
#include "logger/core/akSettings.h"
#include "logger/core/logFormat.h"
#include "logger/core/tests/akTestData.h"
#include "logger/frmAbout.h"
#include "logger/frmMain.h"
#include "logger/tests/akTestMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

QList<int> OpenFileNumbers(qint64 pid)
{
    QList<int> numbers;
    const QStringList names = QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                  .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& n : names)
        numbers.append(n.toInt());
    return numbers;
}

int OpenFiles(qint64 pid)
{
    return int(OpenFileNumbers(pid).size());
}

// CPU time the process has used, user and system, in seconds.
double CpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // After the name in parentheses: state is field 3, utime 14, stime 15.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
}

// "Max open files" of the process: soft and hard.
QList<QByteArray> OpenFileLimits(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/limits").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("Max open files"))
            return line.mid(int(sizeof "Max open files")).simplified().split(' ').mid(0, 2);
    return {};
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_program;
    int m_port = 0;

    bool Accepting() const
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        return s.waitForConnected(200);
    }

private slots:
    void initTestCase()
    {
        if (!twltest::PrivateNetworkProblem().empty())
            QSKIP("needs a network namespace of its own (unshare(CLONE_NEWNET) failed; run as root)");
        m_program = qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/Alarmkeeper");
        QVERIFY2(QFileInfo(m_program).isExecutable(), qPrintable(m_program));
        const QString ini = m_dir.filePath(QStringLiteral("machine.ini"));
        qputenv("KORVEL_MACHINE_SETTINGS", ini.toLocal8Bit());
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        m_port = probe.serverPort();
        probe.close();
        WriteRegInteger(AkSettingsKey(), QStringLiteral("Port"), m_port);
        WriteRegString(AkSettingsKey(), QStringLiteral("LogPath"), m_dir.filePath(QStringLiteral("log")));

        const QString runtime = m_dir.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("KORVEL_MACHINE_SETTINGS"), ini);
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }

    // Idle peers beyond the program's open-file limit: it neither spins nor
    // drops the connections it has, and once the peers leave the next
    // alarm is logged.
    void fileLimitReached()
    {
#if defined(__SANITIZE_ADDRESS__)
        // UBSan checks an object's type by reading its memory through a pipe;
        // once the program's handles are gone it can't make one and reports
        // a type error that isn't there, which ends the program.
        QSKIP("sanitizer build: UBSan misreports types when the process is out of file handles");
#endif
        QProcess program;
        program.setProcessEnvironment(m_env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.setChildProcessModifier([] {
            rlimit low {};
            ::getrlimit(RLIMIT_NOFILE, &low);
            low.rlim_cur = std::min<rlim_t>(low.rlim_max - 1, 256);
            ::setrlimit(RLIMIT_NOFILE, &low);
        });
        program.start(m_program, {});
        QVERIFY(program.waitForStarted());
        auto stop = qScopeGuard([&] {
            program.kill();
            program.waitForFinished(5000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(Accepting(), 30000);
        const qint64 pid = program.processId();
        const QList<QByteArray> limits = OpenFileLimits(pid);
        QCOMPARE(limits.size(), 2);
        QCOMPARE(limits[0], limits[1]); // soft raised to hard at start

        constexpr int kRoom = 5;
        constexpr int kPeers = 20;
        QTRY_VERIFY_WITH_TIMEOUT(OpenFiles(pid) < 64, 10000); // the probes are gone
        const int limit = OpenFiles(pid) + kRoom;
        const rlimit tight { rlim_t(limit), rlim_t(limit) };
        QVERIFY(::prlimit(pid_t(pid), RLIMIT_NOFILE, &tight, nullptr) == 0);
        // The limit bounds the numbers of new handles; those above it stay.
        int full = limit;
        for (int n : OpenFileNumbers(pid))
            full += n >= limit;

        std::vector<int> peers;
        auto closePeers = qScopeGuard([&] {
            for (int fd : peers)
                ::close(fd);
        });
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(quint16(m_port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (int i = 0; i < kPeers; ++i) {
            peers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            // The kernel queues what the program can't take.
            QCOMPARE(::connect(peers.back(), reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(OpenFiles(pid), full, 10000);

        const double before = CpuSeconds(pid);
        QTest::qWait(2000);
        const double used = CpuSeconds(pid) - before;
        QVERIFY2(used >= 0 && used < 0.5, qPrintable(QStringLiteral("%1 s of CPU in 2 s").arg(used)));
        QCOMPARE(OpenFiles(pid), full); // the connections it has stay

        closePeers.dismiss();
        for (int fd : peers)
            ::close(fd);
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        QVERIFY(s.waitForConnected(5000));
        s.write(EncodeAlarmMessage(ExampleAlarm(3, "after")));
        QVERIFY(s.waitForBytesWritten(5000));
        const QString today = LogFilePath(m_dir.filePath(QStringLiteral("log")), QDate::currentDate());
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QFile f(today);
                return f.open(QIODevice::ReadOnly) && f.readAll().contains(",after,");
            }(),
            10000);
        QCOMPARE(program.state(), QProcess::Running);
    }

    // This process is the running copy, minimised, with its about box open
    // and another window active: a real second start restores the window
    // and puts the dialog on top, and ends.
    void secondStartBringsFirstForward()
    {
        qputenv("XDG_RUNTIME_DIR", m_env.value(QStringLiteral("XDG_RUNTIME_DIR")).toLocal8Bit());
        TSingleInstance instance(QStringLiteral("Alarmkeeper"));
        QVERIFY(instance.Acquire());
        TfmMain window(m_dir.filePath(QStringLiteral("prog")));
        window.FollowLaterStarts(instance);
        window.show();
        window.showMinimized();
        QVERIFY(window.isMinimized());
        QWidget other;
        other.setWindowTitle(QStringLiteral("elsewhere"));

        QString dialogClass;
        bool restored = false, dialogOnTop = false;
        int exitCode = -1;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            auto close = qScopeGuard([dialog] { dialog->close(); });
            dialogClass = QString::fromLatin1(dialog->metaObject()->className());
            other.show();
            other.activateWindow();
            if (!QTest::qWaitForWindowActive(&other))
                return;
            QProcess second;
            second.setProcessEnvironment(m_env);
            second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            second.start(m_program, {});
            // The answer comes from this event loop: wait without blocking it.
            QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 30000);
            exitCode = second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -2;
            QTRY_VERIFY_WITH_TIMEOUT(!window.isMinimized(), 10000);
            restored = window.isVisible();
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeWindow() == dialog, 10000);
            dialogOnTop = true;
        });
        window.muAbout->trigger();
        QCOMPARE(dialogClass, QStringLiteral("TfmAbout"));
        QCOMPARE(exitCode, 0);
        QVERIFY(restored);
        QVERIFY(dialogOnTop);
    }

    void cleanup()
    {
        QDir(m_dir.filePath(QStringLiteral("log"))).removeRecursively();
    }

    void singleInstanceAndReception()
    {
        QProcess first;
        first.setProcessEnvironment(m_env);
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(m_program, {});
        QVERIFY(first.waitForStarted());
        auto stop = qScopeGuard([&] {
            first.terminate();
            if (!first.waitForFinished(5000))
                first.kill();
            first.waitForFinished(5000);
        });
        QTRY_VERIFY_WITH_TIMEOUT(Accepting(), 30000);

        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        QVERIFY(s.waitForConnected(5000));
        s.write(EncodeAlarmMessage(ExampleAlarm()));
        QVERIFY(s.waitForBytesWritten(5000));
        const QString today = LogFilePath(m_dir.filePath(QStringLiteral("log")), QDate::currentDate());
        auto content = [&] {
            QFile f(today);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(
            content(), QByteArray("01,Off-Line,\"4/30/2007 8:5:3\",\"Peer A\",192.168.19.7,192.168.19.9\r\n"), 10000);

        // A second start asks the first to come forward and ends.
        QProcess second;
        second.setProcessEnvironment(m_env);
        second.start(m_program, {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(Accepting());
    }
};

AK_NETNS_QTEST_MAIN(TestProgram)
#include "tst_program.moc"
