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
    : config_(std::move(config))
{
}

Responder::~Responder()
{
    Stop();
    if (fd_ >= 0)
        ::close(fd_);
}

bool Responder::Open(std::string* error)
{
    if (fd_ >= 0)
        return true;
    if (config_.netns.empty())
        return OpenHere(error);
    // A socket stays in the namespace it was made in, so only its creation
    // needs to happen there; a short-lived thread keeps the caller's own
    // namespace untouched.
    bool ok = false;
    std::thread([&] {
        const std::string path = "/run/netns/" + config_.netns;
        const int nsFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (nsFd < 0) {
            SetError(error, "open " + path);
            return;
        }
        if (::setns(nsFd, CLONE_NEWNET) != 0) {
            SetError(error, "setns " + config_.netns);
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
    const std::string& name = config_.interfaceName;
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
    if (std::all_of(config_.mac.begin(), config_.mac.end(), [](uint8_t b) { return b == 0; })) {
        ifreq ifr {};
        std::memcpy(ifr.ifr_name, name.c_str(), name.size());
        if (::ioctl(fd, SIOCGIFHWADDR, &ifr) != 0) {
            SetError(error, "hardware address of " + name);
            ::close(fd);
            return false;
        }
        std::memcpy(config_.mac.data(), ifr.ifr_hwaddr.sa_data, 6);
    }
    fd_ = fd;
    return true;
}

void Responder::ReadRequests()
{
    for (;;) {
        uint8_t buffer[64];
        sockaddr_in from {};
        socklen_t fromLen = sizeof from;
        const ssize_t n
            = ::recvfrom(fd_, buffer, sizeof buffer, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: drained; anything else: nothing to read either
        }
        // MSG_TRUNC gives the full length, so an oversized datagram fails the size check.
        const auto request = DecodeRequest(buffer, std::size_t(n));
        if (!request || fromLen < sizeof from || from.sin_port == 0)
            continue;
        const bool queued = std::any_of(pending_.begin(), pending_.end(),
            [&](const Pending& p) { return p.nonce == request->nonce && p.port == from.sin_port; });
        if (queued || pending_.size() >= MaxPending)
            continue;
        const auto due
            = std::chrono::steady_clock::now() + std::chrono::milliseconds(AnswerDelayMs(*request, config_.mac));
        pending_.push_back({ due, request->nonce, from.sin_port, request->spreadMs });
    }
}

void Responder::SendDue()
{
    const auto now = std::chrono::steady_clock::now();
    auto it = pending_.begin();
    while (it != pending_.end()) {
        if (it->due > now) {
            ++it;
            continue;
        }
        SearchAnswer answer;
        answer.nonce = it->nonce;
        answer.productId = config_.productId;
        answer.productCode = config_.productCode;
        answer.mac = config_.mac;
        answer.ipAddress = config_.address ? config_.address() : 0;
        const auto bytes = EncodeAnswer(answer);
        // A broadcast, so that a searcher on another subnet, or a device
        // without an address, is still heard.
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = it->port;
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        // A full send queue loses this answer; the searcher repeats its request.
        while (::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0
            && errno == EINTR) { }
        it = pending_.erase(it);
    }
}

void Responder::Process()
{
    if (fd_ < 0)
        return;
    ReadRequests();
    SendDue();
}

int Responder::NextDueMs() const
{
    if (pending_.empty())
        return -1;
    auto next = pending_.front().due;
    for (const Pending& p : pending_)
        next = std::min(next, p.due);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - std::chrono::steady_clock::now()).count();
    return ms < 0 ? 0 : int(ms);
}

void Responder::Poll(int timeoutMs)
{
    if (fd_ < 0)
        return;
    const int due = NextDueMs();
    const int wait = due >= 0 && (timeoutMs < 0 || due < timeoutMs) ? due : timeoutMs;
    pollfd pfd { fd_, POLLIN, 0 };
    ::poll(&pfd, 1, wait);
    Process();
}

bool Responder::Start(std::string* error)
{
    if (thread_.joinable())
        return true;
    if (!Open(error))
        return false;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        SetError(error, "eventfd");
        return false;
    }
    stop_ = false;
    thread_ = std::thread(&Responder::Run, this);
    return true;
}

void Responder::Stop()
{
    if (!thread_.joinable())
        return;
    stop_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    thread_.join();
    ::close(wakeFd_);
    wakeFd_ = -1;
}

void Responder::Run()
{
    while (!stop_) {
        pollfd pfds[2] = { { fd_, POLLIN, 0 }, { wakeFd_, POLLIN, 0 } };
        ::poll(pfds, 2, NextDueMs());
        Process();
    }
}

} // namespace dsc
