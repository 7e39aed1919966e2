#include "admin/discovery/Iphelp.h"

#include "admin/discovery/ipTables.h"
#include "common/formatting.h"
#include "common/latin1.h"

#include <algorithm>

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#endif

QList<tIPNODE>* LocalInterfaces = nullptr;
QList<tROUTENODE>* HostRoutes = nullptr;

namespace {

constexpr uint32_t HostMask = 0xFFFFFFFFu;
constexpr uint32_t HostRouteMetric = 20;

// inet_addr's reading, so odd texts get the same value everywhere; a text
// with a NUL in it would be cut short there, so it is no address at all.
uint32_t AddressOf(const QString& text)
{
    if (text.contains(QChar(0)))
        return NoAddress;
    return inet_addr(ToWire(text).constData());
}

int HexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

void LoadLocalInterfaces()
{
    // Loading again refreshes the interfaces but keeps the record of host
    // routes: a record dropped here would leave its route in the system.
    if (!HostRoutes)
        HostRoutes = new QList<tROUTENODE>;
    if (LocalInterfaces)
        LocalInterfaces->clear();
    else
        LocalInterfaces = new QList<tIPNODE>;

    TIpTables& tables = SystemIpTables();
    // The writer lives as long as the record of host routes.
    tables.StartWriting();
    const std::optional<QList<tIFROW>> interfaces = tables.GetInterfaceTable();
    if (!interfaces)
        return;
    const std::optional<tADDRTABLE> addresses = tables.GetAddressTable();
    if (!addresses)
        return;
    for (const tIFROW& i : *interfaces) {
        const auto first = std::find_if(
            addresses->cbegin(), addresses->cend(), [&](const tADDRROW& a) { return a.interfaceIndex == i.index; });
        if (first != addresses->cend())
            LocalInterfaces->append({ FormatIpAddress(first->address), i.description, i.type, i.operStatus });
    }
}

void ReleaseLocalInterfaces()
{
    delete LocalInterfaces;
    LocalInterfaces = nullptr;
    RemoveAllHostRoutes();
    delete HostRoutes;
    HostRoutes = nullptr;
    SystemIpTables().StopWriting();
}

bool AddHostRoute(const QString& localAddress, const QString& serverAddress, const QString& macAddress)
{
    // Without the record (before the load, after the release) a route written
    // now could never be removed again, so none is written.
    if (!HostRoutes)
        return false;
    const uint32_t server = AddressOf(serverAddress);
    const uint32_t local = AddressOf(localAddress);
    TIpTables& tables = SystemIpTables();
    if (!macAddress.isEmpty())
        tables.SetStaticArpEntry(server, macAddress, local);
    tables.SetHostRouteEntry(server, HostMask, local, local, HostRouteMetric);
    // Recorded whatever the system said, so that a removal still cleans up.
    HostRoutes->append({ localAddress, serverAddress, macAddress });
    return true;
}

bool RemoveHostRoute(const QString& serverAddress)
{
    if (!HostRoutes)
        return false;
    const auto it = std::find_if(
        HostRoutes->begin(), HostRoutes->end(), [&](const tROUTENODE& r) { return r.Address == serverAddress; });
    if (it == HostRoutes->end())
        return false;
    TIpTables& tables = SystemIpTables();
    const uint32_t server = AddressOf(it->Address);
    tables.DeleteRoutesTo(server);
    tables.DeleteArpEntry(server, AddressOf(it->LocalAddress), it->MacAddress);
    HostRoutes->erase(it);
    return true;
}

bool RemoveAllHostRoutes()
{
    if (!HostRoutes)
        return true;
    TIpTables& tables = SystemIpTables();
    for (const tROUTENODE& r : std::as_const(*HostRoutes)) {
        const uint32_t server = AddressOf(r.Address);
        tables.DeleteRoutesTo(server);
        tables.DeleteArpEntry(server, AddressOf(r.LocalAddress), r.MacAddress);
    }
    HostRoutes->clear();
    return true;
}

std::optional<std::array<uint8_t, 6>> ParseMacAddress(const QString& text)
{
    constexpr int MacTextLength = 6 * 3 - 1; // "xx-xx-xx-xx-xx-xx"
    if (text.size() != MacTextLength)
        return std::nullopt;
    std::array<uint8_t, 6> bytes {};
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && text[3 * i - 1] != u'-')
            return std::nullopt;
        const int high = HexValue(text[3 * i]);
        const int low = HexValue(text[3 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return bytes;
}

QString IphelpLastError()
{
    return SystemIpTables().LastError();
}

routehelper::TReason IphelpLastReason()
{
    return SystemIpTables().LastReason();
}

QString HostRouteProblem()
{
    return HostRoutes ? SystemIpTables().WritingProblem() : QString();
}
