#pragma once
// Blocking TCP client socket with a per-call wait limit. Every wait polls the
// connection together with a wake-up descriptor, so Close() from another
// thread ends a pending open (or read or write) at once; a plain blocking
// connect() would ignore a close from elsewhere.
#include <cstdint>
#include <mutex>
#include <string>

class TIOClientSocket {
public:
    TIOClientSocket();
    virtual ~TIOClientSocket();
    TIOClientSocket(const TIOClientSocket&) = delete;
    TIOClientSocket& operator=(const TIOClientSocket&) = delete;

    // A dotted IPv4 address or a host name; used by the next Open().
    void SetHost(const std::string& host);
    std::string Host() const;
    void SetPort(int port);
    int Port() const;
    // Kept for the callers that configure it; every call of this socket
    // blocks up to its wait limit whatever the mode.
    void SetBlockingMode(bool blocking) { blockingMode = blocking; }
    bool blockingMode = true;

    // Resolves the host and connects. false when the host can't be
    // resolved, refuses, or Close() was called meanwhile (LastError says
    // which). Has no time limit of its own: the caller ends it by Close().
    bool Open();
    // Any thread. An idle connection is closed at once; a pending call is
    // woken, fails, and closes it on its way out.
    void Close();
    bool IsOpen() const;

    // Virtual only so that a test can watch the calls on a real connection.
    // One call each: sends up to size bytes, returning how many were sent,
    // 0 when the wait ran out, -1 on a socket error.
    virtual int Write(const uint8_t* bytes, int size, int waitMs);
    // Returns the bytes that have arrived (up to size), 0 when nothing
    // arrived within the wait or the peer closed, -1 on a socket error.
    virtual int Read(uint8_t* bytes, int size, int waitMs);

    // Why the last call failed, for tests and logs.
    std::string LastError() const;

private:
    enum class TWait { Ready, TimedOut, Woken, Failed };
    bool BeginCall(int& fd);
    void EndCall();
    TWait WaitFor(int fd, short events, int waitMs);
    void SetError(const std::string& text);

    mutable std::mutex m_lock;
    std::string m_hostText;
    int m_portNumber = 0;
    int m_fd = -1;
    int m_wakeFd = -1;
    int m_pendingCalls = 0; // calls (open included) that use the descriptors
    bool m_opening = false;
    bool m_closeRequested = false;
    std::string m_error;
};

// The stream through which the exchange talks to an open socket: the
// socket plus the wait limit of every call.
class TIOSocketStream {
public:
    TIOSocketStream(TIOClientSocket* socket, int waitMs)
        : Socket(socket)
        , m_waitMs(waitMs)
    {
    }
    int Write(const uint8_t* bytes, int size) { return Socket->Write(bytes, size, m_waitMs); }
    int Read(uint8_t* bytes, int size) { return Socket->Read(bytes, size, m_waitMs); }

private:
    TIOClientSocket* Socket;
    int m_waitMs;
};
