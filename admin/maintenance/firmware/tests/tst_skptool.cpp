// skptool as an operator runs it: build a package from files, verify it,
// and the verdicts on broken ones with their exit codes.
#include "admin/maintenance/firmware/skpPackage.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

struct TRun {
    int status = -1;
    std::string output;
};

TRun RunSkptool(const std::string& args)
{
    const char* bin = std::getenv("TWL_BIN_DIR");
    const std::string command = std::string(bin ? bin : ".") + "/skptool " + args + " 2>&1";
    TRun run;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return run;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, p))
        run.output.append(buffer, n);
    const int status = ::pclose(p);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class Skptool : public testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("twl-skptool-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string File(const std::string& name, const std::string& bytes)
    {
        const std::string path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path m_dir;
};

TEST_F(Skptool, BuildsAPackageThatVerifies)
{
    const std::string a = File("a.bin", "123456789");
    const std::string b = File("b.bin", std::string("\x01\xff\x80", 3));
    const TRun build = RunSkptool("build " + Path("p.skp") + " 3:" + a + " 6:" + b);
    ASSERT_EQ(build.status, 0) << build.output;

    const std::string bytes = Read(Path("p.skp"));
    ASSERT_EQ(bytes.size(), 12u + 20 + 9 + 3);
    EXPECT_EQ(bytes.substr(0, 12), std::string("XRT!\x35\0\0\0\x02\0\0\0", 12));
    // Type 3, length 9, checksum of "123456789" (477 = 0x01DD).
    EXPECT_EQ(bytes.substr(12, 10), std::string("\x03\0\0\0\x09\0\0\0\xDD\x01", 10));
    EXPECT_EQ(bytes.substr(22, 10), std::string("\x06\0\0\0\x03\0\0\0\x80\xFF", 10));
    EXPECT_EQ(bytes.substr(32), "123456789" + std::string("\x01\xff\x80", 3));

    const TRun verify = RunSkptool("verify " + Path("p.skp"));
    EXPECT_EQ(verify.status, 0) << verify.output;
    EXPECT_NE(verify.output.find("2 records"), std::string::npos) << verify.output;
    EXPECT_NE(verify.output.find("     1     3           9    0x01DD  0x4B37"), std::string::npos) << verify.output;
    EXPECT_NE(verify.output.find("     2     6           3    0xFF80"), std::string::npos) << verify.output;
}

TEST_F(Skptool, RefusesWhatTheProgramRefuses)
{
    const std::string a = File("a.bin", "abcdef");
    const std::string b = File("b.bin", "ghij");
    ASSERT_EQ(RunSkptool("build " + Path("p.skp") + " 0:" + a + " 1:" + b + " 2:" + a).status, 0);
    const std::string good = Read(Path("p.skp"));

    std::string longer = good + "x";
    std::string badType = good;
    badType[12 + 10] = 7;
    std::string badData = good;
    badData[12 + 30 + 6 + 1] ^= 1; // second record's data
    const struct {
        const char* name;
        std::string bytes;
        const char* verdict;
        const char* why;
    } rows[] = {
        { "longer", longer, "Invalid file format !!", "file size differs" },
        { "type7", badType, "Invalid file format !!", "record type outside 0 to 6" },
        { "badChecksum", badData, "Invalid checksum...", "record 2:" },
        { "notAPackage", "hello world, not a package", "Invalid file format !!", "magic" },
    };
    for (const auto& row : rows) {
        const TRun run = RunSkptool("verify " + File(std::string(row.name) + ".skp", row.bytes));
        EXPECT_NE(run.status, 0) << row.name;
        EXPECT_EQ(run.output.rfind(row.verdict, 0), 0u) << row.name << ": " << run.output;
        EXPECT_NE(run.output.find(row.why), std::string::npos) << row.name << ": " << run.output;
    }
    const TRun missing = RunSkptool("verify " + Path("none.skp"));
    EXPECT_NE(missing.status, 0);
    EXPECT_EQ(missing.output, "Error reading file !!\n");
}

TEST_F(Skptool, BuildRefusesBadArguments)
{
    const std::string a = File("a.bin", "x");
    for (const std::string& args :
        std::vector<std::string> { "build " + Path("p.skp"), "build " + Path("p.skp") + " 7:" + a,
            "build " + Path("p.skp") + " 1:" + Path("none"), "build " + Path("p.skp") + " " + a, "frobnicate" }) {
        const TRun run = RunSkptool(args);
        EXPECT_NE(run.status, 0) << args;
        EXPECT_FALSE(fs::exists(Path("p.skp"))) << args;
    }
}

} // namespace
