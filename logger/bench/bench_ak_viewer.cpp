// Load and sort of a large day's log in the viewer: load time, sort time per
// column kind, peak memory; beside `wc -l` and `sort -t, -k3` on the same file.
//
//   bench_ak_viewer [--short]
#include "logger/core/alarmMessage.h"
#include "logger/core/eventTableModel.h"
#include "logger/core/logFormat.h"
#include "logger/core/sortGrid.h"
#include "logger/frmViewLog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/resource.h>

namespace {

long PeakRssMb()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024;
}

long CurrentRssMb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> v = f.readAll().split(' ');
    return v.size() > 1 ? v[1].toLong() * 4096 / (1024 * 1024) : -1;
}

qint64 Timed(const std::function<void()>& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.elapsed();
}

// An external tool on the file, output thrown away; -1 when it can't run.
qint64 Tool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return t.elapsed();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const bool shortRun = app.arguments().contains(QStringLiteral("--short"));
    const int lines = shortRun ? 20000 : 1000000;

    QTemporaryDir dir;
    const QString path = dir.filePath(LogFileName(QDate(2026, 1, 1)));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        QRandomGenerator rng(7);
        QByteArray chunk;
        for (int i = 0; i < lines; ++i) {
            AlarmMessage m;
            m.EventType = uint8_t(rng.bounded(4));
            m.Year = 2026;
            m.Month = uint8_t(1 + rng.bounded(12));
            m.Day = uint8_t(1 + rng.bounded(28));
            m.Hour = uint8_t(rng.bounded(24));
            m.Minute = uint8_t(rng.bounded(60));
            m.Second = uint8_t(rng.bounded(60));
            std::snprintf(m.SourceName, sizeof m.SourceName, "Server %u, hall %u", rng.bounded(500), rng.bounded(9));
            const uint8_t src[4] = { 10, 1, uint8_t(rng.bounded(256)), uint8_t(rng.bounded(256)) };
            std::memcpy(m.SourceIp, src, 4);
            std::memcpy(m.DestinationIp, src, 4);
            auto rec = DecodeAlarm(EncodeAlarmMessage(m));
            rec->cells[0] = FormatRowNumber(i + 1);
            chunk += CommaText(rec->cells) + "\r\n";
            if (chunk.size() > (1 << 20)) {
                f.write(chunk);
                chunk.clear();
            }
        }
        f.write(chunk);
    }
    const double fileMb = QFileInfo(path).size() / (1024.0 * 1024.0);
    std::printf("Log viewer: %d lines, %.1f MB%s\n", lines, fileMb, shortRun ? " (short run)" : "");
    const long rssBefore = CurrentRssMb();

    // The model alone.
    {
        TEventTableModel model;
        int count = 0;
        const qint64 load = Timed([&] { count = LoadLogFile(path, model); });
        std::printf("  model:  load %6lld ms (%d events)\n", (long long)load, count);
        std::printf("          sort by \"#\" (numeric)      asc %6lld ms  desc %6lld ms\n",
            (long long)Timed([&] { SortGrid(model, 0, true); }), (long long)Timed([&] { SortGrid(model, 0, false); }));
        std::printf("          sort by date/time (text)   asc %6lld ms  desc %6lld ms\n",
            (long long)Timed([&] { SortGrid(model, 2, true); }), (long long)Timed([&] { SortGrid(model, 2, false); }));
        std::printf(
            "          sort by source name (text) asc %6lld ms\n", (long long)Timed([&] { SortGrid(model, 3, true); }));
        std::printf("          memory held: about %ld MB\n", CurrentRssMb() - rssBefore);
        if (count != lines)
            return 1;
    }

    // The viewer window, as the operator opens it.
    {
        TfmViewLog* viewer = nullptr;
        const qint64 open = Timed([&] {
            viewer = new TfmViewLog(QDate(2026, 1, 1), path);
            viewer->show();
            QCoreApplication::processEvents();
        });
        std::printf("  viewer: open %6lld ms (%s)\n", (long long)open, qPrintable(viewer->lbRecords->text()));
        std::printf("          sort by date/time in the window %6lld ms, by \"#\" %6lld ms\n", (long long)Timed([&] {
            SortGrid(*viewer->EventModel(), 2, false);
            QCoreApplication::processEvents();
        }),
            (long long)Timed([&] {
                SortGrid(*viewer->EventModel(), 0, true);
                QCoreApplication::processEvents();
            }));
        delete viewer;
    }
    std::printf("  peak memory of the process: %ld MB\n", PeakRssMb());

    const qint64 wc = Tool(QStringLiteral("wc"), { QStringLiteral("-l"), path });
    const qint64 sortTool = Tool(QStringLiteral("sort"), { QStringLiteral("-t,"), QStringLiteral("-k3"), path });
    std::printf("  beside:  wc -l %lld ms,  sort -t, -k3 %lld ms\n", (long long)wc, (long long)sortTool);
    return 0;
}
