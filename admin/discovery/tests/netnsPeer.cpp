#include "admin/discovery/tests/netnsPeer.h"

#include "lab/testsupport/privateNetwork.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

bool WriteFile(const char* path, const char* text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = write(fd, text, strlen(text)) == static_cast<ssize_t>(strlen(text));
    close(fd);
    return ok;
}

// Waits until `ip -br link show DEV` (run by run) reports the link UP: traffic
// sent before that is dropped until the kernel has started the link.
template <typename Run> bool WaitUntilUp(Run run, const std::string& dev)
{
    for (int i = 0; i < 1000; ++i) {
        if (run("ip -br link show " + dev).output.find(" UP ") != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

std::string EnterPrivateNamespace()
{
    // The shared helper makes the namespace and checks it is a new one.
    if (const std::string why = twltest::EnterPrivateNetwork(); !why.empty())
        return why;
    if (!InPrivateNamespace()) {
        // Never go on in the machine's own namespace.
        fprintf(stderr, "still in the starting network namespace after unshare\n");
        _exit(2);
    }
    if (ShResult r = Sh("ip link set lo up"); r.code != 0)
        return "ip (iproute2) does not work here: " + r.output;
    if (Sh("nsenter --version").code != 0)
        return "nsenter (util-linux) is missing";
    WriteFile("/proc/sys/net/ipv6/conf/all/disable_ipv6", "1");
    WriteFile("/proc/sys/net/ipv6/conf/default/disable_ipv6", "1");
    return {};
}

bool InPrivateNamespace()
{
    return twltest::InTestNamespace();
}

ShResult Sh(const std::string& command)
{
    ShResult r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        r.output.append(buffer, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string TPeer::Start()
{
    if (!InPrivateNamespace())
        return "not in the test's own namespace";
    const char* bin = getenv("TWL_BIN_DIR");
    const std::string sim = std::string(bin ? bin : ".") + "/twinlane-sim";
    char dir[] = "/tmp/twl-peer-XXXXXX";
    if (!mkdtemp(dir))
        return "no temporary folder";
    m_readyDir = dir;
    const std::string ready = m_readyDir + "/ready";
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid < 0)
        return "fork failed";
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent || unshare(CLONE_NEWNET) != 0)
            _exit(126);
        execl(sim.c_str(), sim.c_str(), "--ip", "10.99.0.5", "--bind", "0.0.0.0", "--port", "502", "--http-port", "-1",
            "--restart-time", "0", "--ready-file", ready.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The simulator writes its ready file once it listens; bounded so that a
    // broken one can't hang the test.
    bool started = false;
    for (int i = 0; i < 2000 && !started; ++i) {
        struct stat st { };
        started = stat(ready.c_str(), &st) == 0;
        if (!started && waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return "twinlane-sim ended at start (" + sim + ")";
        }
        if (!started)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!started)
        return "twinlane-sim did not get ready";

    const std::string p = std::to_string(m_pid);
    ShResult r = Sh("ip link add vh address 02:00:5e:10:00:01 type veth peer name vp address 02:00:5e:10:00:05 netns "
        + p + " && ip addr add 10.77.0.1/24 dev vh && ip link set vh up");
    if (r.code != 0)
        return "host side: " + r.output;
    r = There("echo 1 > /proc/sys/net/ipv6/conf/all/disable_ipv6; ip link set lo up && "
              "ip addr add 10.99.0.5/24 dev vp && ip link set vp up && ip route add 10.77.0.1/32 dev vp");
    if (r.code != 0)
        return "far side: " + r.output;
    if (!WaitUntilUp(Sh, "vh") || !WaitUntilUp([this](const std::string& c) { return There(c); }, "vp"))
        return "the veth pair did not come up";
    return {};
}

ShResult TPeer::There(const std::string& command) const
{
    return Sh("nsenter --net=/proc/" + std::to_string(m_pid) + "/ns/net sh -c '" + command + "'");
}

TPeer::~TPeer()
{
    if (m_pid > 0) {
        // Deleting one end deletes the pair at once; the namespace itself goes
        // away later, in the kernel's own time.
        if (InPrivateNamespace())
            Sh("ip link del vh");
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    if (!m_readyDir.empty()) {
        unlink((m_readyDir + "/ready").c_str());
        rmdir(m_readyDir.c_str());
    }
}

int ConnectTo(const char* address)
{
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0)
        return errno;
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(502);
    inet_pton(AF_INET, address, &a.sin_addr);
    int error = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
        pollfd p { s, POLLOUT, 0 };
        if (poll(&p, 1, 10000) == 1) {
            socklen_t length = sizeof error;
            getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length);
        } else {
            error = ETIMEDOUT;
        }
    }
    // A reset, not a closing handshake: nothing goes on on the link afterwards.
    linger l { 1, 0 };
    setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(s);
    return error;
}
