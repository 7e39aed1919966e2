#include "simHarness.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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
        Dir.filePath(QStringLiteral("frames")), QStringLiteral("--control"), ControlPath() };
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

QString TSimProcess::ControlPath() const
{
    return Dir.filePath(QStringLiteral("control"));
}

QString TSimProcess::Control(const QString& command) const
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    const QByteArray path = ControlPath().toLocal8Bit();
    std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
    QByteArray reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const QByteArray line = command.toLatin1() + '\n';
        if (::write(fd, line.constData(), size_t(line.size())) == line.size()) {
            timeval limit { 10, 0 };
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            char c;
            while (::read(fd, &c, 1) == 1 && c != '\n')
                reply += c;
        }
    }
    ::close(fd);
    return QString::fromLatin1(reply);
}

bool TSimProcess::WaitUp() const
{
    QDeadlineTimer limit(20000);
    while (!limit.hasExpired()) {
        if (Control(QStringLiteral("status")).contains(QStringLiteral(" state=up ")))
            return true;
        QThread::msleep(20);
    }
    return false;
}

QString EnterPrivateNetwork()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return QStringLiteral("cannot make a network namespace: ") + QString::fromLocal8Bit(std::strerror(errno));
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq req {};
    std::strcpy(req.ifr_name, "lo");
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &req) == 0
        && (req.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &req) == 0);
    const QString why
        = up ? QString() : QStringLiteral("cannot bring up loopback: ") + QString::fromLocal8Bit(std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    return why;
}
