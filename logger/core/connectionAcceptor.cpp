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
    , server_(server)
{
    resume_.setSingleShot(true);
    connect(&resume_, &QTimer::timeout, this, [this] {
        if (notifier_)
            notifier_->setEnabled(true); // still waiting connections wake us at once
    });
}

TConnectionAcceptor::~TConnectionAcceptor()
{
    Stop();
}

void TConnectionAcceptor::Start()
{
    Stop();
    if (!server_->isListening())
        return;
    server_->pauseAccepting(); // QTcpServer's own notifier stays off
    notifier_ = new QSocketNotifier(server_->socketDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TConnectionAcceptor::Accept);
}

void TConnectionAcceptor::Stop()
{
    resume_.stop();
    delete notifier_;
    notifier_ = nullptr;
    SetPaused(false);
}

int TConnectionAcceptor::Connections() const
{
    return int(server_->findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly).size());
}

void TConnectionAcceptor::Accept()
{
    if (!notifier_)
        return;
    const int listener = int(notifier_->socket());
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
        auto* socket = new QTcpSocket(server_);
        if (!socket->setSocketDescriptor(fd)) {
            ::close(fd);
            delete socket;
            continue;
        }
        SetPaused(false);
        emit connectionAccepted(socket);
        if (!notifier_)
            return; // stopped by a receiver
    }
}

void TConnectionAcceptor::Pause(int error)
{
    pauseError_ = error;
    notifier_->setEnabled(false);
    resume_.start(kPauseMs);
    SetPaused(true);
}

void TConnectionAcceptor::SetPaused(bool paused)
{
    if (paused_ == paused)
        return;
    paused_ = paused;
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
