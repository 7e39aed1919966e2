#pragma once
// A real syslog collector for the tests: rsyslogd in the foreground with a
// configuration, pid file and working directory of its own, taking TCP
// (octet counting) and UDP on loopback and writing what it receives from
// Alarmkeeper into one file, one line a message: severity, MSGID, the
// structured data as received, the message text.
//
// Only in a private network namespace (twltest::EnterPrivateNetwork): the
// ports are fixed.
#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/prctl.h>
#include <sys/types.h>

class TRsyslogCollector {
public:
    static constexpr quint16 kTcpPort = 15514;
    static constexpr quint16 kUdpPort = 15515;
    static constexpr int kStartTimeoutMs = 20000;

    TRsyslogCollector()
    {
        const QString conf = m_dir.filePath(QStringLiteral("rsyslog.conf"));
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write(QStringLiteral("global(workDirectory=\"%1\")\n"
                               "module(load=\"imtcp\")\n"
                               "module(load=\"imudp\")\n"
                               "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"%2\")\n"
                               "input(type=\"imudp\" address=\"127.0.0.1\" port=\"%3\")\n"
                               "template(name=\"keep\" type=\"string\" "
                               "string=\"%syslogseverity% %msgid% %structured-data% %msg%\\n\")\n"
                               "if $app-name == \"Alarmkeeper\" then action(type=\"omfile\" file=\"%4\" "
                               "template=\"keep\")\n")
                    .arg(m_dir.path())
                    .arg(kTcpPort)
                    .arg(kUdpPort)
                    .arg(OutputPath())
                    .toUtf8());
    }
    ~TRsyslogCollector() { Stop(); }

    static bool Available()
    {
        return !QStandardPaths::findExecutable(QStringLiteral("rsyslogd"), { "/usr/sbin", "/sbin" }).isEmpty();
    }

    QString OutputPath() const { return m_dir.filePath(QStringLiteral("received.log")); }

    // Starts rsyslogd and waits until its TCP input takes connections.
    bool Start()
    {
        m_process.setProgram(QStandardPaths::findExecutable(QStringLiteral("rsyslogd"), { "/usr/sbin", "/sbin" }));
        m_process.setArguments(
            { QStringLiteral("-n"), QStringLiteral("-f"), m_dir.filePath(QStringLiteral("rsyslog.conf")),
                QStringLiteral("-i"), m_dir.filePath(QStringLiteral("rsyslogd.pid")) });
        m_process.setWorkingDirectory(m_dir.path());
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        // A test killed at its time limit takes the collector with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start();
        if (!m_process.waitForStarted(kStartTimeoutMs))
            return false;
        const QDeadlineTimer deadline(kStartTimeoutMs);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, kTcpPort);
            if (probe.waitForConnected(1000)) {
                probe.disconnectFromHost();
                return true;
            }
            QTest::qWait(50);
        }
        return false;
    }

    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        Resume();
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Stopped: it accepts nothing more and reads nothing; the kernel still
    // holds the connections.
    void Pause() { ::kill(pid_t(m_process.processId()), SIGSTOP); }
    void Resume() { ::kill(pid_t(m_process.processId()), SIGCONT); }

    QByteArrayList Lines() const
    {
        QFile f(OutputPath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QByteArrayList lines = f.readAll().split('\n');
        if (!lines.isEmpty() && lines.constLast().isEmpty())
            lines.removeLast();
        return lines;
    }
    int LineCount() const { return int(Lines().size()); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
