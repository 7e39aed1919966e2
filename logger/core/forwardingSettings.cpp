#include "logger/core/forwardingSettings.h"

#include "common/settingsStore.h"
#include "logger/core/akSettings.h"

TForwardingSettings LoadForwardingSettings()
{
    const QString key = AkSettingsKey();
    TForwardingSettings s;
    s.Host = ReadRegString(key, QStringLiteral("SyslogHost"), QString()).trimmed();
    s.Port = ReadRegInteger(key, QStringLiteral("SyslogPort"), kDefaultSyslogPort);
    s.Protocol = ReadRegInteger(key, QStringLiteral("SyslogProtocol"), 0) == int(TSyslogProtocol::Udp)
        ? TSyslogProtocol::Udp
        : TSyslogProtocol::Tcp;
    return s;
}

void StoreForwardingSettings(const TForwardingSettings& settings)
{
    const QString key = AkSettingsKey();
    WriteRegString(key, QStringLiteral("SyslogHost"), settings.Host.trimmed());
    WriteRegInteger(key, QStringLiteral("SyslogPort"), settings.Port);
    WriteRegInteger(key, QStringLiteral("SyslogProtocol"), int(settings.Protocol));
}
