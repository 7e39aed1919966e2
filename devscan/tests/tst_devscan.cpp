// Discovery in an isolated network: the searching library against real
// responders in their own namespaces, joined by a bridge.
#include "devscan/devscan.h"
#include "devscan/dscResponder.h"
#include "devscan/dscWire.h"
#include "lab/labNet.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr uint32_t Q6120Id = 0x80006120;
constexpr uint16_t Q6120Code = 0x6120;

std::string BinDir()
{
    const char* dir = std::getenv("TWL_BIN_DIR");
    return dir ? dir : ".";
}

uint32_t Ip(const std::string& text)
{
    in_addr a {};
    ::inet_pton(AF_INET, text.c_str(), &a);
    return a.s_addr;
}

struct Record {
    uint32_t productId;
    uint32_t productCode;
    uint32_t ipAddress;
    uint32_t localAddress;
    std::string mac;
    auto operator<=>(const Record&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Record& r)
{
    char ip[INET_ADDRSTRLEN], local[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &r.ipAddress, ip, sizeof ip);
    ::inet_ntop(AF_INET, &r.localAddress, local, sizeof local);
    return os << std::hex << r.productId << "/" << r.productCode << std::dec << " " << ip << " via " << local << " "
              << r.mac;
}

// What the search delivered, as the child in the lab saw it.
struct Outcome {
    int result = 0;
    int calls = 0;
    std::vector<Record> records;
};

// The search, run in a child process inside a lab namespace. The records go
// back to the test as text lines.
struct SearchRun {
    int waitMs = 1000;
    int repeats = 5;
    std::string interfaceName; // empty: all interfaces (-1)
    int stopAfter = 0; // callback returns 0 on this call; 0: never
};

std::vector<DscDeviceRecord>* g_seen = nullptr;
int g_stopAfter = 0;

int Collect(const DscDeviceRecord* record)
{
    g_seen->push_back(*record);
    return g_stopAfter != 0 && int(g_seen->size()) >= g_stopAfter ? 0 : 1;
}

std::optional<Outcome> Search(
    lab::LabNet& net, const std::string& ns, const SearchRun& run, const std::function<void()>& whileWaiting = {})
{
    const auto text = net.RunIn(
        ns,
        [&] {
            std::vector<DscDeviceRecord> seen;
            g_seen = &seen;
            g_stopAfter = run.stopAfter;
            dsc_SetSearchOpt(run.waitMs, run.repeats);
            const int index = run.interfaceName.empty() ? -1 : int(::if_nametoindex(run.interfaceName.c_str()));
            const int result = dsc_EnumSearch(index, Collect);
            std::ostringstream out;
            out << result << " " << seen.size() << "\n";
            for (const DscDeviceRecord& r : seen) {
                char mac[18];
                std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", r.MacAddress[0], r.MacAddress[1],
                    r.MacAddress[2], r.MacAddress[3], r.MacAddress[4], r.MacAddress[5]);
                out << r.ProductId << " " << r.ProductCode << " " << r.IpAddress << " " << r.LocalAddress << " " << mac
                    << "\n";
            }
            return out.str();
        },
        whileWaiting);
    if (!text)
        return std::nullopt;
    Outcome outcome;
    std::istringstream in(*text);
    in >> outcome.result >> outcome.calls;
    Record r;
    while (in >> r.productId >> r.productCode >> r.ipAddress >> r.localAddress >> r.mac)
        outcome.records.push_back(r);
    std::sort(outcome.records.begin(), outcome.records.end());
    return outcome;
}

struct Device {
    std::string mac;
    std::vector<std::string> ifAddresses; // on the device's interface; may be foreign to the host or none
    std::string reported; // the address the device answers with, "0.0.0.0" when unconfigured
    uint32_t productId = Q6120Id;
    uint16_t productCode = Q6120Code;
};

struct HostLink {
    std::string name;
    std::string address; // with prefix length
};

class DiscoveryLab : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string reason = lab::UnavailableReason();
        if (!reason.empty())
            GTEST_SKIP() << reason;
        m_net = std::make_unique<lab::LabNet>();
    }

    // The host namespace with its links, then one namespace and one
    // responder process per device.
    void Build(const std::vector<HostLink>& hostLinks, const std::vector<Device>& devices, bool junk = false)
    {
        m_host = m_net->AddNamespace("host");
        ASSERT_FALSE(m_host.empty()) << m_net->Error();
        for (const HostLink& link : hostLinks)
            ASSERT_TRUE(m_net->Connect(m_host, link.name, {}, { link.address })) << m_net->Error();
        for (std::size_t i = 0; i < devices.size(); ++i) {
            const Device& d = devices[i];
            const std::string ns = m_net->AddNamespace("d" + std::to_string(i));
            ASSERT_FALSE(ns.empty()) << m_net->Error();
            ASSERT_TRUE(m_net->Connect(ns, "eth0", d.mac, d.ifAddresses)) << m_net->Error();
            std::vector<std::string> argv { BinDir() + "/dsc-fake-device" };
            if (junk)
                argv.push_back("--junk");
            argv.push_back("--device");
            // "-": the responder must find the interface's MAC itself.
            argv.push_back(
                "eth0,-," + d.reported + "," + std::to_string(d.productId) + "," + std::to_string(d.productCode));
            StartDevice(ns, argv);
        }
    }

    void StartDevice(const std::string& ns, const std::vector<std::string>& argv)
    {
        const pid_t pid = m_net->Start(ns, argv);
        ASSERT_GT(pid, 0) << m_net->Error();
        m_devices.push_back(pid);
        ASSERT_TRUE(m_net->WaitForLine(pid, "ready")) << m_net->Error();
    }

    // A device that ends badly on SIGTERM (a sanitizer report, a crash) fails the test.
    void TearDown() override
    {
        for (pid_t pid : m_devices)
            EXPECT_EQ(m_net->Stop(pid), 0) << "device process " << pid;
    }

    std::unique_ptr<lab::LabNet> m_net;
    std::string m_host;
    std::vector<pid_t> m_devices;
};

// What a search through the given host links must deliver: every device once per link.
std::vector<Record> Expected(const std::vector<HostLink>& links, const std::vector<Device>& devices)
{
    std::vector<Record> records;
    for (const HostLink& link : links) {
        for (const Device& d : devices) {
            const std::string local = link.address.substr(0, link.address.find('/'));
            records.push_back({ d.productId, d.productCode, Ip(d.reported), Ip(local), d.mac });
        }
    }
    std::sort(records.begin(), records.end());
    return records;
}

const HostLink HostEth0 { "eth0", "10.77.0.1/24" };
const HostLink HostEth1 { "eth1", "10.77.1.1/24" };

struct Scenario {
    const char* name;
    std::vector<HostLink> hostLinks;
    std::vector<Device> devices;
    std::string searchOn {}; // empty: every interface
    bool junk = false;
};

const Scenario Scenarios[] = {
    { "OneDevice", { HostEth0 }, { { "02:10:00:00:00:01", { "10.77.0.20/24" }, "10.77.0.20" } } },
    { "ThreeSharingOneAddress", { HostEth0 },
        { { "02:10:00:00:00:01", { "10.77.0.30/24" }, "10.77.0.30" },
            { "02:10:00:00:00:02", { "10.77.0.30/24" }, "10.77.0.30" },
            { "02:10:00:00:00:03", { "10.77.0.30/24" }, "10.77.0.30" } } },
    { "UnconfiguredDevice", { HostEth0 }, { { "02:10:00:00:00:04", {}, "0.0.0.0" } } },
    { "ForeignSubnet", { HostEth0 }, { { "02:10:00:00:00:05", { "10.88.5.7/24" }, "10.88.5.7" } } },
    { "OtherDeviceType", { HostEth0 },
        { { "02:10:00:00:00:06", { "10.77.0.40/24" }, "10.77.0.40", 0x80001234, 0x1234 },
            { "02:10:00:00:00:07", { "10.77.0.41/24" }, "10.77.0.41" } } },
    { "HeardThroughTwoInterfaces", { HostEth0, HostEth1 },
        { { "02:10:00:00:00:08", { "10.77.0.50/24" }, "10.77.0.50" } } },
    { "OneInterfaceChosen", { HostEth0, HostEth1 }, { { "02:10:00:00:00:09", { "10.77.1.60/24" }, "10.77.1.60" } },
        "eth1" },
    { "MalformedAnswersIgnored", { HostEth0 }, { { "02:10:00:00:00:0a", { "10.77.0.70/24" }, "10.77.0.70" } }, {},
        true },
};

void PrintTo(const Scenario& s, std::ostream* os)
{
    *os << s.name;
}

class DeviceSearch : public DiscoveryLab, public ::testing::WithParamInterface<Scenario> { };

TEST_P(DeviceSearch, FindsExactlyTheDevicesOfTheNetwork)
{
    const Scenario& s = GetParam();
    ASSERT_NO_FATAL_FAILURE(Build(s.hostLinks, s.devices, s.junk));
    SearchRun run;
    run.interfaceName = s.searchOn;
    const auto outcome = Search(*m_net, m_host, run);
    ASSERT_TRUE(outcome) << m_net->Error();

    std::vector<HostLink> searched = s.hostLinks;
    if (!s.searchOn.empty())
        std::erase_if(searched, [&](const HostLink& l) { return l.name != s.searchOn; });
    const auto expected = Expected(searched, s.devices);
    EXPECT_EQ(outcome->records, expected);
    EXPECT_EQ(outcome->result, int(expected.size()));
}

INSTANTIATE_TEST_SUITE_P(Lab, DeviceSearch, ::testing::ValuesIn(Scenarios),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

TEST_F(DiscoveryLab, CallbackReturningZeroEndsTheSearch)
{
    std::vector<Device> devices;
    for (int i = 0; i < 4; ++i)
        devices.push_back({ "02:20:00:00:00:0" + std::to_string(i), {}, "10.77.0." + std::to_string(100 + i) });
    ASSERT_NO_FATAL_FAILURE(Build({ HostEth0 }, devices));
    for (int stopAfter : { 1, 3 }) {
        SearchRun run;
        // Long enough that a search going on after the stop would deliver the rest.
        run.waitMs = 20000;
        run.stopAfter = stopAfter;
        const auto outcome = Search(*m_net, m_host, run);
        ASSERT_TRUE(outcome) << m_net->Error();
        EXPECT_EQ(outcome->calls, stopAfter);
        EXPECT_EQ(outcome->result, stopAfter);
    }
}

TEST_F(DiscoveryLab, RefusesWhatItCannotSearch)
{
    ASSERT_NO_FATAL_FAILURE(Build({ HostEth0 }, {}));
    const auto results = m_net->RunIn(m_host, [] {
        std::string out;
        for (int index : { -2, int(::if_nametoindex("lo")), 999999 })
            out += std::to_string(dsc_EnumSearch(index, Collect)) + " ";
        out += std::to_string(dsc_EnumSearch(-1, nullptr));
        return out;
    });
    ASSERT_TRUE(results) << m_net->Error();
    EXPECT_EQ(*results, "-1 -1 -1 -1");
}

// The responder as a device links it: opened from the test's own namespace
// into the device's, polled by the test, asked for its address at every answer.
TEST_F(DiscoveryLab, ResponderAnswersWithTheAddressOfTheMoment)
{
    ASSERT_NO_FATAL_FAILURE(Build({ HostEth0 }, {}));
    const std::string ns = m_net->AddNamespace("dev");
    ASSERT_FALSE(ns.empty()) << m_net->Error();
    const std::string mac = "02:40:00:00:00:01";
    ASSERT_TRUE(m_net->Connect(ns, "eth0", mac)) << m_net->Error();
    uint32_t address = 0;
    dsc::Responder responder({ .interfaceName = "eth0",
        .netns = ns,
        .productId = Q6120Id,
        .productCode = Q6120Code,
        .mac = {},
        .address = [&] { return address; } });
    std::string error;
    ASSERT_TRUE(responder.Open(&error)) << error;
    EXPECT_FALSE(lab::InLabNamespace()) << "opening moved the test's own thread";

    for (const char* now : { "10.77.0.90", "10.77.0.91", "0.0.0.0" }) {
        address = Ip(now);
        const auto outcome = Search(*m_net, m_host, {}, [&] { responder.Poll(10); });
        ASSERT_TRUE(outcome) << m_net->Error();
        EXPECT_EQ(outcome->records, Expected({ HostEth0 }, { { mac, {}, now } })) << now;
    }
}

TEST(SearchOptions, AcceptsOnlyTheDocumentedRanges)
{
    const struct {
        int waitMs, repeats, result;
    } rows[] = { { 1000, 5, 0 }, { 50, 1, 0 }, { 60000, 20, 0 }, { 49, 5, -1 }, { 60001, 5, -1 }, { 1000, 0, -1 },
        { 1000, 21, -1 }, { -1, -1, -1 } };
    for (const auto& row : rows)
        EXPECT_EQ(dsc_SetSearchOpt(row.waitMs, row.repeats), row.result) << row.waitMs << "," << row.repeats;
}

// 250 devices on one bridge answering the same request: none may be lost,
// with repeats (as the admin program searches) and with a single request.
TEST_F(DiscoveryLab, HearsTwoHundredFiftyDevices)
{
    constexpr int Count = 250;
    m_host = m_net->AddNamespace("host");
    ASSERT_FALSE(m_host.empty()) << m_net->Error();
    ASSERT_TRUE(m_net->Connect(m_host, HostEth0.name, {}, { HostEth0.address })) << m_net->Error();
    // One namespace holds all device links and one process answers for all of
    // them, each on its own link with its own MAC.
    const std::string ns = m_net->AddNamespace("many");
    ASSERT_FALSE(ns.empty()) << m_net->Error();
    std::vector<std::string> argv { BinDir() + "/dsc-fake-device" };
    std::vector<Device> devices;
    for (int i = 0; i < Count; ++i) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:30:00:00:%02x:%02x", i >> 8, i & 0xff);
        const std::string link = "e" + std::to_string(i);
        ASSERT_TRUE(m_net->Connect(ns, link, mac)) << m_net->Error();
        const std::string address = "10.77." + std::to_string(2 + i / 200) + "." + std::to_string(1 + i % 200);
        devices.push_back({ mac, {}, address });
        argv.push_back("--device");
        argv.push_back(link + ",-," + address + "," + std::to_string(Q6120Id) + "," + std::to_string(Q6120Code));
    }
    ASSERT_NO_FATAL_FAILURE(StartDevice(ns, argv));

    const auto expected = Expected({ HostEth0 }, devices);
    for (int repeats : { 5, 1 }) {
        SearchRun run;
        run.repeats = repeats;
        const auto outcome = Search(*m_net, m_host, run);
        ASSERT_TRUE(outcome) << m_net->Error();
        EXPECT_EQ(outcome->records.size(), std::size_t(Count)) << "repeats " << repeats;
        EXPECT_EQ(outcome->records, expected) << "repeats " << repeats;
    }
}

} // namespace
