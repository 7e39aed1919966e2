#pragma once
#include <string>
#include <vector>

namespace twltest {

// A program run as a child process, killed and reaped on destruction.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Its standard output and error go to outputPath.
    bool start(const std::string& program, const std::vector<std::string>& args, const std::string& outputPath);
    // Waits for the exit; returns the exit status, or -1 if killed / still running at the limit.
    int wait(int limitMs = 20000);
    // SIGTERM, then SIGKILL if it lingers; the exit status, -1 when killed.
    int stop();
    // False once the child has ended (it is reaped then).
    bool running();
    int pid() const { return m_pid; }

private:
    int m_pid = -1;
};

// Runs a program to its end and returns its exit status and output.
int RunProgram(
    const std::string& program, const std::vector<std::string>& args, std::string* output, int limitMs = 20000);

} // namespace twltest
