// twinlane-sim as a process on loopback, checked with clients not written
// here (mbpoll, libmodbus) and with plain sockets where bytes matter. The
// whole program runs in a network namespace of its own with only loopback.
#include "lab/testsupport/twlTestSupport.h"
#include "sim/simTypes.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <numeric>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

using namespace twltest;

namespace {

const auto* const g_network = ::testing::AddGlobalTestEnvironment(new PrivateNetwork);

// The five password registers as mbpoll prints them, in order.
std::vector<std::string> mbpollPasswordRegisters(const SimProcess& sim)
{
    std::string out;
    const int rc = RunProgram("mbpoll",
        { "-m", "tcp", "-p", std::to_string(sim.modbusPort()), "-a", "1", "-t", "3:hex", "-r", "0x2504", "-c", "5",
            "-1", "-o", "5", sim.host() },
        &out);
    EXPECT_EQ(rc, 0) << out;
    std::vector<std::string> values;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto at = line.find("]: \t0x");
        if (line.rfind("[", 0) == 0 && at != std::string::npos)
            values.push_back(line.substr(at + 6, 4));
    }
    return values;
}

struct ModbusClient {
    modbus_t* ctx = nullptr;
    ModbusClient(const SimProcess& sim)
    {
        ctx = modbus_new_tcp(sim.host().c_str(), sim.modbusPort());
        modbus_set_slave(ctx, 1);
        modbus_set_response_timeout(ctx, 10, 0);
    }
    ~ModbusClient()
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
    bool connect() { return modbus_connect(ctx) == 0; }
    // A diagnostics request through libmodbus's raw path; the reply after the header.
    std::vector<uint8_t> diagnostics(uint16_t sub, uint16_t data)
    {
        const uint8_t pdu[] = { 1, 0x08, uint8_t(sub >> 8), uint8_t(sub), uint8_t(data >> 8), uint8_t(data) };
        if (modbus_send_raw_request(ctx, pdu, sizeof pdu) < 0)
            return {};
        // libmodbus sizes a reply by its function code and knows no
        // diagnostics, so the reply is read by its header's length field.
        const int fd = modbus_get_socket(ctx);
        const auto header = ReadBytes(fd, 6, 10000);
        if (header.size() != 6)
            return {};
        const auto rest = ReadBytes(fd, size_t(header[4] << 8 | header[5]), 10000);
        return rest.empty() ? rest : std::vector<uint8_t>(rest.begin() + 1, rest.end());
    }
};

bool connectionDropped(int fd)
{
    bool closed = false;
    ReadBytes(fd, 1, 20000, &closed);
    return closed;
}

} // namespace

TEST(SimServer, MbpollReadsThePasswordRegisters)
{
    const struct {
        const char* name;
        std::string flagPassword;
        std::string controlPassword; // set at run time when not "-"
        std::vector<std::string> registers;
    } rows[] = {
        { "empty", "", "-", { "5C3E", "910A", "D762", "B418", "EF27" } },
        { "three characters", "abc", "-", { "BDA0", "F40A", "D762", "B418", "EF27" } },
        { "ten characters", "0123456789", "-", { "8C6F", "C33D", "0B97", "EA4F", "2760" } },
        { "changed by command", "0123456789", "abc", { "BDA0", "F40A", "D762", "B418", "EF27" } },
        { "cleared by command", "abc", "", { "5C3E", "910A", "D762", "B418", "EF27" } },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SimProcess sim({ "--password", row.flagPassword }, false);
        ASSERT_TRUE(sim.started()) << sim.output();
        if (row.controlPassword != "-") {
            ASSERT_EQ(sim.control("password " + row.controlPassword), "ok");
        }
        EXPECT_EQ(mbpollPasswordRegisters(sim), row.registers);
    }
}

TEST(SimServer, RestartDropsConnectionsStaysAwayAndComesBackWithAWarmStart)
{
    const struct {
        const char* name;
        uint16_t data;
        const char* addressAfter;
        const char* passwordLengthAfter;
    } rows[] = {
        { "restart", 0xFF00, "10.1.2.3", "3" },
        { "factory reset", 0x55AA, "0.0.0.0", "0" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SimProcess sim({ "--ip", "10.1.2.3", "--password", "abc", "--restart-time", "4000" });
        ASSERT_TRUE(sim.started()) << sim.output();
        auto cold = sim.alarms()->next();
        ASSERT_TRUE(cold);
        EXPECT_EQ((*cold)[1], 0); // Cold Start

        ModbusClient a(sim), b(sim);
        ASSERT_TRUE(a.connect());
        ASSERT_TRUE(b.connect());
        EXPECT_EQ(a.diagnostics(1, row.data),
            (std::vector<uint8_t> { 0x08, 0, 1, uint8_t(row.data >> 8), uint8_t(row.data) }));
        EXPECT_TRUE(connectionDropped(modbus_get_socket(a.ctx)));
        EXPECT_TRUE(connectionDropped(modbus_get_socket(b.ctx)));
        int error = 0;
        EXPECT_EQ(ConnectTcp(sim.host(), sim.modbusPort(), &error), -1);
        EXPECT_EQ(error, ECONNREFUSED);
        EXPECT_EQ(sim.status("state"), "restarting");

        auto warm = sim.alarms()->next();
        ASSERT_TRUE(warm);
        EXPECT_EQ((*warm)[1], 1); // Warm Start, sent when it is back
        ModbusClient c(sim);
        EXPECT_TRUE(c.connect());
        EXPECT_EQ(sim.status("address"), row.addressAfter);
        EXPECT_EQ(sim.status("password"), row.passwordLengthAfter);
        EXPECT_EQ(sim.status("restarts"), "1");
        // The reply says where the alarm came from.
        const auto source = sim::ParseIpv4(row.addressAfter);
        EXPECT_TRUE(std::equal(source->begin(), source->end(), warm->begin() + 49));
    }
}

TEST(SimServer, DiagnosticsWithOtherDataIsAnExceptionAndNoRestart)
{
    SimProcess sim({}, false);
    ASSERT_TRUE(sim.started()) << sim.output();
    ModbusClient client(sim);
    ASSERT_TRUE(client.connect());
    EXPECT_EQ(client.diagnostics(1, 0x1234), (std::vector<uint8_t> { 0x88, 0x03 }));
    EXPECT_EQ(client.diagnostics(4, 0xFF00), (std::vector<uint8_t> { 0x88, 0x01 }));
    EXPECT_EQ(sim.status("restarts"), "0");
}

TEST(SimServer, OversizedAndNonModbusFramesGetNoBrokenReplies)
{
    SimProcess sim({}, false);
    ASSERT_TRUE(sim.started()) << sim.output();
    const int fd = ConnectTcp(sim.host(), sim.modbusPort());
    ASSERT_GE(fd, 0);
    // 125 registers: more than Modbus allows in one write, answered with an exception.
    std::vector<uint8_t> big = Hex("00 11 00 00 01 01 01 10 30 10 00 7D FA");
    big.resize(263, 0xAB);
    ASSERT_TRUE(SendAll(fd, big));
    EXPECT_EQ(ReadBytes(fd, 9, 10000), Hex("00 11 00 00 00 03 01 90 03"));
    // Another protocol identifier is not Modbus: logged, not answered; the
    // next frame on the connection is served.
    ASSERT_TRUE(SendAll(fd, Hex("00 12 00 01 00 06 01 04 25 03 00 05 00 13 00 00 00 06 01 04 25 03 00 05")));
    const auto reply = ReadBytes(fd, 19, 10000);
    ASSERT_EQ(reply.size(), 19u);
    EXPECT_EQ(reply[1], 0x13);
    close(fd);
    EXPECT_EQ(sim.frameLog().size(), 3u);
}

TEST(SimServer, ReplyReachesAClientThatClosedItsSendingSide)
{
    SimProcess sim({ "--fault", "delay 200" }, false);
    ASSERT_TRUE(sim.started()) << sim.output();
    const int fd = ConnectTcp(sim.host(), sim.modbusPort());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd, Hex("00 01 00 00 00 06 01 04 25 03 00 05")));
    shutdown(fd, SHUT_WR);
    bool closed = false;
    EXPECT_EQ(ReadBytes(fd, 19, 10000, &closed).size(), 19u);
    EXPECT_TRUE(connectionDropped(fd));
    close(fd);
}

TEST(SimServer, AddressChangeTakesEffectAtTheRestartAndFramesAreLoggedByteForByte)
{
    SimProcess sim({ "--ip", "192.168.127.254", "--restart-time", "200" }, false);
    ASSERT_TRUE(sim.started()) << sim.output();
    const std::string setIp = "00 3E 00 00 00 0B 01 10 10 22 00 02 04 0A 00 00 05";
    const std::string restart = "00 3D 00 00 00 06 01 08 00 01 FF 00";
    const int fd = ConnectTcp(sim.host(), sim.modbusPort());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd, Hex(setIp)));
    EXPECT_EQ(ReadBytes(fd, 12, 10000), Hex("00 3E 00 00 00 06 01 10 10 22 00 02"));
    EXPECT_EQ(sim.status("pending"), "10.0.0.5");
    EXPECT_EQ(sim.status("address"), "192.168.127.254");
    ASSERT_TRUE(SendAll(fd, Hex(restart)));
    EXPECT_EQ(ReadBytes(fd, 12, 10000), Hex(restart));
    EXPECT_TRUE(connectionDropped(fd));
    close(fd);
    EXPECT_TRUE(WaitFor([&] { return sim.status("state") == "up"; }));
    EXPECT_EQ(sim.status("address"), "10.0.0.5");
    EXPECT_EQ(sim.status("pending"), "-");
    EXPECT_EQ(sim.frameLog(), (std::vector<std::string> { setIp, restart }));
}

namespace {

std::vector<uint16_t> registers(const std::vector<uint8_t>& bytes)
{
    std::vector<uint16_t> out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.push_back(uint16_t(bytes[i] << 8 | bytes[i + 1]));
    return out;
}

uint16_t crc16(const std::vector<uint8_t>& data)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

enum class Mistake { None, WrongCrc, TypeBeforeLength };

// Sends one record the way a firmware download does; returns the failing
// step's number (1..7) or 0 when the record was taken.
int sendRecord(modbus_t* ctx, const std::vector<uint8_t>& data, int type, Mistake mistake)
{
    if (modbus_write_register(ctx, 0x3000, 0) != 1)
        return 1;
    const std::vector<uint8_t> unlock { 'J', 'w', 'o', 'P', 'e', 'x', 'e', 0 };
    if (modbus_write_registers(ctx, 0x3001, 4, registers(unlock).data()) != 4)
        return 2;
    const uint32_t l = uint32_t(data.size());
    const auto length = registers({ uint8_t(l), uint8_t(l >> 8), uint8_t(l >> 16), uint8_t(l >> 24) });
    const auto typeRegister = registers({ uint8_t(type), 0 });
    if (mistake == Mistake::TypeBeforeLength) {
        if (modbus_write_registers(ctx, 0x300F, 1, typeRegister.data()) != 1)
            return 4;
    }
    if (modbus_write_registers(ctx, 0x300D, 2, length.data()) != 2)
        return 3;
    if (modbus_write_registers(ctx, 0x300F, 1, typeRegister.data()) != 1)
        return 4;
    std::vector<uint8_t> even = data;
    if (even.size() % 2)
        even.push_back(0);
    for (size_t at = 0; at < even.size(); at += 230) {
        const size_t n = std::min<size_t>(230, even.size() - at);
        const auto part = registers(std::vector<uint8_t>(even.begin() + at, even.begin() + at + n));
        if (modbus_write_registers(ctx, 0x3010, int(part.size()), part.data()) != int(part.size()))
            return 5;
    }
    const uint16_t crc = crc16(data) + (mistake == Mistake::WrongCrc ? 1 : 0);
    if (modbus_write_register(ctx, 0x3083, crc) != 1)
        return 6;
    if (modbus_write_register(ctx, 0x3084, 0) != 1)
        return 7;
    return 0;
}

} // namespace

TEST(SimServer, FirmwareDownloadTakesGoodRecordsAndRefusesBadOnes)
{
    std::vector<uint8_t> big(500);
    std::iota(big.begin(), big.end(), uint8_t(3));
    const struct {
        const char* name;
        Mistake mistake;
        int failingStep;
        const char* records;
    } rows[] = {
        { "good records", Mistake::None, 0, "2" },
        { "wrong CRC", Mistake::WrongCrc, 7, "0" },
        { "type before length", Mistake::TypeBeforeLength, 4, "0" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SimProcess sim({ "--commit-delay", "300" }, false);
        ASSERT_TRUE(sim.started()) << sim.output();
        ModbusClient client(sim);
        ASSERT_TRUE(client.connect());
        int failed = sendRecord(client.ctx, { 1, 2, 3, 4, 5 }, 1, row.mistake);
        if (failed == 0)
            failed = sendRecord(client.ctx, big, 3, row.mistake);
        EXPECT_EQ(failed, row.failingStep);
        if (failed) {
            EXPECT_EQ(errno, EMBXSFAIL);
        }
        EXPECT_EQ(sim.status("records"), row.records);
        // Abandoning works from any state.
        EXPECT_EQ(modbus_write_register(client.ctx, 0x3000, 0), 1);
        EXPECT_EQ(sim.status("firmware"), "ready");
    }
}

// The fault aimed at the data of record 2 fires there and nowhere else: not
// at record 1's data, not at the rest of record 2, not at its retry.
TEST(SimServer, AimedFaultHitsTheDataOfRecordTwoOnly)
{
    std::vector<uint8_t> big(500);
    std::iota(big.begin(), big.end(), uint8_t(3));
    const struct {
        const char* plan;
        bool atRunTime;
        bool dropped; // else answered with exception 3
    } rows[] = {
        { "drop fn 16 addr 0x3010 nth 2 once", false, true },
        { "drop fn 16 addr 0x3010 nth 2 once", true, true },
        { "exception 3 fn 0x10 addr 0x3010 nth 2 once", true, false },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.plan) + (row.atRunTime ? " (command)" : " (flag)"));
        std::vector<std::string> args { "--commit-delay", "0" };
        if (!row.atRunTime)
            args.insert(args.end(), { "--fault", row.plan });
        SimProcess sim(args, false);
        ASSERT_TRUE(sim.started()) << sim.output();
        if (row.atRunTime) {
            ASSERT_EQ(sim.control(std::string("fault ") + row.plan), "ok");
        }
        ModbusClient client(sim);
        ASSERT_TRUE(client.connect());
        EXPECT_EQ(sendRecord(client.ctx, { 1, 2, 3, 4, 5 }, 1, Mistake::None), 0);
        // One matching request seen, the plan waits for the next.
        EXPECT_EQ(sim.status("fault").substr(sim.status("fault").find(" fn ")), " fn 16 addr 0x3010 count 1");
        EXPECT_EQ(sendRecord(client.ctx, big, 3, Mistake::None), 5); // its first data write
        if (row.dropped) {
            EXPECT_TRUE(connectionDropped(modbus_get_socket(client.ctx)));
            modbus_close(client.ctx);
            ASSERT_TRUE(client.connect());
        } else {
            EXPECT_EQ(errno, EMBXILVAL);
        }
        EXPECT_EQ(sim.status("fault"), "none");
        EXPECT_EQ(sendRecord(client.ctx, big, 3, Mistake::None), 0);
        EXPECT_EQ(sim.status("records"), "2");
        // Every data write reached the server, the faulted one included.
        int dataWrites = 0;
        for (const std::string& line : sim.frameLog())
            dataWrites += line.find(" 01 10 30 10 ") != std::string::npos;
        EXPECT_EQ(dataWrites, 1 + 1 + 3);
    }
}

// The restart that follows an address write gets the exception; the address
// write before it and the restart asked for again are served.
TEST(SimServer, AimedExceptionHitsTheRestartOnly)
{
    SimProcess sim({ "--ip", "10.1.2.3", "--fault", "exception 4 fn 8 once", "--restart-time", "100" }, false);
    ASSERT_TRUE(sim.started()) << sim.output();
    ModbusClient client(sim);
    ASSERT_TRUE(client.connect());
    const uint16_t address[] = { 0x0A00, 0x0005 };
    EXPECT_EQ(modbus_write_registers(client.ctx, 0x1022, 2, address), 2);
    EXPECT_EQ(client.diagnostics(1, 0xFF00), (std::vector<uint8_t> { 0x88, 0x04 }));
    EXPECT_EQ(sim.status("restarts"), "0");
    EXPECT_EQ(sim.status("fault"), "none");
    EXPECT_EQ(client.diagnostics(1, 0xFF00), (std::vector<uint8_t> { 0x08, 0, 1, 0xFF, 0 }));
    EXPECT_TRUE(connectionDropped(modbus_get_socket(client.ctx)));
    EXPECT_TRUE(WaitFor([&] { return sim.status("state") == "up" && sim.status("restarts") == "1"; }));
    EXPECT_EQ(sim.status("address"), "10.0.0.5");
}

TEST(SimServer, CommitDelayPerRecordTypeAtStartAndRunTime)
{
    SimProcess sim({ "--commit-delay", "0", "--commit-delay", "3:0x10" }, false);
    ASSERT_TRUE(sim.started()) << sim.output();
    EXPECT_EQ(sim.status("commit-delay"), "0,3:16");
    EXPECT_EQ(sim.control("commit-delay 5:250"), "ok");
    EXPECT_EQ(sim.control("commit-delay 20"), "ok");
    EXPECT_EQ(sim.status("commit-delay"), "20,3:16,5:250");
    EXPECT_EQ(sim.control("commit-delay 9:1").rfind("error ", 0), 0u);
    EXPECT_EQ(sim.control("commit-delay").rfind("error ", 0), 0u);
    ModbusClient client(sim);
    ASSERT_TRUE(client.connect());
    EXPECT_EQ(sendRecord(client.ctx, { 1, 2, 3 }, 5, Mistake::None), 0);
    EXPECT_EQ(sim.status("records"), "1");
}

TEST(SimServer, FaultsShapeTheReplies)
{
    enum class Expect { Whole, Trickled, Cut5, Exception6, Dropped, Silent, Refused, DroppedOnceThenWhole };
    const struct {
        const char* fault;
        bool atRunTime;
        Expect expect;
    } rows[] = {
        { "delay 300", false, Expect::Whole },
        { "trickle 30", false, Expect::Trickled },
        { "trickle 30", true, Expect::Trickled },
        { "cut 5", false, Expect::Cut5 },
        { "exception 6", true, Expect::Exception6 },
        { "drop", false, Expect::Dropped },
        { "silence", true, Expect::Silent },
        { "refuse", false, Expect::Refused },
        { "refuse", true, Expect::Refused },
        { "drop count 1", true, Expect::DroppedOnceThenWhole },
        { "none", true, Expect::Whole },
    };
    const auto request = Hex("00 07 00 00 00 06 01 04 25 03 00 05");
    const auto reply = Hex("00 07 00 00 00 0D 01 04 0A 5C 3E 91 0A D7 62 B4 18 EF 27");
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.fault) + (row.atRunTime ? " (command)" : " (flag)"));
        std::vector<std::string> args;
        if (!row.atRunTime)
            args = { "--fault", row.fault };
        SimProcess sim(args, false);
        ASSERT_TRUE(sim.started()) << sim.output();
        if (row.atRunTime) {
            ASSERT_EQ(sim.control(std::string("fault ") + row.fault), "ok");
        }

        int error = 0;
        int fd = ConnectTcp(sim.host(), sim.modbusPort(), &error);
        if (row.expect == Expect::Refused) {
            EXPECT_EQ(fd, -1);
            EXPECT_EQ(error, ECONNREFUSED);
            ASSERT_EQ(sim.control("fault none"), "ok");
            fd = ConnectTcp(sim.host(), sim.modbusPort(), &error);
            EXPECT_GE(fd, 0) << "listening again after \"fault none\"";
            if (fd >= 0)
                close(fd);
            continue;
        }
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(SendAll(fd, request));
        bool closed = false;
        std::vector<size_t> chunks;
        // Where the whole reply or a close must come, a long limit costs
        // nothing and keeps a loaded machine from failing the delayed reply;
        // only the short replies and the silence wait out the short one.
        const bool endsByItself = row.expect == Expect::Whole || row.expect == Expect::Trickled
            || row.expect == Expect::Dropped || row.expect == Expect::DroppedOnceThenWhole;
        const auto got = ReadBytes(fd, reply.size(), endsByItself ? 10000 : 1500, &closed, &chunks);
        switch (row.expect) {
        case Expect::Whole:
            EXPECT_EQ(got, reply);
            break;
        case Expect::Trickled:
            EXPECT_EQ(got, reply);
            EXPECT_GT(chunks.size(), 1u);
            break;
        case Expect::Cut5:
            EXPECT_EQ(got, std::vector<uint8_t>(reply.begin(), reply.begin() + 5));
            EXPECT_FALSE(closed);
            break;
        case Expect::Exception6:
            EXPECT_EQ(got, Hex("00 07 00 00 00 03 01 84 06"));
            break;
        case Expect::Dropped:
            EXPECT_TRUE(got.empty());
            EXPECT_TRUE(closed);
            break;
        case Expect::Silent:
            EXPECT_TRUE(got.empty());
            EXPECT_FALSE(closed);
            break;
        case Expect::DroppedOnceThenWhole: {
            EXPECT_TRUE(got.empty());
            EXPECT_TRUE(closed);
            close(fd);
            fd = ConnectTcp(sim.host(), sim.modbusPort());
            ASSERT_GE(fd, 0);
            ASSERT_TRUE(SendAll(fd, request));
            EXPECT_EQ(ReadBytes(fd, reply.size(), 10000), reply);
            EXPECT_EQ(sim.status("fault"), "none");
            break;
        }
        case Expect::Refused:
            break;
        }
        close(fd);
        EXPECT_EQ(sim.frameLog(),
            std::vector<std::string>(
                row.expect == Expect::DroppedOnceThenWhole ? 2 : 1, "00 07 00 00 00 06 01 04 25 03 00 05"));
    }
}

TEST(SimServer, ConsoleIsServedOverHttp)
{
    SimProcess sim(
        { "--name", "Hall 3", "--ip", "10.1.2.3", "--mac", "02:11:22:33:44:55", "--firmware-version", "2.1" }, false);
    ASSERT_TRUE(sim.started()) << sim.output();
    const std::string status = HttpGet(sim.host(), sim.httpPort(), "/");
    EXPECT_EQ(status.rfind("HTTP/1.1 200", 0), 0u) << status;
    for (const char* part : { "Hall 3", "10.1.2.3", "02-11-22-33-44-55", ">2.1<", "target=\"_blank\"" })
        EXPECT_NE(status.find(part), std::string::npos) << part;
    const std::string popup = HttpGet(sim.host(), sim.httpPort(), "/popup");
    EXPECT_NE(popup.find("href=\"/close\""), std::string::npos);
    const std::string closing = HttpGet(sim.host(), sim.httpPort(), "/close");
    EXPECT_NE(closing.find("window.close()"), std::string::npos);
    EXPECT_EQ(HttpGet(sim.host(), sim.httpPort(), "/missing").rfind("HTTP/1.1 404", 0), 0u);
}

TEST(SimServer, AlarmsOnCommand)
{
    SimProcess sim({ "--name", "Peer A", "--ip", "10.1.2.3" });
    ASSERT_TRUE(sim.started()) << sim.output();
    const struct {
        const char* command;
        const char* reply;
        int type; // -1: no alarm
        uint8_t destinationLast;
    } rows[] = {
        { "alarm offline 10.9.8.7", "ok", 2, 7 },
        { "alarm online 10.9.8.6", "ok", 3, 6 },
        { "alarm warmstart", "ok", 1, 0 },
        { "alarm offline", "error alarm offline needs a destination address", -1, 0 },
        { "alarm offline 10.9.8", "error alarm offline needs a destination address", -1, 0 },
        { "alarm sometimes", "error unknown alarm: sometimes", -1, 0 },
    };
    auto cold = sim.alarms()->next();
    ASSERT_TRUE(cold);
    EXPECT_EQ((*cold)[1], 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(sim.control(row.command), row.reply);
        if (row.type < 0)
            continue;
        const auto m = sim.alarms()->next();
        ASSERT_TRUE(m);
        EXPECT_EQ((*m)[0], 1);
        EXPECT_EQ((*m)[1], row.type);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(m->data() + 9)), "Peer A");
        EXPECT_EQ((*m)[52], 3);
        EXPECT_EQ((*m)[56], row.destinationLast);
        EXPECT_EQ(std::accumulate(m->begin(), m->end(), 0u) % 256, 0u);
    }
    EXPECT_EQ(sim.status("alarms"), "4");
}

TEST(SimServer, ControlChannelRefusesBadCommands)
{
    SimProcess sim({}, false);
    ASSERT_TRUE(sim.started()) << sim.output();
    const std::pair<const char*, const char*> rows[] = {
        { "fly", "error unknown command: fly" },
        { "fault fly", "error unknown fault mode: fly" },
        { "password 01234567890", "error a password has at most 10 characters" },
        { "alarm offline 10.0.0.1", "error no alarm host configured" },
    };
    for (const auto& [command, reply] : rows)
        EXPECT_EQ(sim.control(command), reply) << command;
    EXPECT_EQ(sim.status("state"), "up");
}

TEST(SimServer, BadFlagsAreRefused)
{
    const std::vector<std::string> rows[] = {
        { "--password", "01234567890" },
        { "--ip", "1.2.3" },
        { "--mac", "02:00:00:00:00" },
        { "--fault", "fly" },
        { "--port", "70000" },
        { "--manage-interface" },
    };
    for (const auto& row : rows) {
        std::string joined;
        for (const auto& a : row)
            joined += a + " ";
        SCOPED_TRACE(joined);
        std::string out;
        EXPECT_EQ(RunSimToRefusal(row, &out), 2) << out;
    }
}
