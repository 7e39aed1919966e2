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
    TBytes Frame;
    int Connection;
};

// What both servers share: a listener on an ephemeral port of 127.0.0.1,
// one serving thread, and the record of connections and requests.
class TLoopbackServer {
public:
    int Port() const { return PortNumber; }
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

    int ListenFd = -1;
    int StopFd = -1;

private:
    int PortNumber = 0;
    std::thread Thread;
    mutable std::mutex Lock;
    mutable std::condition_variable Arrived;
    std::vector<TSeenRequest> Seen;
    int Accepted = 0;
};

class TLibmodbusServer : public TLoopbackServer {
public:
    // Input and holding registers 0..0x3FFF, coils and inputs 0..0x3FFF.
    TLibmodbusServer();
    ~TLibmodbusServer() override;
    // Ends the connections and the listener; the port then refuses.
    void Stop();
    _modbus_mapping_t* Map = nullptr; // fill before the first request

private:
    void Serve() override;
    _modbus* Ctx = nullptr;
};

// One piece of a scripted answer: bytes, then a pause before the next piece.
struct TChunk {
    TBytes Bytes;
    int PauseMs = 0;
};
struct TScriptedAnswer {
    std::vector<TChunk> Chunks; // nothing: stay silent
    bool CloseAfter = false;
    bool ResetAfter = false; // close with a reset, a socket error at the client
};

class TScriptedServer : public TLoopbackServer {
public:
    using TResponder = std::function<TScriptedAnswer(const TBytes& request, int connection)>;
    explicit TScriptedServer(TResponder responder);
    ~TScriptedServer() override;

private:
    void Serve() override;
    TResponder Responder;
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
    int Port() const { return PortNumber; }
    bool Ready() const { return IsReady; }

private:
    int ListenFd = -1;
    int PortNumber = 0;
    bool IsReady = false;
    std::vector<int> Fillers;
};

// A port on 127.0.0.1 where nothing listens: connecting is refused.
int ClosedPort();
