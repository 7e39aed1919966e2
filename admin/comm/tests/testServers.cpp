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
    m_stopFd = ::eventfd(0, EFD_CLOEXEC);
    m_listenFd = ListenLoopback(4, m_portNumber);
}

TLoopbackServer::~TLoopbackServer()
{
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    ::close(m_stopFd);
}

void TLoopbackServer::StartServing()
{
    m_thread = std::thread([this] { Serve(); });
}

void TLoopbackServer::StopServing()
{
    if (!m_thread.joinable())
        return;
    Signal(m_stopFd);
    m_thread.join();
}

int TLoopbackServer::AcceptNext(int& index)
{
    for (;;) {
        if (!WaitReadable(m_listenFd, m_stopFd))
            return -1;
        int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard g(m_lock);
        index = m_accepted++;
        return fd;
    }
}

void TLoopbackServer::Note(TBytes frame, int connection)
{
    {
        std::lock_guard g(m_lock);
        m_seen.push_back({ std::move(frame), connection });
    }
    m_arrived.notify_all();
}

bool TLoopbackServer::StopRequested() const
{
    pollfd p { m_stopFd, POLLIN, 0 };
    return ::poll(&p, 1, 0) > 0;
}

std::vector<TSeenRequest> TLoopbackServer::Requests() const
{
    std::lock_guard g(m_lock);
    return m_seen;
}

int TLoopbackServer::Connections() const
{
    std::lock_guard g(m_lock);
    return m_accepted;
}

bool TLoopbackServer::WaitForRequests(size_t n) const
{
    std::unique_lock g(m_lock);
    return m_arrived.wait_for(g, std::chrono::seconds(10), [&] { return m_seen.size() >= n; });
}

// ---- libmodbus server ----

TLibmodbusServer::TLibmodbusServer()
{
    map = modbus_mapping_new(0x4000, 0x4000, 0x4000, 0x4000);
    // libmodbus binds the address it is given; our own listener gives an
    // ephemeral port, and libmodbus serves the accepted sockets.
    m_ctx = modbus_new_tcp("127.0.0.1", Port());
    StartServing();
}

TLibmodbusServer::~TLibmodbusServer()
{
    Stop();
    modbus_free(m_ctx);
    modbus_mapping_free(map);
}

void TLibmodbusServer::Stop()
{
    StopServing();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
}

void TLibmodbusServer::Serve()
{
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
        int index;
        const int fd = AcceptNext(index);
        if (fd < 0)
            return;
        modbus_set_socket(m_ctx, fd);
        for (;;) {
            if (!WaitReadable(fd, m_stopFd))
                break; // a stop, or the client went
            int rc = modbus_receive(m_ctx, query);
            if (rc < 0)
                break;
            if (rc == 0)
                continue;
            Note(TBytes(query, query + rc), index);
            modbus_reply(m_ctx, query, rc, map);
        }
        ::close(fd);
        modbus_set_socket(m_ctx, -1);
        if (StopRequested())
            return;
    }
}

// ---- scripted server ----

TScriptedServer::TScriptedServer(TResponder responder)
    : m_responder(std::move(responder))
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
            if (!ReadExactly(fd, m_stopFd, frame.data(), 7))
                break;
            size_t rest = size_t(frame[4] << 8 | frame[5]);
            rest = rest > 0 ? rest - 1 : 0;
            frame.resize(7 + rest);
            if (!ReadExactly(fd, m_stopFd, frame.data() + 7, rest))
                break;
            Note(frame, index);
            TScriptedAnswer answer = m_responder(frame, index);
            for (const TChunk& c : answer.chunks) {
                if (!c.bytes.empty())
                    ::send(fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL);
                if (c.pauseMs > 0) {
                    pollfd p { m_stopFd, POLLIN, 0 };
                    if (::poll(&p, 1, c.pauseMs) > 0) {
                        open = false;
                        break;
                    }
                }
            }
            if (answer.resetAfter) {
                const linger abort { 1, 0 };
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            if (answer.closeAfter || answer.resetAfter)
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
    m_listenFd = ListenLoopback(0, m_portNumber);
    if (m_listenFd < 0)
        return;
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(m_portNumber));
    // Fill the accept queue; once a connect is not answered within a short
    // wait, the queue is full and further SYNs are dropped.
    for (int i = 0; i < 16 && !m_isReady; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        m_fillers.push_back(fd);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            continue;
        pollfd p { fd, POLLOUT, 0 };
        if (::poll(&p, 1, 300) == 0)
            m_isReady = true;
    }
}

TDeafListener::~TDeafListener()
{
    for (int fd : m_fillers)
        ::close(fd);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
}

int ClosedPort()
{
    int port = 0;
    int fd = ListenLoopback(1, port);
    ::close(fd);
    return port;
}
