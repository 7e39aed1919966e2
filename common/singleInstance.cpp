#include "common/singleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// How long Acquire() waits for an answer on a socket it found.
constexpr int kProbeMs = 1000;

// The user's private runtime folder: XDG_RUNTIME_DIR when it is set, which
// must then be a folder of this user that nobody else may enter; without it
// Qt's per-user folder in the temporary folder. Empty when there is none.
QString RuntimeDir()
{
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty())
        return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    struct stat info { };
    const QByteArray path = QFile::encodeName(dir);
    if (::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()
        || (info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return {};
    return dir;
}
} // namespace

TSingleInstance::TSingleInstance(const QString& name, QObject* parent)
    : QObject(parent)
{
    m_serverName = QStringLiteral("%1-%2").arg(name).arg(::getuid());
    // Per user and private; never the shared temporary folder itself.
    m_dir = RuntimeDir();
    if (!m_dir.isEmpty()) {
        m_lock = std::make_unique<QLockFile>(LockPath());
        m_lock->setStaleLockTime(0); // only a dead owner makes the lock stale
    }
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = m_server.nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            s->write("ok", 2);
            s->flush();
            emit activationRequested();
        }
    });
}

TSingleInstance::~TSingleInstance()
{
    if (m_server.isListening())
        m_server.close(); // removes the socket: ours
    if (m_lock)
        m_lock->unlock();
}

QString TSingleInstance::LockPath() const
{
    return m_dir + QLatin1Char('/') + m_serverName + QStringLiteral(".lock");
}

QString TSingleInstance::SocketPath() const
{
    return m_dir + QLatin1Char('/') + m_serverName + QStringLiteral(".socket");
}

bool TSingleInstance::Fail(const QString& text)
{
    m_state = TState::Failed;
    m_error = text;
    return false;
}

bool TSingleInstance::Acquire()
{
    if (m_state == TState::First)
        return true;
    if (!m_lock)
        return Fail(QStringLiteral("No private runtime folder for the single-instance lock: XDG_RUNTIME_DIR must name "
                                   "a folder of this user that only this user may enter"));
    if (!m_lock->tryLock(0)) {
        switch (m_lock->error()) {
        case QLockFile::LockFailedError:
            m_state = TState::Running;
            return false;
        case QLockFile::PermissionError:
            return Fail(QStringLiteral("Cannot create the lock file %1: permission denied").arg(LockPath()));
        default:
            return Fail(QStringLiteral("Cannot create the lock file %1").arg(LockPath()));
        }
    }
    // A socket that answers belongs to a live copy whose lock file was
    // removed under it: that copy runs, and its socket stays.
    if (Ask(kProbeMs)) {
        m_lock->unlock();
        m_state = TState::Running;
        return false;
    }
    // Left by a copy that died: nobody answers on it.
    QLocalServer::removeServer(SocketPath());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(SocketPath())) {
        const QString why = m_server.errorString();
        m_lock->unlock();
        return Fail(QStringLiteral("Cannot listen on %1: %2").arg(SocketPath(), why));
    }
    m_state = TState::First;
    return true;
}

bool TSingleInstance::Ask(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    const bool answered = socket.waitForReadyRead(timeoutMs);
    socket.disconnectFromServer();
    m_delivered = m_delivered || answered;
    return answered;
}

bool TSingleInstance::NotifyRunning(int timeoutMs)
{
    if (m_delivered)
        return true;
    if (m_dir.isEmpty())
        return false;
    return Ask(timeoutMs);
}

void TSingleInstance::BringForward(QWidget* window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != window) {
        modal->raise();
        modal->activateWindow();
    }
}
