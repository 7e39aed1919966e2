#pragma once
// An isolated test network made of network namespaces, for tests that touch
// devices: namespaces joined by veth pairs to a bridge that lives in a
// namespace of its own, programs started inside them, and a way to run a
// piece of the test itself inside one.
//
// Everything is removed by the destructor. A watchdog process created with
// the object removes it too when the test process dies in any other way
// (failed assertion that aborts, signal, kill by a test runner's timeout).
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace lab {

// True when the calling thread's network namespace is not the machine's own
// (the one of PID 1) and is one of the lab's (named "twl..." under
// /run/netns). Searches and broadcasts must only run when it is.
bool InLabNamespace();

// Why the lab can't be made here (not root, no `ip`, namespaces refused), or
// empty when it can: tests skip with this reason.
std::string UnavailableReason();

class LabNet {
public:
    LabNet();
    ~LabNet();
    LabNet(const LabNet&) = delete;
    LabNet& operator=(const LabNet&) = delete;

    // The first failure of any call below, for test messages.
    const std::string& Error() const { return error_; }

    // Creates a namespace named after the lab and the role (loopback up) and
    // returns its full name, or empty on failure.
    std::string AddNamespace(const std::string& role);

    // Joins a namespace to the lab's bridge with a veth pair: the end inside
    // is called ifName, gets the MAC if one is given ("02:00:..."), and each
    // address ("10.77.0.1/24"). Returns false on failure.
    bool Connect(const std::string& ns, const std::string& ifName, const std::string& mac = {},
        const std::vector<std::string>& addresses = {});

    // Starts argv[0] (a path) inside the namespace; its standard output is
    // kept for WaitForLine, its standard error goes to ours. Returns the
    // process id or -1. The process is killed with the lab.
    pid_t Start(const std::string& ns, const std::vector<std::string>& argv);

    // Reads the process's output until a line equal to text arrives (true),
    // or the process ends or timeoutMs pass (false).
    bool WaitForLine(pid_t pid, const std::string& text, int timeoutMs = 10000);

    // Ends a started process (SIGTERM, then SIGKILL) and returns its wait status.
    int Stop(pid_t pid);

    // Runs task in a child process inside the namespace and returns the text
    // it produced, or empty when the child could not enter the namespace,
    // found itself in the machine's own namespace, or did not end normally.
    // whileWaiting, if given, is called over and over meanwhile (it should
    // block briefly, e.g. by polling a device of the test's own).
    std::optional<std::string> RunIn(const std::string& ns, const std::function<std::string()>& task,
        const std::function<void()>& whileWaiting = {});

    // Runs `ip -n ns -batch -` with the given lines; for setting up many links at once.
    bool IpBatch(const std::string& ns, const std::vector<std::string>& lines);

    const std::string& Prefix() const { return prefix_; }
    const std::string& BridgeNamespace() const { return bridgeNs_; }

private:
    struct Child {
        pid_t pid;
        int out;
        std::string buffered;
    };
    bool Fail(const std::string& what);
    void Tell(const std::string& line);
    bool EnsureBridge();
    void RemoveNamespace(const std::string& name);

    std::string prefix_;
    std::string error_;
    std::string bridgeNs_;
    std::vector<std::string> namespaces_;
    std::vector<Child> children_;
    int watchdog_ = -1; // write end of the watchdog's pipe
    pid_t watchdogPid_ = -1;
    int links_ = 0;
};

} // namespace lab
