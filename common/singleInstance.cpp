#include "singleInstance.h"

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWidget>

#include <unistd.h>

namespace {
QString RuntimeDir()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}
}  // namespace

TSingleInstance::TSingleInstance(const QString& name, QObject* parent) : QObject(parent)
{
    serverName_ = QStringLiteral("%1-%2").arg(name).arg(::getuid());
    lock_ = std::make_unique<QLockFile>(RuntimeDir() + QLatin1Char('/') + serverName_ + QStringLiteral(".lock"));
    lock_->setStaleLockTime(0);  // only a dead owner makes the lock stale
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_.nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            s->write("ok", 2);
            s->flush();
            emit activationRequested();
        }
    });
}

TSingleInstance::~TSingleInstance()
{
    server_.close();
    if (lock_)
        lock_->unlock();
}

bool TSingleInstance::Acquire()
{
    if (!lock_->tryLock(0))
        return false;
    // A socket left by a copy that crashed would keep listen() from working.
    QLocalServer::removeServer(serverName_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(serverName_);
    return true;
}

bool TSingleInstance::NotifyRunning(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    const bool answered = socket.waitForReadyRead(timeoutMs);
    socket.disconnectFromServer();
    return answered;
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
