#include "devscan/devscan.h"

#include "devscan/dscWire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <set>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

static_assert(
    std::endian::native == std::endian::little, "DscDeviceRecord carries host-order integers as little-endian");
static_assert(offsetof(DscDeviceRecord, ProductId) == 0);
static_assert(offsetof(DscDeviceRecord, ProductCode) == 4);
static_assert(offsetof(DscDeviceRecord, IpAddress) == 12);
static_assert(offsetof(DscDeviceRecord, LocalAddress) == 16);
static_assert(offsetof(DscDeviceRecord, MacAddress) == 20);

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::atomic<int> g_waitMs { 1000 };
std::atomic<int> g_repeats { 3 };

// Room for several full answer rounds of a few hundred devices even when the
// search thread is slow to drain.
constexpr int ReceiveBufferBytes = 4 << 20;
constexpr unsigned BatchSize = 64;

struct Address {
    uint32_t address; // network order
    uint32_t mask; // network order
};

struct Link {
    unsigned index = 0;
    std::string name;
    std::vector<Address> addresses;
    int fd = -1;
    // MAC, ProductId and ProductCode of every device already delivered here.
    std::set<std::array<uint8_t, 12>> seen;
};

// The interfaces a search goes out on: up, broadcast-capable and holding an
// IPv4 address (the address the answers are reported against).
std::vector<Link> SearchLinks(int wantedIndex)
{
    std::vector<Link> links;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return links;
    for (const ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET || !ifa->ifa_netmask)
            continue;
        if (!(ifa->ifa_flags & IFF_UP) || !(ifa->ifa_flags & IFF_BROADCAST) || (ifa->ifa_flags & IFF_LOOPBACK))
            continue;
        // Secondary addresses come with a label "eth0:1"; the device is "eth0".
        std::string name = ifa->ifa_name;
        name = name.substr(0, name.find(':'));
        const unsigned index = ::if_nametoindex(name.c_str());
        if (index == 0 || (wantedIndex >= 0 && index != unsigned(wantedIndex)))
            continue;
        const Address address { reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr,
            reinterpret_cast<const sockaddr_in*>(ifa->ifa_netmask)->sin_addr.s_addr };
        auto it = std::find_if(links.begin(), links.end(), [&](const Link& l) { return l.index == index; });
        if (it == links.end()) {
            links.push_back(Link { index, name, {}, -1, {} });
            it = links.end() - 1;
        }
        it->addresses.push_back(address);
    }
    ::freeifaddrs(list);
    return links;
}

int OpenLinkSocket(const std::string& name)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    const int size = ReceiveBufferBytes;
    // Forcing the size past rmem_max needs CAP_NET_ADMIN; the plain request is capped.
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    // Any free port: devices answer to the port the request came from.
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0
        || ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, name.c_str(), socklen_t(name.size())) != 0
        || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The interface address the device belongs to: the one whose subnet holds the
// device's address, else the interface's first.
uint32_t LocalAddressFor(const Link& link, uint32_t deviceAddress)
{
    for (const Address& a : link.addresses) {
        if ((a.address & a.mask) == (deviceAddress & a.mask))
            return a.address;
    }
    return link.addresses.front().address;
}

uint32_t NewNonce()
{
    std::random_device device;
    return device();
}

class Search {
public:
    Search(std::vector<Link> links, DscEnumCallback callback)
        : m_links(std::move(links))
        , m_callback(callback)
    {
    }
    ~Search()
    {
        for (Link& link : m_links) {
            if (link.fd >= 0)
                ::close(link.fd);
        }
    }

    bool Open()
    {
        std::erase_if(m_links, [](Link& link) {
            link.fd = OpenLinkSocket(link.name);
            return link.fd < 0;
        });
        return !m_links.empty();
    }

    int Run(int waitMs, int repeats)
    {
        m_request.nonce = NewNonce();
        // Devices answer within the first quarter of the wait after each
        // request, so the answer to the last request (sent before half the
        // wait) is in before the search ends.
        m_request.spreadMs = uint16_t(std::min<int>(waitMs / 4, dsc::MaxSpreadMs));
        const auto start = Clock::now();
        const auto end = start + milliseconds(waitMs);
        const auto interval = milliseconds(std::max(1, waitMs / (2 * repeats)));
        auto nextSend = start;
        int sent = 0;
        std::vector<pollfd> pfds;
        for (const Link& link : m_links)
            pfds.push_back({ link.fd, POLLIN, 0 });

        while (!m_stopped) {
            auto now = Clock::now();
            if (sent < repeats && now >= nextSend) {
                SendRequests();
                ++sent;
                nextSend += interval;
            }
            const auto until = sent < repeats ? std::min(nextSend, end) : end;
            if (now >= end)
                break;
            const auto waitFor = std::chrono::ceil<milliseconds>(until - now).count();
            const int ready = ::poll(pfds.data(), pfds.size(), int(std::max<long long>(0, waitFor)));
            if (ready < 0 && errno != EINTR)
                break;
            for (std::size_t i = 0; i < pfds.size() && !m_stopped; ++i) {
                if (pfds[i].revents & POLLIN)
                    Drain(m_links[i]);
            }
        }
        return m_delivered;
    }

private:
    void SendRequests()
    {
        const auto bytes = dsc::EncodeRequest(m_request);
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(dsc::DevicePort);
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        // A failed send on one interface leaves the others searching.
        for (const Link& link : m_links)
            ::sendto(link.fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    void Drain(Link& link)
    {
        // One byte over the answer size: a longer datagram arrives cut to that and fails the size check.
        std::array<std::array<uint8_t, dsc::AnswerSize + 1>, BatchSize> buffers;
        std::array<iovec, BatchSize> iov;
        std::array<mmsghdr, BatchSize> msgs;
        for (;;) {
            for (unsigned i = 0; i < BatchSize; ++i) {
                iov[i] = { buffers[i].data(), buffers[i].size() };
                msgs[i] = {};
                msgs[i].msg_hdr.msg_iov = &iov[i];
                msgs[i].msg_hdr.msg_iovlen = 1;
            }
            const int n = ::recvmmsg(link.fd, msgs.data(), BatchSize, MSG_DONTWAIT, nullptr);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            for (int i = 0; i < n && !m_stopped; ++i)
                Deliver(link, buffers[i].data(), msgs[i].msg_len);
            if (m_stopped || unsigned(n) < BatchSize)
                return;
        }
    }

    void Deliver(Link& link, const uint8_t* data, std::size_t size)
    {
        const auto answer = dsc::DecodeAnswer(data, size);
        if (!answer || answer->nonce != m_request.nonce)
            return;
        std::array<uint8_t, 12> key {};
        std::memcpy(key.data(), answer->mac.data(), 6);
        std::memcpy(key.data() + 6, &answer->productId, 4);
        std::memcpy(key.data() + 10, &answer->productCode, 2);
        if (!link.seen.insert(key).second)
            return;
        DscDeviceRecord record {};
        record.ProductId = answer->productId;
        record.ProductCode = answer->productCode;
        record.IpAddress = answer->ipAddress;
        record.LocalAddress = LocalAddressFor(link, answer->ipAddress);
        std::memcpy(record.MacAddress, answer->mac.data(), 6);
        ++m_delivered;
        if (m_callback(&record) == 0)
            m_stopped = true;
    }

    std::vector<Link> m_links;
    DscEnumCallback m_callback;
    dsc::SearchRequest m_request;
    int m_delivered = 0;
    bool m_stopped = false;
};

} // namespace

extern "C" int dsc_SetSearchOpt(int waitMs, int repeats)
{
    if (waitMs < 50 || waitMs > 60000 || repeats < 1 || repeats > 20)
        return -1;
    g_waitMs = waitMs;
    g_repeats = repeats;
    return 0;
}

extern "C" int dsc_EnumSearch(int interfaceIndex, DscEnumCallback callback)
{
    if (!callback || interfaceIndex < -1)
        return -1;
    Search search(SearchLinks(interfaceIndex), callback);
    if (!search.Open())
        return -1;
    return search.Run(g_waitMs, g_repeats);
}
