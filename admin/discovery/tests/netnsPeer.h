#pragma once
// The test network: the test process runs in a network namespace of its own,
// entered at the start of main(), and each test gets a far end in a second
// namespace held by a child process, joined by the veth pair vh (here) and
// vp (there). Both namespaces have no name: they end with their processes,
// so nothing is left behind whatever way the test ends.
#include <string>
#include <sys/types.h>

// Enters the private namespace (loopback up, IPv6 off so that no table
// changes by itself). Returns why it could not, or empty.
std::string EnterPrivateNamespace();

// True while the calling thread is not in the namespace the process started
// in, nor in that of PID 1 where that can be read (here it often can't).
// Checked before any write.
bool InPrivateNamespace();

struct ShResult {
    int code = -1;
    std::string output; // standard output and error
};
// Runs a fixed command line with sh.
ShResult Sh(const std::string& command);

// The far end. Addresses: here 10.77.0.1/24 on vh, there the server
// 10.99.0.5/24 on vp with MAC 02:00:5e:10:00:05, a route back to 10.77.0.1,
// and twinlane-sim serving Modbus/TCP on port 502.
class TPeer {
public:
    TPeer() = default;
    ~TPeer(); // removes vh (vp goes with it) and ends the simulator
    TPeer(const TPeer&) = delete;
    TPeer& operator=(const TPeer&) = delete;

    // Empty on success, else what failed.
    std::string Start();
    // A command run inside the far end's namespace.
    ShResult There(const std::string& command) const;

private:
    pid_t m_pid = -1;
    std::string m_readyDir;
};

// 0 when a TCP connection to address:502 opens, else the errno of the failure
// (ETIMEDOUT when nothing answered within ten seconds).
int ConnectTo(const char* address);
