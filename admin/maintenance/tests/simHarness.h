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
    static QString Program();

private:
    QTemporaryDir Dir;
    QProcess Process;
};
