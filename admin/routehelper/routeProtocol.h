#pragma once
// The requests that TwinlaneAdmin sends to twl-route-helper and the helper's
// answers. One request is one line of ASCII text of at most MaxRequestLength
// bytes, newline included; one answer is one line "<code> <text>".
//
//   hello                                   who are you, may you write
//   route <a.b.c.d>/<len> <ifindex> <src> <next hop|direct> <metric>
//   neigh <a.b.c.d> <ifindex> <xx:xx:xx:xx:xx:xx>
//   delroutes <a.b.c.d>                     every main-table /32 route to it
//   delneigh <a.b.c.d> <ifindex>
//   release                                 remove what is left, then end
//
// Addresses are in dotted decimal, numbers in decimal without signs or
// leading zeros; fields are separated by one blank. Plain C++: the helper
// links no Qt.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace routehelper {

inline constexpr std::size_t MaxRequestLength = 128;
inline constexpr const char* HelperName = "twl-route-helper";
inline constexpr int ProtocolVersion = 1;
// Marks the routes the helper writes, so that `ip route` tells them apart.
// Unassigned in the kernel's and iproute2's lists of route protocols.
inline constexpr uint8_t RouteProtocol = 0x54;
inline constexpr int HostPrefixLength = 32;

enum class TReason : int {
    Ok = 0,
    Malformed = 1, // not one of the requests above
    Oversized = 2, // longer than MaxRequestLength
    NotHostRoute = 3, // a prefix other than /32
    NoSuchInterface = 4,
    BadAddress = 5, // no unicast address
    BadNextHop = 6,
    BadMacAddress = 7,
    RouteExists = 8, // a route with the same key that the helper did not write
    TooMany = 9, // the record is full
    NotFound = 10, // nothing to delete
    NoCapability = 11, // the helper does not hold CAP_NET_ADMIN
    SystemError = 12, // the kernel refused; the text says why
    NoHelper = 13, // (program side) the helper is not running or stopped answering
    // Program side only, never on the wire: the checks of the route backend
    // and its reading of the kernel's tables.
    NotLocalAddress = 14, // the local address is on no interface of this computer
    BadMask = 15, // the mask is not contiguous, or the destination has bits outside it
    ReadFailed = 16, // the interface or address table could not be read
};
// The last code a helper may answer with.
inline constexpr TReason LastHelperReason = TReason::NoHelper;

// The fixed text of a reason; the one text function of the route layer
// (helper and backend).
const char* ReasonText(TReason reason);

enum class TCommand { Hello, Route, Neigh, DelRoutes, DelNeigh, Release };

using tMAC = std::array<uint8_t, 6>;

// One request, its addresses in network byte order.
struct tREQUEST {
    TCommand command = TCommand::Hello;
    uint32_t address = 0; // destination or neighbour
    int prefixLength = HostPrefixLength;
    uint32_t interfaceIndex = 0;
    uint32_t source = 0; // route: preferred source address
    uint32_t nextHop = 0; // route: 0 for directly attached
    uint32_t metric = 0;
    tMAC mac {};
};

struct tPARSED {
    std::optional<tREQUEST> request;
    TReason reason = TReason::Ok; // why request is empty
};

// Reads one request line, without its newline. Only the syntax is judged
// here; what may be written is the helper's decision.
tPARSED ParseRequest(std::string_view line);

// The request line for a request, newline included.
std::string FormatRequest(const tREQUEST& request);

// Answers: "<code> <text>\n"; the text may be empty.
std::string FormatAnswer(TReason reason, std::string_view text);
struct tANSWER {
    TReason reason = TReason::Malformed;
    std::string text;
};
std::optional<tANSWER> ParseAnswer(std::string_view line);

// Dotted decimal in network byte order; "a.b.c.d" strictly, four fields of
// 0..255 without leading zeros.
std::optional<uint32_t> ParseAddress(std::string_view text);
std::string FormatAddress(uint32_t address);

// A unicast address a host route or neighbour entry may name: not 0.0.0.0,
// not loopback, multicast, reserved or the broadcast address.
bool IsUnicast(uint32_t address);

} // namespace routehelper
