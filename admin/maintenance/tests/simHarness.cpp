#include "simHarness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

QString TSimProcess::Program()
{
    return qEnvironmentVariable("TWL_BIN_DIR") + QStringLiteral("/twinlane-sim");
}

TSimProcess::TSimProcess(const QStringList& extraArgs)
{
    if (!QFileInfo(Program()).isExecutable()) {
        Error = QStringLiteral("no simulator at ") + Program();
        return;
    }
    const QString ready = Dir.filePath(QStringLiteral("ready"));
    QStringList args { QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
        QStringLiteral("0"), QStringLiteral("--http-port"), QStringLiteral("0"), QStringLiteral("--restart-time"),
        QStringLiteral("100"), QStringLiteral("--ready-file"), ready, QStringLiteral("--frame-log"),
        Dir.filePath(QStringLiteral("frames")) };
    args += extraArgs;
    Process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Process.start(Program(), args);
    if (!Process.waitForStarted(10000)) {
        Error = QStringLiteral("simulator did not start");
        return;
    }
    // Bounded only so that a broken run can't hang.
    QDeadlineTimer limit(20000);
    while (!QFile::exists(ready) && !limit.hasExpired()) {
        if (Process.waitForFinished(5))
            break; // it gave up; the error went to our error output
    }
    QFile f(ready);
    if (!f.open(QIODevice::ReadOnly)) {
        Error = QStringLiteral("simulator never became ready");
        return;
    }
    const QString text = QString::fromLatin1(f.readAll());
    const auto m = QRegularExpression(QStringLiteral("modbus=(\\d+)\\s+http=(-?\\d+)")).match(text);
    if (m.hasMatch()) {
        ModbusPort = m.captured(1).toInt();
        HttpPort = m.captured(2).toInt();
    } else {
        Error = QStringLiteral("unreadable ready file: ") + text;
    }
}

TSimProcess::~TSimProcess()
{
    if (Process.state() != QProcess::NotRunning) {
        Process.terminate();
        if (!Process.waitForFinished(5000)) {
            Process.kill();
            Process.waitForFinished(5000);
        }
    }
}

QStringList TSimProcess::Frames() const
{
    QFile f(Dir.filePath(QStringLiteral("frames")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
