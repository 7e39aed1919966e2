// A module's request end to end: frame, identifier, connect, exchange,
// retry on a new connection and the final failure, against a libmodbus
// server and scripted servers on loopback.
#include "admin/comm/ioClientSocket.h"
#include "admin/comm/ioGlobals.h"
#include "admin/comm/ioModbus.h"
#include "admin/comm/tests/testServers.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

namespace {

class Transaction : public testing::Test {
protected:
    void SetUp() override
    {
        RequestCounter = 0;
        m_savedTimeout = SocketTimeout.load();
        SocketTimeout = 1000;
    }
    void TearDown() override
    {
        SocketTimeout = m_savedTimeout;
        AbortRequested = false;
        RequestCounter = 0;
    }
    void Aim(int port)
    {
        m_socket.SetHost("127.0.0.1");
        m_socket.SetPort(port);
    }
    // As a module does it: the final failure closes the connection.
    int Request(unsigned function, unsigned number, uint16_t countOrValue, const uint8_t* data = nullptr,
        bool expectReply = true, bool retry = true, int timeout = 0)
    {
        return ModbusTransaction(
            &m_socket, 1, function, number, countOrValue, data, m_reply, expectReply, timeout, retry, [this] {
                ++m_offline;
                m_socket.Close();
            });
    }
    static uint16_t Tid(const TSeenRequest& r) { return uint16_t(r.frame[0] << 8 | r.frame[1]); }

    TIOClientSocket m_socket;
    uint8_t m_reply[ModbusMaxReplySize] = {};
    int m_offline = 0;
    int m_savedTimeout = 0;
};

TEST_F(Transaction, ReadsInputRegistersFromLibmodbus)
{
    TLibmodbusServer server;
    const uint16_t values[5] = { 0x5C3E, 0x910A, 0xD762, 0xB418, 0xEF27 };
    for (int i = 0; i < 5; ++i)
        server.map->tab_input_registers[0x2503 + i] = values[i];
    Aim(server.Port());
    ASSERT_EQ(Request(4, 0x2504, 5), 19);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].frame, (TBytes { 0, 0, 0, 0, 0, 6, 1, 4, 0x25, 0x03, 0, 5 }));
    const TBytes data(m_reply + 9, m_reply + 19);
    EXPECT_EQ(data, (TBytes { 0x5C, 0x3E, 0x91, 0x0A, 0xD7, 0x62, 0xB4, 0x18, 0xEF, 0x27 }));
    EXPECT_EQ(m_offline, 0);
    EXPECT_TRUE(m_socket.IsOpen());
}

TEST_F(Transaction, IdentifiersCountOnlyRequestsThatPassTheirChecks)
{
    TLibmodbusServer server;
    Aim(server.Port());
    uint8_t regs[250] = {};
    EXPECT_EQ(Request(4, 0x2504, 5), 19);
    EXPECT_EQ(Request(7, 1, 1), -1); // unknown function
    EXPECT_EQ(ModbusLastError(), meBadRequest);
    EXPECT_EQ(Request(4, 1, 126), -1); // too many registers
    EXPECT_EQ(ModbusLastError(), meBadRequest);
    EXPECT_EQ(Request(16, 1, 126, regs), -1);
    EXPECT_EQ(ModbusLastError(), meBadRequest);
    EXPECT_EQ(RequestCounter, 1u);
    EXPECT_EQ(Request(6, 0x3001, 0), 12);
    EXPECT_EQ(Request(16, 0x3002, 4, regs), 12);
    EXPECT_EQ(Request(5, 3, 5), 12);
    const auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 4u);
    for (uint16_t i = 0; i < 4; ++i)
        EXPECT_EQ(Tid(seen[i]), i);
    EXPECT_EQ(server.map->tab_bits[2], 1); // coil 3 on: the value 5 went out as FF 00
    EXPECT_EQ(server.Connections(), 1); // one connection, kept open
}

TEST_F(Transaction, IdentifierWrapsAfter65535)
{
    TLibmodbusServer server;
    Aim(server.Port());
    RequestCounter = 65535;
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(Request(6, 1, uint16_t(i)), 12);
    const auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(Tid(seen[0]), 0xFFFF);
    EXPECT_EQ(Tid(seen[1]), 0);
    EXPECT_EQ(Tid(seen[2]), 0);
    EXPECT_EQ(Tid(seen[3]), 1);
}

TEST_F(Transaction, ReplyBufferTooSmallIsRefused)
{
    TLibmodbusServer server;
    Aim(server.Port());
    uint8_t small[12];
    EXPECT_EQ(ModbusTransaction(&m_socket, 1, 4, 1, 5, nullptr, small, true, 0, true, nullptr), -1);
    EXPECT_EQ(ModbusLastError(), meReplyBufferTooSmall);
    EXPECT_EQ(RequestCounter, 0u);
    EXPECT_TRUE(server.Requests().empty());
}

// How a server answers each attempt, and what the request makes of it.
struct TRetryCase {
    const char* name;
    bool firstFails;
    bool secondFails;
    bool retry;
    int result;
    TModbusError error;
    size_t sent; // requests the server saw
    int connections;
    int offline;
    bool openAfter;
};
void PrintTo(const TRetryCase& c, std::ostream* os)
{
    *os << c.name;
}

const TRetryCase RetryCases[] = {
    { "exceptionRetried", true, true, true, -1, meNoReply, 2, 2, 1, false },
    // Closed all the same: nothing may be left of it for the next request.
    { "exceptionNoRetry", true, true, false, -1, meNoReply, 1, 1, 0, false },
    { "secondAttemptWorks", true, false, true, 12, meOk, 2, 2, 0, true },
    { "firstAttemptWorks", false, false, true, 12, meOk, 1, 1, 0, true },
};

class Retry : public Transaction, public testing::WithParamInterface<TRetryCase> { };

TEST_P(Retry, OnANewConnection)
{
    const TRetryCase& c = GetParam();
    TScriptedServer server([&](const TBytes& r, int connection) {
        bool fail = connection == 0 ? c.firstFails : c.secondFails;
        return TScriptedAnswer { { { ReplyTo(r, fail ? TBytes { 0x88, 1 } : TBytes { 8, 0, 1, 0xFF, 0 }) } } };
    });
    Aim(server.Port());
    EXPECT_EQ(Request(8, 1, 0xFF00, nullptr, true, c.retry), c.result);
    EXPECT_EQ(ModbusLastError(), c.error);
    const auto seen = server.Requests();
    ASSERT_EQ(seen.size(), c.sent);
    for (const auto& s : seen) // the same frame each time, identifier included
        EXPECT_EQ(s.frame, (TBytes { 0, 0, 0, 0, 0, 6, 1, 8, 0, 1, 0xFF, 0 }));
    EXPECT_EQ(server.Connections(), c.connections);
    EXPECT_EQ(m_offline, c.offline);
    EXPECT_EQ(m_socket.IsOpen(), c.openAfter);
    EXPECT_EQ(RequestCounter, 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, Retry, testing::ValuesIn(RetryCases),
    [](const testing::TestParamInfo<TRetryCase>& info) { return std::string(info.param.name); });

TEST_F(Transaction, ServerGoneFailsAfterRetryAndReconnectsLater)
{
    auto server = std::make_unique<TLibmodbusServer>();
    Aim(server->Port());
    ASSERT_EQ(Request(6, 1, 1), 12);
    server->Stop();
    EXPECT_EQ(Request(6, 1, 2), -1);
    EXPECT_EQ(ModbusLastError(), meNoConnection); // the retry's connect
    EXPECT_EQ(m_offline, 1);
    EXPECT_FALSE(m_socket.IsOpen());
    // The next request starts with a fresh connect.
    TLibmodbusServer again;
    Aim(again.Port());
    EXPECT_EQ(Request(6, 1, 3), 12);
    EXPECT_EQ(again.Connections(), 1);
}

// A reply that comes after its time limit (a slow commit, no retry) must not
// be read as the reply to the request after it: matched by length alone,
// it would be, on the same connection.
TEST_F(Transaction, LateReplyIsNotTakenForTheNextRequest)
{
    TScriptedServer server([](const TBytes& r, int) {
        const TBytes echo = ReplyTo(r, TBytes(r.begin() + 7, r.begin() + 12));
        if (r[1] == 0)
            return TScriptedAnswer { { { {}, 600 }, { echo } } };
        return TScriptedAnswer { { { echo } } };
    });
    Aim(server.Port());
    EXPECT_EQ(Request(6, 0x3085, 0, nullptr, true, false, 300), -1);
    EXPECT_EQ(ModbusLastError(), meNoReply);
    EXPECT_EQ(m_offline, 0);
    ASSERT_EQ(Request(6, 0x3001, 0), 12);
    EXPECT_EQ(m_reply[1], 1); // its own identifier
    EXPECT_EQ(m_reply[8], 0x30);
    EXPECT_EQ(m_reply[9], 0x00); // its own register, not the commit's 0x3084
}

TEST_F(Transaction, NoReplyWantedIsZeroOnceWritten)
{
    TScriptedServer server([](const TBytes&, int) { return TScriptedAnswer {}; });
    Aim(server.Port());
    EXPECT_EQ(Request(6, 0x3085, 0, nullptr, false), 0);
    ASSERT_TRUE(server.WaitForRequests(1));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].frame, (TBytes { 0, 0, 0, 0, 0, 6, 1, 6, 0x30, 0x84, 0, 0 }));
}

TEST_F(Transaction, AbortRequestedSendsNothingButUsesAnIdentifier)
{
    TLibmodbusServer server;
    Aim(server.Port());
    ASSERT_EQ(Request(6, 1, 1), 12);
    AbortRequested = true;
    EXPECT_EQ(Request(6, 1, 2), -1);
    EXPECT_EQ(ModbusLastError(), meAborted);
    EXPECT_EQ(RequestCounter, 2u);
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(m_offline, 0);
    EXPECT_TRUE(m_socket.IsOpen());
}

TEST_F(Transaction, NoConnectionGoesOffline)
{
    const struct {
        const char* name;
        int port;
    } cases[] = { { "refused", ClosedPort() } };
    for (const auto& c : cases) {
        m_offline = 0;
        Aim(c.port);
        EXPECT_EQ(Request(8, 1, 0xFF00), -1) << c.name;
        EXPECT_EQ(ModbusLastError(), meNoConnection) << c.name;
        EXPECT_EQ(m_offline, 1) << c.name;
    }
    TDeafListener deaf;
    if (!deaf.Ready())
        GTEST_SKIP() << "no silent port to test with";
    SocketTimeout = 200;
    m_offline = 0;
    Aim(deaf.Port());
    EXPECT_EQ(Request(8, 1, 0xFF00), -1);
    EXPECT_EQ(ModbusLastError(), meNoConnection);
    EXPECT_EQ(m_offline, 1);
}

} // namespace
