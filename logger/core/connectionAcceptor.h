#pragma once
// Takes the connections of a listening QTcpServer in our own accept loop.
//
// QTcpServer stops accepting for good at the first accept() that fails for
// lack of file handles, and other errors make it retry at once, which spins.
// Here an accept error that is no fault of one connection pauses accepting
// for a short while and then tries again; connections that arrive meanwhile
// wait in the kernel's queue, and when that is full the newest are refused
// there. Established connections are never touched. Accepted connections get
// TCP keep-alive, so that peers which vanished without a word (power lost)
// are reaped; a live but quiet connection stays open.
#include <QObject>
#include <QTimer>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

class TConnectionAcceptor : public QObject {
    Q_OBJECT
public:
    // Pause after an accept error before the next try.
    static constexpr int kPauseMs = 250;
    // Keep-alive: first probe after this many idle seconds, then one every
    // kKeepAliveIntervalS; the peer counts as gone after kKeepAliveProbes
    // unanswered probes.
    static constexpr int kKeepAliveIdleS = 60;
    static constexpr int kKeepAliveIntervalS = 10;
    static constexpr int kKeepAliveProbes = 6;

    explicit TConnectionAcceptor(QTcpServer* server, QObject* parent = nullptr);
    ~TConnectionAcceptor() override;

    // Call after server->listen() succeeded: accepting is ours from now on.
    void Start();
    // Call before the server closes.
    void Stop();

    // True while accepting is paused after an error.
    bool Paused() const { return m_paused; }
    // errno of the error that paused accepting.
    int PauseError() const { return m_pauseError; }
    // Connections open now.
    int Connections() const;

signals:
    // A new connection, owned by the server.
    void connectionAccepted(QTcpSocket* socket);
    // Paused() changed.
    void pausedChanged(bool paused);

private:
    void Accept();
    void Pause(int error);
    void SetPaused(bool paused);

    QTcpServer* m_server;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_resume;
    bool m_paused = false;
    int m_pauseError = 0;
};

// Raises the soft limit of open files to the hard limit: every connected
// server holds one. False when the limit could not be read or set.
bool RaiseOpenFileLimit();
