#pragma once
// twinlane-sim as a child process on 127.0.0.1 with free ports, for the
// tests and the benchmark. Killed and reaped by the destructor.
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class TSimProcess {
public:
    // extraArgs: e.g. {"--fault", "exception"}. Waits until it listens.
    explicit TSimProcess(const QStringList& extraArgs = {});
    ~TSimProcess();
    bool Ready() const { return ModbusPort > 0; }
    QString Error;
    int ModbusPort = 0;
    int HttpPort = 0;
    // Every Modbus frame the server received, as upper-case hex with blanks.
    QStringList Frames() const;
    // One line to the control socket; its reply line ("ok ..." or
    // "error ..."), empty when the socket can't be reached.
    QString Control(const QString& command) const;
    // Waits (bounded) until the server is up again after a restart.
    bool WaitUp() const;
    static QString Program();

private:
    QString ControlPath() const;
    QTemporaryDir Dir;
    QProcess Process;
};

// Moves the calling process (it must have one thread still) into a network
// namespace of its own with loopback up, so the servers its tests start
// and everything they talk to stay inside it. Returns why that failed, or
// an empty text.
QString EnterPrivateNetwork();
