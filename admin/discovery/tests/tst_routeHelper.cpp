// twl-route-helper as an operator would have it: a copy owned by root and
// the group twinlane, mode 0750, with CAP_NET_ADMIN as its file capability,
// run by a user of that group who holds no right of their own, in the host
// namespace of a lab (lab::LabNet). Needs root to set that up; skips without.
#include "admin/discovery/Iphelp.h"
#include "admin/discovery/tests/operatorUser.h"
#include "admin/routehelper/routeProtocol.h"
#include "lab/labNet.h"
#include "lab/testsupport/testSkip.h"

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* Local = "10.77.0.1";
constexpr const char* Server = "10.99.0.5";
constexpr const char* ServerMac = "02-00-5E-10-00-05";
constexpr int WaitLimitMs = 20000; // generous: a loaded two-core machine

// Set up once by main().
std::string unavailable;
TOperatorSetup setup;

class RouteHelper : public testing::Test {
protected:
    void SetUp() override
    {
        if (!unavailable.empty())
            GTEST_SKIP() << unavailable;
        m_host = m_net.AddNamespace("host");
        ASSERT_FALSE(m_host.empty()) << m_net.Error();
        ASSERT_TRUE(m_net.Connect(m_host, "eth0", {}, { "10.77.0.1/24" })) << m_net.Error();
    }

    // Runs task in the lab's host namespace as the user; its text.
    std::string AsUser(const TUser& u, const std::function<std::string()>& task, bool inGroup = true)
    {
        const std::optional<std::string> text = m_net.RunIn(m_host, [&] {
            if (!setup.Become(u, inGroup))
                return std::string("could not become the user\n");
            return task();
        });
        return text.value_or("the task did not end normally");
    }
    std::string HostTables()
    {
        return m_net.RunIn(m_host, [] { return Tables(); }).value_or("?");
    }

    // A stand-in for TwinlaneAdmin: as the operator in the host namespace,
    // loads the interfaces (which starts the helper), adds two servers'
    // routes and waits to be killed. Its own process group, so that it and
    // its helper can be killed at once.
    pid_t StartProgram()
    {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0)
            return -1;
        const std::string path = "/run/netns/" + m_host;
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::setpgid(0, 0);
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0 || !lab::InLabNamespace()
                || !setup.Become(setup.operatorUser, true))
                ::_exit(3);
            LoadLocalInterfaces();
            AddHostRoute(Local, Server, ServerMac);
            AddHostRoute(Local, "10.99.0.6", QString());
            const char line[] = "ready\n";
            if (::write(ready[1], line, sizeof line - 1) != sizeof line - 1)
                ::_exit(4);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        m_readyFd = ready[0];
        return pid;
    }
    bool WaitReady()
    {
        pollfd pfd { m_readyFd, POLLIN, 0 };
        char buffer[16] = {};
        const bool ok = ::poll(&pfd, 1, WaitLimitMs) == 1 && ::read(m_readyFd, buffer, sizeof buffer) > 0
            && std::string(buffer) == "ready\n";
        ::close(m_readyFd);
        return ok;
    }

    // Someone else's route and static entry, which must outlive everything.
    void AddForeignEntries()
    {
        ASSERT_TRUE(m_net.IpBatch(m_host,
            { "route add 10.99.0.9/32 dev eth0 proto static",
                "neigh add 10.99.0.9 lladdr 02:00:5e:10:00:09 dev eth0 nud permanent" }))
            << m_net.Error();
    }

    lab::LabNet m_net;
    std::string m_host;
    int m_readyFd = -1;
};

} // namespace

TEST_F(RouteHelper, OperatorWritesAndRemovesRoutesAndNeighbourEntries)
{
    AddForeignEntries();
    const std::string before = HostTables();
    const std::string wrong = AsUser(setup.operatorUser, [] {
        std::string wrong;
        auto expect = [&](bool ok, const std::string& what) {
            if (!ok)
                wrong += what + " (" + IphelpLastError().toStdString() + ")\n";
        };
        const std::string before = Tables();
        LoadLocalInterfaces();
        expect(HostRouteProblem().isEmpty(), "no problem: " + HostRouteProblem().toStdString());
        AddHostRoute(Local, Server, ServerMac);
        expect(IphelpLastError().isEmpty(), "route and entry written");
        AddHostRoute(Local, "10.99.0.6", QString());
        const std::string routes = Output("ip route show table main 2>&1");
        const std::string neighbours = Output("ip neigh show nud permanent 2>&1");
        expect(routes.find("10.99.0.5 dev eth0 proto 84 scope link src 10.77.0.1 metric 20") != std::string::npos,
            "route to the server: " + routes);
        expect(routes.find("10.99.0.6 dev eth0 proto 84 scope link src 10.77.0.1 metric 20") != std::string::npos,
            "route to the second server: " + routes);
        expect(neighbours.find("10.99.0.5 dev eth0 lladdr 02:00:5e:10:00:05 PERMANENT") != std::string::npos,
            "static entry: " + neighbours);
        expect(RemoveHostRoute(Server), "RemoveHostRoute");
        expect(Output("ip route show 10.99.0.5/32").empty(), "route removed");
        expect(Output("ip neigh show 10.99.0.5").empty(), "entry removed");
        ReleaseLocalInterfaces();
        expect(Tables() == before, "tables as before after the release:\n" + Tables());
        return wrong;
    });
    EXPECT_EQ(wrong, "");
    EXPECT_EQ(HostTables(), before);
    EXPECT_TRUE(StateFiles(setup.operatorUser).empty());
}

TEST_F(RouteHelper, RefusesWhatItMayNotWrite)
{
    const std::string before = HostTables();
    // Every request goes in one write; the answers come back in order, one
    // request at a time. "IF" stands for the index of eth0.
    const struct {
        std::string request;
        routehelper::TReason reason;
    } rows[] = {
        { "hello", routehelper::TReason::Ok },
        { "route 10.99.0.0/24 IF 10.77.0.1 direct 20", routehelper::TReason::NotHostRoute },
        { "route 10.99.0.5/32 9999 10.77.0.1 direct 20", routehelper::TReason::NoSuchInterface },
        { "neigh 10.99.0.5 9999 02:00:5e:10:00:05", routehelper::TReason::NoSuchInterface },
        { std::string(300, 'r'), routehelper::TReason::Oversized },
        { "route 10.99.0.5/32 IF 10.77.0.1 direct " + std::string(120, '1'), routehelper::TReason::Oversized },
        { "route 10.99.0.5/32", routehelper::TReason::Malformed },
        { "route 10.99.0.5/32 IF 10.77.0.1 direct -20", routehelper::TReason::Malformed },
        { "route 010.99.0.5/32 IF 10.77.0.1 direct 20", routehelper::TReason::Malformed },
        { "route 10.99.0.5/32  IF 10.77.0.1 direct 20", routehelper::TReason::Malformed },
        { std::string("neigh 10.99.0.5\0 IF 02:00:5e:10:00:05", 38), routehelper::TReason::Malformed },
        { "", routehelper::TReason::Malformed },
        { "flush all", routehelper::TReason::Malformed },
        { "route 127.0.0.1/32 IF 10.77.0.1 direct 20", routehelper::TReason::BadAddress },
        { "route 224.0.0.5/32 IF 10.77.0.1 direct 20", routehelper::TReason::BadAddress },
        { "neigh 10.99.0.5 IF ff:ff:ff:ff:ff:ff", routehelper::TReason::BadMacAddress },
        { "delroutes 10.99.0.77", routehelper::TReason::NotFound },
        // Someone else's route with the same key is not taken over.
        { "route 10.99.0.9/32 IF 10.77.0.1 direct 0", routehelper::TReason::RouteExists },
        // Still answering: a good request after all that is written.
        { "route 10.99.0.5/32 IF 10.77.0.1 direct 20", routehelper::TReason::Ok },
    };
    ASSERT_TRUE(m_net.IpBatch(m_host, { "route add 10.99.0.9/32 dev eth0 proto static metric 0" })) << m_net.Error();
    const std::string withForeign = HostTables();
    std::string input;
    for (const auto& row : rows)
        input += row.request + "\n";
    const std::string answers = AsUser(setup.operatorUser, [&] {
        const std::string index = std::to_string(::if_nametoindex("eth0"));
        std::string text = input;
        for (std::size_t at; (at = text.find(" IF ")) != std::string::npos;)
            text.replace(at, 4, " " + index + " ");
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
            return std::string("socketpair");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, sv[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, sv[1], STDOUT_FILENO);
        char* argv[] = { const_cast<char*>(setup.helperPath.c_str()), nullptr };
        pid_t pid;
        const int error = posix_spawn(&pid, setup.helperPath.c_str(), &actions, nullptr, argv, environ);
        ::close(sv[1]);
        if (error != 0)
            return "spawn: " + std::string(strerror(error));
        if (::write(sv[0], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return std::string("write");
        // Wait for every answer, then close: the helper removes what the
        // last request wrote and ends.
        std::string out;
        char buffer[1024];
        while (std::count(out.begin(), out.end(), '\n') < static_cast<long>(std::size(rows))) {
            pollfd pfd { sv[0], POLLIN, 0 };
            if (::poll(&pfd, 1, WaitLimitMs) != 1)
                break;
            const ssize_t n = ::read(sv[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        out += "written: " + Output("ip route show 10.99.0.5/32") + "\n";
        ::close(sv[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        out += "exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "\n";
        return out;
    });
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = answers.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(answers.substr(start, end - start));
    ASSERT_GE(lines.size(), std::size(rows) + 2) << answers;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].request.substr(0, 60));
        const auto answer = routehelper::ParseAnswer(lines[i]);
        ASSERT_TRUE(answer) << lines[i];
        EXPECT_EQ(answer->reason, rows[i].reason) << lines[i];
    }
    EXPECT_NE(lines[std::size(rows)].find("10.99.0.5 dev eth0 proto 84 scope link src 10.77.0.1 metric 20"),
        std::string::npos)
        << answers;
    EXPECT_EQ(lines.back(), "exit 0");
    EXPECT_EQ(HostTables(), withForeign);
    EXPECT_NE(HostTables(), before);
}

TEST_F(RouteHelper, UserOutsideTheGroupMayNotRunIt)
{
    const std::string before = HostTables();
    const std::string wrong = AsUser(
        setup.outsider,
        [] {
            std::string wrong;
            char* argv[] = { const_cast<char*>(setup.helperPath.c_str()), nullptr };
            pid_t pid;
            const int error = posix_spawn(&pid, setup.helperPath.c_str(), nullptr, nullptr, argv, environ);
            if (error != EACCES)
                wrong += "spawn: " + std::string(strerror(error)) + "\n";
            LoadLocalInterfaces();
            const QString problem = HostRouteProblem();
            if (!problem.contains("may not run") || !problem.contains("twinlane"))
                wrong += "hint: " + problem.toStdString() + "\n";
            AddHostRoute(Local, Server, ServerMac);
            if (IphelpLastReason() != routehelper::TReason::NoHelper || !IphelpLastError().contains("may not run"))
                wrong += "write refused: " + IphelpLastError().toStdString() + "\n";
            ReleaseLocalInterfaces();
            return wrong;
        },
        false);
    EXPECT_EQ(wrong, "");
    EXPECT_EQ(HostTables(), before);
}

TEST_F(RouteHelper, KilledProgramLeavesTheTablesAsBefore)
{
    AddForeignEntries();
    const std::string before = HostTables();
    const pid_t program = StartProgram();
    ASSERT_GT(program, 0);
    ASSERT_TRUE(WaitReady());
    const std::string during = HostTables();
    EXPECT_NE(during.find("10.99.0.5 dev eth0 table main proto 84"), std::string::npos) << during;
    EXPECT_NE(during.find("10.99.0.5 dev eth0 lladdr 02:00:5e:10:00:05 PERMANENT"), std::string::npos) << during;
    EXPECT_EQ(StateFiles(setup.operatorUser).size(), 1u);

    const auto killed = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(program, SIGKILL), 0);
    ASSERT_EQ(::waitpid(program, nullptr, 0), program);
    EXPECT_TRUE(WaitFor([&] { return HostTables() == before; })) << HostTables();
    std::printf("tables as before %lld ms after the kill\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - killed).count()));
    EXPECT_TRUE(WaitFor([&] { return StateFiles(setup.operatorUser).empty(); }));
}

TEST_F(RouteHelper, NextStartRemovesWhatAKilledHelperLeft)
{
    AddForeignEntries();
    const std::string before = HostTables();
    const pid_t program = StartProgram();
    ASSERT_GT(program, 0);
    ASSERT_TRUE(WaitReady());
    // The program and its helper at once.
    ASSERT_EQ(::kill(-program, SIGKILL), 0);
    ASSERT_EQ(::waitpid(program, nullptr, 0), program);
    const std::vector<std::string> files = StateFiles(setup.operatorUser);
    ASSERT_EQ(files.size(), 1u);
    // The helper is gone once its lock is free.
    const std::string state = setup.operatorUser.runtime + "/twinlane-routes/" + files[0];
    EXPECT_TRUE(WaitFor([&] {
        const int fd = ::open(state.c_str(), O_RDONLY | O_CLOEXEC);
        const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    }));
    const std::string left = HostTables();
    EXPECT_NE(left.find("10.99.0.5 dev eth0 table main proto 84"), std::string::npos) << left;
    EXPECT_NE(left.find("10.99.0.6 dev eth0 table main proto 84"), std::string::npos) << left;
    EXPECT_NE(left.find("10.99.0.5 dev eth0 lladdr 02:00:5e:10:00:05 PERMANENT"), std::string::npos) << left;

    // The next start: its helper removes the leftovers, and only those.
    const std::string afterStart = AsUser(setup.operatorUser, [] {
        LoadLocalInterfaces();
        const std::string tables = Tables();
        ReleaseLocalInterfaces();
        return tables;
    });
    EXPECT_EQ(afterStart, before);
    EXPECT_EQ(HostTables(), before);
    EXPECT_TRUE(StateFiles(setup.operatorUser).empty());
}

// A state file says no more than a request could: what it lists is removed
// only while it is the helper's own (its route protocol, its MAC address),
// and lines that don't read are skipped.
TEST_F(RouteHelper, LeftoverListRemovesOnlyTheHelpersOwnEntries)
{
    AddForeignEntries();
    const std::string before = HostTables();
    struct stat ns { };
    ASSERT_EQ(::stat(("/run/netns/" + m_host).c_str(), &ns), 0);
    const std::string directory = setup.operatorUser.runtime + "/twinlane-routes";
    ::mkdir(directory.c_str(), 0700); // or made by an earlier helper
    ASSERT_EQ(::chown(directory.c_str(), setup.operatorUser.uid, setup.operatorUser.gid), 0);
    const std::string file = directory + "/net" + std::to_string(ns.st_ino) + "-1.state";
    const std::string index
        = m_net.RunIn(m_host, [] { return std::to_string(::if_nametoindex("eth0")); }).value_or("0");
    const std::string list = "route 10.99.0.9 " + index + " 0\n" // the foreign route, another protocol
        + "neigh 10.99.0.9 " + index + " 02:00:5e:10:00:99\n" // the foreign entry, another MAC
        + "route 10.99.0.9/24 " + index + " 0\n" + "neigh 10.99.0.9\n" + std::string(5000, 'x') + "\n"
        + "route 10.99.0.0 " + index + " 0";
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(list.c_str(), f);
        std::fclose(f);
    }
    ASSERT_EQ(::chown(file.c_str(), setup.operatorUser.uid, setup.operatorUser.gid), 0);
    const std::string afterStart = AsUser(setup.operatorUser, [] {
        LoadLocalInterfaces();
        const std::string tables = Tables();
        ReleaseLocalInterfaces();
        return tables;
    });
    EXPECT_EQ(afterStart, before);
    EXPECT_TRUE(StateFiles(setup.operatorUser).empty()); // read and removed
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    unavailable = setup.Make();
    const int result = twltest::RunAllTests();
    setup.Remove();
    return result;
}
