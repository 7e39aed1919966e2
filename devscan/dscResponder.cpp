#include "devscan/dscResponder.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dsc {

namespace {

// A flood of requests must not grow the queue without end; real searches
// need one entry per searcher and repeat.
constexpr std::size_t MaxPending = 256;

void SetError(std::string* error, const std::string& what)
{
    if (error)
        *error = what + ": " + std::strerror(errno);
}

} // namespace

Responder::Responder(Config config)
    : m_config(std::move(config))
{
}

Responder::~Responder()
{
    Stop();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Responder::Open(std::string* error)
{
    if (m_fd >= 0)
        return true;
    if (m_config.netns.empty())
        return OpenHere(error);
    // A socket stays in the namespace it was made in, so only its creation
    // needs to happen there; a short-lived thread keeps the caller's own
    // namespace untouched.
    bool ok = false;
    std::thread([&] {
        const std::string path = "/run/netns/" + m_config.netns;
        const int nsFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (nsFd < 0) {
            SetError(error, "open " + path);
            return;
        }
        if (::setns(nsFd, CLONE_NEWNET) != 0) {
            SetError(error, "setns " + m_config.netns);
            ::close(nsFd);
            return;
        }
        ::close(nsFd);
        ok = OpenHere(error);
    }).join();
    return ok;
}

bool Responder::OpenHere(std::string* error)
{
    const std::string& name = m_config.interfaceName;
    if (name.empty() || name.size() >= IFNAMSIZ) {
        errno = EINVAL;
        SetError(error, "interface name '" + name + "'");
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetError(error, "socket");
        return false;
    }
    const int on = 1;
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(DevicePort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    // Several devices (or a device and a test tool) may share one namespace,
    // each on its own interface.
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        SetError(error, "setsockopt");
        ::close(fd);
        return false;
    }
    if (::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, name.c_str(), socklen_t(name.size())) != 0) {
        SetError(error, "bind to device " + name);
        ::close(fd);
        return false;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        SetError(error, "bind port " + std::to_string(DevicePort));
        ::close(fd);
        return false;
    }
    if (std::all_of(m_config.mac.begin(), m_config.mac.end(), [](uint8_t b) { return b == 0; })) {
        ifreq ifr {};
        std::memcpy(ifr.ifr_name, name.c_str(), name.size());
        if (::ioctl(fd, SIOCGIFHWADDR, &ifr) != 0) {
            SetError(error, "hardware address of " + name);
            ::close(fd);
            return false;
        }
        std::memcpy(m_config.mac.data(), ifr.ifr_hwaddr.sa_data, 6);
    }
    m_fd = fd;
    return true;
}

void Responder::ReadRequests()
{
    for (;;) {
        uint8_t buffer[64];
        sockaddr_in from {};
        socklen_t fromLen = sizeof from;
        const ssize_t n
            = ::recvfrom(m_fd, buffer, sizeof buffer, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: drained; anything else: nothing to read either
        }
        // MSG_TRUNC gives the full length, so an oversized datagram fails the size check.
        const auto request = DecodeRequest(buffer, std::size_t(n));
        if (!request || fromLen < sizeof from || from.sin_port == 0)
            continue;
        const bool queued = std::any_of(m_pending.begin(), m_pending.end(),
            [&](const Pending& p) { return p.nonce == request->nonce && p.port == from.sin_port; });
        if (queued || m_pending.size() >= MaxPending)
            continue;
        const auto due
            = std::chrono::steady_clock::now() + std::chrono::milliseconds(AnswerDelayMs(*request, m_config.mac));
        m_pending.push_back({ due, request->nonce, from.sin_port, request->spreadMs });
    }
}

void Responder::SendDue()
{
    const auto now = std::chrono::steady_clock::now();
    auto it = m_pending.begin();
    while (it != m_pending.end()) {
        if (it->due > now) {
            ++it;
            continue;
        }
        SearchAnswer answer;
        answer.nonce = it->nonce;
        answer.productId = m_config.productId;
        answer.productCode = m_config.productCode;
        answer.mac = m_config.mac;
        answer.ipAddress = m_config.address ? m_config.address() : 0;
        const auto bytes = EncodeAnswer(answer);
        // A broadcast, so that a searcher on another subnet, or a device
        // without an address, is still heard.
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = it->port;
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        // A full send queue loses this answer; the searcher repeats its request.
        while (::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0
            && errno == EINTR) { }
        it = m_pending.erase(it);
    }
}

void Responder::Process()
{
    if (m_fd < 0)
        return;
    ReadRequests();
    SendDue();
}

int Responder::NextDueMs() const
{
    if (m_pending.empty())
        return -1;
    auto next = m_pending.front().due;
    for (const Pending& p : m_pending)
        next = std::min(next, p.due);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - std::chrono::steady_clock::now()).count();
    return ms < 0 ? 0 : int(ms);
}

void Responder::Poll(int timeoutMs)
{
    if (m_fd < 0)
        return;
    const int due = NextDueMs();
    const int wait = due >= 0 && (timeoutMs < 0 || due < timeoutMs) ? due : timeoutMs;
    pollfd pfd { m_fd, POLLIN, 0 };
    ::poll(&pfd, 1, wait);
    Process();
}

bool Responder::Start(std::string* error)
{
    if (m_thread.joinable())
        return true;
    if (!Open(error))
        return false;
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        SetError(error, "eventfd");
        return false;
    }
    m_stop = false;
    m_thread = std::thread(&Responder::Run, this);
    return true;
}

void Responder::Stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
    m_thread.join();
    ::close(m_wakeFd);
    m_wakeFd = -1;
}

void Responder::Run()
{
    while (!m_stop) {
        pollfd pfds[2] = { { m_fd, POLLIN, 0 }, { m_wakeFd, POLLIN, 0 } };
        ::poll(pfds, 2, NextDueMs());
        Process();
    }
}

} // namespace dsc
