#include "common/settingsStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath("etc/korvel/machine.ini");
        qputenv("KORVEL_MACHINE_SETTINGS", m_file.toLocal8Bit());
    }
    void TearDown() override { qunsetenv("KORVEL_MACHINE_SETTINGS"); }

    void WriteFile(const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(m_file).path());
        QFile f(m_file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    QTemporaryDir m_dir;
    QString m_file;
    const QString m_adminKey = SettingsKey(kAdminBaseKey);
    const QString m_loggerKey = SettingsKey(kLoggerBaseKey);
};

TEST_F(SettingsStore, KeysAreBasePlusSystem)
{
    EXPECT_EQ(m_adminKey, "SOFTWARE\\KORVEL\\Fleetdesk\\System");
    EXPECT_EQ(m_loggerKey, "SOFTWARE\\KORVEL\\Alarmkeeper\\System");
}

TEST_F(SettingsStore, ReadsGiveDefaultsAndCreateNothing)
{
    EXPECT_EQ(ReadRegInteger(m_adminKey, "Socket Timeout", 5000), 5000);
    EXPECT_EQ(ReadRegString(m_loggerKey, "LogPath", "dflt"), "dflt");
    EXPECT_FALSE(QFileInfo::exists(m_file));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(m_file).path()));
}

TEST_F(SettingsStore, WriteCreatesFileAndKeyThenReadSeesIt)
{
    WriteRegInteger(m_loggerKey, "Port", 5050);
    WriteRegString(m_loggerKey, "LogPath", "/var/log/ak");
    WriteRegInteger(m_loggerKey, "Color_3", 0x00FF8000);
    EXPECT_TRUE(QFileInfo::exists(m_file));
    EXPECT_EQ(ReadRegInteger(m_loggerKey, "Port", 4040), 5050);
    EXPECT_EQ(ReadRegString(m_loggerKey, "LogPath", ""), "/var/log/ak");
    EXPECT_EQ(ReadRegInteger(m_loggerKey, "Color_3", 0), 0x00FF8000);
    // Another program's key is untouched.
    EXPECT_EQ(ReadRegInteger(m_adminKey, "Port", 1), 1);
    // Overwrite replaces.
    WriteRegInteger(m_loggerKey, "Port", 6000);
    EXPECT_EQ(ReadRegInteger(m_loggerKey, "Port", 4040), 6000);
}

TEST_F(SettingsStore, HandWrittenFileAsDocumented)
{
    WriteFile("[SOFTWARE/KORVEL/Fleetdesk/System]\n"
              "Socket Timeout=3000\n"
              "[SOFTWARE/KORVEL/Alarmkeeper/System]\n"
              "Port=4141\n"
              "LogPath=/srv/alarms\n"
              "SortCol=abc\n");
    EXPECT_EQ(ReadRegInteger(m_adminKey, "Socket Timeout", 5000), 3000);
    EXPECT_EQ(ReadRegInteger(m_loggerKey, "Port", 4040), 4141);
    EXPECT_EQ(ReadRegString(m_loggerKey, "LogPath", ""), "/srv/alarms");
    // A text where a number is read gives the default.
    EXPECT_EQ(ReadRegInteger(m_loggerKey, "SortCol", 0), 0);
}

TEST_F(SettingsStore, HandWrittenTextReadAsWritten)
{
    // What an operator may type, and what must come back.
    const struct {
        const char* line;
        const char* text;
    } cases[] = {
        { "LogPath=/x/a,b", "/x/a,b" },
        { "LogPath=/x/c;d", "/x/c;d" },
        { "LogPath = /x/e f  ", "/x/e f" },
        { "LogPath=/x/g=h", "/x/g=h" },
        { "LogPath=\"/x/i,j\"", "/x/i,j" },
        { "LogPath=\"/x/\\\"k\\\\\"", "/x/\"k\\" },
        { "LogPath=", "" },
    };
    for (const auto& c : cases) {
        WriteFile(QByteArray("; machine settings\n[SOFTWARE/KORVEL/Alarmkeeper/System]\nPort=4141 ; comment\n") + c.line
            + "\n");
        EXPECT_EQ(ReadRegString(m_loggerKey, "LogPath", "dflt"), QString::fromUtf8(c.text)) << c.line;
        EXPECT_EQ(ReadRegInteger(m_loggerKey, "Port", 4040), 4141) << c.line;
    }
}

// The layout QSettings writes: one section per first key level.
TEST_F(SettingsStore, FileWrittenByQSettingsIsRead)
{
    {
        QSettings qs(m_file, QSettings::IniFormat);
        qs.setValue("SOFTWARE/KORVEL/Alarmkeeper/System/LogPath", "/x/a,b;c");
        qs.setValue("SOFTWARE/KORVEL/Fleetdesk/System/Socket Timeout", 3000);
    }
    EXPECT_EQ(ReadRegString(m_loggerKey, "LogPath", ""), "/x/a,b;c");
    EXPECT_EQ(ReadRegInteger(m_adminKey, "Socket Timeout", 5000), 3000);
    // A write replaces the value in place; no second entry appears.
    WriteRegString(m_loggerKey, "LogPath", "/y");
    EXPECT_EQ(ReadRegString(m_loggerKey, "LogPath", ""), "/y");
    QFile f(m_file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count("LogPath"), 1);
}

// What the program writes reads back the same, here and with QSettings.
TEST_F(SettingsStore, OwnWritesReadBack)
{
    WriteFile("; kept\n[SOFTWARE/KORVEL/Fleetdesk/System]\nSocket Timeout=3000\n");
    const QString texts[] = { "/x/a,b", "/x/c;d", "/x/e=f", "q\"uote", "back\\slash", " lead", "trail ", "",
        "tab\there", QString::fromUtf8("/x/\u00fcml"), QString("\x01") + "A", "/plain/path" };
    int copies = 0;
    for (const QString& text : texts) {
        WriteRegString(m_loggerKey, "LogPath", text);
        EXPECT_EQ(ReadRegString(m_loggerKey, "LogPath", "dflt"), text);
        // A copy of its own each time: QSettings keeps files it read in a cache.
        const QString copy = m_dir.filePath(QString("copy%1.ini").arg(++copies));
        ASSERT_TRUE(QFile::copy(m_file, copy));
        QSettings qs(copy, QSettings::IniFormat);
        EXPECT_EQ(qs.value("SOFTWARE/KORVEL/Alarmkeeper/System/LogPath").toString(), text);
    }
    WriteRegInteger(m_loggerKey, "Port", -5);
    EXPECT_EQ(ReadRegInteger(m_loggerKey, "Port", 4040), -5);
    // What was there stays.
    EXPECT_EQ(ReadRegInteger(m_adminKey, "Socket Timeout", 5000), 3000);
    QFile f(m_file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().startsWith("; kept\n"));
}

TEST_F(SettingsStore, ValueUnderBaseKeyIsNotSeen)
{
    WriteRegInteger(kAdminBaseKey, "Socket Timeout", 1234);
    EXPECT_EQ(ReadRegInteger(m_adminKey, "Socket Timeout", 5000), 5000);
}

TEST_F(SettingsStore, UnwritableRootIsSilent)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes through file permissions; covered by the directory case below";
    WriteFile("[SOFTWARE/KORVEL/Alarmkeeper/System]\nPort=4141\n");
    ::chmod(m_file.toLocal8Bit().constData(), 0444);
    WriteRegInteger(m_loggerKey, "Port", 9999);
    EXPECT_EQ(ReadRegInteger(m_loggerKey, "Port", 4040), 4141);
}

TEST_F(SettingsStore, RootThatCannotBeCreatedIsSilent)
{
    // A plain file where the folder of the settings file would have to be.
    QFile blocker(m_dir.filePath("etc"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    WriteRegInteger(m_loggerKey, "Port", 9999);
    EXPECT_EQ(ReadRegInteger(m_loggerKey, "Port", 4040), 4040);
}

} // namespace
