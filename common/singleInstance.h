#pragma once
// One running copy of a program per user.
//
// Stands in for a named system mutex plus the window search of a second
// start: the first copy holds a lock file and listens on a local socket;
// a later copy finds the lock held, asks the first over the socket to come
// forward, and ends. The name is private to the user (the runtime folder
// is per user), so two users on one machine don't see each other.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QWidget;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(const QString& name, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this is the only copy; it then listens for later starts.
    bool Acquire();

    // For a later copy: ask the running one to come forward. Waits at most
    // timeoutMs; returns whether the request was delivered.
    bool NotifyRunning(int timeoutMs = 2000);

    QString ServerName() const { return serverName_; }

    // Restores a minimised window, raises and activates it, and puts the
    // open modal dialog of the application, if any, on top of it.
    static void BringForward(QWidget* window);

signals:
    void activationRequested();

private:
    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};
