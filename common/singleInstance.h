#pragma once
// One running copy of a program per user.
//
// Stands in for a named system mutex plus the window search of a second
// start: the first copy holds a lock file and listens on a local socket,
// both in the user's runtime folder (XDG_RUNTIME_DIR), so two users on one
// machine don't see each other. A later copy finds the lock held, asks the
// first over the socket to come forward, and ends. A socket that answers is
// never taken over, even when its lock file has gone; a lock that can't be
// taken for any other reason than another copy is reported as a failure.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QWidget;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    enum class TState {
        NotTried,
        First, // this is the only copy and listens for later starts
        Running, // another copy runs
        Failed, // neither could be told: see ErrorText()
    };

    explicit TSingleInstance(const QString& name, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this is the only copy; it then listens for later starts.
    // Otherwise State() tells whether another copy runs or the lock failed.
    bool Acquire();
    TState State() const { return m_state; }
    // Why Acquire() failed, for the operator.
    QString ErrorText() const { return m_error; }

    // For a later copy: ask the running one to come forward. Waits at most
    // timeoutMs; returns whether the request was delivered.
    bool NotifyRunning(int timeoutMs = 2000);

    // "<name>-<uid>": the lock file and the socket in the runtime folder
    // are this with ".lock" and ".socket".
    QString ServerName() const { return m_serverName; }
    QString LockPath() const;
    QString SocketPath() const;

    // Restores a minimised window, raises and activates it, and puts the
    // open modal dialog of the application, if any, on top of it.
    static void BringForward(QWidget* window);

signals:
    void activationRequested();

private:
    bool Ask(int timeoutMs);
    bool Fail(const QString& text);

    QString m_serverName;
    QString m_dir; // the runtime folder; empty when there is none
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
    TState m_state = TState::NotTried;
    QString m_error;
    bool m_delivered = false; // the running copy has been asked already
};
