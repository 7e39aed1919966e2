#pragma once
// The one simulator launcher for tests: twinlane-sim as a child process on
// loopback (or in a namespace of the test's own) with ports picked by
// itself, a control socket, a frame log and an alarm listener.
#include "lab/testsupport/alarmCatcher.h"
#include "lab/testsupport/childProcess.h"
#include "lab/testsupport/tempDir.h"

#include <memory>
#include <string>
#include <vector>

namespace twltest {

class SimProcess {
public:
    // Later flags win: extraArgs may override the address (--bind) and ports.
    explicit SimProcess(std::vector<std::string> extraArgs = {}, bool withAlarms = true);
    ~SimProcess(); // a test failure when it did not end cleanly
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    bool started() const { return m_started; }
    int modbusPort() const { return m_modbusPort; }
    int httpPort() const { return m_httpPort; }
    const std::string& host() const { return m_host; }
    // One command line, one reply line.
    std::string control(const std::string& command) const;
    // The value of one key of "status" (fault: the whole plan; name: the rest of the line).
    std::string status(const std::string& key) const;
    // Waits (bounded) until "status" reports it up, e.g. after a restart.
    bool waitUp(int limitMs = 20000) const;
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

// Runs twinlane-sim with flags that should make it refuse to start (after
// "--port 0 --http-port -1"); returns its exit status and output.
int RunSimToRefusal(const std::vector<std::string>& flags, std::string* output);

} // namespace twltest
