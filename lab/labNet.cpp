#include "lab/labNet.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sched.h>
#include <set>
#include <sstream>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lab {

namespace {

const char* IpTool()
{
    for (const char* path : { "/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip" }) {
        if (::access(path, X_OK) == 0)
            return path;
    }
    return nullptr;
}

// Every lab namespace, ours or lab.sh's, is named "twl...".
constexpr const char* NamePrefix = "twl";

std::string NamespacePath(const std::string& name)
{
    return "/run/netns/" + name;
}

// What `ip netns delete` does, but safe to call from a dying process: the
// namespace goes once its last process has left.
void DeleteNamespaceFile(const std::string& name)
{
    const std::string path = NamespacePath(name);
    ::umount2(path.c_str(), MNT_DETACH);
    ::unlink(path.c_str());
    // Its hosts file, as lab.sh and BringUp write it.
    std::error_code ignored;
    std::filesystem::remove_all("/etc/netns/" + name, ignored);
}

// In a child that entered the namespace: what `ip netns exec` does for the
// namespace's own hosts file, so that devices are found by name.
void UseNamespaceHosts(const std::string& ns)
{
    const std::string hosts = "/etc/netns/" + ns + "/hosts";
    if (::access(hosts.c_str(), R_OK) != 0 || ::unshare(CLONE_NEWNS) != 0)
        return;
    ::mount(nullptr, "/", nullptr, MS_SLAVE | MS_REC, nullptr);
    ::mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr);
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return text;
        text.append(buffer, std::size_t(n));
    }
}

bool EnterNamespace(const std::string& ns)
{
    const int fd = ::open(NamespacePath(ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return ok;
}

// Runs a program to its end; returns its exit code (-1 when it did not exit
// normally) and what it wrote to standard error.
int RunTool(const std::vector<std::string>& argv, const std::string& input, std::string* errorText)
{
    int in[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return -1;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return -1;
    }
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::dup2(err[1], STDOUT_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(err[1]);
    if (pid > 0)
        WriteAll(in[1], input);
    ::close(in[1]);
    const std::string text = ReadAll(err[0]);
    ::close(err[0]);
    if (pid < 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (errorText)
        *errorText = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr const char* StateRoot = "/run/twl-lab";
constexpr int DeviceReadyLimitMs = 30000;
constexpr int ControlReplyLimitMs = 20000;
constexpr int HostPrefixLength = 24;
constexpr int SecondBridge = 1;
// lab.sh's and ours: "ip netns exec NS" shows NetnsEtc/NS/hosts as /etc/hosts.
constexpr const char* NetnsEtc = "/etc/netns";

// The start time of a process (clock ticks since boot), empty when there is
// no such process: with the pid it names one process for good.
std::string StartTimeOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return {};
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    // Fields after the name start at the third; the start time is the 22nd.
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22)
            return field;
    }
    return {};
}

// "PID START" of a living process, or a word (lab.sh's "up") naming no
// process: only a dead owner's lab may be removed.
bool OwnerGone(const std::string& owner)
{
    std::istringstream in(owner);
    long pid = 0;
    std::string start;
    if (!(in >> pid >> start) || pid <= 0)
        return false;
    return StartTimeOf(pid_t(pid)) != start;
}

// Every process whose network namespace is the named one.
std::vector<pid_t> ProcessesIn(const std::string& ns)
{
    std::vector<pid_t> pids;
    struct stat target { };
    if (::stat(NamespacePath(ns).c_str(), &target) != 0)
        return pids;
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return pids;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end)
            continue;
        struct stat st { };
        if (::stat(("/proc/" + std::string(entry->d_name) + "/ns/net").c_str(), &st) == 0 && st.st_dev == target.st_dev
            && st.st_ino == target.st_ino)
            pids.push_back(pid_t(pid));
    }
    ::closedir(dir);
    return pids;
}

std::string OwnerLine()
{
    return std::to_string(::getpid()) + " " + StartTimeOf(::getpid());
}

// The watchdog: a child that learns from its parent what the lab holds and,
// when the parent is gone (its pipe closes), removes whatever is left.
[[noreturn]] void Watch(int in)
{
    for (int sig : { SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE })
        ::signal(sig, SIG_IGN);
    std::set<std::string> namespaces;
    std::set<pid_t> pids;
    std::string stateDir;
    std::string pending;
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(buffer, std::size_t(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.size() < 2)
                continue;
            const std::string arg = line.substr(2);
            switch (line[0]) {
            case 'N':
                namespaces.insert(arg);
                break;
            case 'n':
                namespaces.erase(arg);
                break;
            case 'P':
                pids.insert(pid_t(std::stol(arg)));
                break;
            case 'p':
                pids.erase(pid_t(std::stol(arg)));
                break;
            case 'S':
                stateDir = arg;
                break;
            }
        }
    }
    for (pid_t pid : pids)
        ::kill(pid, SIGKILL);
    for (const std::string& ns : namespaces)
        DeleteNamespaceFile(ns);
    if (!stateDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(stateDir, ignored);
    }
    ::_exit(0);
}

} // namespace

bool InLabNamespace()
{
    struct stat own {
    }, machine {};
    if (::stat("/proc/thread-self/ns/net", &own) != 0)
        return false;
    if (::stat("/proc/1/ns/net", &machine) == 0 && own.st_dev == machine.st_dev && own.st_ino == machine.st_ino)
        return false;
    // PID 1's namespace may be hidden from us (another user namespace, a
    // sandbox), so also ask for positive proof: the namespace is one of the
    // lab's named ones.
    DIR* dir = ::opendir("/run/netns");
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st { };
        if (std::strncmp(entry->d_name, NamePrefix, std::strlen(NamePrefix)) == 0
            && ::stat(NamespacePath(entry->d_name).c_str(), &st) == 0 && st.st_dev == own.st_dev
            && st.st_ino == own.st_ino) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

int SweepOrphans()
{
    int removed = 0;
    DIR* dir = ::opendir(StateRoot);
    if (!dir)
        return 0;
    std::vector<std::string> labs;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, NamePrefix, std::strlen(NamePrefix)) == 0)
            labs.push_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string& id : labs) {
        const std::string path = std::string(StateRoot) + "/" + id;
        std::ifstream ownerFile(path + "/owner");
        std::string owner;
        // No owner yet: a lab being made this moment.
        if (!std::getline(ownerFile, owner) || !OwnerGone(owner))
            continue;
        std::vector<std::string> namespaces;
        std::ifstream list(path + "/namespaces");
        for (std::string ns; std::getline(list, ns);) {
            if (ns.rfind(NamePrefix, 0) == 0 && ns.find('/') == std::string::npos)
                namespaces.push_back(ns);
        }
        for (const std::string& ns : namespaces) {
            for (pid_t pid : ProcessesIn(ns))
                ::kill(pid, SIGKILL);
        }
        std::error_code ignored;
        for (auto it = namespaces.rbegin(); it != namespaces.rend(); ++it) {
            DeleteNamespaceFile(*it);
        }
        std::filesystem::remove_all(path, ignored);
        ++removed;
    }
    return removed;
}

std::string UnavailableReason()
{
    if (::geteuid() != 0)
        return "the lab needs root (network namespaces, veth, bridge)";
    if (!IpTool())
        return "the lab needs the ip tool (iproute2)";
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(::unshare(CLONE_NEWNET) == 0 ? 0 : 1);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "network namespaces can't be created here";
    return {};
}

LabNet::LabNet()
{
    static int serial = 0;
    m_prefix = NamePrefix + std::to_string(::getpid()) + "x" + std::to_string(serial++);
    // Whatever a killed test or script left behind goes first.
    if (::geteuid() == 0)
        SweepOrphans();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        Fail("watchdog pipe");
        return;
    }
    m_watchdogPid = ::fork();
    if (m_watchdogPid == 0) {
        ::close(fds[1]);
        Watch(fds[0]);
    }
    ::close(fds[0]);
    if (m_watchdogPid < 0) {
        ::close(fds[1]);
        Fail("watchdog fork");
        return;
    }
    m_watchdog = fds[1];
    // The owner first, so that a sweep never takes a lab being made.
    m_stateDir = std::string(StateRoot) + "/" + m_prefix;
    std::error_code error;
    std::filesystem::create_directories(m_stateDir, error);
    if (error) {
        Fail("cannot make " + m_stateDir + ": " + error.message());
        m_stateDir.clear();
        return;
    }
    std::ofstream(m_stateDir + "/owner") << OwnerLine() << "\n";
    Tell("S " + m_stateDir);
}

void LabNet::Record(const std::string& file, const std::string& line)
{
    if (!m_stateDir.empty())
        std::ofstream(m_stateDir + "/" + file, std::ios::app) << line << "\n";
}

LabNet::~LabNet()
{
    while (!m_children.empty())
        Stop(m_children.back().pid);
    // A namespace takes its veth ends, and so the pairs, with it.
    while (!m_namespaces.empty())
        RemoveNamespace(m_namespaces.back());
    if (m_watchdog >= 0)
        ::close(m_watchdog);
    if (m_watchdogPid > 0) {
        while (::waitpid(m_watchdogPid, nullptr, 0) < 0 && errno == EINTR) { }
    }
    if (!m_stateDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_stateDir, ignored);
    }
}

bool LabNet::Fail(const std::string& what)
{
    if (m_error.empty())
        m_error = what;
    return false;
}

void LabNet::Tell(const std::string& line)
{
    if (m_watchdog >= 0)
        WriteAll(m_watchdog, line + "\n");
}

void LabNet::RemoveNamespace(const std::string& name)
{
    DeleteNamespaceFile(name);
    Tell("n " + name);
    std::erase(m_namespaces, name);
}

std::string LabNet::AddNamespace(const std::string& role)
{
    const char* ip = IpTool();
    if (!ip) {
        Fail("no ip tool");
        return {};
    }
    const std::string name = m_prefix + "-" + role;
    // Announced first: a kill right after the creation still removes it.
    Tell("N " + name);
    Record("namespaces", name);
    std::string errorText;
    if (RunTool({ ip, "netns", "add", name }, {}, &errorText) != 0) {
        Tell("n " + name);
        Fail("ip netns add " + name + ": " + errorText);
        return {};
    }
    m_namespaces.push_back(name);
    if (!IpBatch(name, { "link set lo up" }))
        return {};
    return name;
}

bool LabNet::IpBatch(const std::string& ns, const std::vector<std::string>& lines)
{
    const char* ip = IpTool();
    if (!ip)
        return Fail("no ip tool");
    std::string input;
    for (const std::string& line : lines)
        input += line + "\n";
    std::string errorText;
    if (RunTool({ ip, "-n", ns, "-batch", "-" }, input, &errorText) != 0)
        return Fail("ip -n " + ns + " -batch: " + errorText + " (first line: " + lines.front() + ")");
    return true;
}

bool LabNet::EnsureBridge(int bridge)
{
    if (m_bridgeNs.empty()) {
        const std::string ns = AddNamespace("br");
        if (ns.empty())
            return false;
        m_bridgeNs = ns;
    }
    const std::string name = "br" + std::to_string(bridge);
    if (std::find(m_bridges.begin(), m_bridges.end(), bridge) != m_bridges.end())
        return true;
    if (!IpBatch(m_bridgeNs, { "link add " + name + " type bridge", "link set " + name + " up" }))
        return false;
    m_bridges.push_back(bridge);
    return true;
}

bool LabNet::Connect(const std::string& ns, const std::string& ifName, const std::string& mac,
    const std::vector<std::string>& addresses, int bridge)
{
    if (!EnsureBridge(bridge))
        return false;
    const std::string port = "v" + std::to_string(m_links++);
    if (!IpBatch(m_bridgeNs,
            { "link add " + port + " type veth peer name " + ifName + " netns " + ns,
                "link set " + port + " master br" + std::to_string(bridge), "link set " + port + " up" }))
        return false;
    std::vector<std::string> inside;
    if (!mac.empty())
        inside.push_back("link set " + ifName + " address " + mac);
    for (const std::string& address : addresses)
        inside.push_back("addr add " + address + " dev " + ifName);
    inside.push_back("link set " + ifName + " up");
    return IpBatch(ns, inside);
}

pid_t LabNet::Start(const std::string& ns, const std::vector<std::string>& argv)
{
    if (argv.empty()) {
        Fail("nothing to start");
        return -1;
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        Fail("pipe");
        return -1;
    }
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Dies with the test even when nothing else is left to kill it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(126);
        if (!EnterNamespace(ns) || !InLabNamespace())
            ::_exit(125);
        UseNamespaceHosts(ns);
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        Fail("fork");
        return -1;
    }
    Tell("P " + std::to_string(pid));
    m_children.push_back({ pid, out[0], {} });
    return pid;
}

bool LabNet::WaitForLine(pid_t pid, const std::string& text, int timeoutMs)
{
    auto it = std::find_if(m_children.begin(), m_children.end(), [&](const Child& c) { return c.pid == pid; });
    if (it == m_children.end())
        return Fail("no such process");
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::size_t eol;
        while ((eol = it->buffered.find('\n')) != std::string::npos) {
            const std::string line = it->buffered.substr(0, eol);
            it->buffered.erase(0, eol + 1);
            if (line == text)
                return true;
        }
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return Fail("no '" + text + "' from process " + std::to_string(pid) + " in time");
        pollfd pfd { it->out, POLLIN, 0 };
        if (::poll(&pfd, 1, int(left)) < 0 && errno != EINTR)
            return Fail("poll");
        if (!(pfd.revents & (POLLIN | POLLHUP)))
            continue;
        char buffer[1024];
        const ssize_t n = ::read(it->out, buffer, sizeof buffer);
        if (n == 0) {
            const int status = Stop(pid);
            return Fail("process " + std::to_string(pid) + " ended before '" + text + "'"
                + (WIFEXITED(status) ? " (exit code " + std::to_string(WEXITSTATUS(status)) + ")" : ""));
        }
        if (n > 0)
            it->buffered.append(buffer, std::size_t(n));
    }
}

int LabNet::Stop(pid_t pid)
{
    auto it = std::find_if(m_children.begin(), m_children.end(), [&](const Child& c) { return c.pid == pid; });
    if (it == m_children.end())
        return -1;
    ::kill(pid, SIGTERM);
    int status = 0;
    // A process that ignores SIGTERM gets two seconds, then SIGKILL.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    pid_t done;
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    }
    ::close(it->out);
    m_children.erase(it);
    Tell("p " + std::to_string(pid));
    return status;
}

std::optional<std::string> LabNet::RunIn(
    const std::string& ns, const std::function<std::string()>& task, const std::function<void()>& whileWaiting)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        Fail("pipe");
        return std::nullopt;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        // A task left running would keep its namespace alive after the lab.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(3);
        // The guard: nothing of the task may run in the machine's own namespace.
        if (!EnterNamespace(ns) || !InLabNamespace())
            ::_exit(3);
        UseNamespaceHosts(ns);
        const bool ok = WriteAll(out[1], task());
        ::_exit(ok ? 0 : 4);
    }
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        Fail("fork");
        return std::nullopt;
    }
    Tell("P " + std::to_string(pid));
    std::string text;
    if (whileWaiting) {
        for (;;) {
            whileWaiting();
            pollfd pfd { out[0], POLLIN, 0 };
            if (::poll(&pfd, 1, 0) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n == 0 || (n < 0 && errno != EINTR))
                break;
            if (n > 0)
                text.append(buffer, std::size_t(n));
        }
    } else {
        text = ReadAll(out[0]);
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    Tell("p " + std::to_string(pid));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail("task in " + ns + " failed (status " + std::to_string(status) + ")");
        return std::nullopt;
    }
    return text;
}

bool LabNet::BringUp(const Plan& plan, const HostLinks& links, const std::string& binDir)
{
    std::string bin = binDir;
    if (bin.empty() && std::getenv("TWL_BIN_DIR"))
        bin = std::getenv("TWL_BIN_DIR");
    const std::string program = bin + "/twinlane-sim";
    if (::access(program.c_str(), X_OK) != 0)
        return Fail("no " + program);
    if (m_stateDir.empty())
        return Fail("no state folder");
    m_hostNs = AddNamespace("host");
    if (m_hostNs.empty() || !Connect(m_hostNs, "eth0", {}, { std::string(HostAddress) + "/24" }))
        return false;
    if (links.second && !Connect(m_hostNs, "eth1", {}, { std::string(SecondHostAddress) + "/24" }, SecondBridge))
        return false;
    if (links.notEthernet
        && !IpBatch(m_hostNs, { "tuntap add dev tun0 mode tun", "addr add 10.55.0.1/24 dev tun0", "link set tun0 up" }))
        return false;

    for (std::size_t i = 0; i < plan.size(); ++i) {
        const DeviceSpec& spec = plan[i];
        const int n = int(i) + 1;
        Device d;
        d.kind = spec.kind;
        d.name = spec.name.empty() ? "Q6120-" + std::to_string(n) : spec.name;
        d.address = spec.kind == Kind::Unconfigured ? "0.0.0.0" : spec.address;
        d.reachAddress = spec.kind == Kind::Unconfigured ? FactoryAddress : spec.address;
        if (d.address.empty())
            return Fail("device " + std::to_string(n) + " has no address");
        char mac[32];
        std::snprintf(mac, sizeof mac, "02:4C:41:50:%02X:%02X", (n >> 8) & 0xFF, n & 0xFF);
        d.mac = mac;
        d.macDashed = d.mac;
        std::replace(d.macDashed.begin(), d.macDashed.end(), ':', '-');
        d.ns = AddNamespace("d" + std::to_string(n));
        if (d.ns.empty())
            return false;
        // The device answers over the link it was asked on, whatever the
        // asker's subnet (the simulator keeps this up across address changes).
        if (spec.kind == Kind::SecondLink && !links.second)
            return Fail("device " + d.name + " is on the second link: BringUp needs HostLinks::second");
        if (!Connect(d.ns, "eth0", d.mac, { d.reachAddress + "/" + std::to_string(HostPrefixLength) },
                spec.kind == Kind::SecondLink ? SecondBridge : 0)
            || !IpBatch(d.ns, { "route replace default dev eth0" }))
            return false;
        d.control = m_stateDir + "/d" + std::to_string(n) + ".control";
        d.frameLog = m_stateDir + "/d" + std::to_string(n) + ".frames";
        const std::string ready = m_stateDir + "/d" + std::to_string(n) + ".ready";
        std::vector<std::string> argv { program, "--interface", "eth0", "--manage-interface", "--bind", "0.0.0.0",
            "--ip", d.address, "--name", d.name, "--control", d.control, "--frame-log", d.frameLog, "--ready-file",
            ready };
        if (!spec.password.empty())
            argv.insert(argv.end(), { "--password", spec.password });
        if (!spec.fault.empty())
            argv.insert(argv.end(), { "--fault", spec.fault });
        if (spec.restartMs >= 0)
            argv.insert(argv.end(), { "--restart-time", std::to_string(spec.restartMs) });
        argv.insert(argv.end(), spec.extraArgs.begin(), spec.extraArgs.end());
        d.pid = Start(d.ns, argv);
        if (d.pid < 0)
            return false;
        Record("devices", d.ns + " " + d.address + " " + d.mac + " " + d.name + " pid " + std::to_string(d.pid));
        m_devices.push_back(d);
    }
    // Devices by name in the host namespace (RunIn, Start, ip netns exec).
    std::string hosts = "127.0.0.1\tlocalhost\n";
    for (const Device& d : m_devices) {
        if (!d.name.empty() && std::all_of(d.name.begin(), d.name.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
            }))
            hosts += d.reachAddress + "\t" + d.name + "\n";
    }
    std::error_code error;
    std::filesystem::create_directories(std::string(NetnsEtc) + "/" + m_hostNs, error);
    std::ofstream(std::string(NetnsEtc) + "/" + m_hostNs + "/hosts") << hosts;
    // All start at once; then each is waited for.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(DeviceReadyLimitMs);
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        const std::string ready = m_stateDir + "/d" + std::to_string(i + 1) + ".ready";
        while (::access(ready.c_str(), F_OK) != 0) {
            if (::waitpid(m_devices[i].pid, nullptr, WNOHANG) != 0)
                return Fail("device " + m_devices[i].name + " ended before it was ready");
            if (std::chrono::steady_clock::now() > end)
                return Fail("device " + m_devices[i].name + " not ready in time");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return true;
}

std::string LabNet::Control(const Device& device, const std::string& command)
{
    sockaddr_un address {};
    if (device.control.size() >= sizeof address.sun_path)
        return {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, device.control.c_str(), device.control.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && WriteAll(fd, command + "\n")) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ControlReplyLimitMs);
        char c;
        while (std::chrono::steady_clock::now() < end) {
            pollfd pfd { fd, POLLIN, 0 };
            if (::poll(&pfd, 1, 100) <= 0)
                continue;
            if (::read(fd, &c, 1) != 1 || c == '\n')
                break;
            reply += c;
        }
    }
    ::close(fd);
    return reply;
}

} // namespace lab
