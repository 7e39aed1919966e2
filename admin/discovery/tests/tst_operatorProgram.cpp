// TwinlaneAdmin itself, started in the host namespace of a lab (it searches
// the network once it starts): refused as root without the sandbox switch;
// as an operator, ended by a signal through its normal close, or killed,
// and either way its route helper is gone and the tables are as before.
#include "admin/discovery/tests/operatorUser.h"
#include "lab/labNet.h"
#include "lab/testsupport/testSkip.h"

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string unavailable;
TOperatorSetup setup;
std::string program; // a copy of the program's folder every user can reach

struct TEnded {
    bool ended = false;
    int status = 0;
};

// Waits, bounded, for the child's end.
TEnded WaitEnd(pid_t pid)
{
    TEnded result;
    WaitFor([&] {
        const pid_t done = ::waitpid(pid, &result.status, WNOHANG);
        result.ended = done == pid;
        return result.ended || done < 0;
    });
    return result;
}

class OperatorProgram : public testing::Test {
protected:
    void SetUp() override
    {
        if (!unavailable.empty())
            GTEST_SKIP() << unavailable;
        m_host = m_net.AddNamespace("host");
        ASSERT_FALSE(m_host.empty()) << m_net.Error();
        ASSERT_TRUE(m_net.Connect(m_host, "eth0", {}, { "10.77.0.1/24" })) << m_net.Error();
        m_settings = setup.directory + "/machine-" + std::to_string(::getpid()) + ".ini";
    }
    void TearDown() override
    {
        for (pid_t pid : m_started) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // Starts the program in the lab's host namespace, as the operator or (no
    // user) as root; its standard error and output go into *output's pipe.
    pid_t Start(
        const TUser* user, const std::vector<std::string>& environment, int* output, const std::string& path = program)
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return -1;
        const std::string ns = "/run/netns/" + m_host;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int fd = ::open(ns.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0 || !lab::InLabNamespace())
                ::_exit(125);
            if (user && !setup.Become(*user, true))
                ::_exit(126);
            for (const char* name :
                { "DISPLAY", "WAYLAND_DISPLAY", "QTWEBENGINE_DISABLE_SANDBOX", "QTWEBENGINE_CHROMIUM_FLAGS" })
                ::unsetenv(name);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("KORVEL_MACHINE_SETTINGS", m_settings.c_str(), 1);
            for (const std::string& e : environment)
                ::putenv(const_cast<char*>(e.c_str()));
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(out[1], STDERR_FILENO);
            const char* argv[] = { path.c_str(), nullptr };
            ::execv(argv[0], const_cast<char**>(argv));
            ::_exit(127);
        }
        ::close(out[1]);
        *output = out[0];
        if (pid > 0)
            m_started.push_back(pid);
        return pid;
    }
    void Forget(pid_t pid) { std::erase(m_started, pid); }

    std::string HostTables()
    {
        return m_net.RunIn(m_host, [] { return Tables(); }).value_or("?");
    }

    lab::LabNet m_net;
    std::string m_host;
    std::string m_settings;
    std::vector<pid_t> m_started;
};

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd pfd { fd, POLLIN, 0 };
        if (::poll(&pfd, 1, 20000) != 1)
            break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

// The capabilities the process holds, from /proc.
std::string EffectiveCapabilities(pid_t pid)
{
    const std::string status = Output("cat /proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("CapEff:");
    return at == std::string::npos ? "?" : status.substr(at + 7, status.find('\n', at) - at - 7);
}

} // namespace

TEST_F(OperatorProgram, RootWithoutTheSandboxSwitchIsRefused)
{
    // Root's own runtime directory for this start: whatever the program
    // would create lands here.
    const std::string runtime = setup.directory + "/run-root";
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    const std::string before = HostTables();
    int output = -1;
    const pid_t pid = Start(nullptr, { "XDG_RUNTIME_DIR=" + runtime }, &output);
    ASSERT_GT(pid, 0);
    const std::string text = ReadAll(output);
    const TEnded end = WaitEnd(pid);
    Forget(pid);
    ASSERT_TRUE(end.ended);
    ASSERT_TRUE(WIFEXITED(end.status));
    EXPECT_EQ(WEXITSTATUS(end.status), 1);
    EXPECT_NE(text.find("TwinlaneAdmin does not run as root."), std::string::npos) << text;
    EXPECT_NE(text.find("scripts/setup-operator.sh"), std::string::npos) << text;
    EXPECT_NE(text.find("QTWEBENGINE_DISABLE_SANDBOX=1"), std::string::npos) << text;
    EXPECT_EQ(Output("ls -A " + runtime), ""); // no lock, no helper state
    EXPECT_NE(::access(m_settings.c_str(), F_OK), 0);
    EXPECT_EQ(HostTables(), before);
}

struct tSIGNALCASE {
    const char* name;
    int signal;
};

class ClosedBySignal : public OperatorProgram, public testing::WithParamInterface<tSIGNALCASE> { };

TEST_P(ClosedBySignal, ClosesInOrderWithoutAQuestion)
{
    const std::string before = HostTables();
    int output = -1;
    const pid_t pid = Start(&setup.operatorUser, {}, &output);
    ASSERT_GT(pid, 0);
    // Its helper runs once the window has loaded the interfaces.
    ASSERT_TRUE(WaitFor([] { return StateFiles(setup.operatorUser).size() == 1; }));
    EXPECT_EQ(EffectiveCapabilities(pid), "\t0000000000000000");
    ASSERT_EQ(::kill(pid, GetParam().signal), 0);
    const TEnded end = WaitEnd(pid);
    ASSERT_TRUE(end.ended);
    Forget(pid);
    const std::string text = ReadAll(output);
    ASSERT_TRUE(WIFEXITED(end.status)) << "ended by signal " << WTERMSIG(end.status) << "\n" << text;
    EXPECT_EQ(WEXITSTATUS(end.status), 0) << text;
    // Released in the close: the helper removed its state file and ended.
    EXPECT_TRUE(StateFiles(setup.operatorUser).empty());
    EXPECT_EQ(HostTables(), before);
}

INSTANTIATE_TEST_SUITE_P(Signals, ClosedBySignal,
    testing::Values(tSIGNALCASE { "Term", SIGTERM }, tSIGNALCASE { "Int", SIGINT }, tSIGNALCASE { "Hup", SIGHUP }),
    [](const testing::TestParamInfo<tSIGNALCASE>& info) { return info.param.name; });

TEST_F(OperatorProgram, KilledProgramLeavesNothingBehind)
{
    const std::string before = HostTables();
    int output = -1;
    const pid_t pid = Start(&setup.operatorUser, {}, &output);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitFor([] { return StateFiles(setup.operatorUser).size() == 1; }));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(WaitEnd(pid).ended);
    Forget(pid);
    ::close(output);
    // The helper saw its pipe close: it removed what it wrote and ended.
    EXPECT_TRUE(WaitFor([] { return StateFiles(setup.operatorUser).empty(); }));
    EXPECT_TRUE(WaitFor([&] { return HostTables() == before; })) << HostTables();
}

namespace {

// Every process below root, and its /proc/<pid>/status.
std::vector<std::pair<pid_t, std::string>> Descendants(pid_t root)
{
    std::map<pid_t, std::pair<pid_t, std::string>> all; // pid: parent, status
    if (DIR* d = ::opendir("/proc")) {
        while (const dirent* e = ::readdir(d)) {
            const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
            if (pid <= 0)
                continue;
            std::ifstream file("/proc/" + std::to_string(pid) + "/status");
            const std::string status((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            const std::size_t at = status.find("PPid:");
            if (at != std::string::npos)
                all[pid] = { static_cast<pid_t>(std::atoi(status.c_str() + at + 5)), status };
        }
        ::closedir(d);
    }
    std::vector<std::pair<pid_t, std::string>> below;
    for (const auto& [pid, entry] : all) {
        for (pid_t up = entry.first; up > 1 && all.count(up); up = all[up].first) {
            if (up == root) {
                below.emplace_back(pid, entry.second);
                break;
            }
        }
    }
    return below;
}

} // namespace

// Without a helper named in the environment, the program takes the first
// one it may run that holds the capability: not the plain copy beside it
// (a build tree's), but the installed one in ../libexec/twinlane.
TEST_F(OperatorProgram, FindsTheInstalledHelper)
{
    const std::string libexec = setup.directory + "/libexec/twinlane";
    ASSERT_EQ(::Run("install -d -m 0755 " + libexec + " && install -o root -g twinlane -m 0750 " + setup.helperPath
                  + " " + libexec + "/ && setcap cap_net_admin=ep " + libexec + "/twl-route-helper"),
        0);
    ASSERT_EQ(::access((setup.directory + "/bin/twl-route-helper").c_str(), X_OK), 0);
    int output = -1;
    const pid_t pid = Start(&setup.operatorUser, { "TWL_ROUTE_HELPER=" }, &output);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitFor([] { return StateFiles(setup.operatorUser).size() == 1; }));
    std::string helper;
    for (const auto& [child, status] : Descendants(pid)) {
        if (status.find("Name:\ttwl-route-helpe") != std::string::npos)
            helper = Output("readlink /proc/" + std::to_string(child) + "/exe");
    }
    EXPECT_EQ(helper, libexec + "/twl-route-helper\n");
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    const TEnded end = WaitEnd(pid);
    ASSERT_TRUE(end.ended);
    Forget(pid);
    ::close(output);
    EXPECT_TRUE(WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0);
    ::Run("rm -rf " + setup.directory + "/libexec");
}

// The device page's own test, run as the operator with the web engine's
// sandbox on: its pages then render in processes that are confined (a
// seccomp filter, namespaces of their own).
TEST_F(OperatorProgram, DevicePageOpensWithTheSandboxOn)
{
    int output = -1;
    const std::string runtime = "HOME=" + setup.operatorUser.runtime;
    const pid_t pid = Start(&setup.operatorUser, { runtime, "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu" }, &output,
        setup.directory + "/bin/test_webConsole");
    ASSERT_GT(pid, 0);
    std::string text;
    int confined = 0;
    TEnded end;
    WaitFor([&] {
        for (const auto& [child, status] : confined ? decltype(Descendants(pid)) {} : Descendants(pid)) {
            if (status.find("QtWebEngineProc") != std::string::npos && status.find("Seccomp:\t2") != std::string::npos)
                ++confined;
        }
        char buffer[4096];
        pollfd pfd { output, POLLIN, 0 };
        while (::poll(&pfd, 1, 0) == 1) {
            const ssize_t n = ::read(output, buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        const pid_t done = ::waitpid(pid, &end.status, WNOHANG);
        end.ended = done == pid;
        return end.ended || done < 0;
    });
    ::close(output);
    ASSERT_TRUE(end.ended);
    Forget(pid);
    EXPECT_TRUE(WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0) << text;
    EXPECT_EQ(text.find("no-sandbox"), std::string::npos);
    EXPECT_GT(confined, 0) << "no web engine process ran confined\n" << text;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    unavailable = setup.Make();
    if (unavailable.empty()) {
        // The program with the files it expects beside it.
        const char* bin = std::getenv("TWL_BIN_DIR");
        const char* webTest = std::getenv("TWL_WEBCONSOLE_TEST");
        if (!webTest
            || Run("cp -a " + std::string(bin) + " " + setup.directory + "/bin && cp " + webTest + " " + setup.directory
                   + "/bin/ && chmod -R a+rX " + setup.directory + "/bin")
                != 0)
            unavailable = "could not copy the program";
        program = setup.directory + "/bin/TwinlaneAdmin";
    }
    const int result = twltest::RunAllTests();
    setup.Remove();
    return result;
}
