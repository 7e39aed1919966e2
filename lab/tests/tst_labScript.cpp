// lab.sh brings a network up, runs a command in its host namespace and
// leaves nothing behind: not after success, not after a failing command,
// not after a signal.
#include "lab/labNet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

struct LabRun {
    int exitCode = -1;
    std::string output;
};

// What happens to lab.sh once the lab reports itself up.
enum class AtUp {
    Nothing,
    Terminate, // SIGTERM to lab.sh
    KillAll, // SIGKILL to lab.sh and everything it started, as a test runner's timeout does
};

// Runs lab.sh with its output in one pipe.
LabRun RunLab(const std::vector<std::string>& args, AtUp atUp)
{
    const bool terminateWhenUp = atUp != AtUp::Nothing;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {};
    std::vector<std::string> argv { "/bin/bash", Env("TWL_SOURCE_DIR") + "/lab/lab.sh" };
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::execv(cargv[0], cargv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    LabRun run;
    bool signalled = false;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        run.output.append(buffer, std::size_t(n));
        if (terminateWhenUp && !signalled && run.output.find(" device(s):\n") != std::string::npos) {
            // The device list comes in the same write as the "up" line.
            if (atUp == AtUp::KillAll) {
                ::kill(-pid, SIGKILL);
                break;
            }
            ::kill(pid, SIGTERM);
            signalled = true;
        }
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

bool ProcessGone(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text))
        return true;
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

struct Row {
    const char* name;
    std::vector<std::string> command; // "@bin/" stands for TWL_BIN_DIR
    bool terminate;
    int exitCode;
    std::vector<std::string> records; // the search's lines, when it searches
};

const std::vector<std::string> FiveDevices {
    "0x80006120 0x6120 0.0.0.0 via 10.77.0.1 02-4C-41-42-00-03",
    "0x80006120 0x6120 10.77.0.11 via 10.77.0.1 02-4C-41-42-00-01",
    "0x80006120 0x6120 10.77.0.200 via 10.77.0.1 02-4C-41-42-00-04",
    "0x80006120 0x6120 10.77.0.200 via 10.77.0.1 02-4C-41-42-00-05",
    "0x80006120 0x6120 10.88.0.12 via 10.77.0.1 02-4C-41-42-00-02",
};

const Row Rows[] = {
    { "SearchSeesEveryKindOfDevice", { "@bin/dsc-search" }, false, 0, FiveDevices },
    { "FailingCommand", { "/bin/sh", "-c", "exit 7" }, false, 7, {} },
    { "Terminated", { "/bin/sleep", "60" }, true, 143, {} },
};

class LabScript : public ::testing::TestWithParam<std::tuple<Row, const char*>> { };

TEST_P(LabScript, RunsTheCommandAndLeavesNothingBehind)
{
    const std::string reason = lab::UnavailableReason();
    if (!reason.empty())
        GTEST_SKIP() << reason;
    const auto& [row, devices] = GetParam();
    const std::string bin = Env("TWL_BIN_DIR");
    std::vector<std::string> args { "run", "--devices", "5", "--bin", bin };
    if (std::string(devices) == "fake")
        args.push_back("--fake");
    args.push_back("--");
    for (const std::string& part : row.command)
        args.push_back(part.rfind("@bin/", 0) == 0 ? bin + part.substr(4) : part);

    const LabRun run = RunLab(args, row.terminate ? AtUp::Terminate : AtUp::Nothing);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.output;

    // "lab ID up: ...", a device line "... pid N" each, the command's lines, "lab ID down".
    std::string id;
    int pids = 0;
    std::vector<std::string> records;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("lab twl", 0) == 0 && line.find(" up:") != std::string::npos)
            id = line.substr(4, line.find(' ', 4) - 4);
        if (const auto at = line.rfind(" pid "); at != std::string::npos) {
            ++pids;
            const std::string pid = line.substr(at + 5);
            EXPECT_TRUE(ProcessGone(std::stoi(pid))) << "device process " << pid << " left running";
        }
        if (line.rfind("0x", 0) == 0)
            records.push_back(line);
    }
    ASSERT_FALSE(id.empty()) << run.output;
    EXPECT_EQ(pids, 5) << run.output;
    EXPECT_NE(run.output.find("lab " + id + " down"), std::string::npos) << run.output;
    struct stat st { };
    EXPECT_NE(::stat(("/run/twl-lab/" + id).c_str(), &st), 0) << "state left behind";
    for (const char* role : { "br", "host", "d1", "d2", "d3", "d4", "d5" }) {
        const std::string ns = "/run/netns/" + id + "-" + role;
        EXPECT_NE(::stat(ns.c_str(), &st), 0) << ns << " left behind";
    }
    std::sort(records.begin(), records.end());
    EXPECT_EQ(records, row.records);
}

INSTANTIATE_TEST_SUITE_P(Lab, LabScript,
    ::testing::Combine(::testing::ValuesIn(Rows), ::testing::Values("fake", "sim")),
    [](const auto& info) { return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param); });

bool Exists(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0;
}

std::string Bin(const std::string& program)
{
    return Env("TWL_BIN_DIR") + "/" + program;
}

// Runs a command line with sh; its output.
std::string Sh(const std::string& command)
{
    std::string text;
    if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
            text.append(buffer, n);
        ::pclose(p);
    }
    return text;
}

std::string LabId(const std::string& output)
{
    const auto at = output.find("lab twl");
    return at == std::string::npos ? std::string() : output.substr(at + 4, output.find(' ', at + 4) - at - 4);
}

class LabScriptPlan : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string reason = lab::UnavailableReason();
        if (!reason.empty())
            GTEST_SKIP() << reason;
    }
};

// A plan with every kind of device, two Ethernet links and one that is not:
// each device runs with its settings, answers the search on its own link,
// and is known by name in the host namespace.
TEST_F(LabScriptPlan, DevicesOfAPlanWithTheirSettingsLinksAndNames)
{
    char folder[] = "/tmp/twl-plan-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string planFile = std::string(folder) + "/plan";
    std::ofstream(planFile) << "# kind address name settings\n"
                               "same 10.77.0.11 Alpha password=abc alarm-host=10.77.0.1\n"
                               "\n"
                               "foreign 10.88.0.12 Bravo fault=\"exception 4 fn 8 once\" restart=100\n"
                               "unconfigured - Charlie\n";
    const LabRun up = RunLab({ "up", "--plan", planFile, "--device", "second 10.66.0.20 Foxtrot commit-delay=3:50",
                                 "--second-link", "--tun-link", "--bin", Env("TWL_BIN_DIR") },
        AtUp::Nothing);
    ASSERT_EQ(up.exitCode, 0) << up.output;
    const std::string id = LabId(up.output);
    ASSERT_FALSE(id.empty()) << up.output;
    const std::string inHost = "ip netns exec " + id + "-host ";
    // Down again whatever fails below.
    const std::unique_ptr<void, std::function<void(void*)>> down(reinterpret_cast<void*>(1), [&](void*) {
        RunLab({ "down", id }, AtUp::Nothing);
    });

    // namespace, reported, reached, MAC, kind, name, control, frame log, pid
    std::map<std::string, std::vector<std::string>> devices;
    std::ifstream plan("/run/twl-lab/" + id + "/plan");
    for (std::string line; std::getline(plan, line);) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string f; std::getline(in, f, '\t');)
            fields.push_back(f);
        if (fields.size() == 9 && line[0] != '#')
            devices[fields[5]] = fields;
    }
    ASSERT_EQ(devices.size(), 4u);
    auto status = [&](const std::string& name) {
        lab::Device d;
        d.control = devices[name][6];
        return lab::LabNet::Control(d, "status");
    };
    EXPECT_NE(status("Alpha").find(" password=3 "), std::string::npos) << status("Alpha");
    EXPECT_NE(status("Bravo").find(" fault=exception 4 fn 8 count 1 "), std::string::npos) << status("Bravo");
    EXPECT_NE(status("Foxtrot").find(" commit-delay=200,3:50 "), std::string::npos) << status("Foxtrot");
    EXPECT_NE(status("Charlie").find(" address=0.0.0.0 "), std::string::npos) << status("Charlie");
    std::string alarmArgs = Sh("tr '\\0' ' ' </proc/" + devices["Alpha"][8] + "/cmdline");
    EXPECT_NE(alarmArgs.find(" --alarm-host 10.77.0.1 "), std::string::npos) << alarmArgs;
    EXPECT_EQ(devices["Charlie"][2], "192.168.127.254");
    EXPECT_TRUE(Exists(devices["Alpha"][7])) << "frame log";

    EXPECT_EQ(Sh(inHost + "getent hosts Alpha Charlie Foxtrot | tr -s ' ' ' '"),
        "10.77.0.11 Alpha\n192.168.127.254 Charlie\n10.66.0.20 Foxtrot\n");
    EXPECT_NE(Sh(inHost + "ip -o link show tun0").find("link/none"), std::string::npos);
    std::string search = Sh(inHost + Bin("dsc-search"));
    std::vector<std::string> records;
    std::istringstream lines(search);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("0x", 0) == 0)
            records.push_back(line.substr(18, line.rfind(' ') - 18)); // address "via" interface address
    }
    std::sort(records.begin(), records.end());
    EXPECT_EQ(records,
        (std::vector<std::string> { "0.0.0.0 via 10.77.0.1", "10.66.0.20 via 10.66.0.1", "10.77.0.11 via 10.77.0.1",
            "10.88.0.12 via 10.77.0.1" }))
        << search;

    const LabRun downNow = RunLab({ "down", id }, AtUp::Nothing);
    EXPECT_EQ(downNow.exitCode, 0) << downNow.output;
    EXPECT_FALSE(Exists("/run/netns/" + id + "-host"));
    EXPECT_FALSE(Exists("/etc/netns/" + id + "-host"));
    std::filesystem::remove_all(folder);
}

TEST_F(LabScriptPlan, AFullLabOf250DevicesIsFoundWhole)
{
    const LabRun run
        = RunLab({ "run", "--devices", "250", "--bin", Env("TWL_BIN_DIR"), "--", Bin("dsc-search") }, AtUp::Nothing);
    EXPECT_EQ(run.exitCode, 0) << run.output.substr(0, 2000);
    EXPECT_NE(run.output.find("\n250 record(s)\n"), std::string::npos) << run.output.substr(run.output.size() - 500);
}

// A lab whose owner was killed with everything it started (SIGKILL to the
// process group, as a test runner's timeout does) is removed by the next
// sweep, by lab.sh or by the next LabNet; a lab whose owner lives stays.
TEST_F(LabScriptPlan, KilledLabsAreSweptLivingOnesStay)
{
    lab::LabNet living;
    const std::string livingNs = living.AddNamespace("alive");
    ASSERT_FALSE(livingNs.empty()) << living.Error();

    for (const char* sweeper : { "lab.sh sweep", "LabNet" }) {
        SCOPED_TRACE(sweeper);
        const LabRun killed
            = RunLab({ "run", "--devices", "2", "--fake", "--bin", Env("TWL_BIN_DIR"), "--", "/bin/sleep", "600" },
                AtUp::KillAll);
        const std::string id = LabId(killed.output);
        ASSERT_FALSE(id.empty()) << killed.output;
        EXPECT_TRUE(Exists("/run/netns/" + id + "-d1")) << "the kill left nothing to sweep";

        if (std::string(sweeper) == "LabNet") {
            lab::LabNet next;
        } else {
            const LabRun sweep = RunLab({ "sweep" }, AtUp::Nothing);
            EXPECT_EQ(sweep.exitCode, 0) << sweep.output;
        }
        for (const char* role : { "br", "host", "d1", "d2" })
            EXPECT_FALSE(Exists("/run/netns/" + id + "-" + role)) << role;
        EXPECT_FALSE(Exists("/run/twl-lab/" + id));
        EXPECT_FALSE(Exists("/etc/netns/" + id + "-host"));
        EXPECT_TRUE(Exists("/run/netns/" + livingNs));
    }
}

TEST_F(LabScriptPlan, AKilledLabNetIsSweptByTheNext)
{
    int names[2];
    ASSERT_EQ(::pipe(names), 0);
    const pid_t owner = ::fork();
    if (owner == 0) {
        ::setpgid(0, 0);
        ::close(names[0]);
        lab::LabNet net;
        const std::string ns = net.AddNamespace("x");
        const std::string line = ns + " " + net.StateDir() + "\n";
        if (::write(names[1], line.data(), line.size()) < 0)
            ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    ::close(names[1]);
    char buffer[512] {};
    const ssize_t n = ::read(names[0], buffer, sizeof buffer - 1);
    ::close(names[0]);
    ASSERT_GT(n, 0);
    std::istringstream in(buffer);
    std::string ns, stateDir;
    in >> ns >> stateDir;
    // Stopped first, so that its watchdog can't clean up: the state a kill of
    // the whole tree leaves.
    ::kill(-owner, SIGSTOP);
    ::kill(-owner, SIGKILL);
    ::waitpid(owner, nullptr, 0);
    ASSERT_TRUE(Exists("/run/netns/" + ns));
    ASSERT_TRUE(Exists(stateDir));

    lab::LabNet next;
    EXPECT_FALSE(Exists("/run/netns/" + ns));
    EXPECT_FALSE(Exists(stateDir));
}

} // namespace
