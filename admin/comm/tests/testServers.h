#pragma once
// Servers on 127.0.0.1 with ephemeral ports for the communication tests and
// the benchmark: a real Modbus peer (libmodbus) and a scripted one that
// misbehaves on purpose. Nothing here leaves loopback.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct _modbus;
struct _modbus_mapping_t;

using TBytes = std::vector<uint8_t>;

// Every request as the server read it (whole Modbus/TCP frame), and on
// which accepted connection (0, 1, ...) it came.
struct TSeenRequest {
    TBytes frame;
    int connection;
};

// What both servers share: a listener on an ephemeral port of 127.0.0.1,
// one serving thread, and the record of connections and requests.
class TLoopbackServer {
public:
    int Port() const { return m_portNumber; }
    std::vector<TSeenRequest> Requests() const;
    int Connections() const;
    // Waits (up to 10 s) until n requests have come; for answers that the
    // client does not wait for.
    bool WaitForRequests(size_t n) const;

protected:
    TLoopbackServer();
    // The derived destructor calls StopServing() first: the thread uses its
    // members.
    virtual ~TLoopbackServer();
    void StartServing();
    void StopServing();
    // The next connection and its number (0, 1, ...); -1 when stopping.
    int AcceptNext(int& index);
    void Note(TBytes frame, int connection);
    bool StopRequested() const;
    virtual void Serve() = 0;

    int m_listenFd = -1;
    int m_stopFd = -1;

private:
    int m_portNumber = 0;
    std::thread m_thread;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_arrived;
    std::vector<TSeenRequest> m_seen;
    int m_accepted = 0;
};

class TLibmodbusServer : public TLoopbackServer {
public:
    // Input and holding registers 0..0x3FFF, coils and inputs 0..0x3FFF.
    TLibmodbusServer();
    ~TLibmodbusServer() override;
    // Ends the connections and the listener; the port then refuses.
    void Stop();
    _modbus_mapping_t* map = nullptr; // fill before the first request

private:
    void Serve() override;
    _modbus* m_ctx = nullptr;
};

// One piece of a scripted answer: bytes, then a pause before the next piece.
struct TChunk {
    TBytes bytes;
    int pauseMs = 0;
};
struct TScriptedAnswer {
    std::vector<TChunk> chunks; // nothing: stay silent
    bool closeAfter = false;
    bool resetAfter = false; // close with a reset, a socket error at the client
};

class TScriptedServer : public TLoopbackServer {
public:
    using TResponder = std::function<TScriptedAnswer(const TBytes& request, int connection)>;
    explicit TScriptedServer(TResponder responder);
    ~TScriptedServer() override;

private:
    void Serve() override;
    TResponder m_responder;
};

// A reply frame to request: its first seven bytes with the length set for
// pdu, then pdu (function code onwards).
TBytes ReplyTo(const TBytes& request, const TBytes& pdu);

// A port on 127.0.0.1 that listens but whose accept queue is full, so a new
// connection attempt gets no answer at all (its SYN is dropped).
class TDeafListener {
public:
    TDeafListener();
    ~TDeafListener();
    int Port() const { return m_portNumber; }
    bool Ready() const { return m_isReady; }

private:
    int m_listenFd = -1;
    int m_portNumber = 0;
    bool m_isReady = false;
    std::vector<int> m_fillers;
};

// A port on 127.0.0.1 where nothing listens: connecting is refused.
int ClosedPort();
