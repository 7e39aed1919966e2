#include "sim/simInterface.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <net/if.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/route.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {
bool namespaceOf(const std::string& pid, struct stat* out)
{
    return stat(("/proc/" + pid + "/ns/net").c_str(), out) == 0;
}

long parentOf(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("PPid:", 0) == 0)
            return std::strtol(line.c_str() + 5, nullptr, 10);
    return 0;
}
}

bool InInitialNetworkNamespace()
{
    struct stat self { };
    if (!namespaceOf("self", &self))
        return true; // can't tell: assume the worst
    auto differs = [&](const struct stat& other) { return other.st_ino != self.st_ino || other.st_dev != self.st_dev; };
    struct stat other { };
    if (namespaceOf("1", &other))
        return !differs(other);
    // Process 1 may be out of sight in a sandbox; then a namespace of our own
    // shows as an ancestor (the test, the lab script) that lives outside it.
    long pid = getppid();
    for (int depth = 0; depth < 64 && pid > 1; ++depth) {
        if (!namespaceOf(std::to_string(pid), &other))
            break;
        if (differs(other))
            return false;
        pid = parentOf(pid);
    }
    return true;
}

std::optional<MacAddress> InterfaceMac(const std::string& name)
{
    if (name.empty() || name.size() >= IFNAMSIZ)
        return std::nullopt;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    ifreq req {};
    std::memcpy(req.ifr_name, name.data(), name.size());
    std::optional<MacAddress> mac;
    if (ioctl(fd, SIOCGIFHWADDR, &req) == 0) {
        MacAddress m;
        std::memcpy(m.data(), req.ifr_hwaddr.sa_data, 6);
        mac = m;
    }
    close(fd);
    return mac;
}

bool SetInterfaceAddress(const std::string& name, const Ipv4& address, std::string* error)
{
    auto failed = [&](const std::string& why, int nlError = 0) {
        if (error)
            *error = nlError ? why + ": " + nl_geterror(nlError) : why;
        return false;
    };
    // Checked here as well as at start-up: an address change on the machine's
    // own links must be impossible whatever the caller's flags.
    if (InInitialNetworkNamespace())
        return failed("refused in the machine's own network namespace");
    const int index = int(if_nametoindex(name.c_str()));
    if (index == 0)
        return failed("no interface " + name);

    nl_sock* sock = nl_socket_alloc();
    if (!sock)
        return failed("no netlink socket");
    int rc = nl_connect(sock, NETLINK_ROUTE);
    if (rc < 0) {
        nl_socket_free(sock);
        return failed("netlink connect", rc);
    }
    nl_cache* cache = nullptr;
    rc = rtnl_addr_alloc_cache(sock, &cache);
    if (rc < 0) {
        nl_socket_free(sock);
        return failed("address list", rc);
    }
    int prefix = 24;
    bool havePrefix = false;
    for (nl_object* obj = nl_cache_get_first(cache); obj; obj = nl_cache_get_next(obj)) {
        auto* old = reinterpret_cast<rtnl_addr*>(obj);
        if (rtnl_addr_get_ifindex(old) != index || rtnl_addr_get_family(old) != AF_INET)
            continue;
        if (!havePrefix) {
            prefix = rtnl_addr_get_prefixlen(old);
            havePrefix = true;
        }
        rtnl_addr_delete(sock, old, 0);
    }
    nl_cache_free(cache);

    rtnl_addr* fresh = rtnl_addr_alloc();
    nl_addr* local = nl_addr_build(AF_INET, address.data(), 4);
    rtnl_addr_set_ifindex(fresh, index);
    rtnl_addr_set_local(fresh, local);
    rtnl_addr_set_prefixlen(fresh, prefix);
    rc = rtnl_addr_add(sock, fresh, 0);
    nl_addr_put(local);
    rtnl_addr_put(fresh);
    nl_socket_free(sock);
    if (rc < 0)
        return failed("address add", rc);
    return true;
}

bool SetOnLinkDefaultRoute(const std::string& name, std::string* error)
{
    auto failed = [&](const std::string& why, int nlError = 0) {
        if (error)
            *error = nlError ? why + ": " + nl_geterror(nlError) : why;
        return false;
    };
    if (InInitialNetworkNamespace())
        return failed("refused in the machine's own network namespace");
    const int index = int(if_nametoindex(name.c_str()));
    if (index == 0)
        return failed("no interface " + name);
    nl_sock* sock = nl_socket_alloc();
    if (!sock)
        return failed("no netlink socket");
    int rc = nl_connect(sock, NETLINK_ROUTE);
    if (rc < 0) {
        nl_socket_free(sock);
        return failed("netlink connect", rc);
    }
    rtnl_route* route = rtnl_route_alloc();
    nl_addr* any = nullptr;
    nl_addr_parse("0.0.0.0/0", AF_INET, &any);
    rtnl_route_set_family(route, AF_INET);
    rtnl_route_set_dst(route, any);
    rtnl_route_set_table(route, RT_TABLE_MAIN);
    rtnl_route_set_scope(route, RT_SCOPE_LINK);
    rtnl_route_set_protocol(route, RTPROT_STATIC);
    rtnl_route_set_type(route, RTN_UNICAST);
    rtnl_nexthop* hop = rtnl_route_nh_alloc();
    rtnl_route_nh_set_ifindex(hop, index);
    rtnl_route_add_nexthop(route, hop);
    rc = rtnl_route_add(sock, route, NLM_F_REPLACE);
    nl_addr_put(any);
    rtnl_route_put(route);
    nl_socket_free(sock);
    if (rc < 0)
        return failed("route add", rc);
    return true;
}

} // namespace sim
