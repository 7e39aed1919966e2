#pragma once
// Helpers for tests that run twinlane-sim as a process on loopback (or in a
// network namespace of the test's own): start and stop it, talk to its control
// socket, catch its alarms, move raw bytes over TCP.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

std::string BinDir();

// Moves the calling thread, and so every program it starts later, into a new
// network namespace with only loopback, up. The namespace goes with the last
// process in it. Returns why that failed, or empty.
std::string EnterPrivateNetwork();

// The same for a whole test program: registered as a global environment, it
// skips every test when the namespace can't be made.
class PrivateNetwork : public ::testing::Environment {
public:
    void SetUp() override;
};

// A private temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Waits (sleeping between checks) until pred holds or the generous limit is
// reached; the limit only keeps a broken run from hanging.
bool WaitFor(const std::function<bool()>& pred, int limitMs = 20000);

// A program run as a child process, killed and reaped on destruction.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::string& program, const std::vector<std::string>& args, const std::string& outputPath);
    // Waits for the exit; returns the exit status, or -1 if killed / still running at the limit.
    int wait(int limitMs = 20000);
    // SIGTERM, then SIGKILL if it lingers; the exit status, -1 when killed.
    int stop();
    // False once the child has ended (it is reaped then).
    bool running();

private:
    int m_pid = -1;
};

// Runs a program to its end and returns its exit status and output.
int RunProgram(
    const std::string& program, const std::vector<std::string>& args, std::string* output, int limitMs = 20000);

// Runs twinlane-sim with flags that should make it refuse to start (after
// "--port 0 --http-port -1"); returns its exit status and output.
int RunSimToRefusal(const std::vector<std::string>& flags, std::string* output);

// A TCP listener that takes alarm messages, one per connection or back to back.
class AlarmCatcher {
public:
    explicit AlarmCatcher(const std::string& address = "127.0.0.1");
    ~AlarmCatcher();
    int port() const { return m_port; }
    std::optional<std::array<uint8_t, 58>> next(int limitMs = 20000);

private:
    int m_fd = -1;
    int m_port = 0;
    std::vector<int> m_clients;
    std::vector<std::vector<uint8_t>> m_buffers;
};

// The simulator with loopback ports picked by itself, a control socket, a
// frame log and an alarm listener.
class Sim {
public:
    explicit Sim(std::vector<std::string> extraArgs = {}, bool withAlarms = true);
    ~Sim();
    bool started() const { return m_started; }
    int modbusPort() const { return m_modbusPort; }
    int httpPort() const { return m_httpPort; }
    const std::string& host() const { return m_host; }
    // One command line, one reply line.
    std::string control(const std::string& command) const;
    // The value of one key of "status".
    std::string status(const std::string& key) const;
    std::vector<std::string> frameLog() const;
    AlarmCatcher* alarms() { return m_alarms.get(); }
    std::string output() const;
    TempDir& dir() { return m_dir; }

private:
    TempDir m_dir;
    std::unique_ptr<AlarmCatcher> m_alarms;
    ChildProcess m_process;
    std::string m_host = "127.0.0.1";
    int m_modbusPort = 0;
    int m_httpPort = 0;
    bool m_started = false;
};

// Plain TCP.
int ConnectTcp(const std::string& host, int port, int* error = nullptr);
bool SendAll(int fd, const std::vector<uint8_t>& bytes);
// Reads until count bytes arrived, the peer closed, or limitMs passed without
// a byte. Each read's size is appended to chunks when given.
std::vector<uint8_t> ReadBytes(
    int fd, size_t count, int limitMs, bool* closed = nullptr, std::vector<size_t>* chunks = nullptr);
std::vector<uint8_t> Hex(const std::string& text);
std::string HttpGet(const std::string& host, int port, const std::string& path);

} // namespace simtest
