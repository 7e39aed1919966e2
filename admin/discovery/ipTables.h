#pragma once
// The system's IPv4 interface, address, route and neighbour tables, as far as
// the host routes of the program need them. Addresses and masks are 32-bit
// values in network byte order, as inet_addr gives them; all bits set is the
// "no address" value.
//
// The public operations are written once here: every check that needs no
// system call runs before the backend is asked for anything. A backend only
// reads and writes the tables of its platform (netlink on Linux; an IP Helper
// backend fits beside it).
#include "admin/routehelper/routeProtocol.h"

#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

inline constexpr uint32_t NoAddress = 0xFFFFFFFFu;

// One row of the interface table.
struct tIFROW {
    uint32_t index = 0;
    QString description;
    int32_t type = 0; // interface-type numbering: 6 Ethernet, 24 software loopback, 1 other
    int32_t operStatus = 0; // 0 non-operational .. 5 operational
};

// One row of the IPv4 address table.
struct tADDRROW {
    uint32_t address = 0;
    uint32_t mask = 0;
    uint32_t interfaceIndex = 0;
};

// The address table in its sorted order: by the numeric value of the address,
// lowest first (10.0.0.2 before 10.0.0.10 before 127.0.0.1); rows with the
// same address by interface index. An interface's "first address" is so the
// lowest one it holds, whatever order the system keeps them in.
using tADDRTABLE = QList<tADDRROW>;

// What a backend writes for a host route: the checks have passed and the
// local address has been found on the interface interfaceIndex.
struct tHOSTROUTE {
    uint32_t destination = 0;
    uint32_t mask = 0;
    uint32_t nextHop = 0;
    uint32_t localAddress = 0;
    uint32_t interfaceIndex = 0;
    uint32_t metric = 0;
};

using tMACADDRESS = std::array<uint8_t, 6>;

// The first row of table whose address is address; none when the table is
// missing or address is the "no address" value.
std::optional<tADDRROW> FindLocalAddress(const std::optional<tADDRTABLE>& table, uint32_t address);

class TIpTables {
public:
    virtual ~TIpTables() = default;

    // Every operation reports failure by its result and leaves the reason in
    // LastReason() (a code, routehelper::ReasonText gives its text) and
    // LastError() (the text with the details, for the operator); each
    // operation clears both when it starts.
    std::optional<QList<tIFROW>> GetInterfaceTable();
    std::optional<tADDRTABLE> GetAddressTable();
    bool SetHostRouteEntry(
        uint32_t destination, uint32_t mask, uint32_t nextHop, uint32_t localAddress, uint32_t metric);
    // True when the last matching route was deleted; false when none matched.
    bool DeleteRoutesTo(uint32_t address);
    // A MAC text that ParseMacAddress refuses writes no entry.
    bool SetStaticArpEntry(uint32_t address, const QString& macText, uint32_t localAddress);
    // The entry goes whatever its hardware address: macText is not needed.
    bool DeleteArpEntry(uint32_t address, uint32_t localAddress, const QString& macText);

    const QString& LastError() const { return m_lastError; }
    routehelper::TReason LastReason() const { return m_lastReason; }

    // Writing needs a right the program itself does not hold: the backend
    // may hand its writes to a helper, started here and ended in
    // StopWriting. Without one every write fails and reading goes on.
    virtual bool StartWriting() { return true; }
    virtual void StopWriting() { }
    // Why writes can't be made, for the operator; empty when they can.
    virtual QString WritingProblem() const { return {}; }

protected:
    // The backend's part. Each returns its result and calls Fail() with the
    // reason and its details on failure.
    virtual std::optional<QList<tIFROW>> ReadInterfaceTable() = 0;
    virtual std::optional<tADDRTABLE> ReadAddressTable() = 0; // any order
    virtual bool WriteHostRoute(const tHOSTROUTE& route) = 0;
    // Every route whose destination is address/32, in the main table.
    virtual bool RemoveRoutesTo(uint32_t address) = 0;
    virtual bool WriteStaticNeighbour(uint32_t interfaceIndex, uint32_t address, const tMACADDRESS& mac) = 0;
    virtual bool RemoveNeighbour(uint32_t interfaceIndex, uint32_t address) = 0;

    bool Fail(routehelper::TReason reason, const QString& details);

private:
    std::optional<tADDRROW> FindInterfaceOf(uint32_t localAddress);

    // A static entry is removed on the interface it was written on, even
    // when its local address has changed since.
    struct tWRITTENNEIGHBOUR {
        uint32_t address;
        uint32_t localAddress;
        uint32_t interfaceIndex;
    };
    QList<tWRITTENNEIGHBOUR> m_writtenNeighbours;
    QString m_lastError;
    routehelper::TReason m_lastReason = routehelper::TReason::Ok;
    void ClearError();
};

// The backend of this platform, created on first use; user-interface thread only.
TIpTables& SystemIpTables();
