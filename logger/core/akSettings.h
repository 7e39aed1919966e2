#pragma once
// The six settings of Alarmkeeper, under SOFTWARE\KORVEL\Alarmkeeper\System.
//
// Contract with the windows: the main window holds one TAkSettings for the
// run. The settings dialog is filled from TfmMain::CurrentSettings() and, when
// accepted, hands its values to TfmMain::ApplySettings(), which keeps them,
// copies the colours into EventTypeTable, stores Port, LogPath and the four
// colours (StoreAkSettings) and recolours the table (TfmMain::ApplyColors()).
#include "logger/core/eventTypes.h"

#include <QString>
#include <array>
#include <cstdint>

inline constexpr int kDefaultPort = 4040;
// The log folder of an installed Alarmkeeper when "LogPath" is empty.
inline constexpr const char* kInstalledLogPath = "/var/log/alarmkeeper";

struct TAkSettings {
    int Port = kDefaultPort;
    QString LogPath; // never empty after LoadAkSettings
    std::array<uint32_t, kEventTypeCount> Colors = kDefaultEventColors; // red in the lowest byte
    int SortCol = 0; // 0..5
    bool SortDir = false; // true ascending, false descending
};

// The settings key of the program ("...\Alarmkeeper\System").
QString AkSettingsKey();

// Reads every value with its default. An empty "LogPath" means the folder
// "log" in programDir (which ends in a separator), or kInstalledLogPath when
// programDir belongs to an installed copy (RunsInstalled). A "SortCol" outside 0..5
// counts as 0; any "SortDir" but 0 is ascending. Nothing is written.
TAkSettings LoadAkSettings(const QString& programDir);

// What the settings dialog's OK stores: "Port", "LogPath", "Color_0".."Color_3",
// changed or not.
void StoreAkSettings(const TAkSettings& settings);

// What a header click stores: "SortCol" and "SortDir" (1 or 0).
void StoreAkSortOrder(const TAkSettings& settings);

// Copies the colours into EventTypeTable.
void ApplyEventColors(const TAkSettings& settings);
