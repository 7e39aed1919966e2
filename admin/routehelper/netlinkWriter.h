#pragma once
// The helper's writes to the kernel's IPv4 routing and neighbour tables,
// through rtnetlink (libnl-route-3). Every call opens its own socket.
#include "admin/routehelper/routeProtocol.h"

#include <string>

namespace routehelper {

struct tRESULT {
    TReason reason = TReason::Ok;
    std::string detail; // the system's words for a SystemError
    bool Ok() const { return reason == TReason::Ok; }
};

class TNetlinkWriter {
public:
    bool InterfaceExists(uint32_t interfaceIndex);

    // A /32 route in the main table, tagged with RouteProtocol. replace:
    // our own route may be replaced; otherwise an existing route with the
    // same key is refused (RouteExists).
    tRESULT AddHostRoute(uint32_t destination, uint32_t interfaceIndex, uint32_t source, uint32_t nextHop,
        uint32_t metric, bool replace);
    // Our route only: the same destination, interface, metric and protocol.
    // One that is already gone counts as removed.
    tRESULT RemoveOwnRoute(uint32_t destination, uint32_t interfaceIndex, uint32_t metric);
    // Every /32 route to the address in the main table, whoever wrote it.
    // NotFound when there was none.
    tRESULT RemoveRoutesTo(uint32_t destination);

    tRESULT AddStaticNeighbour(uint32_t address, uint32_t interfaceIndex, const tMAC& mac);
    // Whatever entry the interface holds for the address.
    tRESULT RemoveNeighbour(uint32_t address, uint32_t interfaceIndex);
    // Only while the entry is still the static one written with this MAC.
    tRESULT RemoveOwnNeighbour(uint32_t address, uint32_t interfaceIndex, const tMAC& mac);
};

} // namespace routehelper
