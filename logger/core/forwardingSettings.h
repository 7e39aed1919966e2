#pragma once
// Where accepted alarms also go: a central syslog collector. Kept under the
// logger's settings key beside the written values; an empty host means off.
#include <QString>

enum class TSyslogProtocol { Tcp = 0, Udp = 1 };

inline constexpr int kDefaultSyslogPort = 514;

struct TForwardingSettings {
    QString Host; // name or address; empty: no forwarding
    int Port = kDefaultSyslogPort;
    TSyslogProtocol Protocol = TSyslogProtocol::Tcp;

    bool Enabled() const { return !Host.trimmed().isEmpty(); }
    bool operator==(const TForwardingSettings&) const = default;
};

// "SyslogHost" (text, ""), "SyslogPort" (integer, 514), "SyslogProtocol"
// (integer, 0 TCP, 1 UDP; anything else counts as TCP). Nothing is written.
TForwardingSettings LoadForwardingSettings();
void StoreForwardingSettings(const TForwardingSettings& settings);
