// Benchmark, not a test: a whole scan of TwinlaneAdmin in a lab with 50 and
// 250 simulated servers (discovery answers only). Prints the time from the
// search dialog's close to the tree being ready, and the resident memory of
// the program with the web engine's helper processes once the pages have
// settled. Runs inside a lab of its own (needs root). --short: 10 servers.
#include "admin/discovery/Iphelp.h"
#include "admin/discovery/devscanBinding.h"
#include "admin/discovery/frmSearch.h"
#include "admin/maintenance/installQ6120Factory.h"
#include "admin/maintenance/webProfile.h"
#include "admin/model/ioProduct.h"
#include "admin/model/pdTwinlane.h"
#include "admin/shell/frmMain.h"
#include "admin/shell/tests/shellTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <cstdio>

namespace {
// Resident kilobytes of a process, from /proc.
long ResidentKb(const QString& pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// This process and every web engine helper below it (the lab's device
// processes, also children, are left out).
long ProgramResidentKb()
{
    const QString self = QString::number(::getpid());
    long total = ResidentKb(self);
    QHash<QString, QString> parent;
    QHash<QString, QString> name;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!pid.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        const qsizetype close = s.lastIndexOf(')');
        name[pid] = QString::fromLatin1(s.mid(s.indexOf('(') + 1, close - s.indexOf('(') - 1));
        parent[pid] = QString::fromLatin1(s.mid(close + 2).split(' ').value(1));
    }
    for (auto it = name.cbegin(); it != name.cend(); ++it) {
        if (!it.value().startsWith(QLatin1String("QtWebEngine")))
            continue;
        for (QString p = parent.value(it.key()); !p.isEmpty() && p != QLatin1String("0"); p = parent.value(p))
            if (p == self) {
                total += ResidentKb(it.key());
                break;
            }
    }
    return total;
}

// Watches for the search dialog and notes when it closes.
class TSearchWatch : public QObject {
public:
    TSearchWatch()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto* s = qobject_cast<TfmSearch*>(QApplication::activeModalWidget());
            if (s && s != m_seen) {
                m_seen = s;
                connect(s, &QDialog::finished, this, [this] { closed.start(); });
            }
        });
        m_timer.start(5);
    }
    QElapsedTimer closed;

private:
    QTimer m_timer;
    QPointer<TfmSearch> m_seen;
};
} // namespace

int main(int argc, char** argv)
{
    const bool shortRun = argc > 1 && QByteArray(argv[1]) == "--short";
    InPrivateNetns() = EnterLabHost();
    PrepareWebEngine();
    int status = 0;
    {
        QApplication app(argc, argv);
        if (!InPrivateNetns()) {
            std::fprintf(stderr, "bench_scan: no lab here (needs root)\n");
            return twltest::SkipExitCode; // nothing to measure here
        }
        const QString bin = qEnvironmentVariable("TWL_BIN_DIR", QCoreApplication::applicationDirPath());
        if (BindDevscan(bin) != dbOk) {
            std::fprintf(stderr, "bench_scan: %s\n", qPrintable(DevscanBindErrorText()));
            return 1;
        }
        InstallQ6120Factory();
        lab::LabNet& net = *TestLab();
        const QList<int> counts = shortRun ? QList<int> { 10 } : QList<int> { 50, 250 };
        const int most = counts.last();
        if (!net.Connect(TestHostNamespace(), "eth0", {}, { "10.77.0.1/24" })) {
            std::fprintf(stderr, "bench_scan: %s\n", net.Error().c_str());
            return 1;
        }
        const std::string ns = net.AddNamespace("many");
        for (int i = 0; i < most; ++i) {
            char mac[18];
            std::snprintf(mac, sizeof mac, "02:31:00:00:%02x:%02x", (i >> 8) & 0xff, i & 0xff);
            if (!net.Connect(ns, "e" + std::to_string(i), mac)) {
                std::fprintf(stderr, "bench_scan: %s\n", net.Error().c_str());
                return 1;
            }
        }
        std::printf("servers  search-close-to-tree-ms  modules  resident-MiB (program + web engine helpers)\n");
        for (int count : counts) {
            std::vector<std::string> argv { (bin + QStringLiteral("/dsc-fake-device")).toStdString() };
            for (int i = 0; i < count; ++i) {
                argv.push_back("--device");
                argv.push_back("e" + std::to_string(i) + ",-,10.77." + std::to_string(2 + i / 200) + "."
                    + std::to_string(1 + i % 200) + ",2147508512,24864");
            }
            const pid_t devices = net.Start(ns, argv);
            if (devices <= 0 || !net.WaitForLine(devices, "ready", 60000)) {
                std::fprintf(stderr, "bench_scan: devices did not start\n");
                return 1;
            }
            {
                TSearchWatch watch;
                auto w = std::make_unique<TfmMain>();
                w->show();
                if (!QTest::qWaitForWindowExposed(w.get()))
                    std::fprintf(stderr, "bench_scan: the main window was not shown\n");
                w->Timer1Timer();
                const qint64 ms = watch.closed.isValid() ? watch.closed.elapsed() : -1;
                const qsizetype modules = w->Product->Modules()->size();
                QTest::qWait(shortRun ? 1000 : 5000); // the pages settle
                std::printf("%7d  %23lld  %7lld  %6ld\n", count, ms, qlonglong(modules), ProgramResidentKb() / 1024);
                std::fflush(stdout);
                if (modules != count)
                    status = 1;
                w->Ready = false; // taken down without the exit question
                w.reset();
            }
            net.Stop(devices);
        }
    }
    TestLab().reset();
    return status;
}
