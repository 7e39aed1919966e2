// The default log folder: beside the program in a build tree, the system's
// log folder for an installed copy (whose program folder operators can't
// write); a stored "LogPath" wins in both.
#include "common/settingsStore.h"
#include "logger/core/akSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

struct TCase {
    const char* name;
    bool installed;
    const char* stored; // nullptr: no value
    const char* expected; // "<bin>/" stands for the program's folder
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
        SCOPED_TRACE(c.name);
        QTemporaryDir prefix;
        ASSERT_TRUE(prefix.isValid());
        const QString bin = prefix.filePath("bin") + '/';
        ASSERT_TRUE(QDir().mkpath(bin));
        if (c.installed) {
            ASSERT_TRUE(QDir().mkpath(prefix.filePath("share/twinlane")));
        }
        qputenv("KORVEL_MACHINE_SETTINGS", prefix.filePath("machine.ini").toLocal8Bit());
        if (c.stored)
            WriteRegString(AkSettingsKey(), "LogPath", QString::fromUtf8(c.stored));
        const QString expected = QString::fromUtf8(c.expected).replace("<bin>/", bin);
        EXPECT_EQ(LoadAkSettings(bin).LogPath, expected);
        qunsetenv("KORVEL_MACHINE_SETTINGS");
    }
}

} // namespace
