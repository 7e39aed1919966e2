#include "common/programFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString InstalledDataDirectory(const QString& programDir)
{
    return QDir::cleanPath(programDir + QLatin1Char('/') + QLatin1String(kInstalledDataFolder));
}

bool RunsInstalled(const QString& programDir)
{
    return QFileInfo(InstalledDataDirectory(programDir)).isDir();
}

QString ProgramFile(const QString& relative, const QString& programDir)
{
    const QString dir = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    const QString beside = QDir::cleanPath(dir + QLatin1Char('/') + relative);
    if (QFileInfo::exists(beside) || !RunsInstalled(dir))
        return beside;
    return InstalledDataDirectory(dir) + QLatin1Char('/') + relative;
}
