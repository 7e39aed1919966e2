#include "lab/testsupport/simProcess.h"

#include "lab/testsupport/testEnv.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace twltest {

int RunSimToRefusal(const std::vector<std::string>& flags, std::string* output)
{
    std::vector<std::string> args { "--port", "0", "--http-port", "-1" };
    args.insert(args.end(), flags.begin(), flags.end());
    return RunProgram(BinDir() + "/twinlane-sim", args, output);
}

SimProcess::SimProcess(std::vector<std::string> extraArgs, bool withAlarms)
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

SimProcess::~SimProcess()
{
    // A clean end also means no sanitizer report at exit.
    const bool wasRunning = m_process.running();
    const int rc = m_process.stop();
    if (m_started && (!wasRunning || rc != 0))
        ADD_FAILURE() << "twinlane-sim did not end cleanly (" << rc << "):\n" << output();
}

std::string SimProcess::output() const
{
    std::ifstream in(const_cast<TempDir&>(m_dir).file("output"));
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string SimProcess::control(const std::string& command) const
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

std::string SimProcess::status(const std::string& key) const
{
    const std::string line = control("status");
    const std::string needle = " " + key + "=";
    const size_t at = line.find(needle);
    if (at == std::string::npos)
        return "?";
    const size_t from = at + needle.size();
    if (key == "name")
        return line.substr(from);
    // A value (a fault plan) may hold blanks: it ends where the next key starts.
    for (size_t blank = line.find(' ', from); blank != std::string::npos; blank = line.find(' ', blank + 1)) {
        size_t end = blank + 1;
        while (end < line.size() && (std::islower(static_cast<unsigned char>(line[end])) || line[end] == '-'))
            ++end;
        if (end > blank + 1 && end < line.size() && line[end] == '=')
            return line.substr(from, blank - from);
    }
    return line.substr(from);
}

bool SimProcess::waitUp(int limitMs) const
{
    return WaitFor([this] { return status("state") == "up"; }, limitMs);
}

std::vector<std::string> SimProcess::frameLog() const
{
    std::ifstream in(const_cast<TempDir&>(m_dir).file("frames"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace twltest
