#include "admin/comm/ioThreadSocketRW.h"

#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioModbus.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Between two calls of an exchange: window events first when on the
// user-interface thread, then 1 ms.
void ExchangePause()
{
    ProcessUiEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace

int ExchangeOnSocket(
    TIOClientSocket* socket, const uint8_t* request, int requestSize, uint8_t* reply, int replySize, int timeout)
{
    if (!socket || (requestSize > 0 && !request) || (replySize > 0 && !reply))
        return -1;
    TIOSocketStream stream(socket, timeout);

    int sent = 0;
    while (socket->IsOpen()) {
        int n = stream.Write(request + sent, std::min(requestSize - sent, ExchangeChunk));
        if (n < 0) {
            socket->Close();
            break;
        }
        sent += n;
        if (sent == requestSize || n == 0)
            break;
        ExchangePause();
    }
    if (sent != requestSize)
        return -1;

    int received = 0;
    while (replySize > 0 && socket->IsOpen()) {
        int c = stream.Read(reply + received, std::min(replySize - received, ExchangeChunk));
        if (c < 0) {
            socket->Close();
            break;
        }
        received += c;
        if (received == replySize || c == 0)
            break;
        if (ModbusIsExceptionReply(reply, received))
            break;
        ExchangePause();
    }
    if (replySize <= 0)
        return 0;
    return received == replySize ? replySize : -1;
}

TIOThreadSocketRW::TIOThreadSocketRW(bool createSuspended, int timeout, TIOClientSocket* socket)
    : TIOThread(createSuspended)
    , Timeout(timeout)
    , Socket(socket)
{
    StartIfNotSuspended();
}

void TIOThreadSocketRW::SetBuffers(const uint8_t* request, uint8_t* reply, int requestSize, int replySize)
{
    Request = request;
    Reply = reply;
    RequestSize = requestSize;
    ReplySize = replySize;
}

void TIOThreadSocketRW::Execute()
{
    returnValue = -1;
    returnValue = ExchangeOnSocket(Socket, Request, RequestSize, Reply, ReplySize, Timeout);
}

int RunExchange(
    TIOClientSocket* socket, int timeout, const uint8_t* request, int requestSize, uint8_t* reply, int replySize)
{
    TIOThreadSocketRW worker(true, timeout, socket);
    worker.SetBuffers(request, reply, requestSize, replySize);
    worker.Start();
    while (!worker.Done.load(std::memory_order_acquire))
        WaitPass(worker);
    return worker.returnValue;
}
