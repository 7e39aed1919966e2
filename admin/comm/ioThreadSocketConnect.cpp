#include "admin/comm/ioThreadSocketConnect.h"

#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "common/busyCursor.h"

#include <chrono>

TIOThreadSocketConnect::TIOThreadSocketConnect(bool createSuspended, TIOClientSocket* socket)
    : TIOThread(createSuspended)
    , Socket(socket)
{
    StartIfNotSuspended();
}

void TIOThreadSocketConnect::Execute()
{
    // Whether it worked is read from the socket afterwards.
    Socket->Open();
}

uint32_t TickCount32()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool ConnectWithTimeout(TIOClientSocket* socket)
{
    if (!socket)
        return false;
    TBusyCursor busy;
    const uint32_t start = TickCount32();
    TIOThreadSocketConnect worker(true, socket);
    worker.Start();
    while (!worker.Done.load(std::memory_order_acquire)) {
        // Closed again on every pass past the limit: a close that comes
        // before the worker has begun its open finds nothing to end, and the
        // open would then wait for the system's own connect timeout.
        if (TimeLimitPassed(TicksElapsed(start, TickCount32()), SocketTimeout.load()))
            socket->Close();
        WaitPass(worker);
    }
    return socket->IsOpen();
}
