#pragma once
// Simulated servers on the lab bridge for the window and dialog tests: each
// a twinlane-sim (or a stand-in that only answers searches) in a namespace
// of its own, with a frame log and a control socket. The test process
// itself lives in the lab's host namespace (eth0 10.77.0.1/24).
#include "lab/labNet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

struct TLabDevice {
    QString name; // role, also the file names
    QString ns;
    QString mac; // "02-4C-..." as the search formats it
    QString address; // what it answers with ("0.0.0.0": unconfigured)
    QString frameLog;
    QString control;
    pid_t pid = -1;

    QStringList Frames() const
    {
        QFile f(frameLog);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

// Output of a command line run by sh (of the test's own making only).
inline QString Sh(const QString& command)
{
    QProcess p;
    p.start(QStringLiteral("sh"), { QStringLiteral("-c"), command });
    p.waitForFinished(30000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// Every IPv4 route of every table and every permanent neighbour entry of a
// namespace: what the program may add and must remove. (Entries the kernel
// learns by itself from the devices' own requests come and go.)
inline QString Tables(const std::string& ns)
{
    const QString n = QString::fromStdString(ns);
    return Sh(QStringLiteral("ip -4 -n %1 route show table all; ip -4 -n %1 neigh show nud permanent").arg(n));
}

inline QString MacOf(int k)
{
    return QStringLiteral("02-4C-41-42-00-%1").arg(k, 2, 16, QLatin1Char('0')).toUpper();
}

class TLabDevices {
public:
    explicit TLabDevices(lab::LabNet& net)
        : m_net(net)
    {
    }

    // A simulated Q6120: interface address ifAddress ("" none), answering
    // with reported; foreign ones get an on-link default route back to the host.
    bool AddSim(int k, const QString& ifAddress, const QString& reported, bool defaultRoute = false,
        const QStringList& extra = {})
    {
        TLabDevice d = Prepare(k, ifAddress, reported);
        if (d.ns.isEmpty())
            return false;
        if (defaultRoute && !m_net.IpBatch(d.ns.toStdString(), { "route add default dev eth0" }))
            return false;
        return StartSim(k, d.ns, reported, extra);
    }

private:
    bool StartSim(int k, const QString& ns, const QString& reported, const QStringList& extra)
    {
        TLabDevice d;
        d.name = QStringLiteral("d%1").arg(k);
        d.ns = ns;
        d.mac = MacOf(k);
        d.address = reported;
        d.frameLog = m_dir.filePath(d.name + QStringLiteral(".frames"));
        d.control = m_dir.filePath(d.name + QStringLiteral(".ctl"));
        const QString ready = m_dir.filePath(d.name + QStringLiteral(".ready"));
        QStringList args { QStringLiteral("--interface"), QStringLiteral("eth0"), QStringLiteral("--ip"), reported,
            QStringLiteral("--bind"), QStringLiteral("0.0.0.0"), QStringLiteral("--manage-interface"),
            QStringLiteral("--restart-time"), QStringLiteral("800"), QStringLiteral("--name"), d.name,
            QStringLiteral("--frame-log"), d.frameLog, QStringLiteral("--control"), d.control,
            QStringLiteral("--ready-file"), ready };
        args << extra;
        d.pid = Start(d.ns, QStringLiteral("twinlane-sim"), args);
        if (d.pid <= 0)
            return false;
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(ready) && t.elapsed() < 20000)
            QThread::msleep(20);
        if (!QFile::exists(ready))
            return false;
        devices.append(d);
        return true;
    }

public:
    // A simulated Q6120 on a link of its own to the host (not the bridge):
    // the host's end is hostLink with hostAddress, the device's eth0 has
    // ifAddress. Call before the program reads the host's interfaces.
    bool AddSimOnOwnLink(int k, const std::string& hostNs, const QString& hostLink, const QString& hostAddress,
        const QString& ifAddress, const QString& reported)
    {
        const QString name = QStringLiteral("d%1").arg(k);
        const std::string ns = m_net.AddNamespace(name.toStdString());
        QString mac = MacOf(k).toLower();
        mac.replace(QLatin1Char('-'), QLatin1Char(':'));
        if (ns.empty()
            || !m_net.IpBatch(hostNs,
                { "link add " + hostLink.toStdString() + " type veth peer name eth0 netns " + ns,
                    "addr add " + hostAddress.toStdString() + " dev " + hostLink.toStdString(),
                    "link set " + hostLink.toStdString() + " up" })
            || !m_net.IpBatch(ns,
                { "link set eth0 address " + mac.toStdString(), "addr add " + ifAddress.toStdString() + " dev eth0",
                    "link set eth0 up" }))
            return false;
        return StartSim(k, QString::fromStdString(ns), reported, {});
    }

    // A device of another kind, answering searches only.
    bool AddFake(int k, const QString& address, uint32_t productId, uint16_t productCode)
    {
        TLabDevice d = Prepare(k, address + QStringLiteral("/24"), address);
        if (d.ns.isEmpty())
            return false;
        d.pid = Start(d.ns, QStringLiteral("dsc-fake-device"),
            { QStringLiteral("--device"),
                QStringLiteral("eth0,-,%1,%2,%3").arg(address).arg(productId).arg(productCode) });
        if (d.pid <= 0 || !m_net.WaitForLine(d.pid, "ready", 20000))
            return false;
        devices.append(d);
        return true;
    }

    const TLabDevice* ByMac(const QString& mac) const
    {
        for (const TLabDevice& d : devices)
            if (d.mac == mac)
                return &d;
        return nullptr;
    }
    const TLabDevice& Device(int k) const { return *ByMac(MacOf(k)); }

    // One line to the device's control socket; its one-line answer.
    QString Control(const TLabDevice& d, const QString& command) const
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return {};
        sockaddr_un a {};
        a.sun_family = AF_UNIX;
        const QByteArray path = d.control.toLocal8Bit();
        std::strncpy(a.sun_path, path.constData(), sizeof a.sun_path - 1);
        QString answer;
        timeval limit { 5, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            const QByteArray line = command.toLatin1() + '\n';
            if (::write(fd, line.constData(), size_t(line.size())) == line.size()) {
                char c;
                while (::read(fd, &c, 1) == 1 && c != '\n')
                    answer += QLatin1Char(c);
            }
        }
        ::close(fd);
        return answer;
    }

    // The value of key=... in the device's status line.
    QString Status(const TLabDevice& d, const QString& key) const
    {
        const QString s = Control(d, QStringLiteral("status"));
        for (const QString& part : s.split(QLatin1Char(' ')))
            if (part.startsWith(key + QLatin1Char('=')))
                return part.mid(key.size() + 1);
        return {};
    }

    // Waits until a restarting device serves again.
    bool WaitUp(const TLabDevice& d, int limitMs = 20000) const
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < limitMs) {
            if (Status(d, QStringLiteral("state")) == QLatin1String("up"))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    QList<TLabDevice> devices;

private:
    TLabDevice Prepare(int k, const QString& ifAddress, const QString& reported)
    {
        TLabDevice d;
        d.name = QStringLiteral("d%1").arg(k);
        d.mac = MacOf(k);
        d.address = reported;
        d.frameLog = m_dir.filePath(d.name + QStringLiteral(".frames"));
        d.control = m_dir.filePath(d.name + QStringLiteral(".ctl"));
        const std::string ns = m_net.AddNamespace(d.name.toStdString());
        if (ns.empty())
            return d;
        std::vector<std::string> addresses;
        if (!ifAddress.isEmpty())
            addresses.push_back(ifAddress.toStdString());
        QString mac = d.mac.toLower();
        mac.replace(QLatin1Char('-'), QLatin1Char(':'));
        if (!m_net.Connect(ns, "eth0", mac.toStdString(), addresses))
            return d;
        d.ns = QString::fromStdString(ns);
        return d;
    }

    pid_t Start(const QString& ns, const QString& program, const QStringList& args)
    {
        std::vector<std::string> argv {
            (qEnvironmentVariable("TWL_BIN_DIR") + QLatin1Char('/') + program).toStdString()
        };
        for (const QString& a : args)
            argv.push_back(a.toStdString());
        return m_net.Start(ns.toStdString(), argv);
    }

    lab::LabNet& m_net;
    QTemporaryDir m_dir;
};
