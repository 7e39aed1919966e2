// twinlane-sim on its real ports and real interfaces, inside a network
// namespace that this test process makes for itself: everything it starts
// inherits the namespace, and the namespace goes away with the process.
#include "lab/testsupport/twlTestSupport.h"

#include "devscan/devscan.h"
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sched.h>
#include <sstream>
#include <unistd.h>

using namespace twltest;

namespace {

std::string g_skipReason;

bool ip(const std::vector<std::string>& args)
{
    std::string out;
    const int rc = RunProgram("ip", args, &out);
    if (rc != 0)
        ADD_FAILURE() << "ip failed: " << out;
    return rc == 0;
}

std::vector<std::string> ipv4Addresses(const std::string& interfaceName)
{
    std::vector<std::string> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET && interfaceName == a->ifa_name) {
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
            out.push_back(text);
        }
    }
    freeifaddrs(list);
    return out;
}

std::vector<DscDeviceRecord> g_found;

int collect(const DscDeviceRecord* record)
{
    g_found.push_back(*record);
    return 1;
}

} // namespace

class SimNetns : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (unshare(CLONE_NEWNET) != 0) {
            g_skipReason = std::string("cannot make a network namespace: ") + strerror(errno);
            return;
        }
        std::string out;
        if (RunProgram("ip", { "link", "set", "lo", "up" }, &out) != 0)
            g_skipReason = "cannot bring up loopback in the namespace: " + out;
    }

    void SetUp() override
    {
        if (!g_skipReason.empty())
            GTEST_SKIP() << g_skipReason;
    }

    // A veth pair inside the namespace: the host side and the device side.
    void makeLink(const std::string& deviceAddress)
    {
        ip({ "link", "add", "simh0", "type", "veth", "peer", "name", "simd0" });
        ip({ "addr", "add", "10.77.0.1/24", "dev", "simh0" });
        if (!deviceAddress.empty())
            ip({ "addr", "add", deviceAddress + "/24", "dev", "simd0" });
        // Both ends live in this one namespace, so each side's packets carry a
        // source address that is local here; let them in.
        for (const char* conf : { "all", "simh0", "simd0" }) {
            writeSysctl(std::string("net/ipv4/conf/") + conf + "/accept_local", "1");
            writeSysctl(std::string("net/ipv4/conf/") + conf + "/rp_filter", "0");
        }
        ip({ "link", "set", "simh0", "up" });
        ip({ "link", "set", "simd0", "up" });
    }

    static void writeSysctl(const std::string& key, const std::string& value)
    {
        std::ofstream out("/proc/sys/" + key);
        out << value;
        EXPECT_TRUE(out.flush()) << key;
    }

    void TearDown() override
    {
        if (g_skipReason.empty() && if_nametoindex("simh0") != 0)
            ip({ "link", "del", "simh0" });
    }
};

TEST_F(SimNetns, RealPortsServeModbusAndTheConsole)
{
    SimProcess sim({ "--bind", "0.0.0.0", "--port", "502", "--http-port", "80", "--password", "abc" }, false);
    ASSERT_TRUE(sim.started()) << sim.output();
    EXPECT_EQ(sim.modbusPort(), 502);
    EXPECT_EQ(sim.httpPort(), 80);
    std::string out;
    ASSERT_EQ(RunProgram("mbpoll",
                  { "-m", "tcp", "-t", "3:hex", "-r", "0x2504", "-c", "5", "-1", "-o", "5", "127.0.0.1" }, &out),
        0)
        << out;
    EXPECT_NE(out.find("[9476]: \t0xBDA0"), std::string::npos) << out;
    EXPECT_EQ(HttpGet("127.0.0.1", 80, "/").rfind("HTTP/1.1 200", 0), 0u);
}

TEST_F(SimNetns, AddressChangeMovesTheInterfaceAtTheRestart)
{
    const struct {
        const char* name;
        const char* deviceAddress; // on simd0 at the start; "" none
        const char* bind;
        const char* before; // where the test reaches it, before and after
        const char* after;
    } rows[] = {
        { "configured, bound to its address", "10.77.0.20", "10.77.0.20", "10.77.0.20", "10.77.0.21" },
        { "factory-fresh, bound to all", "", "0.0.0.0", "127.0.0.1", "127.0.0.1" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        makeLink(row.deviceAddress);
        {
            SimProcess sim(
                { "--bind", row.bind, "--ip", *row.deviceAddress ? row.deviceAddress : "0.0.0.0", "--port", "502",
                    "--interface", "simd0", "--manage-interface", "--no-discovery", "--restart-time", "300" },
                false);
            ASSERT_TRUE(sim.started()) << sim.output();
            // An unconfigured unit is reached at the factory address.
            if (!*row.deviceAddress) {
                EXPECT_EQ(ipv4Addresses("simd0"), std::vector<std::string> { "192.168.127.254" });
            }
            const int fd = ConnectTcp(row.before, 502);
            ASSERT_GE(fd, 0);
            ASSERT_TRUE(SendAll(fd, Hex("00 3E 00 00 00 0B 01 10 10 22 00 02 04 0A 4D 00 15")));
            EXPECT_EQ(ReadBytes(fd, 12, 10000).size(), 12u);
            ASSERT_TRUE(SendAll(fd, Hex("00 3D 00 00 00 06 01 08 00 01 FF 00")));
            EXPECT_EQ(ReadBytes(fd, 12, 10000).size(), 12u);
            close(fd);

            EXPECT_TRUE(WaitFor([&] { return sim.status("state") == "up"; }));
            const int back = ConnectTcp(row.after, 502);
            EXPECT_GE(back, 0);
            if (back >= 0)
                close(back);
            EXPECT_EQ(ipv4Addresses("simd0"), std::vector<std::string> { "10.77.0.21" });
            EXPECT_EQ(sim.status("address"), "10.77.0.21");
        }
        ip({ "link", "del", "simh0" });
    }
}

TEST_F(SimNetns, AnswersASearchWithItsIdentity)
{
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string deviceAddress;
        uint32_t productId;
        uint16_t productCode;
        const char* mac;
    } rows[] = {
        { "configured", { "--ip", "10.77.0.20", "--mac", "02:aa:bb:cc:dd:01" }, "10.77.0.20", 0x80006120, 0x6120,
            "02 AA BB CC DD 01" },
        { "unconfigured", { "--mac", "02:aa:bb:cc:dd:02" }, "", 0x80006120, 0x6120, "02 AA BB CC DD 02" },
        { "other type",
            { "--ip", "10.77.0.20", "--mac", "02:aa:bb:cc:dd:03", "--product-id", "0x80001234", "--product-code",
                "0x1234" },
            "10.77.0.20", 0x80001234, 0x1234, "02 AA BB CC DD 03" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        makeLink(row.deviceAddress);
        std::vector<std::string> args { "--bind", "0.0.0.0", "--interface", "simd0" };
        args.insert(args.end(), row.args.begin(), row.args.end());
        {
            SimProcess sim(args, false);
            ASSERT_TRUE(sim.started()) << sim.output();
            g_found.clear();
            dsc_SetSearchOpt(500, 3);
            EXPECT_GE(dsc_EnumSearch(int(if_nametoindex("simh0")), collect), 1);
            ASSERT_EQ(g_found.size(), 1u);
            const DscDeviceRecord& r = g_found[0];
            EXPECT_EQ(r.ProductId, row.productId);
            EXPECT_EQ(r.ProductCode, row.productCode);
            const uint32_t expected = row.deviceAddress.empty() ? 0 : inet_addr(row.deviceAddress.c_str());
            EXPECT_EQ(r.IpAddress, expected);
            std::ostringstream mac;
            for (int i = 0; i < 6; ++i) {
                char b[4];
                snprintf(b, sizeof b, i ? " %02X" : "%02X", r.MacAddress[i]);
                mac << b;
            }
            EXPECT_EQ(mac.str(), row.mac);
        }
        ip({ "link", "del", "simh0" });
    }
}
