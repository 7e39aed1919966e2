// A stand-in device for discovery tests: answers searches for one or many
// identities, each on its own interface, from one process and one poll loop.
//
//   dsc-fake-device [--junk] --device IF,MAC,IP,PRODUCTID,PRODUCTCODE ...
//
// MAC "-" takes the interface's own; IP "0" is an unconfigured device.
// --junk: before each real answer, also sends malformed answers (wrong size,
// magic, version, nonce) that a searcher must ignore.
// Prints "ready" once every device listens; ends on SIGTERM or SIGINT.
#include "devscan/dscResponder.h"
#include "lab/labNet.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

bool ParseMac(const std::string& text, dsc::MacAddress& mac)
{
    unsigned b[6];
    if (std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != 6)
        return false;
    for (int i = 0; i < 6; ++i)
        mac[i] = uint8_t(b[i]);
    return true;
}

std::unique_ptr<dsc::Responder> ParseDevice(const std::string& text)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, ',');)
        parts.push_back(part);
    if (parts.size() != 5)
        return nullptr;
    dsc::Responder::Config config;
    config.interfaceName = parts[0];
    if (parts[1] != "-" && !ParseMac(parts[1], config.mac))
        return nullptr;
    in_addr address {};
    if (::inet_pton(AF_INET, parts[2].c_str(), &address) != 1)
        return nullptr;
    config.address = [a = address.s_addr] { return a; };
    config.productId = uint32_t(std::strtoul(parts[3].c_str(), nullptr, 0));
    config.productCode = uint16_t(std::strtoul(parts[4].c_str(), nullptr, 0));
    return std::make_unique<dsc::Responder>(std::move(config));
}

// A second listener on the device port of one interface, answering every
// request with each kind of malformed answer.
int OpenJunkSocket(const std::string& ifName)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(dsc::DevicePort);
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0
        || ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, ifName.c_str(), socklen_t(ifName.size())) != 0
        || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return -1;
    return fd;
}

void SendJunk(int fd)
{
    uint8_t buffer[64];
    sockaddr_in from {};
    socklen_t fromLen = sizeof from;
    ssize_t n;
    while ((n = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLen)) >= 0) {
        const auto request = dsc::DecodeRequest(buffer, std::size_t(n));
        if (!request)
            continue;
        // Each would be a device of its own (MAC 02:6a:...:k) if it got through.
        std::vector<std::vector<uint8_t>> junk;
        for (uint8_t kind = 0; kind < 5; ++kind) {
            dsc::SearchAnswer answer;
            answer.nonce = request->nonce;
            answer.productId = 0x80006120;
            answer.productCode = 0x6120;
            answer.mac = { 0x02, 0x6a, 0x75, 0x6e, 0x6b, kind };
            const auto bytes = dsc::EncodeAnswer(answer);
            std::vector<uint8_t> datagram(bytes.begin(), bytes.end());
            switch (kind) {
            case 0:
                datagram.pop_back(); // one byte short
                break;
            case 1:
                datagram.push_back(0); // one byte over
                break;
            case 2:
                datagram[3] = 'X'; // magic
                break;
            case 3:
                datagram[4] = dsc::WireVersion + 1;
                break;
            case 4:
                datagram[8] ^= 0xff; // another search's nonce
                break;
            }
            junk.push_back(std::move(datagram));
        }
        sockaddr_in to = from;
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        for (const auto& datagram : junk)
            ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
}

} // namespace

int main(int argc, char** argv)
{
    bool junk = false;
    std::vector<std::string> interfaces;
    std::vector<std::unique_ptr<dsc::Responder>> devices;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--junk") {
            junk = true;
        } else if (arg == "--device" && i + 1 < argc) {
            auto device = ParseDevice(argv[++i]);
            if (!device) {
                std::fprintf(stderr, "dsc-fake-device: bad device '%s' (IF,MAC,IP,PRODUCTID,PRODUCTCODE)\n", argv[i]);
                return 2;
            }
            interfaces.push_back(std::string(argv[i]).substr(0, std::string(argv[i]).find(',')));
            devices.push_back(std::move(device));
        } else {
            std::fprintf(stderr, "usage: dsc-fake-device [--junk] --device IF,MAC,IP,PRODUCTID,PRODUCTCODE ...\n");
            return 2;
        }
    }
    if (devices.empty()) {
        std::fprintf(stderr, "dsc-fake-device: no --device given\n");
        return 2;
    }
    // Its answers are broadcasts: only ever inside a lab's namespace.
    if (!lab::InLabNamespace()) {
        std::fprintf(stderr, "dsc-fake-device: runs only inside a lab network namespace\n");
        return 2;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);

    std::vector<pollfd> pfds;
    for (auto& device : devices) {
        std::string error;
        if (!device->Open(&error)) {
            std::fprintf(stderr, "dsc-fake-device: %s\n", error.c_str());
            return 1;
        }
        pfds.push_back({ device->Fd(), POLLIN, 0 });
    }
    std::vector<int> junkFds;
    if (junk) {
        for (const std::string& name : interfaces) {
            const int fd = OpenJunkSocket(name);
            if (fd < 0) {
                std::perror("dsc-fake-device: junk socket");
                return 1;
            }
            junkFds.push_back(fd);
            pfds.push_back({ fd, POLLIN, 0 });
        }
    }
    std::printf("ready\n");
    std::fflush(stdout);

    while (!g_stop) {
        int timeout = 200; // also how soon a signal is noticed at the latest
        for (const auto& device : devices) {
            const int due = device->NextDueMs();
            if (due >= 0 && due < timeout)
                timeout = due;
        }
        if (::poll(pfds.data(), pfds.size(), timeout) < 0 && errno != EINTR)
            break;
        for (std::size_t i = 0; i < devices.size(); ++i)
            devices[i]->Process();
        for (std::size_t i = 0; i < junkFds.size(); ++i) {
            if (pfds[devices.size() + i].revents & POLLIN)
                SendJunk(junkFds[i]);
        }
    }
    for (int fd : junkFds)
        ::close(fd);
    return 0;
}
