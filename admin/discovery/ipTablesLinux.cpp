// The Linux backend: the tables are read through rtnetlink (libnl-route-3),
// which needs no right; writes go to twl-route-helper, the one program that
// holds CAP_NET_ADMIN, started by StartWriting and released by StopWriting.
#if defined(__linux__)

#include "admin/discovery/ipTables.h"

#include "admin/discovery/ipTablesHelper.h"
#include "admin/routehelper/netlinkOwners.h"
#include "admin/routehelper/routeProtocol.h"
#include "common/formatting.h"
#include "common/latin1.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include <linux/if.h>
#include <linux/if_arp.h>
#include <netinet/in.h>

#include <netlink/addr.h>
#include <netlink/cache.h>
#include <netlink/errno.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/socket.h>

namespace {

using routehelper::TCommand;
using routehelper::TReason;
using routehelper::tREQUEST;

using nlowner::Addr;
using nlowner::Cache;
using nlowner::Socket;

// A dump that the kernel marks as interrupted (a table changed meanwhile) is
// asked for again; a few tries, then the error stands.
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

// The address of an IPv4 nl_addr, or none for another family or length.
std::optional<uint32_t> Ipv4Of(nl_addr* a)
{
    if (!a || nl_addr_get_family(a) != AF_INET || nl_addr_get_len(a) != 4)
        return std::nullopt;
    uint32_t value;
    std::memcpy(&value, nl_addr_get_binary_addr(a), 4);
    return value;
}

uint32_t MaskOf(unsigned prefixLength)
{
    return qToBigEndian(prefixLength == 0 ? 0u : prefixLength >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefixLength));
}

// The prefix length of a contiguous mask; none for a mask like 255.0.255.0.
std::optional<int> PrefixOf(uint32_t mask)
{
    const uint32_t m = qFromBigEndian(mask);
    const int length = std::countl_one(m);
    if (MaskOf(length) != mask)
        return std::nullopt;
    return length;
}

// Interface-type numbers (IANA ifType) of the link types that have one.
int32_t InterfaceTypeOf(unsigned arpType)
{
    switch (arpType) {
    case ARPHRD_ETHER:
    case ARPHRD_EETHER:
        return 6; // ethernetCsmacd
    case ARPHRD_LOOPBACK:
        return 24; // softwareLoopback
    case ARPHRD_X25:
        return 5; // rfc877x25
    case ARPHRD_IEEE802_TR:
    case ARPHRD_IEEE802:
        return 9; // iso88025TokenRing
    case ARPHRD_FDDI:
        return 15; // fddi
    case ARPHRD_LAPB:
        return 16; // lapb
    case ARPHRD_PPP:
        return 23; // ppp
    case ARPHRD_SLIP:
    case ARPHRD_CSLIP:
        return 28; // slip
    case ARPHRD_DLCI:
    case ARPHRD_FRAD:
        return 32; // frameRelay
    case ARPHRD_ARCNET:
        return 35; // arcnet
    case ARPHRD_ATM:
        return 37; // atm
    case ARPHRD_LOCALTLK:
        return 42; // localTalk
    case ARPHRD_HIPPI:
        return 47; // hippi
    case ARPHRD_IEEE80211:
    case ARPHRD_IEEE80211_PRISM:
    case ARPHRD_IEEE80211_RADIOTAP:
        return 71; // ieee80211
    case ARPHRD_HDLC:
        return 118; // hdlc
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_IP6GRE:
        return 131; // tunnel
    case ARPHRD_IEEE1394:
        return 144; // ieee1394
    case ARPHRD_INFINIBAND:
        return 199; // infiniband
    case ARPHRD_IEEE802154:
        return 259; // ieee802154
    default:
        return 1; // other
    }
}

// The operational status numbering in which 5 means operational:
// 0 non-operational, 1 unreachable, 2 disconnected, 3 connecting,
// 4 connected, 5 operational.
int32_t OperStatusOf(uint8_t operState, unsigned flags)
{
    if (!(flags & IFF_UP))
        return 0;
    switch (operState) {
    case IF_OPER_UP:
        return 5;
    case IF_OPER_UNKNOWN:
        // Loopback and many virtual links never report a state of their own.
        return (flags & IFF_RUNNING) ? 5 : 2;
    case IF_OPER_DORMANT:
        return 3;
    case IF_OPER_DOWN:
    case IF_OPER_LOWERLAYERDOWN:
        return 2;
    default: // not present, testing
        return 0;
    }
}

class TLinuxIpTables final : public TIpTables {
protected:
    std::optional<QList<tIFROW>> ReadInterfaceTable() override;
    std::optional<tADDRTABLE> ReadAddressTable() override;
    bool WriteHostRoute(const tHOSTROUTE& route) override;
    bool RemoveRoutesTo(uint32_t address) override;
    bool WriteStaticNeighbour(uint32_t interfaceIndex, uint32_t address, const tMACADDRESS& mac) override;
    bool RemoveNeighbour(uint32_t interfaceIndex, uint32_t address) override;

public:
    bool StartWriting() override;
    void StopWriting() override;
    QString WritingProblem() const override;

private:
    bool Send(const QString& what, const tREQUEST& request);
    Socket Open();
    bool NetlinkFail(const QString& what, int error)
    {
        return Fail(TReason::ReadFailed, QStringLiteral("%1: %2").arg(what, QString::fromLatin1(nl_geterror(error))));
    }

    TRouteHelperLink m_helper;
};

Socket TLinuxIpTables::Open()
{
    Socket sk(nl_socket_alloc());
    if (!sk) {
        Fail(TReason::ReadFailed, QStringLiteral("netlink: out of memory"));
        return nullptr;
    }
    if (const int err = nl_connect(sk.get(), NETLINK_ROUTE); err < 0) {
        NetlinkFail(QStringLiteral("netlink"), err);
        return nullptr;
    }
    return sk;
}

std::optional<QList<tIFROW>> TLinuxIpTables::ReadInterfaceTable()
{
    Socket sk = Open();
    if (!sk)
        return std::nullopt;
    nl_cache* raw = nullptr;
    if (const int err = DumpWithRetry([&] { return rtnl_link_alloc_cache(sk.get(), AF_UNSPEC, &raw); }); err < 0) {
        NetlinkFail(QStringLiteral("link table"), err);
        return std::nullopt;
    }
    Cache cache(raw);
    QList<tIFROW> rows;
    for (nl_object* o = nl_cache_get_first(cache.get()); o; o = nl_cache_get_next(o)) {
        auto* link = reinterpret_cast<rtnl_link*>(o);
        const char* alias = rtnl_link_get_ifalias(link);
        const char* name = rtnl_link_get_name(link);
        tIFROW row;
        row.index = static_cast<uint32_t>(rtnl_link_get_ifindex(link));
        row.description = FromWire(alias && *alias ? alias : name ? name : "");
        row.type = InterfaceTypeOf(rtnl_link_get_arptype(link));
        row.operStatus = OperStatusOf(rtnl_link_get_operstate(link), rtnl_link_get_flags(link));
        rows.append(row);
    }
    std::sort(rows.begin(), rows.end(), [](const tIFROW& a, const tIFROW& b) { return a.index < b.index; });
    return rows;
}

std::optional<tADDRTABLE> TLinuxIpTables::ReadAddressTable()
{
    Socket sk = Open();
    if (!sk)
        return std::nullopt;
    nl_cache* raw = nullptr;
    if (const int err = DumpWithRetry([&] { return rtnl_addr_alloc_cache(sk.get(), &raw); }); err < 0) {
        NetlinkFail(QStringLiteral("address table"), err);
        return std::nullopt;
    }
    Cache cache(raw);
    tADDRTABLE rows;
    for (nl_object* o = nl_cache_get_first(cache.get()); o; o = nl_cache_get_next(o)) {
        auto* a = reinterpret_cast<rtnl_addr*>(o);
        if (rtnl_addr_get_family(a) != AF_INET)
            continue;
        const std::optional<uint32_t> local = Ipv4Of(rtnl_addr_get_local(a));
        if (!local)
            continue;
        rows.append({ *local, MaskOf(static_cast<unsigned>(rtnl_addr_get_prefixlen(a))),
            static_cast<uint32_t>(rtnl_addr_get_ifindex(a)) });
    }
    return rows;
}

bool TLinuxIpTables::Send(const QString& what, const tREQUEST& request)
{
    const routehelper::tANSWER answer = m_helper.Ask(request);
    if (answer.reason == TReason::Ok)
        return true;
    if (answer.reason == TReason::NoHelper && !m_helper.Problem().isEmpty())
        return Fail(answer.reason, what + QStringLiteral(": ") + m_helper.Problem());
    return Fail(answer.reason, what + QStringLiteral(": ") + QString::fromStdString(answer.text));
}

bool TLinuxIpTables::StartWriting()
{
    return m_helper.Start();
}

void TLinuxIpTables::StopWriting()
{
    m_helper.Stop();
}

QString TLinuxIpTables::WritingProblem() const
{
    return m_helper.Problem();
}

bool TLinuxIpTables::WriteHostRoute(const tHOSTROUTE& r)
{
    const QString what = QStringLiteral("route %1").arg(FormatIpAddress(r.destination));
    const std::optional<int> prefix = PrefixOf(r.mask);
    if (!prefix)
        return Fail(
            TReason::BadMask, what + QStringLiteral(": mask %1 is not contiguous").arg(FormatIpAddress(r.mask)));
    tREQUEST request { TCommand::Route };
    request.address = r.destination;
    request.prefixLength = *prefix;
    request.interfaceIndex = r.interfaceIndex;
    request.source = r.localAddress;
    // Directly attached (the server answers on the link itself) unless the
    // next hop is another host of the link.
    request.nextHop = r.nextHop == r.localAddress ? 0 : r.nextHop;
    request.metric = r.metric;
    return Send(what, request);
}

bool TLinuxIpTables::RemoveRoutesTo(uint32_t address)
{
    tREQUEST request { TCommand::DelRoutes };
    request.address = address;
    return Send(QStringLiteral("routes to %1").arg(FormatIpAddress(address)), request);
}

bool TLinuxIpTables::WriteStaticNeighbour(uint32_t interfaceIndex, uint32_t address, const tMACADDRESS& mac)
{
    tREQUEST request { TCommand::Neigh };
    request.address = address;
    request.interfaceIndex = interfaceIndex;
    request.mac = mac;
    return Send(QStringLiteral("neighbour %1").arg(FormatIpAddress(address)), request);
}

bool TLinuxIpTables::RemoveNeighbour(uint32_t interfaceIndex, uint32_t address)
{
    tREQUEST request { TCommand::DelNeigh };
    request.address = address;
    request.interfaceIndex = interfaceIndex;
    return Send(QStringLiteral("neighbour %1").arg(FormatIpAddress(address)), request);
}

} // namespace

TIpTables& SystemIpTables()
{
    static TLinuxIpTables tables;
    return tables;
}

#endif
