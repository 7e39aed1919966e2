// Benchmark: requests per second of a module's ModbusRequest (read of five
// input registers, connection kept open) beside a libmodbus client doing the
// same reads against the same server on loopback, and the memory of 1, 10
// and 50 device pages with their web consoles. Prints figures; with --short
// it only checks that everything runs.
#include "admin/bench/libmodbusClient.h"
#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/comm/modbusCodes.h"
#include "admin/comm/tests/testServers.h"
#include "admin/maintenance/frmQ6120.h"
#include "admin/maintenance/webProfile.h"
#include "admin/model/ioAppGlobals.h"
#include "admin/model/modQ6120.h"
#include "lab/testsupport/privateNetwork.h"
#include "lab/testsupport/simProcess.h"
#include "lab/testsupport/testSkip.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEngineView>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Resident memory of a process in KiB, from /proc.
long RssKiB(int pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

int ParentOf(int pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The name in parentheses may hold blanks; the fields after it don't.
    const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return rest.value(1).toInt();
}

// Resident memory of every process below pid (the browser engine's helpers).
long DescendantsRssKiB(int pid)
{
    long total = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& e : entries) {
        bool number = false;
        const int p = e.toInt(&number);
        if (number && ParentOf(p) == pid)
            total += RssKiB(p) + DescendantsRssKiB(p);
    }
    return total;
}

double ModuleRate(int port, int requests)
{
    TModQ6120 module(0);
    QList<TIOObject*> list;
    module.Attach(new QWidget, nullptr, nullptr);
    module.AttachToList(&list, nullptr, QStringLiteral("127.0.0.1"));
    module.Connections[0]->SetPort(port);
    uint8_t reply[19];
    if (module.ModbusRequest(ModbusFunction::ReadInputRegisters, 0x2504, 5, nullptr, reply, true, 0, true)
        != 19) { // connects
        module.Detach();
        return -1;
    }
    const auto start = Clock::now();
    for (int i = 0; i < requests; ++i)
        if (module.ModbusRequest(ModbusFunction::ReadInputRegisters, 0x2504, 5, nullptr, reply, true, 0, true) != 19) {
            module.Detach();
            return -1;
        }
    const double rate = requests / Seconds(start);
    module.Detach();
    return rate;
}

double LibmodbusRate(int port, int requests)
{
    modbus_t* ctx = ConnectLibmodbus(port);
    if (!ctx)
        return -1;
    uint16_t regs[5];
    double rate = -1;
    const auto start = Clock::now();
    int i = 0;
    for (; i < requests; ++i)
        if (modbus_read_input_registers(ctx, 0x2503, 5, regs) != 5) {
            std::fprintf(stderr, "libmodbus read %d failed: %s\n", i, modbus_strerror(errno));
            break;
        }
    if (i == requests)
        rate = requests / Seconds(start);
    modbus_close(ctx);
    modbus_free(ctx);
    return rate;
}

// A console page on one loopback address, so that every page of the memory
// figure can be a site of its own, as fifty real servers are.
class TLoopbackConsole : public QObject {
public:
    explicit TLoopbackConsole(const QHostAddress& address)
    {
        m_server.listen(address, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    if (!s->peek(8192).contains("\r\n\r\n"))
                        return;
                    s->readAll();
                    static const QByteArray body = "<!DOCTYPE html><html><head><title>Q6120 Web Console</title></head>"
                                                   "<body><h1>Q6120</h1><table><tr><td>DI</td><td>00</td></tr>"
                                                   "<tr><td>DO</td><td>00</td></tr></table>"
                                                   "<p><a href=\"/popup\" target=\"_blank\">Settings</a></p>"
                                                   "</body></html>";
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: "
                        + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    bool Listening() const { return m_server.isListening(); }
    QString Address() const
    {
        return QStringLiteral("%1:%2").arg(m_server.serverAddress().toString()).arg(m_server.serverPort());
    }

private:
    QTcpServer m_server;
};

// Builds n Q6120 modules with their pages, page i opening the console at
// consoleAddress(i), waits (bounded) for the pages to load, and returns the
// resident memory of this process and of the engine's helper processes.
std::pair<long, long> PagesRss(
    int n, const std::function<QString(int)>& consoleAddress, QWidget* host, int* loadedCount)
{
    std::vector<std::unique_ptr<TModQ6120>> modules;
    QList<TIOObject*> list;
    int loaded = 0;
    for (int i = 0; i < n; ++i) {
        auto m = std::make_unique<TModQ6120>(0);
        auto* page = new TfmQ6120(nullptr, m.get());
        m->Attach(page, host, nullptr);
        QObject::connect(page->WebBrowser, &QWebEngineView::loadFinished, page, [&loaded] { ++loaded; });
        m->AttachToList(&list, host, consoleAddress(i));
        modules.push_back(std::move(m));
    }
    QDeadlineTimer limit(120000);
    while (loaded < n && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // Let the engine settle before reading memory.
    QDeadlineTimer settle(1000);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const long own = RssKiB(getpid());
    const long helpers = DescendantsRssKiB(getpid());
    for (auto& m : modules)
        m->Detach();
    modules.clear();
    *loadedCount = loaded;
    return { own, helpers };
}

} // namespace

int main(int argc, char** argv)
{
    // Only loopback is needed: the benchmark and its web engine get a network
    // of their own and reach nothing else.
    if (const std::string why = twltest::EnterPrivateNetwork(); !why.empty()) {
        std::fprintf(stderr, "bench_modbus: %s\n", why.c_str());
        return twltest::SkipExitCode;
    }
    bool quick = false;
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--short")
            quick = true;
    // The engine runs without its sandbox when we are root.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            "--no-sandbox --disable-gpu --disable-background-networking --disable-component-update");
    // As the program starts the engine; a --renderer-process-limit in
    // QTWEBENGINE_CHROMIUM_FLAGS (=1000 for no real cap) overrides its cap.
    PrepareWebEngine();
    QApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("TWL_BIN_DIR"))
        qputenv("TWL_BIN_DIR", QCoreApplication::applicationDirPath().toLocal8Bit());

    const int requests = quick ? 200 : 20000;
    int failures = 0;

    // The simulated server when it is there, else a plain libmodbus server.
    auto sim = std::make_unique<twltest::SimProcess>(std::vector<std::string> {}, false);
    std::unique_ptr<TLibmodbusServer> plain;
    int port = sim->modbusPort();
    const char* serverName = "twinlane-sim";
    if (!sim->started()) {
        plain = std::make_unique<TLibmodbusServer>();
        port = plain->Port();
        serverName = "libmodbus server";
    }
    std::printf("Modbus/TCP, read of 5 input registers, %d requests on one connection to %s on 127.0.0.1\n", requests,
        serverName);
    const double ours = ModuleRate(port, requests);
    const double theirs = LibmodbusRate(port, requests);
    std::printf("  ModbusRequest      %10.0f requests/s\n", ours);
    std::printf("  libmodbus client   %10.0f requests/s\n", theirs);
    if (ours > 0 && theirs > 0)
        std::printf("  ratio libmodbus/ModbusRequest %.2f\n", theirs / ours);
    else
        ++failures;

    QWidget host;
    host.resize(800, 600);
    const long baseOwn = RssKiB(getpid());
    std::printf("Device pages with their web consoles (RSS in MiB; the engine's helpers are processes of their own)\n");
    std::printf("  engine flags: %s\n", qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").constData());
    std::printf("  before any page: program %.1f\n", baseOwn / 1024.0);
    const QList<int> counts = quick ? QList<int> { 1 } : QList<int> { 1, 10, 50 };
    auto measure = [&](const char* what, int n, const std::function<QString(int)>& address) {
        int loaded = 0;
        const auto [own, helpers] = PagesRss(n, address, &host, &loaded);
        std::printf("  %-22s %2d pages (%2d loaded): program %7.1f, helpers %7.1f, total %7.1f, per page %6.1f\n", what,
            n, loaded, own / 1024.0, helpers / 1024.0, (own + helpers) / 1024.0,
            (own + helpers - baseOwn) / 1024.0 / n);
        if (loaded < n)
            ++failures;
    };
    if (sim->started() && sim->httpPort() > 0) {
        const QString console = QStringLiteral("127.0.0.1:%1").arg(sim->httpPort());
        for (int n : counts)
            measure("one simulator console", n, [&](int) { return console; });
    } else {
        std::printf("  one simulator console: skipped (%s)\n",
            sim->started() ? "no web console" : "the simulator did not start");
    }
    // One loopback address per page (127.0.0.10 and up; all of 127/8 is the
    // loopback interface's), so that each page is a site of its own.
    std::vector<std::unique_ptr<TLoopbackConsole>> consoles;
    for (int i = 0; i < counts.last(); ++i) {
        consoles.push_back(std::make_unique<TLoopbackConsole>(QHostAddress(quint32((127u << 24) | (10u + i)))));
        if (!consoles.back()->Listening()) {
            consoles.clear();
            break;
        }
    }
    if (!consoles.empty()) {
        for (int n : counts)
            measure("one site per page", n, [&](int i) { return consoles[i]->Address(); });
    } else {
        std::printf("  one site per page: skipped (cannot listen on 127.0.0.10 and up)\n");
    }
    return failures ? 1 : 0;
}
