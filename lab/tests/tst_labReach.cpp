// From the lab's host namespace, every kind of server is reached the way the
// admin program reaches it: same subnet directly; a foreign-subnet and an
// unconfigured one only through the host route and static neighbour entry
// the program writes; each of two servers sharing one address through its own
// MAC. Each is checked over Modbus/TCP (libmodbus) and HTTP, by its identity.
#include "admin/discovery/Iphelp.h"
#include "lab/labNet.h"
#include "lab/testsupport/twlTestSupport.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <net/if_arp.h>
#include <netdb.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int ModbusPort = 502;
constexpr int HttpPort = 80;
constexpr int PasswordRegister = 0x2503;
constexpr int PasswordRegisters = 5;

// The password registers as text ("-" when the read failed): each test
// device has a password of its own, so this tells which one answered.
std::string ModbusIdentity(const std::string& address)
{
    modbus_t* ctx = modbus_new_tcp(address.c_str(), ModbusPort);
    if (!ctx)
        return "-";
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 5, 0);
    std::string text = "-";
    uint16_t registers[PasswordRegisters] {};
    if (modbus_connect(ctx) == 0
        && modbus_read_input_registers(ctx, PasswordRegister, PasswordRegisters, registers) == PasswordRegisters) {
        text.clear();
        for (uint16_t r : registers) {
            char word[8];
            std::snprintf(word, sizeof word, "%04X", r);
            text += word;
        }
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return text;
}

// The server name from its console page, "-" when nothing answered.
std::string HttpIdentity(const std::string& address, const std::vector<lab::Device>& devices)
{
    const std::string page = twltest::HttpGet(address, HttpPort, "/");
    if (page.rfind("HTTP/1.1 200", 0) != 0)
        return "-";
    std::string names;
    for (const lab::Device& d : devices) {
        if (page.find(d.name) != std::string::npos)
            names += d.name;
    }
    return names;
}

class LabReach : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const std::string why = lab::UnavailableReason();
        if (!why.empty()) {
            m_skip = why;
            return;
        }
        m_net = new lab::LabNet;
        const lab::Plan plan {
            { lab::Kind::SameSubnet, "10.77.0.11", "Alpha", "pa" },
            { lab::Kind::ForeignSubnet, "10.88.0.12", "Bravo", "pb" },
            { lab::Kind::Unconfigured, "", "Charlie", "pc" },
            { lab::Kind::SharedAddress, "10.77.0.200", "Delta", "pd" },
            { lab::Kind::SharedAddress, "10.77.0.200", "Echo", "pe" },
            { lab::Kind::SecondLink, "10.66.0.20", "Foxtrot", "pf" },
        };
        if (!m_net->BringUp(plan, lab::HostLinks { true, true }))
            m_skip = "lab failed: " + m_net->Error();
    }
    static void TearDownTestSuite()
    {
        delete m_net;
        m_net = nullptr;
    }
    void SetUp() override
    {
        if (!m_skip.empty() && !m_net)
            GTEST_SKIP() << m_skip;
        ASSERT_TRUE(m_skip.empty()) << m_skip;
    }

    // What the host namespace sees of the device, without and with the host
    // route the program writes, and after its removal:
    // "<modbus> <http> | <modbus> <http> | <modbus> <http>".
    static std::string Reach(const lab::Device& device, bool routed)
    {
        const std::vector<lab::Device> devices = m_net->Devices();
        auto text = m_net->RunIn(m_net->HostNamespace(), [&] {
            auto look = [&] {
                return ModbusIdentity(device.reachAddress) + " " + HttpIdentity(device.reachAddress, devices);
            };
            std::string out = look();
            LoadLocalInterfaces();
            if (routed
                && !AddHostRoute(QString(lab::HostAddress), QString::fromStdString(device.reachAddress),
                    QString::fromStdString(device.macDashed)))
                return out + " | route refused: " + IphelpLastError().toStdString();
            out += " | " + look();
            if (routed)
                RemoveHostRoute(QString::fromStdString(device.reachAddress));
            out += " | " + look();
            ReleaseLocalInterfaces();
            return out;
        });
        return text.value_or("task failed: " + m_net->Error());
    }

    // The password registers of a device: what ModbusIdentity reads from it.
    static std::string Registers(const lab::Device& device)
    {
        return m_net->RunIn(m_net->HostNamespace(), [&] { return ModbusIdentity(device.reachAddress); }).value_or("?");
    }

    static lab::LabNet* m_net;
    static std::string m_skip;
};

lab::LabNet* LabReach::m_net = nullptr;
std::string LabReach::m_skip;

TEST_F(LabReach, ForeignAndUnconfiguredServersOnlyThroughTheHostRoute)
{
    for (int index : { 1, 2 }) {
        const lab::Device& d = m_net->Devices()[std::size_t(index)];
        SCOPED_TRACE(d.name);
        // Routed and identified before: the shared device answers on its own.
        const std::string shown = Reach(d, true);
        const std::string id
            = shown.substr(shown.find("| ") + 2, shown.find(' ', shown.find("| ") + 2) - shown.find("| ") - 2);
        EXPECT_EQ(shown, "- - | " + id + " " + d.name + " | - -");
        EXPECT_NE(id, "-");
    }
}

TEST_F(LabReach, SameSubnetServerDirectly)
{
    const lab::Device& d = m_net->Devices()[0];
    const std::string shown = Reach(d, false);
    EXPECT_NE(shown.find(" Alpha | "), std::string::npos) << shown;
    EXPECT_EQ(shown.find("- "), std::string::npos) << shown;
}

TEST_F(LabReach, EachOfTwoServersSharingAnAddressThroughItsOwnMac)
{
    const lab::Device& delta = m_net->Devices()[3];
    const lab::Device& echo = m_net->Devices()[4];
    ASSERT_EQ(delta.reachAddress, echo.reachAddress);
    std::string ids[2];
    int i = 0;
    for (const lab::Device* d : { &delta, &echo }) {
        SCOPED_TRACE(d->name);
        const std::string shown = Reach(*d, true);
        const auto routed = shown.substr(shown.find("| ") + 2);
        ids[i] = routed.substr(0, routed.find(' '));
        EXPECT_EQ(routed.substr(routed.find(' ') + 1, routed.find(" |") - routed.find(' ') - 1), d->name) << shown;
        ++i;
    }
    // Modbus reached two different servers too: their passwords differ.
    EXPECT_NE(ids[0], "-");
    EXPECT_NE(ids[1], "-");
    EXPECT_NE(ids[0], ids[1]);
}

// Every device by name at the address it is reached at; the second link
// reaches its device directly; the third link is not Ethernet.
TEST_F(LabReach, NamesAndHostLinks)
{
    const std::vector<lab::Device> devices = m_net->Devices();
    const auto text = m_net->RunIn(m_net->HostNamespace(), [&] {
        std::string out;
        for (const lab::Device& d : devices) {
            addrinfo hints {};
            hints.ai_family = AF_INET;
            addrinfo* found = nullptr;
            char address[INET_ADDRSTRLEN] = "-";
            if (::getaddrinfo(d.name.c_str(), nullptr, &hints, &found) == 0) {
                ::inet_ntop(
                    AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, address, sizeof address);
                ::freeaddrinfo(found);
            }
            out += d.name + "=" + address + " ";
        }
        out += "| " + HttpIdentity(devices[5].reachAddress, devices) + " | ";
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq request {};
        std::strcpy(request.ifr_name, "tun0");
        out += ::ioctl(fd, SIOCGIFHWADDR, &request) == 0 ? std::to_string(request.ifr_hwaddr.sa_family) : "-";
        ::close(fd);
        return out;
    });
    ASSERT_TRUE(text) << m_net->Error();
    EXPECT_EQ(*text,
        "Alpha=10.77.0.11 Bravo=10.88.0.12 Charlie=192.168.127.254 Delta=10.77.0.200 Echo=10.77.0.200 "
        "Foxtrot=10.66.0.20 | Foxtrot | "
            + std::to_string(ARPHRD_NONE));
}

} // namespace
