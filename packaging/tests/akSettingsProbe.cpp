// For scripts/package-test.sh: Alarmkeeper's own settings code, run as an
// operator against the installed machine-wide settings file.
//
//   twl-ak-settings-probe <program folder> <port>
//
// Prints the log folder and the port that the program in that folder would
// use, then stores the settings with the given port as the settings dialog's
// OK does. (A read back in the same process would come from Qt's cache, not
// from the file: the script starts the probe again to see what was stored.)
#include "logger/core/akSettings.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <program folder> <port>\n", argv[0]);
        return 2;
    }
    const QString programDir = QString::fromLocal8Bit(argv[1]);
    TAkSettings settings = LoadAkSettings(programDir);
    std::printf("LogPath=%s\nPort=%d\n", qPrintable(settings.LogPath), settings.Port);
    settings.Port = QString::fromLatin1(argv[2]).toInt();
    StoreAkSettings(settings);
    return 0;
}
