#include "admin/comm/tests/testServers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int ListenLoopback(int backlog, int& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// Waits for fd or the stop descriptor; false when stopping.
bool WaitReadable(int fd, int stopFd, int waitMs = -1)
{
    pollfd p[2] = { { fd, POLLIN, 0 }, { stopFd, POLLIN, 0 } };
    while (::poll(p, 2, waitMs) < 0 && errno == EINTR) { }
    return !(p[1].revents) && (p[0].revents);
}

bool ReadExactly(int fd, int stopFd, uint8_t* into, size_t n)
{
    size_t got = 0;
    while (got < n) {
        if (!WaitReadable(fd, stopFd))
            return false;
        ssize_t r = ::recv(fd, into + got, n - got, 0);
        if (r <= 0)
            return false;
        got += size_t(r);
    }
    return true;
}

void Signal(int fd)
{
    uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(fd, &one, sizeof one);
}

} // namespace

TBytes ReplyTo(const TBytes& request, const TBytes& pdu)
{
    const unsigned len = unsigned(pdu.size() + 1);
    TBytes r { request.at(0), request.at(1), request.at(2), request.at(3), uint8_t(len >> 8), uint8_t(len),
        request.at(6) };
    for (uint8_t b : pdu)
        r.push_back(b);
    return r;
}

// ---- what both servers share ----

TLoopbackServer::TLoopbackServer()
{
    StopFd = ::eventfd(0, EFD_CLOEXEC);
    ListenFd = ListenLoopback(4, PortNumber);
}

TLoopbackServer::~TLoopbackServer()
{
    if (ListenFd >= 0)
        ::close(ListenFd);
    ::close(StopFd);
}

void TLoopbackServer::StartServing()
{
    Thread = std::thread([this] { Serve(); });
}

void TLoopbackServer::StopServing()
{
    if (!Thread.joinable())
        return;
    Signal(StopFd);
    Thread.join();
}

int TLoopbackServer::AcceptNext(int& index)
{
    for (;;) {
        if (!WaitReadable(ListenFd, StopFd))
            return -1;
        int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard g(Lock);
        index = Accepted++;
        return fd;
    }
}

void TLoopbackServer::Note(TBytes frame, int connection)
{
    {
        std::lock_guard g(Lock);
        Seen.push_back({ std::move(frame), connection });
    }
    Arrived.notify_all();
}

bool TLoopbackServer::StopRequested() const
{
    pollfd p { StopFd, POLLIN, 0 };
    return ::poll(&p, 1, 0) > 0;
}

std::vector<TSeenRequest> TLoopbackServer::Requests() const
{
    std::lock_guard g(Lock);
    return Seen;
}

int TLoopbackServer::Connections() const
{
    std::lock_guard g(Lock);
    return Accepted;
}

bool TLoopbackServer::WaitForRequests(size_t n) const
{
    std::unique_lock g(Lock);
    return Arrived.wait_for(g, std::chrono::seconds(10), [&] { return Seen.size() >= n; });
}

// ---- libmodbus server ----

TLibmodbusServer::TLibmodbusServer()
{
    Map = modbus_mapping_new(0x4000, 0x4000, 0x4000, 0x4000);
    // libmodbus binds the address it is given; our own listener gives an
    // ephemeral port, and libmodbus serves the accepted sockets.
    Ctx = modbus_new_tcp("127.0.0.1", Port());
    StartServing();
}

TLibmodbusServer::~TLibmodbusServer()
{
    Stop();
    modbus_free(Ctx);
    modbus_mapping_free(Map);
}

void TLibmodbusServer::Stop()
{
    StopServing();
    if (ListenFd >= 0)
        ::close(ListenFd);
    ListenFd = -1;
}

void TLibmodbusServer::Serve()
{
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
        int index;
        const int fd = AcceptNext(index);
        if (fd < 0)
            return;
        modbus_set_socket(Ctx, fd);
        for (;;) {
            if (!WaitReadable(fd, StopFd))
                break; // a stop, or the client went
            int rc = modbus_receive(Ctx, query);
            if (rc < 0)
                break;
            if (rc == 0)
                continue;
            Note(TBytes(query, query + rc), index);
            modbus_reply(Ctx, query, rc, Map);
        }
        ::close(fd);
        modbus_set_socket(Ctx, -1);
        if (StopRequested())
            return;
    }
}

// ---- scripted server ----

TScriptedServer::TScriptedServer(TResponder responder)
    : Responder(std::move(responder))
{
    StartServing();
}

TScriptedServer::~TScriptedServer()
{
    StopServing();
}

void TScriptedServer::Serve()
{
    for (;;) {
        int index;
        const int fd = AcceptNext(index);
        if (fd < 0)
            return;
        bool open = true;
        while (open) {
            TBytes frame(7);
            if (!ReadExactly(fd, StopFd, frame.data(), 7))
                break;
            size_t rest = size_t(frame[4] << 8 | frame[5]);
            rest = rest > 0 ? rest - 1 : 0;
            frame.resize(7 + rest);
            if (!ReadExactly(fd, StopFd, frame.data() + 7, rest))
                break;
            Note(frame, index);
            TScriptedAnswer answer = Responder(frame, index);
            for (const TChunk& c : answer.Chunks) {
                if (!c.Bytes.empty())
                    ::send(fd, c.Bytes.data(), c.Bytes.size(), MSG_NOSIGNAL);
                if (c.PauseMs > 0) {
                    pollfd p { StopFd, POLLIN, 0 };
                    if (::poll(&p, 1, c.PauseMs) > 0) {
                        open = false;
                        break;
                    }
                }
            }
            if (answer.ResetAfter) {
                const linger abort { 1, 0 };
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            if (answer.CloseAfter || answer.ResetAfter)
                open = false;
        }
        ::close(fd);
        if (StopRequested())
            return;
    }
}

// ---- deaf listener ----

TDeafListener::TDeafListener()
{
    ListenFd = ListenLoopback(0, PortNumber);
    if (ListenFd < 0)
        return;
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(PortNumber));
    // Fill the accept queue; once a connect is not answered within a short
    // wait, the queue is full and further SYNs are dropped.
    for (int i = 0; i < 16 && !IsReady; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        Fillers.push_back(fd);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            continue;
        pollfd p { fd, POLLOUT, 0 };
        if (::poll(&p, 1, 300) == 0)
            IsReady = true;
    }
}

TDeafListener::~TDeafListener()
{
    for (int fd : Fillers)
        ::close(fd);
    if (ListenFd >= 0)
        ::close(ListenFd);
}

int ClosedPort()
{
    int port = 0;
    int fd = ListenLoopback(1, port);
    ::close(fd);
    return port;
}
