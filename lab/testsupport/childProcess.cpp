#include "lab/testsupport/childProcess.h"

#include "lab/testsupport/tempDir.h"
#include "lab/testsupport/testEnv.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace twltest {

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

} // namespace twltest
