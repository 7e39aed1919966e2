#include "common/programFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// A prefix with bin/ and, as the case wants, the file beside the program
// and/or in share/twinlane.
struct TLayout {
    const char* name;
    bool beside;
    bool dataFolder;
    bool inData;
    const char* expected; // relative to the prefix
};

const TLayout Layouts[] = {
    { "build tree", true, false, false, "bin/image/bar.jpg" },
    { "beside wins over installed", true, true, true, "bin/image/bar.jpg" },
    { "installed", false, true, true, "share/twinlane/image/bar.jpg" },
    { "installed, file missing", false, true, false, "share/twinlane/image/bar.jpg" },
    { "neither", false, false, false, "bin/image/bar.jpg" },
};

void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

TEST(ProgramFiles, BesideFirstThenDataFolder)
{
    for (const TLayout& c : Layouts) {
        SCOPED_TRACE(c.name);
        QTemporaryDir prefix;
        ASSERT_TRUE(prefix.isValid());
        const QString bin = prefix.filePath("bin");
        ASSERT_TRUE(QDir().mkpath(bin));
        if (c.beside)
            Touch(bin + "/image/bar.jpg");
        if (c.dataFolder) {
            ASSERT_TRUE(QDir().mkpath(prefix.filePath("share/twinlane")));
        }
        if (c.inData)
            Touch(prefix.filePath("share/twinlane/image/bar.jpg"));
        EXPECT_EQ(RunsInstalled(bin), c.dataFolder);
        EXPECT_EQ(ProgramFile("image/bar.jpg", bin), prefix.filePath(c.expected));
        // The program's folder given with a trailing separator, as AppDir is.
        EXPECT_EQ(ProgramFile("image/bar.jpg", bin + '/'), prefix.filePath(c.expected));
    }
}

} // namespace
