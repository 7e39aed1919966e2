#include "lab/testsupport/privateNetwork.h"

#include "lab/labNet.h"

#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twltest {

namespace {

struct NamespaceId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const NamespaceId&) const = default;
};

NamespaceId NamespaceOf(const char* path)
{
    struct stat st { };
    if (::stat(path, &st) != 0)
        return {};
    return { st.st_dev, st.st_ino };
}

// The namespace the process started in, read before main runs.
const NamespaceId& StartNamespace()
{
    static const NamespaceId start = NamespaceOf("/proc/self/ns/net");
    return start;
}
const NamespaceId& startAtLoad = StartNamespace();

} // namespace

std::string EnterPrivateNetwork()
{
    (void)startAtLoad;
    if (::unshare(CLONE_NEWNET) != 0)
        return std::string("cannot make a network namespace: ") + std::strerror(errno);
    if (!InTestNamespace())
        return "still in the starting network namespace after unshare";
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq req {};
    std::strcpy(req.ifr_name, "lo");
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &req) == 0
        && (req.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &req) == 0);
    const std::string reason = up ? "" : std::string("cannot bring up loopback: ") + std::strerror(errno);
    if (fd >= 0)
        ::close(fd);
    return reason;
}

bool InTestNamespace()
{
    if (lab::InLabNamespace())
        return true;
    const NamespaceId none, now = NamespaceOf("/proc/thread-self/ns/net");
    const NamespaceId machine = NamespaceOf("/proc/1/ns/net"); // none when we may not read it
    return now != none && StartNamespace() != none && now != StartNamespace() && now != machine;
}

void PrivateNetwork::SetUp()
{
    const std::string reason = EnterPrivateNetwork();
    if (!reason.empty())
        GTEST_SKIP() << reason;
}

} // namespace twltest
