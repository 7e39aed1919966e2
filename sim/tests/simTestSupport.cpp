#include "simTestSupport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace simtest {

std::string BinDir()
{
    const char* dir = std::getenv("TWL_BIN_DIR");
    return dir ? dir : ".";
}

std::string EnterPrivateNetwork()
{
    if (unshare(CLONE_NEWNET) != 0)
        return std::string("cannot make a network namespace: ") + strerror(errno);
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq req {};
    std::strcpy(req.ifr_name, "lo");
    const bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &req) == 0
        && (req.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &req) == 0);
    const std::string reason = up ? "" : std::string("cannot bring up loopback: ") + strerror(errno);
    if (fd >= 0)
        close(fd);
    return reason;
}

void PrivateNetwork::SetUp()
{
    const std::string reason = EnterPrivateNetwork();
    if (!reason.empty())
        GTEST_SKIP() << reason;
}

TempDir::TempDir()
{
    char pattern[] = "/tmp/twl-sim-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    m_path = made ? made : "/tmp";
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (m_path != "/tmp")
        std::filesystem::remove_all(m_path, ec);
}

bool WaitFor(const std::function<bool()>& pred, int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

ChildProcess::~ChildProcess()
{
    stop();
}

bool ChildProcess::start(
    const std::string& program, const std::vector<std::string>& args, const std::string& outputPath)
{
    std::vector<std::string> all { program };
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    m_pid = pid;
    return true;
}

int ChildProcess::wait(int limitMs)
{
    if (m_pid < 0)
        return -1;
    int status = 0;
    int result = -1;
    WaitFor(
        [&] {
            const pid_t r = waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                m_pid = -1;
                return true;
            }
            return r < 0;
        },
        limitMs);
    return result;
}

bool ChildProcess::running()
{
    if (m_pid < 0)
        return false;
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
        m_pid = -1;
    return m_pid > 0;
}

int ChildProcess::stop()
{
    if (m_pid < 0)
        return -1;
    kill(m_pid, SIGTERM);
    const int rc = wait(5000);
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    m_pid = -1;
    return rc;
}

int RunProgram(const std::string& program, const std::vector<std::string>& args, std::string* output, int limitMs)
{
    TempDir dir;
    ChildProcess child;
    if (!child.start(program, args, dir.file("out")))
        return -1;
    const int rc = child.wait(limitMs);
    child.stop();
    if (output) {
        std::ifstream in(dir.file("out"));
        std::stringstream ss;
        ss << in.rdbuf();
        *output = ss.str();
    }
    return rc;
}

int RunSimToRefusal(const std::vector<std::string>& flags, std::string* output)
{
    std::vector<std::string> args { "--port", "0", "--http-port", "-1" };
    args.insert(args.end(), flags.begin(), flags.end());
    return RunProgram(BinDir() + "/twinlane-sim", args, output);
}

AlarmCatcher::AlarmCatcher(const std::string& address)
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    socklen_t len = sizeof a;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(m_fd, 16) == 0
        && getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        m_port = ntohs(a.sin_port);
}

AlarmCatcher::~AlarmCatcher()
{
    for (int fd : m_clients)
        close(fd);
    close(m_fd);
}

std::optional<std::array<uint8_t, 58>> AlarmCatcher::next(int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        for (size_t i = 0; i < m_buffers.size(); ++i) {
            if (m_buffers[i].size() >= 58) {
                std::array<uint8_t, 58> m;
                std::copy_n(m_buffers[i].begin(), 58, m.begin());
                m_buffers[i].erase(m_buffers[i].begin(), m_buffers[i].begin() + 58);
                return m;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        std::vector<pollfd> fds { { m_fd, POLLIN, 0 } };
        for (int fd : m_clients)
            fds.push_back({ fd, POLLIN, 0 });
        if (poll(fds.data(), fds.size(), int(left.count())) <= 0)
            continue;
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            uint8_t buf[256];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0)
                m_buffers[i - 1].insert(m_buffers[i - 1].end(), buf, buf + n);
        }
        if (fds[0].revents & POLLIN) {
            const int c = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                m_clients.push_back(c);
                m_buffers.emplace_back();
            }
        }
    }
}

Sim::Sim(std::vector<std::string> extraArgs, bool withAlarms)
{
    std::vector<std::string> args { "--bind", m_host, "--port", "0", "--http-port", "0", "--ready-file",
        m_dir.file("ready"), "--control", m_dir.file("control"), "--frame-log", m_dir.file("frames") };
    if (withAlarms) {
        m_alarms = std::make_unique<AlarmCatcher>(m_host);
        args.insert(args.end(), { "--alarm-host", m_host, "--alarm-port", std::to_string(m_alarms->port()) });
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    // Later flags win, so extra arguments may override the ports and address.
    for (size_t i = 0; i + 1 < extraArgs.size(); ++i)
        if (extraArgs[i] == "--bind")
            m_host = extraArgs[i + 1];
    if (!m_process.start(BinDir() + "/twinlane-sim", args, m_dir.file("output")))
        return;
    const std::string ready = m_dir.file("ready");
    WaitFor([&] { return std::filesystem::exists(ready) || !m_process.running(); });
    std::ifstream in(ready);
    std::string line;
    std::getline(in, line);
    if (sscanf(line.c_str(), "modbus=%d http=%d", &m_modbusPort, &m_httpPort) == 2)
        m_started = true;
}

Sim::~Sim()
{
    // A clean end also means no sanitizer report at exit.
    const bool wasRunning = m_process.running();
    const int rc = m_process.stop();
    if (m_started && (!wasRunning || rc != 0))
        ADD_FAILURE() << "twinlane-sim did not end cleanly (" << rc << "):\n" << output();
}

std::string Sim::output() const
{
    std::ifstream in(const_cast<TempDir&>(m_dir).file("output"));
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Sim::control(const std::string& command) const
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a {};
    a.sun_family = AF_UNIX;
    const std::string path = const_cast<TempDir&>(m_dir).file("control");
    std::memcpy(a.sun_path, path.c_str(), path.size());
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const std::string line = command + "\n";
        (void)!write(fd, line.data(), line.size());
        std::vector<uint8_t> bytes;
        for (;;) {
            char c;
            pollfd p { fd, POLLIN, 0 };
            if (poll(&p, 1, 10000) <= 0 || read(fd, &c, 1) != 1 || c == '\n')
                break;
            reply += c;
        }
    }
    close(fd);
    return reply;
}

std::string Sim::status(const std::string& key) const
{
    const std::string line = control("status");
    const std::string needle = " " + key + "=";
    const size_t at = line.find(needle);
    if (at == std::string::npos)
        return "?";
    const size_t from = at + needle.size();
    const size_t to = key == "name" ? line.size() : line.find(' ', from);
    return line.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

std::vector<std::string> Sim::frameLog() const
{
    std::ifstream in(const_cast<TempDir&>(m_dir).file("frames"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

int ConnectTcp(const std::string& host, int port, int* error)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (error)
            *error = errno;
        close(fd);
        return -1;
    }
    if (error)
        *error = 0;
    return fd;
}

bool SendAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

std::vector<uint8_t> ReadBytes(int fd, size_t count, int limitMs, bool* closed, std::vector<size_t>* chunks)
{
    std::vector<uint8_t> out;
    if (closed)
        *closed = false;
    while (out.size() < count) {
        pollfd p { fd, POLLIN, 0 };
        if (poll(&p, 1, limitMs) <= 0)
            break;
        uint8_t buf[512];
        const ssize_t n = read(fd, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) {
            if (closed)
                *closed = true;
            break;
        }
        out.insert(out.end(), buf, buf + n);
        if (chunks)
            chunks->push_back(size_t(n));
    }
    return out;
}

std::vector<uint8_t> Hex(const std::string& text)
{
    std::vector<uint8_t> out;
    std::istringstream in(text);
    for (std::string byte; in >> byte;)
        out.push_back(uint8_t(std::stoul(byte, nullptr, 16)));
    return out;
}

std::string HttpGet(const std::string& host, int port, const std::string& path)
{
    const int fd = ConnectTcp(host, port);
    if (fd < 0)
        return {};
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    SendAll(fd, std::vector<uint8_t>(request.begin(), request.end()));
    std::string response;
    for (;;) {
        pollfd p { fd, POLLIN, 0 };
        if (poll(&p, 1, 10000) <= 0)
            break;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        response.append(buf, size_t(n));
    }
    close(fd);
    return response;
}

} // namespace simtest
