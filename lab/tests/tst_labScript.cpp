// lab.sh brings a network up, runs a command in its host namespace and
// leaves nothing behind: not after success, not after a failing command,
// not after a signal.
#include "labNet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
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

// Runs lab.sh with its output in one pipe; with terminateWhenUp, sends it
// SIGTERM once the lab reports itself up.
LabRun RunLab(const std::vector<std::string>& args, bool terminateWhenUp)
{
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

    const LabRun run = RunLab(args, row.terminate);
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

} // namespace
