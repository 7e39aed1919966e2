#include "admin/routehelper/netlinkWriter.h"

#include "admin/routehelper/netlinkOwners.h"

#include <cstring>
#include <memory>

#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>

#include <netlink/addr.h>
#include <netlink/cache.h>
#include <netlink/errno.h>
#include <netlink/netlink.h>
#include <netlink/route/link.h>
#include <netlink/route/neighbour.h>
#include <netlink/route/nexthop.h>
#include <netlink/route/route.h>
#include <netlink/socket.h>

namespace routehelper {

namespace {

using nlowner::Addr;
using nlowner::Cache;
using nlowner::Link;
using nlowner::Neigh;
using nlowner::Route;
using nlowner::Socket;

tRESULT Failed(int error)
{
    return { TReason::SystemError, nl_geterror(error) };
}

const tRESULT OutOfMemory { TReason::SystemError, "out of memory" };

Socket Open(int* error)
{
    Socket sk(nl_socket_alloc());
    if (!sk) {
        *error = -NLE_NOMEM;
        return nullptr;
    }
    if (const int err = nl_connect(sk.get(), NETLINK_ROUTE); err < 0) {
        *error = err;
        return nullptr;
    }
    return sk;
}

Addr Ipv4(uint32_t address, int prefixLength = HostPrefixLength)
{
    Addr a(nl_addr_build(AF_INET, &address, sizeof address));
    if (a)
        nl_addr_set_prefixlen(a.get(), prefixLength);
    return a;
}

bool IsIpv4(nl_addr* a, uint32_t address)
{
    return a && nl_addr_get_family(a) == AF_INET && nl_addr_get_len(a) == 4
        && std::memcmp(nl_addr_get_binary_addr(a), &address, 4) == 0;
}

// A dump that the kernel marks as interrupted is asked for again.
template <typename Dump> int DumpWithRetry(Dump dump)
{
    int err = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        err = dump();
        if (err != -NLE_DUMP_INTR)
            break;
    }
    return err;
}

// The route of the given key, with our protocol, ready to add or delete.
Route HostRoute(uint32_t destination, uint32_t interfaceIndex, uint32_t metric)
{
    Route route(rtnl_route_alloc());
    Addr dst = Ipv4(destination);
    rtnl_nexthop* nh = rtnl_route_nh_alloc();
    if (!route || !dst || !nh) {
        if (nh)
            rtnl_route_nh_free(nh);
        return nullptr;
    }
    rtnl_route_set_family(route.get(), AF_INET);
    rtnl_route_set_table(route.get(), RT_TABLE_MAIN);
    rtnl_route_set_type(route.get(), RTN_UNICAST);
    rtnl_route_set_protocol(route.get(), RouteProtocol);
    rtnl_route_set_priority(route.get(), metric);
    rtnl_route_set_dst(route.get(), dst.get());
    rtnl_route_nh_set_ifindex(nh, static_cast<int>(interfaceIndex));
    rtnl_route_add_nexthop(route.get(), nh); // the route owns it now
    return route;
}

Neigh Neighbour(uint32_t address, uint32_t interfaceIndex)
{
    Neigh neigh(rtnl_neigh_alloc());
    Addr dst = Ipv4(address);
    if (!neigh || !dst)
        return nullptr;
    rtnl_neigh_set_family(neigh.get(), AF_INET);
    rtnl_neigh_set_ifindex(neigh.get(), static_cast<int>(interfaceIndex));
    rtnl_neigh_set_dst(neigh.get(), dst.get());
    return neigh;
}

} // namespace

bool TNetlinkWriter::InterfaceExists(uint32_t interfaceIndex)
{
    int error = 0;
    Socket sk = Open(&error);
    if (!sk || interfaceIndex == 0)
        return false;
    rtnl_link* raw = nullptr;
    if (rtnl_link_get_kernel(sk.get(), static_cast<int>(interfaceIndex), nullptr, &raw) < 0)
        return false;
    Link link(raw);
    return link != nullptr;
}

tRESULT TNetlinkWriter::AddHostRoute(
    uint32_t destination, uint32_t interfaceIndex, uint32_t source, uint32_t nextHop, uint32_t metric, bool replace)
{
    Route route = HostRoute(destination, interfaceIndex, metric);
    Addr src = Ipv4(source);
    if (!route || !src)
        return OutOfMemory;
    rtnl_route_set_pref_src(route.get(), src.get());
    if (nextHop == 0) {
        // Directly attached: the server answers on the link itself.
        rtnl_route_set_scope(route.get(), RT_SCOPE_LINK);
    } else {
        Addr gateway = Ipv4(nextHop);
        if (!gateway)
            return OutOfMemory;
        rtnl_route_nh_set_gateway(rtnl_route_nexthop_n(route.get(), 0), gateway.get());
        rtnl_route_set_scope(route.get(), RT_SCOPE_UNIVERSE);
    }
    int error = 0;
    Socket sk = Open(&error);
    if (!sk)
        return Failed(error);
    const int flags = NLM_F_CREATE | (replace ? NLM_F_REPLACE : NLM_F_EXCL);
    if (const int err = rtnl_route_add(sk.get(), route.get(), flags); err < 0)
        return err == -NLE_EXIST ? tRESULT { TReason::RouteExists, {} } : Failed(err);
    return {};
}

tRESULT TNetlinkWriter::RemoveOwnRoute(uint32_t destination, uint32_t interfaceIndex, uint32_t metric)
{
    Route route = HostRoute(destination, interfaceIndex, metric);
    if (!route)
        return OutOfMemory;
    int error = 0;
    Socket sk = Open(&error);
    if (!sk)
        return Failed(error);
    const int err = rtnl_route_delete(sk.get(), route.get(), 0);
    if (err < 0 && err != -NLE_OBJ_NOTFOUND && err != -NLE_NODEV)
        return Failed(err);
    return {};
}

tRESULT TNetlinkWriter::RemoveRoutesTo(uint32_t destination)
{
    int error = 0;
    Socket sk = Open(&error);
    if (!sk)
        return Failed(error);
    nl_cache* raw = nullptr;
    if (const int err = DumpWithRetry([&] { return rtnl_route_alloc_cache(sk.get(), AF_INET, 0, &raw); }); err < 0)
        return Failed(err);
    Cache cache(raw);
    bool matched = false;
    tRESULT result;
    for (nl_object* o = nl_cache_get_first(cache.get()); o; o = nl_cache_get_next(o)) {
        auto* route = reinterpret_cast<rtnl_route*>(o);
        nl_addr* dst = rtnl_route_get_dst(route);
        if (rtnl_route_get_table(route) != RT_TABLE_MAIN || !IsIpv4(dst, destination)
            || nl_addr_get_prefixlen(dst) != HostPrefixLength)
            continue;
        matched = true;
        const int err = rtnl_route_delete(sk.get(), route, 0);
        result = err < 0 ? Failed(err) : tRESULT {};
    }
    if (!matched)
        return { TReason::NotFound, {} };
    return result;
}

tRESULT TNetlinkWriter::AddStaticNeighbour(uint32_t address, uint32_t interfaceIndex, const tMAC& mac)
{
    Neigh neigh = Neighbour(address, interfaceIndex);
    Addr lladdr(nl_addr_build(AF_LLC, mac.data(), mac.size()));
    if (!neigh || !lladdr)
        return OutOfMemory;
    rtnl_neigh_set_lladdr(neigh.get(), lladdr.get());
    rtnl_neigh_set_state(neigh.get(), NUD_PERMANENT);
    int error = 0;
    Socket sk = Open(&error);
    if (!sk)
        return Failed(error);
    if (const int err = rtnl_neigh_add(sk.get(), neigh.get(), NLM_F_CREATE | NLM_F_REPLACE); err < 0)
        return Failed(err);
    return {};
}

tRESULT TNetlinkWriter::RemoveNeighbour(uint32_t address, uint32_t interfaceIndex)
{
    Neigh neigh = Neighbour(address, interfaceIndex);
    if (!neigh)
        return OutOfMemory;
    int error = 0;
    Socket sk = Open(&error);
    if (!sk)
        return Failed(error);
    if (const int err = rtnl_neigh_delete(sk.get(), neigh.get(), 0); err < 0)
        return err == -NLE_OBJ_NOTFOUND ? tRESULT { TReason::NotFound, {} } : Failed(err);
    return {};
}

tRESULT TNetlinkWriter::RemoveOwnNeighbour(uint32_t address, uint32_t interfaceIndex, const tMAC& mac)
{
    int error = 0;
    Socket sk = Open(&error);
    if (!sk)
        return Failed(error);
    nl_cache* raw = nullptr;
    if (const int err = DumpWithRetry([&] { return rtnl_neigh_alloc_cache(sk.get(), &raw); }); err < 0)
        return Failed(err);
    Cache cache(raw);
    Addr dst = Ipv4(address);
    if (!dst)
        return OutOfMemory;
    Neigh found(rtnl_neigh_get(cache.get(), static_cast<int>(interfaceIndex), dst.get()));
    if (!found)
        return {};
    nl_addr* lladdr = rtnl_neigh_get_lladdr(found.get());
    const bool ours = (rtnl_neigh_get_state(found.get()) & NUD_PERMANENT) && lladdr
        && nl_addr_get_len(lladdr) == mac.size() && std::memcmp(nl_addr_get_binary_addr(lladdr), mac.data(), 6) == 0;
    if (!ours)
        return {};
    return RemoveNeighbour(address, interfaceIndex);
}

} // namespace routehelper
