#include "admin/comm/ioClientSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string ErrnoText(const char* what, int err)
{
    return std::string(what) + ": " + std::strerror(err);
}

void DrainWake(int wakeFd)
{
    uint64_t count = 0;
    while (::read(wakeFd, &count, sizeof count) > 0) { }
}

} // namespace

TIOClientSocket::TIOClientSocket()
{
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

TIOClientSocket::~TIOClientSocket()
{
    // The owner waits for every worker before it deletes the socket, so no
    // call is pending here.
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void TIOClientSocket::SetHost(const std::string& host)
{
    std::lock_guard guard(m_lock);
    m_hostText = host;
}

std::string TIOClientSocket::Host() const
{
    std::lock_guard guard(m_lock);
    return m_hostText;
}

void TIOClientSocket::SetPort(int port)
{
    std::lock_guard guard(m_lock);
    m_portNumber = port;
}

int TIOClientSocket::Port() const
{
    std::lock_guard guard(m_lock);
    return m_portNumber;
}

bool TIOClientSocket::IsOpen() const
{
    std::lock_guard guard(m_lock);
    return m_fd >= 0 && !m_closeRequested;
}

std::string TIOClientSocket::LastError() const
{
    std::lock_guard guard(m_lock);
    return m_error;
}

void TIOClientSocket::SetError(const std::string& text)
{
    std::lock_guard guard(m_lock);
    m_error = text;
}

void TIOClientSocket::Close()
{
    std::lock_guard guard(m_lock);
    if (m_pendingCalls > 0) {
        // The pending call owns the descriptor until it returns; closing it
        // here could hand its number to another socket under the call's feet.
        m_closeRequested = true;
        uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(m_wakeFd, &one, sizeof one);
        return;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool TIOClientSocket::BeginCall(int& fd)
{
    std::lock_guard guard(m_lock);
    if (m_fd < 0 || m_closeRequested) {
        m_error = "socket is not open";
        return false;
    }
    ++m_pendingCalls;
    fd = m_fd;
    return true;
}

void TIOClientSocket::EndCall()
{
    std::lock_guard guard(m_lock);
    if (--m_pendingCalls == 0 && m_closeRequested) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_closeRequested = false;
    }
}

TIOClientSocket::TWait TIOClientSocket::WaitFor(int fd, short events, int waitMs)
{
    pollfd fds[2] = { { fd, events, 0 }, { m_wakeFd, POLLIN, 0 } };
    for (;;) {
        int n = ::poll(fds, 2, waitMs);
        if (n < 0 && errno == EINTR)
            continue; // the wait starts again; a signal is rare enough here
        if (n < 0) {
            SetError(ErrnoText("poll", errno));
            return TWait::Failed;
        }
        if (n == 0)
            return TWait::TimedOut;
        if (fds[1].revents) {
            SetError("socket closed");
            return TWait::Woken;
        }
        return TWait::Ready;
    }
}

bool TIOClientSocket::Open()
{
    std::string host;
    int port;
    {
        std::lock_guard guard(m_lock);
        if (m_fd >= 0 && !m_closeRequested)
            return true;
        if (m_opening || m_pendingCalls > 0) {
            m_error = "socket is busy";
            return false;
        }
        m_opening = true;
        m_closeRequested = false;
        ++m_pendingCalls;
        DrainWake(m_wakeFd);
        host = m_hostText;
        port = m_portNumber;
    }

    int connected = -1;
    std::string error;
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    // Name resolution can't be woken; Close() takes effect right after it.
    int rc = host.empty() ? EAI_NONAME : ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0)
        error = std::string("cannot resolve host: ") + ::gai_strerror(rc);

    for (addrinfo* a = found; a && connected < 0; a = a->ai_next) {
        {
            std::lock_guard guard(m_lock);
            if (m_closeRequested) {
                error = "socket closed";
                break;
            }
        }
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = ErrnoText("socket", errno);
            continue;
        }
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            connected = fd;
            break;
        }
        if (errno != EINPROGRESS) {
            error = ErrnoText("connect", errno);
            ::close(fd);
            continue;
        }
        TWait w = WaitFor(fd, POLLOUT, -1);
        if (w != TWait::Ready) {
            error = w == TWait::Woken ? "socket closed" : LastError();
            ::close(fd);
            break;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError != 0) {
            error = ErrnoText("connect", soError);
            ::close(fd);
            continue;
        }
        connected = fd;
    }
    if (found)
        ::freeaddrinfo(found);

    if (connected >= 0) {
        int one = 1;
        // Requests are single small frames; don't hold them back.
        ::setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }

    std::lock_guard guard(m_lock);
    m_opening = false;
    --m_pendingCalls;
    if (connected >= 0 && m_closeRequested) {
        ::close(connected);
        connected = -1;
        error = "socket closed";
    }
    m_closeRequested = false;
    m_fd = connected;
    if (connected < 0)
        m_error = error.empty() ? "cannot connect" : error;
    return connected >= 0;
}

int TIOClientSocket::Write(const uint8_t* bytes, int size, int waitMs)
{
    int fd;
    if (!BeginCall(fd))
        return -1;
    int result = -1;
    switch (WaitFor(fd, POLLOUT, waitMs)) {
    case TWait::TimedOut:
        result = 0;
        break;
    case TWait::Ready: {
        ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0)
            result = int(n);
        else if (errno == EAGAIN || errno == EWOULDBLOCK)
            result = 0;
        else
            SetError(ErrnoText("send", errno));
        break;
    }
    default:
        break;
    }
    EndCall();
    return result;
}

int TIOClientSocket::Read(uint8_t* bytes, int size, int waitMs)
{
    int fd;
    if (!BeginCall(fd))
        return -1;
    int result = -1;
    switch (WaitFor(fd, POLLIN, waitMs)) {
    case TWait::TimedOut:
        result = 0;
        break;
    case TWait::Ready: {
        ssize_t n = ::recv(fd, bytes, size, MSG_DONTWAIT);
        if (n > 0)
            result = int(n);
        else if (n == 0) {
            SetError("peer closed the connection");
            result = 0;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK)
            result = 0;
        else
            SetError(ErrnoText("recv", errno));
        break;
    }
    default:
        break;
    }
    EndCall();
    return result;
}
