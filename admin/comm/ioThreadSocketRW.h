#pragma once
// One request/reply exchange on an open socket, in a worker or directly.
#include "admin/comm/ioThread.h"

#include <cstdint>

class TIOClientSocket;

// Writes and reads move at most this many bytes per call.
constexpr int ExchangeChunk = 256;

// Writes requestSize bytes and reads replySize bytes (none when replySize
// <= 0), each call waiting at most timeout ms. Reading stops early at an
// exception reply. Returns 0 when no reply was wanted, replySize when it
// arrived in full, -1 otherwise. A socket error closes the socket; a wait
// that runs out leaves it open. Any one thread.
int ExchangeOnSocket(
    TIOClientSocket* socket, const uint8_t* request, int requestSize, uint8_t* reply, int replySize, int timeout);

class TIOThreadSocketRW : public TIOThread {
public:
    TIOThreadSocketRW(bool createSuspended, int timeout, TIOClientSocket* socket);
    void SetBuffers(const uint8_t* request, uint8_t* reply, int requestSize, int replySize);

    int Timeout;
    TIOClientSocket* Socket; // not owned
    const uint8_t* Request = nullptr; // not owned
    uint8_t* Reply = nullptr; // not owned
    int RequestSize = 0;
    int ReplySize = 0;

protected:
    void Execute() override;
};

// Runs ExchangeOnSocket in a worker and waits for it, processing window
// events meanwhile. No limit of its own: every wait of the exchange is
// bounded by timeout. User-interface thread.
int RunExchange(
    TIOClientSocket* socket, int timeout, const uint8_t* request, int requestSize, uint8_t* reply, int replySize);
