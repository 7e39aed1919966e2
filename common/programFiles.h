#pragma once
// Where the programs find the files they ship with (banner picture, help).
//
// In a build tree the files lie beside the program (bin/image/bar.jpg). An
// installed program lies in <prefix>/bin and its files in the data folder
// <prefix>/share/twinlane, found relative to the program, so any prefix
// works (/usr for the package, /usr/local or a test folder for
// `cmake --install`); the route helper is found the same way, in
// <prefix>/libexec/twinlane.

#include <QString>

// The data folder relative to the program's folder.
inline constexpr const char* kInstalledDataFolder = "../share/twinlane";

// The data folder of a program in programDir (not checked).
QString InstalledDataDirectory(const QString& programDir);

// True when programDir belongs to an installed copy: its data folder exists.
bool RunsInstalled(const QString& programDir);

// The path of a shipped file, relative to the program ("image/bar.jpg"):
// beside the program if it is there, else in the data folder if the program
// is installed, else beside the program (where a missing file is reported).
// An empty programDir means the running program's folder.
QString ProgramFile(const QString& relative, const QString& programDir = QString());
