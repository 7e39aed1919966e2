// Interfaces, host routes and neighbour entries against the real kernel
// tables, in namespaces made by this test (see netnsPeer.h).
#include "admin/discovery/Iphelp.h"
#include "admin/discovery/ipTables.h"
#include "admin/discovery/tests/netnsPeer.h"
#include "lab/testsupport/testSkip.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// Readable failure messages.
void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

std::string namespaceUnavailable = "not entered";

const QString Local = QStringLiteral("10.77.0.1");
const QString Server = QStringLiteral("10.99.0.5");
const QString ServerMac = QStringLiteral("02-00-5E-10-00-05");

uint32_t A(const char* text)
{
    return inet_addr(text);
}

// Every route of every table and every neighbour entry: what "as before" means.
std::string Tables()
{
    return Sh("ip -d route show table all").output + Sh("ip neigh show nud all").output;
}

QJsonArray IpJson(const std::string& command)
{
    const ShResult r = Sh(command);
    return r.code == 0 ? QJsonDocument::fromJson(QByteArray::fromStdString(r.output)).array() : QJsonArray();
}

QJsonArray RoutesTo(const QString& address)
{
    return IpJson("ip -j -d route show table main to " + address.toStdString() + "/32");
}

QJsonArray NeighboursOf(const QString& address)
{
    return IpJson("ip -j neigh show to " + address.toStdString() + " dev vh");
}

// Each test gets a fresh far end; the process-wide lists are released after
// it, before the link goes, so no record outlives its test.
class NetnsTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!namespaceUnavailable.empty())
            GTEST_SKIP() << "no private network namespace: " << namespaceUnavailable;
        ASSERT_TRUE(InPrivateNamespace());
        const std::string error = m_peer.Start();
        ASSERT_EQ(error, "");
    }
    void TearDown() override
    {
        ReleaseLocalInterfaces();
        if (InPrivateNamespace()) {
            for (const char* link : m_extraLinks)
                Sh(std::string("ip link del ") + link);
        }
    }

    TPeer m_peer;
    std::vector<const char*> m_extraLinks;
};

} // namespace

TEST(ParseMacAddress, GoodAndBadTexts)
{
    using Bytes = std::array<uint8_t, 6>;
    const struct {
        const char* text;
        std::optional<Bytes> bytes;
    } rows[] = {
        { "0a-1B-2c-3D-4e-5F", Bytes { 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F } },
        { "00-00-00-00-00-00", Bytes {} },
        { "FF-ff-FF-ff-FF-ff", Bytes { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF } },
        { "0a:1B:2c:3D:4e:5F", std::nullopt },
        { "0a-1B-2c-3D04e-5F", std::nullopt }, // separator 11 missing
        { "0a-1B-2c-3D-4e-5", std::nullopt },
        { "0a-1B-2c-3D-4e-5F0", std::nullopt },
        { "0a-1B-2c-3D-4e-5F-", std::nullopt },
        { "", std::nullopt },
        { "0g-1B-2c-3D-4e-5F", std::nullopt },
        { "+a-1B-2c-3D-4e-5F", std::nullopt }, // what a number parser would take
        { " a-1B-2c-3D-4e-5F", std::nullopt },
        { "0a-1B-2c-3D-4e-5\xEF\xBC\xA6", std::nullopt }, // a full-width F
        { "0a-1B-2c-3D-4e-5F\n", std::nullopt },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseMacAddress(QString::fromUtf8(row.text)), row.bytes);
    }
}

TEST_F(NetnsTest, InterfacesListedOnceInIndexOrderWithFirstAddress)
{
    m_extraLinks = { "va" };
    ASSERT_EQ(Sh("ip addr add 10.66.0.1/24 dev vh && ip link set vh alias 'Lab port' && "
                 "ip link add va type veth peer name vb && ip addr add 10.88.0.1/24 dev va")
                  .code,
        0);
    LoadLocalInterfaces();
    ASSERT_NE(LocalInterfaces, nullptr);
    ASSERT_NE(HostRoutes, nullptr);
    EXPECT_TRUE(HostRoutes->isEmpty());

    // vh holds 10.77.0.1 first and 10.66.0.1 second: the lower one is its
    // first; vb has no address; va is down.
    const QList<tIPNODE> expected = {
        { "127.0.0.1", "lo", 24, 5 },
        { "10.66.0.1", "Lab port", 6, 5 },
        { "10.88.0.1", "va", 6, 0 },
    };
    ASSERT_EQ(LocalInterfaces->size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const tIPNODE& got = LocalInterfaces->at(i);
        EXPECT_EQ(got.Address, expected[i].Address);
        EXPECT_EQ(got.Description, expected[i].Description);
        EXPECT_EQ(got.InterfaceType, expected[i].InterfaceType);
        EXPECT_EQ(got.OperStatus, expected[i].OperStatus);
    }
}

// A server on a foreign subnet is reached through the host route, with the
// static entry when a MAC text is given and by address resolution without.
struct tREACHCASE {
    const char* name;
    QString mac;
    bool permanentEntry;
};

class HostRouteReach : public NetnsTest, public testing::WithParamInterface<tREACHCASE> { };

TEST_P(HostRouteReach, RouteAndEntryWrittenServerReachedThenAllRemoved)
{
    const tREACHCASE& c = GetParam();
    LoadLocalInterfaces();
    ASSERT_EQ(ConnectTo("10.99.0.5"), ENETUNREACH);

    ASSERT_TRUE(AddHostRoute(Local, Server, c.mac));
    ASSERT_EQ(HostRoutes->size(), 1);
    EXPECT_EQ(HostRoutes->at(0).LocalAddress, Local);
    EXPECT_EQ(HostRoutes->at(0).Address, Server);
    EXPECT_EQ(HostRoutes->at(0).MacAddress, c.mac);

    const QJsonArray routes = RoutesTo(Server);
    ASSERT_EQ(routes.size(), 1) << Sh("ip route").output;
    const QJsonObject route = routes.at(0).toObject();
    EXPECT_EQ(route["type"].toString(), "unicast");
    EXPECT_EQ(route["dev"].toString(), "vh");
    EXPECT_EQ(route["scope"].toString(), "link");
    EXPECT_EQ(route["prefsrc"].toString(), Local);
    EXPECT_EQ(route["metric"].toInt(), 20);
    EXPECT_EQ(route["protocol"].toString(), "84");
    EXPECT_FALSE(route.contains("gateway"));

    QJsonArray neighbours = NeighboursOf(Server);
    if (c.permanentEntry) {
        ASSERT_EQ(neighbours.size(), 1);
        EXPECT_EQ(neighbours.at(0)["lladdr"].toString(), "02:00:5e:10:00:05");
        EXPECT_EQ(neighbours.at(0)["state"].toArray(), QJsonArray { "PERMANENT" });
    } else {
        EXPECT_TRUE(neighbours.isEmpty());
    }

    EXPECT_EQ(ConnectTo("10.99.0.5"), 0);
    neighbours = NeighboursOf(Server);
    ASSERT_EQ(neighbours.size(), 1); // now also the resolved one
    EXPECT_EQ(neighbours.at(0)["state"].toArray().contains("PERMANENT"), c.permanentEntry);

    EXPECT_TRUE(RemoveHostRoute(Server));
    EXPECT_TRUE(HostRoutes->isEmpty());
    EXPECT_TRUE(RoutesTo(Server).isEmpty());
    EXPECT_TRUE(NeighboursOf(Server).isEmpty());
    EXPECT_EQ(ConnectTo("10.99.0.5"), ENETUNREACH);
}

INSTANTIATE_TEST_SUITE_P(Mac, HostRouteReach,
    testing::Values(tREACHCASE { "Given", ServerMac, true }, tREACHCASE { "Empty", QString(), false },
        // Not a MAC text of the search: the route alone is written.
        tREACHCASE { "Unparsable", QStringLiteral("02:00:5E:10:00:05"), false }),
    [](const testing::TestParamInfo<tREACHCASE>& info) { return info.param.name; });

TEST_F(NetnsTest, UnknownLocalAddressWritesNothingButIsRecorded)
{
    LoadLocalInterfaces();
    const std::string before = Tables();
    EXPECT_TRUE(AddHostRoute("10.55.0.1", Server, ServerMac));
    EXPECT_EQ(Tables(), before);
    EXPECT_EQ(IphelpLastReason(), routehelper::TReason::NotLocalAddress);
    EXPECT_TRUE(IphelpLastError().contains("10.55.0.1 is not an address of this computer"))
        << IphelpLastError().toStdString();
    ASSERT_EQ(HostRoutes->size(), 1);
    EXPECT_EQ(HostRoutes->at(0).LocalAddress, "10.55.0.1");
    EXPECT_TRUE(RemoveHostRoute(Server));
    EXPECT_EQ(Tables(), before);
}

TEST_F(NetnsTest, TwoAddsOneRemoveTakesFirstRecordAndEveryRoute)
{
    LoadLocalInterfaces();
    const std::string before = Tables();
    ASSERT_TRUE(AddHostRoute(Local, Server, ServerMac));
    ASSERT_TRUE(AddHostRoute(Local, Server, QString()));
    ASSERT_EQ(HostRoutes->size(), 2);
    // A route of someone else to the same server goes too.
    ASSERT_EQ(Sh("ip route add 10.99.0.5/32 dev vh metric 50").code, 0);
    EXPECT_EQ(RoutesTo(Server).size(), 2);

    EXPECT_TRUE(RemoveHostRoute(Server));
    ASSERT_EQ(HostRoutes->size(), 1);
    EXPECT_EQ(HostRoutes->at(0).MacAddress, ""); // the second record stays
    EXPECT_EQ(Tables(), before);

    EXPECT_TRUE(RemoveHostRoute(Server)); // its record, though nothing is left to delete
    EXPECT_TRUE(HostRoutes->isEmpty());
    EXPECT_FALSE(RemoveHostRoute(Server));
    EXPECT_EQ(Tables(), before);
}

TEST_F(NetnsTest, RemovingAnAddressNeverAddedTouchesNothing)
{
    LoadLocalInterfaces();
    ASSERT_TRUE(AddHostRoute(Local, Server, ServerMac));
    const std::string before = Tables();
    EXPECT_FALSE(RemoveHostRoute("10.99.0.6"));
    EXPECT_FALSE(RemoveHostRoute(" 10.99.0.5")); // exact text, not the same address
    EXPECT_EQ(HostRoutes->size(), 1);
    EXPECT_EQ(Tables(), before);
}

TEST_F(NetnsTest, StaticEntryRemovedOnItsInterfaceAfterTheLocalAddressChanged)
{
    LoadLocalInterfaces();
    const std::string before = Tables();
    ASSERT_TRUE(AddHostRoute(Local, Server, ServerMac));
    ASSERT_EQ(NeighboursOf(Server).size(), 1);
    // The interface takes a new address (keeping one, so that its entries
    // stay); the route goes with the old one.
    ASSERT_EQ(Sh("ip addr add 10.78.0.1/24 dev vh && ip addr del 10.77.0.1/24 dev vh").code, 0);
    EXPECT_TRUE(RemoveHostRoute(Server));
    EXPECT_TRUE(NeighboursOf(Server).isEmpty()) << Sh("ip neigh show nud all").output;
    ASSERT_EQ(Sh("ip addr add 10.77.0.1/24 dev vh && ip addr del 10.78.0.1/24 dev vh").code, 0);
    EXPECT_EQ(Tables(), before);
}

TEST_F(NetnsTest, HostRouteEntryChecksComeBeforeAnySystemCall)
{
    using R = routehelper::TReason;
    const struct {
        const char* name;
        uint32_t destination, mask, nextHop, local;
        const char* reason; // empty: written
        routehelper::TReason code;
    } rows[] = {
        { "destination no address", A("server"), A("255.255.255.255"), A("10.77.0.1"), A("10.77.0.1"), "no address",
            R::BadAddress },
        { "local no address", A("10.99.0.5"), A("255.255.255.255"), A("10.77.0.1"), A("x"), "no address",
            R::BadAddress },
        { "next hop no address", A("10.99.0.5"), A("255.255.255.255"), A("x"), A("10.77.0.1"), "no next hop",
            R::BadNextHop },
        { "next hop 0", A("10.99.0.5"), A("255.255.255.255"), 0, A("10.77.0.1"), "no next hop", R::BadNextHop },
        { "bits outside the mask", A("10.99.0.5"), A("255.255.255.0"), A("10.77.0.1"), A("10.77.0.1"),
            "has bits outside the mask 255.255.255.0", R::BadMask },
        { "next hop outside the subnet", A("10.99.0.5"), A("255.255.255.255"), A("10.78.0.1"), A("10.77.0.1"),
            "next hop 10.78.0.1 is outside the subnet of 10.77.0.1", R::BadNextHop },
        { "local address unknown", A("10.99.0.5"), A("255.255.255.255"), A("10.55.0.1"), A("10.55.0.1"),
            "10.55.0.1 is not an address of this computer", R::NotLocalAddress },
        { "mask not contiguous", A("10.0.0.5"), A("255.0.255.255"), A("10.77.0.1"), A("10.77.0.1"),
            "mask 255.0.255.255 is not contiguous", R::BadMask },
        { "through a gateway on the link", A("10.99.0.6"), A("255.255.255.255"), A("10.77.0.2"), A("10.77.0.1"), "",
            R::Ok },
    };
    LoadLocalInterfaces(); // starts the writer
    TIpTables& tables = SystemIpTables();
    const std::string before = Tables();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const bool written = tables.SetHostRouteEntry(row.destination, row.mask, row.nextHop, row.local, 20);
        EXPECT_EQ(written, !*row.reason);
        EXPECT_EQ(tables.LastReason(), row.code);
        if (*row.reason) {
            EXPECT_TRUE(tables.LastError().contains(row.reason)) << tables.LastError().toStdString();
            EXPECT_EQ(Tables(), before);
        }
    }
    const QJsonArray routes = RoutesTo("10.99.0.6");
    ASSERT_EQ(routes.size(), 1);
    EXPECT_EQ(routes.at(0)["gateway"].toString(), "10.77.0.2");
    EXPECT_EQ(routes.at(0)["dev"].toString(), "vh");

    EXPECT_TRUE(tables.DeleteRoutesTo(A("10.99.0.6")));
    EXPECT_FALSE(tables.DeleteRoutesTo(A("10.99.0.6")));
    EXPECT_FALSE(tables.DeleteRoutesTo(A("no address")));
    EXPECT_EQ(Tables(), before);
}

TEST_F(NetnsTest, RemoveAllAndReleaseLeaveTheTablesAsBefore)
{
    const std::string before = Tables();
    LoadLocalInterfaces();
    ASSERT_TRUE(AddHostRoute(Local, Server, ServerMac));
    ASSERT_TRUE(AddHostRoute(Local, "10.99.0.7", QString()));
    ASSERT_TRUE(AddHostRoute("10.55.0.1", "10.99.0.8", ServerMac));
    ASSERT_NE(Tables(), before);
    EXPECT_TRUE(RemoveAllHostRoutes());
    EXPECT_TRUE(HostRoutes->isEmpty());
    EXPECT_EQ(Tables(), before);

    ASSERT_TRUE(AddHostRoute(Local, Server, ServerMac));
    ASSERT_TRUE(AddHostRoute(Local, "10.99.0.7", QString()));
    // Loading again keeps the record, so the release still finds the routes.
    LoadLocalInterfaces();
    EXPECT_EQ(HostRoutes->size(), 2);
    ReleaseLocalInterfaces();
    EXPECT_EQ(LocalInterfaces, nullptr);
    EXPECT_EQ(HostRoutes, nullptr);
    EXPECT_EQ(Tables(), before);

    // Without a record nothing may be written, as it could not be removed.
    EXPECT_FALSE(AddHostRoute(Local, Server, ServerMac));
    EXPECT_FALSE(RemoveHostRoute(Server));
    EXPECT_TRUE(RemoveAllHostRoutes());
    EXPECT_EQ(Tables(), before);
}

namespace {

bool DropNetAdmin()
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const uint32_t bit = 1u << (CAP_NET_ADMIN % 32);
    data[CAP_NET_ADMIN / 32].effective &= ~bit;
    data[CAP_NET_ADMIN / 32].permitted &= ~bit;
    data[CAP_NET_ADMIN / 32].inheritable &= ~bit;
    prctl(PR_CAPBSET_DROP, CAP_NET_ADMIN, 0, 0, 0);
    return syscall(SYS_capset, &header, data) == 0;
}

// The operations of a program that runs without the right to write: each
// line that is not as expected, or empty.
std::string RunWithoutRights()
{
    std::string wrong;
    auto expect = [&](bool ok, const char* what) {
        if (!ok)
            wrong += std::string(what) + " (" + IphelpLastError().toStdString() + ")\n";
    };
    auto refused = [&] {
        return IphelpLastReason() == routehelper::TReason::SystemError
            && IphelpLastError().contains("Operation not permitted");
    };
    if (!DropNetAdmin())
        return "could not drop CAP_NET_ADMIN\n";
    LoadLocalInterfaces();
    expect(LocalInterfaces && LocalInterfaces->size() == 2, "interfaces still read");
    expect(AddHostRoute(Local, Server, ServerMac), "AddHostRoute");
    expect(refused(), "route refused by the system");
    expect(HostRoutes && HostRoutes->size() == 1, "route recorded");
    TIpTables& tables = SystemIpTables();
    expect(!tables.SetStaticArpEntry(A("10.99.0.5"), ServerMac, A("10.77.0.1")) && refused(), "SetStaticArpEntry");
    expect(!tables.DeleteRoutesTo(A("10.99.0.9")) && refused(), "DeleteRoutesTo");
    expect(!tables.DeleteArpEntry(A("10.99.0.9"), A("10.77.0.1"), QString()) && refused(), "DeleteArpEntry");
    expect(RemoveHostRoute(Server), "RemoveHostRoute");
    expect(AddHostRoute(Local, Server, QString()), "AddHostRoute again");
    expect(RemoveAllHostRoutes(), "RemoveAllHostRoutes");
    ReleaseLocalInterfaces();
    return wrong;
}

} // namespace

TEST_F(NetnsTest, WithoutRightsEveryOperationReturns)
{
    // Entries of someone else that a program without rights can't remove.
    ASSERT_EQ(Sh("ip route add 10.99.0.9/32 dev vh && ip neigh add 10.99.0.9 lladdr 02:00:5e:10:00:09 dev vh").code, 0);
    const std::string before = Tables();
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(out[0]);
        const std::string wrong = RunWithoutRights();
        const bool sent = write(out[1], wrong.data(), wrong.size()) == static_cast<ssize_t>(wrong.size());
        _exit(sent ? 0 : 1);
    }
    close(out[1]);
    std::string wrong;
    char buffer[512];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        wrong.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(wrong, "");
    EXPECT_EQ(Tables(), before);
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    namespaceUnavailable = EnterPrivateNamespace();
    return twltest::RunAllTests();
}
