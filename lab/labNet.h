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
#include <utility>
#include <vector>

namespace lab {

// True when the calling thread's network namespace is not the machine's own
// (the one of PID 1) and is one of the lab's (named "twl..." under
// /run/netns). Searches and broadcasts must only run when it is.
bool InLabNamespace();

// Why the lab can't be made here (not root, no `ip`, namespaces refused), or
// empty when it can: tests skip with this reason.
std::string UnavailableReason();

// The host namespace's address on its first link, eth0 (10.77.0.0/24).
inline constexpr const char* HostAddress = "10.77.0.1";
// Its second Ethernet link, eth1 (10.66.0.0/24), when asked for.
inline constexpr const char* SecondHostAddress = "10.66.0.1";
// Where an unconfigured unit (reporting address 0) is reached.
inline constexpr const char* FactoryAddress = "192.168.127.254";

// What a planned device is, seen from the host's first link.
enum class Kind {
    SameSubnet, // its address is in 10.77.0.0/24
    ForeignSubnet, // elsewhere: reached through a host route
    Unconfigured, // reports 0.0.0.0, holds FactoryAddress
    SharedAddress, // shares its address with another device of the plan
    SecondLink, // on the host's second link (10.66.0.0/24)
};

// One twinlane-sim of a plan, e.g. { Kind::SameSubnet, "10.77.0.11", "Alpha" }.
struct DeviceSpec {
    DeviceSpec() = default;
    DeviceSpec(Kind kind, std::string address, std::string name = {}, std::string password = {}, std::string fault = {})
        : kind(kind)
        , address(std::move(address))
        , name(std::move(name))
        , password(std::move(password))
        , fault(std::move(fault))
    {
    }
    Kind kind = Kind::SameSubnet;
    std::string address; // what it reports and holds; ignored for Unconfigured
    std::string name; // empty: "Q6120-<n>" (n counts from 1)
    std::string password;
    std::string fault; // a fault plan for --fault, empty: none
    int restartMs = -1; // -1: the simulator's default
    std::vector<std::string> extraArgs; // more twinlane-sim flags
};
using Plan = std::vector<DeviceSpec>;

// A running device of a plan.
struct Device {
    Kind kind = Kind::SameSubnet;
    std::string ns; // its namespace
    std::string name;
    std::string address; // reported in search answers ("0.0.0.0" when unconfigured)
    std::string reachAddress; // where it listens (FactoryAddress when unconfigured)
    std::string mac; // "02:4C:41:50:00:01"
    std::string macDashed; // "02-4C-41-50-00-01", as the admin program writes it
    std::string control; // its control socket
    std::string frameLog; // its frame log
    pid_t pid = -1;
};

// Host links beside eth0, for BringUp.
struct HostLinks {
    bool second = false; // eth1, an Ethernet link on 10.66.0.0/24 (Kind::SecondLink devices)
    bool notEthernet = false; // tun0, a link that is not Ethernet, 10.55.0.1/24
};

// Removes labs (made by LabNet or lab.sh) whose owning process is gone: their
// processes are killed and their namespaces and state deleted. Labs of
// living owners, and labs left up on purpose by "lab.sh up", stay. Returns
// how many were removed. LabNet's constructor calls it.
int SweepOrphans();

class LabNet {
public:
    LabNet();
    ~LabNet();
    LabNet(const LabNet&) = delete;
    LabNet& operator=(const LabNet&) = delete;

    // The first failure of any call below, for test messages.
    const std::string& Error() const { return m_error; }

    // Creates a namespace named after the lab and the role (loopback up) and
    // returns its full name, or empty on failure.
    std::string AddNamespace(const std::string& role);

    // Joins a namespace to the lab's bridge with a veth pair: the end inside
    // is called ifName, gets the MAC if one is given ("02:00:..."), and each
    // address ("10.77.0.1/24"). Returns false on failure.
    // bridge: 0 the lab's first bridge (br0), 1 a second one (br1), a
    // separate Ethernet segment.
    bool Connect(const std::string& ns, const std::string& ifName, const std::string& mac = {},
        const std::vector<std::string>& addresses = {}, int bridge = 0);

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

    // Brings up a plan: a host namespace (eth0 HostAddress/24, plus the
    // links asked for) and one twinlane-sim per device, each in a namespace
    // of its own with eth0 on the bridge, a control socket and a frame log;
    // returns when all are ready. binDir empty: $TWL_BIN_DIR.
    bool BringUp(const Plan& plan, const HostLinks& links = {}, const std::string& binDir = {});
    const std::string& HostNamespace() const { return m_hostNs; }
    const std::vector<Device>& Devices() const { return m_devices; }

    // One control command to a device, e.g. "fault drop fn 16 once"; the
    // reply line ("ok ..." / "error ..."), empty when the socket failed.
    static std::string Control(const Device& device, const std::string& command);

    // Where the lab keeps its files (/run/twl-lab/<prefix>).
    const std::string& StateDir() const { return m_stateDir; }
    const std::string& Prefix() const { return m_prefix; }
    const std::string& BridgeNamespace() const { return m_bridgeNs; }

private:
    struct Child {
        pid_t pid;
        int out;
        std::string buffered;
    };
    bool Fail(const std::string& what);
    void Tell(const std::string& line);
    bool EnsureBridge(int bridge);
    void RemoveNamespace(const std::string& name);

    void Record(const std::string& file, const std::string& line);

    std::string m_prefix;
    std::string m_stateDir;
    std::string m_hostNs;
    std::vector<Device> m_devices;
    std::string m_error;
    std::string m_bridgeNs;
    std::vector<std::string> m_namespaces;
    std::vector<Child> m_children;
    int m_watchdog = -1; // write end of the watchdog's pipe
    pid_t m_watchdogPid = -1;
    int m_links = 0;
    std::vector<int> m_bridges;
};

} // namespace lab
