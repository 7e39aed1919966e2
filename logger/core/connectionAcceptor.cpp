#include "logger/core/connectionAcceptor.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Connections taken per wake-up, so that a flood can't starve the rest of
// the event loop; the notifier fires again for the others.
constexpr int kAcceptBurst = 64;

// Errors that belong to the one connection being accepted (Linux hands the
// new socket's pending network errors to accept): take the next one.
bool ConnectionError(int error)
{
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
    case EPERM:
        return true;
    default:
        return false;
    }
}

void SetKeepAlive(int fd)
{
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    const int idle = TConnectionAcceptor::kKeepAliveIdleS;
    const int interval = TConnectionAcceptor::kKeepAliveIntervalS;
    const int probes = TConnectionAcceptor::kKeepAliveProbes;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

} // namespace

TConnectionAcceptor::TConnectionAcceptor(QTcpServer* server, QObject* parent)
    : QObject(parent)
    , m_server(server)
{
    m_resume.setSingleShot(true);
    connect(&m_resume, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true); // still waiting connections wake us at once
    });
}

TConnectionAcceptor::~TConnectionAcceptor()
{
    Stop();
}

void TConnectionAcceptor::Start()
{
    Stop();
    if (!m_server->isListening())
        return;
    m_server->pauseAccepting(); // QTcpServer's own notifier stays off
    m_notifier = new QSocketNotifier(m_server->socketDescriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TConnectionAcceptor::Accept);
}

void TConnectionAcceptor::Stop()
{
    m_resume.stop();
    delete m_notifier;
    m_notifier = nullptr;
    SetPaused(false);
}

int TConnectionAcceptor::Connections() const
{
    return int(m_server->findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly).size());
}

void TConnectionAcceptor::Accept()
{
    if (!m_notifier)
        return;
    const int listener = int(m_notifier->socket());
    for (int i = 0; i < kAcceptBurst; ++i) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (error == EAGAIN || error == EWOULDBLOCK) {
                SetPaused(false);
                return;
            }
            if (ConnectionError(error))
                continue;
            // Out of file handles or memory, or worse: wait, then try again.
            Pause(error);
            return;
        }
        SetKeepAlive(fd);
        auto* socket = new QTcpSocket(m_server);
        if (!socket->setSocketDescriptor(fd)) {
            ::close(fd);
            delete socket;
            continue;
        }
        SetPaused(false);
        emit connectionAccepted(socket);
        if (!m_notifier)
            return; // stopped by a receiver
    }
}

void TConnectionAcceptor::Pause(int error)
{
    m_pauseError = error;
    m_notifier->setEnabled(false);
    m_resume.start(kPauseMs);
    SetPaused(true);
}

void TConnectionAcceptor::SetPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    emit pausedChanged(paused);
}

bool RaiseOpenFileLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    if (limit.rlim_cur == limit.rlim_max)
        return true;
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
}
