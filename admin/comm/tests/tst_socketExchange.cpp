// The client socket, the exchange and the connect and exchange workers,
// over real loopback connections to a libmodbus server and to scripted
// servers that answer short, slowly, with exceptions or not at all.
#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/comm/ioThreadSocketConnect.h"
#include "admin/comm/ioThreadSocketRW.h"
#include "admin/comm/tests/testServers.h"

#include <chrono>
#include <gtest/gtest.h>
#include <modbus/modbus.h>

namespace {

// A real socket that notes the size of every call that moved bytes.
class TWatchedSocket : public TIOClientSocket {
public:
    std::vector<int> writes, reads;
    int Write(const uint8_t* bytes, int size, int waitMs) override
    {
        int n = TIOClientSocket::Write(bytes, size, waitMs);
        writes.push_back(n);
        return n;
    }
    int Read(uint8_t* bytes, int size, int waitMs) override
    {
        int n = TIOClientSocket::Read(bytes, size, waitMs);
        reads.push_back(n);
        return n;
    }
};

void Aim(TIOClientSocket& socket, int port, const char* host = "127.0.0.1")
{
    socket.SetHost(host);
    socket.SetPort(port);
}

TBytes ReadRequest(uint16_t tid)
{
    return { uint8_t(tid >> 8), uint8_t(tid), 0, 0, 0, 6, 1, 4, 0x25, 0x03, 0, 5 };
}

TBytes Slice(const TBytes& b, size_t from, size_t to)
{
    return TBytes(b.begin() + from, b.begin() + to);
}

// ---- answers and what the exchange makes of them ----

struct TReplyCase {
    const char* name;
    // Answer to a read of 5 registers (19 reply bytes).
    std::function<TScriptedAnswer(const TBytes&)> answer;
    int replySize;
    int result;
    std::vector<int> reads; // sizes of the reads, timeouts and ends as 0, errors as -1
    bool staysOpen;
};
void PrintTo(const TReplyCase& c, std::ostream* os)
{
    *os << c.name;
}

TBytes FullReply(const TBytes& request)
{
    return ReplyTo(request, { 4, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 });
}

const TReplyCase ReplyCases[] = {
    { "inOnePiece", [](const TBytes& r) { return TScriptedAnswer { { { FullReply(r) } } }; }, 19, 19, { 19 }, true },
    { "tenThenNine",
        [](const TBytes& r) {
            TBytes f = FullReply(r);
            return TScriptedAnswer { { { Slice(f, 0, 10), 150 }, { Slice(f, 10, 19) } } };
        },
        19, 19, { 10, 9 }, true },
    // Two bytes first: byte 7 is not there yet and must not be looked at.
    { "twoBytesFirst",
        [](const TBytes& r) {
            TBytes f = FullReply(r);
            return TScriptedAnswer { { { Slice(f, 0, 2), 150 }, { Slice(f, 2, 19) } } };
        },
        19, 19, { 2, 17 }, true },
    { "stopsAfter15", [](const TBytes& r) { return TScriptedAnswer { { { Slice(FullReply(r), 0, 15) } } }; }, 19, -1,
        { 15, 0 }, true },
    // The three bytes after the exception are never read.
    { "exceptionThenMore",
        [](const TBytes& r) {
            return TScriptedAnswer { { { ReplyTo(r, { 0x84, 2 }), 300 }, { { 1, 2, 3 } } } };
        },
        12, -1, { 9 }, true },
    { "peerClosesHalfway",
        [](const TBytes& r) {
            return TScriptedAnswer { { { Slice(FullReply(r), 0, 5) } }, true };
        },
        19, -1, { 5, 0 }, true },
    // A socket error closes the socket.
    { "peerResets",
        [](const TBytes&) {
            return TScriptedAnswer { {}, false, true };
        },
        19, -1, { -1 }, false },
    { "noReplyWanted", [](const TBytes&) { return TScriptedAnswer {}; }, 0, 0, {}, true },
};

class Exchange : public testing::TestWithParam<TReplyCase> { };

TEST_P(Exchange, AssemblesOrRefusesTheReply)
{
    const TReplyCase& c = GetParam();
    TScriptedServer server([&](const TBytes& r, int) { return c.answer(r); });
    TWatchedSocket socket;
    Aim(socket, server.Port());
    ASSERT_TRUE(socket.Open()) << socket.LastError();

    const TBytes request = ReadRequest(0x0102);
    uint8_t reply[64];
    std::fill(std::begin(reply), std::end(reply), 0xFF); // stale bytes with bit 7 set
    EXPECT_EQ(ExchangeOnSocket(&socket, request.data(), int(request.size()), reply, c.replySize, 400), c.result);
    EXPECT_EQ(socket.reads, c.reads);
    EXPECT_EQ(socket.writes, std::vector<int> { 12 });
    EXPECT_EQ(socket.IsOpen(), c.staysOpen);
    if (c.result > 0) {
        EXPECT_EQ(TBytes(reply, reply + c.result), FullReply(request));
    }
    ASSERT_TRUE(server.WaitForRequests(1));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].frame, request);
}

INSTANTIATE_TEST_SUITE_P(Answers, Exchange, testing::ValuesIn(ReplyCases),
    [](const testing::TestParamInfo<TReplyCase>& info) { return std::string(info.param.name); });

TEST(ExchangeWrite, LargestRequestGoesIn256And7)
{
    TScriptedServer server(
        [](const TBytes& r, int) { return TScriptedAnswer { { { ReplyTo(r, Slice(r, 7, 12)) } } }; });
    TWatchedSocket socket;
    Aim(socket, server.Port());
    ASSERT_TRUE(socket.Open());
    TBytes request = { 0, 9, 0, 0, 0x01, 0x01, 1, 16, 0x30, 0x10, 0, 125, 250 };
    for (int i = 0; i < 250; ++i)
        request.push_back(uint8_t(i));
    uint8_t reply[12];
    EXPECT_EQ(RunExchange(&socket, 1000, request.data(), int(request.size()), reply, 12), 12);
    EXPECT_EQ(socket.writes, (std::vector<int> { 256, 7 }));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].frame, request);
}

TEST(ExchangeWorker, RunsAgainstLibmodbus)
{
    TLibmodbusServer server;
    for (int i = 0; i < 5; ++i)
        server.map->tab_input_registers[0x2503 + i] = uint16_t(0x1100 + i);
    TIOClientSocket socket;
    Aim(socket, server.Port());
    ASSERT_TRUE(ConnectWithTimeout(&socket));
    uint8_t reply[19] = {};
    for (uint16_t tid = 0; tid < 3; ++tid) {
        const TBytes request = ReadRequest(tid);
        ASSERT_EQ(RunExchange(&socket, 1000, request.data(), 12, reply, 19), 19);
        EXPECT_EQ(reply[1], tid);
        EXPECT_EQ(reply[7], 4);
        EXPECT_EQ(reply[8], 10);
        EXPECT_EQ(reply[9], 0x11);
        EXPECT_EQ(reply[18], 4);
    }
    EXPECT_EQ(server.Connections(), 1);
}

// ---- opening within the time limit ----

class Connect : public testing::Test {
protected:
    void SetUp() override { m_saved = SocketTimeout.load(); }
    void TearDown() override { SocketTimeout = m_saved; }
    int m_saved = 0;
};

TEST_F(Connect, OpensOrFailsByWhatIsThere)
{
    TLibmodbusServer server;
    const struct {
        const char* name;
        std::string host;
        int port;
        bool opens;
    } cases[] = {
        { "accepting", "127.0.0.1", server.Port(), true },
        { "byName", "localhost", server.Port(), true },
        { "refused", "127.0.0.1", ClosedPort(), false },
        { "noHost", "", server.Port(), false },
    };
    for (const auto& c : cases) {
        TIOClientSocket socket;
        Aim(socket, c.port, c.host.c_str());
        EXPECT_EQ(ConnectWithTimeout(&socket), c.opens) << c.name << ": " << socket.LastError();
        EXPECT_EQ(socket.IsOpen(), c.opens) << c.name;
    }
}

TEST_F(Connect, SilentHostIsAbandonedAfterTheLimit)
{
    TDeafListener deaf;
    if (!deaf.Ready())
        GTEST_SKIP() << "the kernel answered every connection attempt; no silent port to test with";
    // -1: the limit has passed before the worker even begins its open, so
    // the first close may come before the open and must not be lost; that
    // race is won only now and then, hence the repeats.
    std::vector<int> limits { 300, 0 };
    limits.insert(limits.end(), 20, -1);
    for (const int limit : limits) {
        SocketTimeout = limit;
        TIOClientSocket socket;
        Aim(socket, deaf.Port());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(ConnectWithTimeout(&socket)) << limit;
        const auto ms
            = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_FALSE(socket.IsOpen()) << limit;
        // Ended by the close at the limit, not refused.
        EXPECT_EQ(socket.LastError(), "socket closed") << limit;
        std::printf("silent host abandoned after %lld ms (limit %d)\n", static_cast<long long>(ms), limit);
        // Not given up before its time: the limit is a lower bound too.
        EXPECT_GE(ms, limit) << "abandoned before the limit";

        // The same socket opens again once there is someone to talk to.
        SocketTimeout = 5000;
        TLibmodbusServer server;
        Aim(socket, server.Port());
        EXPECT_TRUE(ConnectWithTimeout(&socket)) << limit;
    }
}

TEST(SocketClose, FromAnotherThreadEndsAPendingRead)
{
    TScriptedServer server([](const TBytes&, int) { return TScriptedAnswer {}; });
    TIOClientSocket socket;
    Aim(socket, server.Port());
    ASSERT_TRUE(socket.Open());
    TIOThreadSocketRW worker(true, 60000, &socket);
    const TBytes request = ReadRequest(1);
    uint8_t reply[19];
    worker.SetBuffers(request.data(), reply, 12, 19);
    worker.Start();
    // Wait until the request is at the server, so the worker is reading.
    ASSERT_TRUE(server.WaitForRequests(1));
    socket.Close();
    // Well inside the worker's own 60 s wait.
    EXPECT_TRUE(worker.WaitDone(20000));
    ASSERT_TRUE(worker.Done.load(std::memory_order_acquire));
    EXPECT_EQ(worker.returnValue, -1);
    EXPECT_FALSE(socket.IsOpen());
}

} // namespace
