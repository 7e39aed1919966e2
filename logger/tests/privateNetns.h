#pragma once
// Alarmkeeper listens on all addresses. Tests and benchmarks that start it
// move their whole process, and so every child, into a network namespace of
// their own first, where only loopback exists; nothing then listens or
// sends on the machine's own interfaces. The namespace ends with the process.
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

// Call first thing in main, before any thread starts. False when the
// namespace could not be made or its loopback not brought up.
inline bool EnterPrivateNetns()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    ifreq req {};
    std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(fd, SIOCGIFFLAGS, &req) == 0;
    req.ifr_flags = short(req.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &req) == 0;
    ::close(fd);
    return up;
}

inline bool& InPrivateNetns()
{
    static bool inside = false;
    return inside;
}

// QTEST_MAIN for a test class whose initTestCase skips unless InPrivateNetns().
#define AK_NETNS_QTEST_MAIN(TestObject)                                                                                \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        InPrivateNetns() = EnterPrivateNetns();                                                                        \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
