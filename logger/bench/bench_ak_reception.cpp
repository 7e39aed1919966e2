// Alarms per second into the main window, beside the floor of the design: a
// receiver that only decodes and appends each line with open/append/close.
//
// 20 senders on loopback, each on its own connection, send their share of the
// alarms as fast as the socket takes them; all of it in a network namespace
// of the run's own. The window's table holds 100,000
// rows from today's log before the first alarm. Bounded: every sender sends
// a fixed count, and the run gives up after a deadline.
//
// With rsyslogd installed the window runs a second time with every alarm
// forwarded over TCP to it (a real collector on loopback), same load.
//
// --filter TEXT sets that text filter in the window's filter row first (the
// table is then shown through the filter model).
//
//   bench_ak_reception [--short] [--sort-col N] [--filter TEXT]   (default sort: "#" descending)
#include "common/settingsStore.h"
#include "lab/testsupport/privateNetwork.h"
#include "lab/testsupport/testSkip.h"
#include "logger/controlRoom.h"
#include "logger/core/akSettings.h"
#include "logger/core/alarmMessage.h"
#include "logger/core/eventTableModel.h"
#include "logger/core/forwardingSettings.h"
#include "logger/core/logFormat.h"
#include "logger/core/syslogForwarder.h"
#include "logger/frmMain.h"
#include "logger/gridFilter.h"
#include "logger/tests/rsyslogCollector.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSenders = 20;
constexpr int kDeadlineMs = 240000;

QByteArray Message(int sender, int i)
{
    AlarmMessage m;
    m.EventType = uint8_t(i % 4);
    m.Year = 2026;
    m.Month = uint8_t(1 + i % 12);
    m.Day = uint8_t(1 + i % 28);
    m.Hour = uint8_t(i % 24);
    m.Minute = uint8_t(i % 60);
    m.Second = uint8_t(sender);
    std::snprintf(m.SourceName, sizeof m.SourceName, "Sender %d", sender);
    const uint8_t src[4] = { 127, 0, 0, uint8_t(1 + sender) }, dst[4] = { 127, 0, 1, uint8_t(i % 250) };
    std::memcpy(m.SourceIp, src, 4);
    std::memcpy(m.DestinationIp, dst, 4);
    return EncodeAlarmMessage(m);
}

// Plain blocking sockets in threads of their own, so the senders never wait
// for the receiver's event loop.
std::vector<std::thread> StartSenders(int port, int perSender, std::atomic<int>& failures)
{
    std::vector<std::thread> threads;
    for (int s = 0; s < kSenders; ++s) {
        threads.emplace_back([=, &failures] {
            QByteArray all;
            for (int i = 0; i < perSender; ++i)
                all += Message(s, i);
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            // A receiver that stops reading must not keep a sender forever.
            const timeval limit { 30, 0 };
            if (fd >= 0)
                ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
            sockaddr_in a {};
            a.sin_family = AF_INET;
            a.sin_port = htons(uint16_t(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ++failures;
                if (fd >= 0)
                    ::close(fd);
                return;
            }
            qsizetype sent = 0;
            while (sent < all.size()) {
                const ssize_t n = ::send(fd, all.constData() + sent, size_t(all.size() - sent), MSG_NOSIGNAL);
                if (n <= 0) {
                    ++failures;
                    break;
                }
                sent += n;
            }
            ::close(fd);
        });
    }
    return threads;
}

int LineCount(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return int(f.readAll().count("\r\n"));
}

// Runs the event loop until done() or the deadline; returns the elapsed ms.
template <typename Done> qint64 RunUntil(Done done)
{
    QElapsedTimer t;
    t.start();
    QTimer poll;
    QEventLoop loop;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || t.elapsed() > kDeadlineMs)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    return t.elapsed();
}

// The floor: decode, then open/append/close per alarm, nothing else.
class TMinimalReceiver : public QObject {
public:
    TMinimalReceiver(const QString& path)
        : m_path(path)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    while (s->bytesAvailable() >= kAlarmMessageSize) {
                        if (auto rec = DecodeAlarm(s->read(kAlarmMessageSize))) {
                            rec->cells[0] = FormatRowNumber(++count);
                            AppendLogLine(m_path, rec->cells);
                        }
                    }
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    int Port() const { return m_server.serverPort(); }
    int count = 0;

private:
    QTcpServer m_server;
    QString m_path;
};

} // namespace

int main(int argc, char* argv[])
{
    if (const std::string problem = twltest::EnterPrivateNetwork(); !problem.empty()) {
        std::printf("skipped: needs a network namespace of its own (%s; run as root)\n", problem.c_str());
        return twltest::SkipExitCode;
    }
    QApplication app(argc, argv);
    const bool shortRun = app.arguments().contains(QStringLiteral("--short"));
    const int preload = shortRun ? 5000 : 100000;
    const int alarms = shortRun ? 2000 : 50000;
    const int perSender = alarms / kSenders;

    QTemporaryDir dir;
    qputenv("KORVEL_MACHINE_SETTINGS", dir.filePath(QStringLiteral("machine.ini")).toLocal8Bit());
    const QString logDir = dir.filePath(QStringLiteral("log"));
    QDir().mkpath(logDir);
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    WriteRegInteger(AkSettingsKey(), QStringLiteral("Port"), port);
    WriteRegString(AkSettingsKey(), QStringLiteral("LogPath"), logDir);
    const int sortAt = int(app.arguments().indexOf(QStringLiteral("--sort-col")));
    const int sortCol = sortAt > 0 && sortAt + 1 < app.arguments().size() ? app.arguments()[sortAt + 1].toInt() : 0;
    const int filterAt = int(app.arguments().indexOf(QStringLiteral("--filter")));
    TEventFilter filter;
    if (filterAt > 0 && filterAt + 1 < app.arguments().size())
        filter.text = app.arguments()[filterAt + 1];
    WriteRegInteger(AkSettingsKey(), QStringLiteral("SortCol"), sortCol);

    const QString today = LogFilePath(logDir, QDate::currentDate());
    {
        QFile f(today);
        f.open(QIODevice::WriteOnly);
        for (int i = 0; i < preload; ++i) {
            auto rec = DecodeAlarm(Message(i % kSenders, i));
            rec->cells[0] = FormatRowNumber(i + 1);
            f.write(CommaText(rec->cells) + "\r\n");
        }
    }

    std::printf("Alarm reception: %d senders on loopback, %d alarms, table preloaded with %d rows%s%s\n", kSenders,
        perSender * kSenders, preload, shortRun ? " (short run)" : "",
        filter.Active() ? qPrintable(QStringLiteral(", filter \"%1\"").arg(filter.text)) : "");

    QFile::copy(today, dir.filePath(QStringLiteral("preload.log")));
    std::atomic<int> failures = 0;
    struct TRun {
        qint64 startupMs = 0, ms = 0;
        int rows = 0, lines = 0;
        qint64 forwarded = 0, dropped = 0;
    };
    // One window, the same preloaded day, the same senders.
    auto runWindow = [&](bool forward) {
        QFile::remove(today);
        QFile::copy(dir.filePath(QStringLiteral("preload.log")), today);
        TRun run;
        QElapsedTimer startup;
        startup.start();
        TfmMain window(dir.filePath(QStringLiteral("prog/")));
        window.show();
        run.startupMs = startup.elapsed();
        TSyslogForwarder* forwarder = window.ControlRoom()->Forwarder();
        if (filter.Active())
            window.ControlRoom()->Filter()->SetFilter(filter);
        if (forward)
            RunUntil([&] { return forwarder->State() == TSyslogForwarder::TState::Connected; });
        TEventTableModel& table = *window.EventModel();
        const int rowsBefore = table.rowCount();
        auto senders = StartSenders(port, perSender, failures);
        const int want = rowsBefore + perSender * kSenders;
        run.ms = RunUntil([&] { return table.rowCount() >= want; });
        for (auto& t : senders)
            t.join();
        run.rows = table.rowCount() - rowsBefore;
        run.lines = LineCount(today) - preload;
        if (forward) {
            RunUntil([&] { return forwarder->QueuedCount() == 0 && forwarder->PendingBytes() == 0; });
            run.forwarded = forwarder->SentCount();
            run.dropped = forwarder->DroppedCount();
        }
        return run;
    };
    const TRun off = runWindow(false);
    const qint64 startupMs = off.startupMs;
    const int rowsAdded = off.rows, linesAdded = off.lines;
    const qint64 windowMs = off.ms;

    // The same with every alarm forwarded to a real collector over TCP.
    TRun on;
    int collected = -1;
    std::unique_ptr<TRsyslogCollector> collector;
    if (TRsyslogCollector::Available()) {
        collector = std::make_unique<TRsyslogCollector>();
        if (collector->Start()) {
            TForwardingSettings fs;
            fs.Host = QStringLiteral("127.0.0.1");
            fs.Port = TRsyslogCollector::kTcpPort;
            StoreForwardingSettings(fs);
            on = runWindow(true);
            StoreForwardingSettings(TForwardingSettings());
            RunUntil([&] { return collector->LineCount() >= on.forwarded; });
            collected = collector->LineCount();
            collector->Stop();
        }
    }

    // The floor, on the same machine in the same run.
    const QString minimalLog = dir.filePath(QStringLiteral("minimal.log"));
    TMinimalReceiver minimal(minimalLog);
    auto senders2 = StartSenders(minimal.Port(), perSender, failures);
    const qint64 minimalMs = RunUntil([&] { return minimal.count >= perSender * kSenders; });
    for (auto& t : senders2)
        t.join();
    const int minimalLines = LineCount(minimalLog);

    const int sent = perSender * kSenders;
    const double windowRate = rowsAdded * 1000.0 / std::max<qint64>(windowMs, 1);
    const double minimalRate = minimalLines * 1000.0 / std::max<qint64>(minimalMs, 1);
    std::printf("  window start-up with %d rows:  %lld ms\n", preload, (long long)startupMs);
    std::printf(
        "  Alarmkeeper window:  %8d alarms in %6lld ms = %9.0f alarms/s  (rows added %d, log lines %d, sent %d)\n",
        rowsAdded, (long long)windowMs, windowRate, rowsAdded, linesAdded, sent);
    std::printf("  minimal receiver:    %8d alarms in %6lld ms = %9.0f alarms/s  (log lines %d, sent %d)\n",
        minimal.count, (long long)minimalMs, minimalRate, minimalLines, sent);
    std::printf("  ratio window / minimal: %.2f (aim: at least 0.5)\n", windowRate / std::max(minimalRate, 1.0));
    bool forwardComplete = true;
    if (collected >= 0) {
        const double onRate = on.rows * 1000.0 / std::max<qint64>(on.ms, 1);
        std::printf("  forwarding on (TCP to rsyslogd): %8d alarms in %6lld ms = %9.0f alarms/s  (log lines %d; "
                    "forwarded %lld, dropped %lld, collector received %d)\n",
            on.rows, (long long)on.ms, onRate, on.lines, (long long)on.forwarded, (long long)on.dropped, collected);
        std::printf("  ratio forwarding on / off: %.2f\n", onRate / std::max(windowRate, 1.0));
        forwardComplete
            = on.rows == sent && on.lines == sent && on.forwarded + on.dropped == sent && collected == on.forwarded;
    } else {
        std::printf("  forwarding on: skipped (rsyslogd not installed or did not start)\n");
    }

    const bool complete
        = failures == 0 && rowsAdded == sent && linesAdded == sent && minimalLines == sent && forwardComplete;
    std::printf("  %s\n", complete ? "rows = log lines = alarms sent" : "ALARMS LOST");
    return complete ? 0 : 1;
}
