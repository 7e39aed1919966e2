#include "logger/core/akSettings.h"

#include "common/programFiles.h"
#include "common/settingsStore.h"

namespace {
QString ColorName(int code)
{
    return QStringLiteral("Color_%1").arg(code);
}
} // namespace

QString AkSettingsKey()
{
    return SettingsKey(QString::fromLatin1(kLoggerBaseKey));
}

TAkSettings LoadAkSettings(const QString& programDir)
{
    const QString key = AkSettingsKey();
    TAkSettings s;
    s.Port = ReadRegInteger(key, QStringLiteral("Port"), kDefaultPort);
    s.LogPath = ReadRegString(key, QStringLiteral("LogPath"), QString());
    if (s.LogPath.isEmpty()) {
        // An installed program's folder (/usr/bin) is not the operators' to
        // write: its logs go where Linux keeps logs.
        s.LogPath
            = RunsInstalled(programDir) ? QString::fromLatin1(kInstalledLogPath) : programDir + QStringLiteral("log");
    }
    for (int code = 0; code < kEventTypeCount; ++code)
        s.Colors[code] = uint32_t(ReadRegInteger(key, ColorName(code), int(kDefaultEventColors[code]))) & 0xFFFFFFu;
    s.SortCol = ReadRegInteger(key, QStringLiteral("SortCol"), 0);
    if (s.SortCol < 0 || s.SortCol > 5)
        s.SortCol = 0;
    s.SortDir = ReadRegInteger(key, QStringLiteral("SortDir"), 0) != 0;
    return s;
}

void StoreAkSettings(const TAkSettings& settings)
{
    const QString key = AkSettingsKey();
    WriteRegInteger(key, QStringLiteral("Port"), settings.Port);
    WriteRegString(key, QStringLiteral("LogPath"), settings.LogPath);
    for (int code = 0; code < kEventTypeCount; ++code)
        WriteRegInteger(key, ColorName(code), int(settings.Colors[code] & 0xFFFFFFu));
}

void StoreAkSortOrder(const TAkSettings& settings)
{
    const QString key = AkSettingsKey();
    WriteRegInteger(key, QStringLiteral("SortCol"), settings.SortCol);
    WriteRegInteger(key, QStringLiteral("SortDir"), settings.SortDir ? 1 : 0);
}

void ApplyEventColors(const TAkSettings& settings)
{
    for (int code = 0; code < kEventTypeCount; ++code)
        EventTypeTable[code].Color = settings.Colors[code] & 0xFFFFFFu;
}
