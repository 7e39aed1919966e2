// The default log folder: beside the program in a build tree, the system's
// log folder for an installed copy (whose program folder operators can't
// write); a stored "LogPath" wins in both.
#include "logger/core/akSettings.h"
#include "common/settingsStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

struct TCase {
    const char* Name;
    bool Installed;
    const char* Stored; // nullptr: no value
    const char* Expected; // "<bin>/" stands for the program's folder
};

const TCase Cases[] = {
    { "build tree", false, nullptr, "<bin>/log" },
    { "installed", true, nullptr, "/var/log/alarmkeeper" },
    { "installed, empty value as missing", true, "", "/var/log/alarmkeeper" },
    { "installed, stored value", true, "/srv/alarms", "/srv/alarms" },
    { "build tree, stored value", false, "/srv/alarms", "/srv/alarms" },
};

TEST(AkSettings, DefaultLogPathFollowsTheLayout)
{
    for (const TCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir prefix;
        ASSERT_TRUE(prefix.isValid());
        const QString bin = prefix.filePath("bin") + '/';
        ASSERT_TRUE(QDir().mkpath(bin));
        if (c.Installed)
            ASSERT_TRUE(QDir().mkpath(prefix.filePath("share/twinlane")));
        qputenv("KORVEL_MACHINE_SETTINGS", prefix.filePath("machine.ini").toLocal8Bit());
        if (c.Stored)
            WriteRegString(AkSettingsKey(), "LogPath", QString::fromUtf8(c.Stored));
        const QString expected = QString::fromUtf8(c.Expected).replace("<bin>/", bin);
        EXPECT_EQ(LoadAkSettings(bin).LogPath, expected);
        qunsetenv("KORVEL_MACHINE_SETTINGS");
    }
}

} // namespace
