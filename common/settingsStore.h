#pragma once
// Machine-wide settings of both programs.
//
// Windows: the registry under HKEY_LOCAL_MACHINE, key texts as given.
// Elsewhere: one INI file stands for that root, /etc/korvel/machine.ini or
// the file named by KORVEL_MACHINE_SETTINGS; the key text (backslashes
// turned into slashes) is the group path and the value name is the key.
//
// An INI value is read as written up to the end of its line; only a value
// in double quotes has escapes, and texts that need them are written so.
//
// Every call opens the store, does its one read or write and closes it.
// Reads never create anything and give the default for a missing file, key
// or value, or a value of the other kind. Writes create what is missing; a
// store that can't be written is left as it was and nothing is reported.

#include <QString>

inline constexpr const char* kAdminBaseKey = "SOFTWARE\\KORVEL\\Fleetdesk";
inline constexpr const char* kLoggerBaseKey = "SOFTWARE\\KORVEL\\Alarmkeeper";

// Base key + "\System": the key that holds a program's values.
QString SettingsKey(const QString& baseKey);

// The file that stands for the machine-wide root (not used on Windows).
QString MachineSettingsFile();

int ReadRegInteger(const QString& key, const QString& name, int defaultValue);
QString ReadRegString(const QString& key, const QString& name, const QString& defaultValue);
void WriteRegInteger(const QString& key, const QString& name, int value);
void WriteRegString(const QString& key, const QString& name, const QString& value);
