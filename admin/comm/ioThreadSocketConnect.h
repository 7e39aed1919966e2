#pragma once
// Opening a client socket in a worker while the user-interface thread waits
// and enforces the time limit.
#include "admin/comm/ioThread.h"

#include <cstdint>

class TIOClientSocket;

class TIOThreadSocketConnect : public TIOThread {
public:
    TIOThreadSocketConnect(bool createSuspended, TIOClientSocket* socket);
    TIOClientSocket* Socket; // not owned

protected:
    void Execute() override;
};

// Millisecond tick count, unsigned 32 bits: it wraps after about 49 days.
uint32_t TickCount32();
// now - start modulo 2^32, so a wrap between the two does not matter.
constexpr uint32_t TicksElapsed(uint32_t start, uint32_t now)
{
    return now - start;
}
// Strict: at exactly limitMs the limit has not yet passed.
constexpr bool TimeLimitPassed(uint32_t elapsed, int limitMs)
{
    return limitMs < 0 || elapsed > static_cast<uint32_t>(limitMs);
}

// Opens socket within SocketTimeout ms, processing window events meanwhile;
// past the limit the socket is closed under the worker, which makes the open
// fail. Returns whether the socket is open. User-interface thread.
bool ConnectWithTimeout(TIOClientSocket* socket);
