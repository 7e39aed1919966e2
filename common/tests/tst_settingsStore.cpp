#include "settingsStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        file_ = dir_.filePath("etc/korvel/machine.ini");
        qputenv("KORVEL_MACHINE_SETTINGS", file_.toLocal8Bit());
    }
    void TearDown() override { qunsetenv("KORVEL_MACHINE_SETTINGS"); }

    void WriteFile(const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(file_).path());
        QFile f(file_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    QTemporaryDir dir_;
    QString file_;
    const QString adminKey = SettingsKey(kAdminBaseKey);
    const QString loggerKey = SettingsKey(kLoggerBaseKey);
};

TEST_F(SettingsStore, KeysAreBasePlusSystem)
{
    EXPECT_EQ(adminKey, "SOFTWARE\\KORVEL\\Fleetdesk\\System");
    EXPECT_EQ(loggerKey, "SOFTWARE\\KORVEL\\Alarmkeeper\\System");
}

TEST_F(SettingsStore, ReadsGiveDefaultsAndCreateNothing)
{
    EXPECT_EQ(ReadRegInteger(adminKey, "Socket Timeout", 5000), 5000);
    EXPECT_EQ(ReadRegString(loggerKey, "LogPath", "dflt"), "dflt");
    EXPECT_FALSE(QFileInfo::exists(file_));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(file_).path()));
}

TEST_F(SettingsStore, WriteCreatesFileAndKeyThenReadSeesIt)
{
    WriteRegInteger(loggerKey, "Port", 5050);
    WriteRegString(loggerKey, "LogPath", "/var/log/ak");
    WriteRegInteger(loggerKey, "Color_3", 0x00FF8000);
    EXPECT_TRUE(QFileInfo::exists(file_));
    EXPECT_EQ(ReadRegInteger(loggerKey, "Port", 4040), 5050);
    EXPECT_EQ(ReadRegString(loggerKey, "LogPath", ""), "/var/log/ak");
    EXPECT_EQ(ReadRegInteger(loggerKey, "Color_3", 0), 0x00FF8000);
    // Another program's key is untouched.
    EXPECT_EQ(ReadRegInteger(adminKey, "Port", 1), 1);
    // Overwrite replaces.
    WriteRegInteger(loggerKey, "Port", 6000);
    EXPECT_EQ(ReadRegInteger(loggerKey, "Port", 4040), 6000);
}

TEST_F(SettingsStore, HandWrittenFileAsDocumented)
{
    WriteFile("[SOFTWARE/KORVEL/Fleetdesk/System]\n"
              "Socket Timeout=3000\n"
              "[SOFTWARE/KORVEL/Alarmkeeper/System]\n"
              "Port=4141\n"
              "LogPath=/srv/alarms\n"
              "SortCol=abc\n");
    EXPECT_EQ(ReadRegInteger(adminKey, "Socket Timeout", 5000), 3000);
    EXPECT_EQ(ReadRegInteger(loggerKey, "Port", 4040), 4141);
    EXPECT_EQ(ReadRegString(loggerKey, "LogPath", ""), "/srv/alarms");
    // A text where a number is read gives the default.
    EXPECT_EQ(ReadRegInteger(loggerKey, "SortCol", 0), 0);
}

TEST_F(SettingsStore, ValueUnderBaseKeyIsNotSeen)
{
    WriteRegInteger(kAdminBaseKey, "Socket Timeout", 1234);
    EXPECT_EQ(ReadRegInteger(adminKey, "Socket Timeout", 5000), 5000);
}

TEST_F(SettingsStore, UnwritableRootIsSilent)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes through file permissions; covered by the directory case below";
    WriteFile("[SOFTWARE/KORVEL/Alarmkeeper/System]\nPort=4141\n");
    ::chmod(file_.toLocal8Bit().constData(), 0444);
    WriteRegInteger(loggerKey, "Port", 9999);
    EXPECT_EQ(ReadRegInteger(loggerKey, "Port", 4040), 4141);
}

TEST_F(SettingsStore, RootThatCannotBeCreatedIsSilent)
{
    // A plain file where the folder of the settings file would have to be.
    QFile blocker(dir_.filePath("etc"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    WriteRegInteger(loggerKey, "Port", 9999);
    EXPECT_EQ(ReadRegInteger(loggerKey, "Port", 4040), 4040);
}

}  // namespace
