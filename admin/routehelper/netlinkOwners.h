#pragma once
// Owners of libnl objects, for the helper's writes and the program's reads:
// each object is freed or released exactly once on every path.
#include <memory>

#include <netlink/addr.h>
#include <netlink/cache.h>
#include <netlink/route/link.h>
#include <netlink/route/neighbour.h>
#include <netlink/route/route.h>
#include <netlink/socket.h>

namespace nlowner {

struct SocketFree {
    void operator()(nl_sock* s) const { nl_socket_free(s); }
};
struct CacheFree {
    void operator()(nl_cache* c) const { nl_cache_free(c); }
};
struct AddrPut {
    void operator()(nl_addr* a) const { nl_addr_put(a); }
};
struct RoutePut {
    void operator()(rtnl_route* r) const { rtnl_route_put(r); }
};
struct NeighPut {
    void operator()(rtnl_neigh* n) const { rtnl_neigh_put(n); }
};
struct LinkPut {
    void operator()(rtnl_link* l) const { rtnl_link_put(l); }
};

using Socket = std::unique_ptr<nl_sock, SocketFree>;
using Cache = std::unique_ptr<nl_cache, CacheFree>;
using Addr = std::unique_ptr<nl_addr, AddrPut>;
using Route = std::unique_ptr<rtnl_route, RoutePut>;
using Neigh = std::unique_ptr<rtnl_neigh, NeighPut>;
using Link = std::unique_ptr<rtnl_link, LinkPut>;

} // namespace nlowner
