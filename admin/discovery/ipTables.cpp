#include "admin/discovery/ipTables.h"

#include "admin/discovery/Iphelp.h"
#include "common/formatting.h"

#include <QtEndian>
#include <algorithm>

std::optional<tADDRROW> FindLocalAddress(const std::optional<tADDRTABLE>& table, uint32_t address)
{
    if (!table || address == NoAddress)
        return std::nullopt;
    for (const tADDRROW& row : *table) {
        if (row.address == address)
            return row;
    }
    return std::nullopt;
}

bool TIpTables::Fail(routehelper::TReason reason, const QString& details)
{
    m_lastReason = reason;
    m_lastError = details;
    return false;
}

void TIpTables::ClearError()
{
    m_lastReason = routehelper::TReason::Ok;
    m_lastError.clear();
}

std::optional<QList<tIFROW>> TIpTables::GetInterfaceTable()
{
    ClearError();
    return ReadInterfaceTable();
}

std::optional<tADDRTABLE> TIpTables::GetAddressTable()
{
    ClearError();
    std::optional<tADDRTABLE> table = ReadAddressTable();
    if (table) {
        std::sort(table->begin(), table->end(), [](const tADDRROW& a, const tADDRROW& b) {
            const uint32_t x = qFromBigEndian(a.address), y = qFromBigEndian(b.address);
            return x != y ? x < y : a.interfaceIndex < b.interfaceIndex;
        });
    }
    return table;
}

std::optional<tADDRROW> TIpTables::FindInterfaceOf(uint32_t localAddress)
{
    const std::optional<tADDRTABLE> table = GetAddressTable();
    if (!table)
        return std::nullopt;
    std::optional<tADDRROW> row = FindLocalAddress(table, localAddress);
    if (!row)
        Fail(routehelper::TReason::NotLocalAddress,
            QStringLiteral("%1 is not an address of this computer").arg(FormatIpAddress(localAddress)));
    return row;
}

bool TIpTables::SetHostRouteEntry(
    uint32_t destination, uint32_t mask, uint32_t nextHop, uint32_t localAddress, uint32_t metric)
{
    ClearError();
    if (destination == NoAddress || localAddress == NoAddress)
        return Fail(routehelper::TReason::BadAddress,
            QStringLiteral("route refused: destination or local address is no address"));
    if (nextHop == NoAddress || nextHop == 0)
        return Fail(routehelper::TReason::BadNextHop, QStringLiteral("route refused: no next hop"));
    if ((destination & mask) != destination)
        return Fail(routehelper::TReason::BadMask,
            QStringLiteral("route refused: destination %1 has bits outside the mask %2")
                .arg(FormatIpAddress(destination), FormatIpAddress(mask)));
    const std::optional<tADDRROW> local = FindInterfaceOf(localAddress);
    if (!local)
        return false;
    if ((nextHop & local->mask) != (localAddress & local->mask))
        return Fail(routehelper::TReason::BadNextHop,
            QStringLiteral("route refused: next hop %1 is outside the subnet of %2")
                .arg(FormatIpAddress(nextHop), FormatIpAddress(localAddress)));
    return WriteHostRoute({ destination, mask, nextHop, localAddress, local->interfaceIndex, metric });
}

bool TIpTables::DeleteRoutesTo(uint32_t address)
{
    ClearError();
    if (address == NoAddress)
        return Fail(routehelper::TReason::BadAddress, QStringLiteral("route removal refused: no address"));
    return RemoveRoutesTo(address);
}

bool TIpTables::SetStaticArpEntry(uint32_t address, const QString& macText, uint32_t localAddress)
{
    ClearError();
    if (address == NoAddress || address == 0)
        return Fail(routehelper::TReason::BadAddress, QStringLiteral("neighbour entry refused: no address"));
    const std::optional<tADDRROW> local = FindInterfaceOf(localAddress);
    if (!local)
        return false;
    const std::optional<tMACADDRESS> mac = ParseMacAddress(macText);
    if (!mac)
        return Fail(routehelper::TReason::BadMacAddress,
            QStringLiteral("neighbour entry refused: \"%1\" is not a MAC address").arg(macText));
    if (!WriteStaticNeighbour(local->interfaceIndex, address, *mac))
        return false;
    const auto same
        = [&](const tWRITTENNEIGHBOUR& n) { return n.address == address && n.localAddress == localAddress; };
    m_writtenNeighbours.removeIf(same);
    m_writtenNeighbours.append({ address, localAddress, local->interfaceIndex });
    return true;
}

bool TIpTables::DeleteArpEntry(uint32_t address, uint32_t localAddress, const QString& /*macText*/)
{
    ClearError();
    if (address == NoAddress || address == 0)
        return Fail(routehelper::TReason::BadAddress, QStringLiteral("neighbour removal refused: no address"));
    const auto same
        = [&](const tWRITTENNEIGHBOUR& n) { return n.address == address && n.localAddress == localAddress; };
    const auto written = std::find_if(m_writtenNeighbours.cbegin(), m_writtenNeighbours.cend(), same);
    if (written != m_writtenNeighbours.cend()) {
        const uint32_t interfaceIndex = written->interfaceIndex;
        m_writtenNeighbours.removeIf(same);
        return RemoveNeighbour(interfaceIndex, address);
    }
    const std::optional<tADDRROW> local = FindInterfaceOf(localAddress);
    if (!local)
        return false;
    return RemoveNeighbour(local->interfaceIndex, address);
}
