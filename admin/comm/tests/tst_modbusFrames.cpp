// Request frames, reply sizes, the identifier counter, CRC-16 and the tick
// arithmetic: pure functions, checked against the protocol's own examples.
#include "admin/comm/ioModbus.h"
#include "admin/comm/ioThreadSocketConnect.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Hex(const std::string& text)
{
    TBytes out;
    for (size_t i = 0; i + 1 < text.size() + 1; ++i) {
        if (text[i] == ' ')
            continue;
        out.push_back(uint8_t(std::stoul(text.substr(i, 2), nullptr, 16)));
        ++i;
    }
    return out;
}

struct TFrameCase {
    const char* name;
    uint16_t tid;
    unsigned function;
    unsigned number;
    uint16_t countOrValue;
    int dataBytes; // data supplied to 15 and 16; -1 for none
    const char* head; // expected first bytes, hex
    int size;
    int replySize;
};
void PrintTo(const TFrameCase& c, std::ostream* os)
{
    *os << c.name;
}

const TFrameCase FrameCases[] = {
    { "read5InputRegisters", 0, 4, 0x2504, 5, -1, "00 00 00 00 00 06 01 04 25 03 00 05", 12, 19 },
    { "diagnosticsKeepsSubFunction", 0x1234, 8, 1, 0xFF00, -1, "12 34 00 00 00 06 01 08 00 01 FF 00", 12, 12 },
    { "diagnosticsReset", 7, 8, 1, 0x55AA, -1, "00 07 00 00 00 06 01 08 00 01 55 AA", 12, 12 },
    { "writeCoilNonZeroIsOn", 1, 5, 10, 5, -1, "00 01 00 00 00 06 01 05 00 09 FF 00", 12, 12 },
    { "writeCoilZeroIsOff", 1, 5, 10, 0, -1, "00 01 00 00 00 06 01 05 00 09 00 00", 12, 12 },
    { "writeRegister", 2, 6, 0x3001, 0, -1, "00 02 00 00 00 06 01 06 30 00 00 00", 12, 12 },
    { "readCoilsRoundsUp", 3, 1, 1, 9, -1, "00 03 00 00 00 06 01 01 00 00 00 09", 12, 11 },
    { "readInputs2000", 3, 2, 1, 2000, -1, "00 03 00 00 00 06 01 02 00 00 07 D0", 12, 259 },
    { "readHolding125", 3, 3, 1, 125, -1, "00 03 00 00 00 06 01 03 00 00 00 7D", 12, 259 },
    { "writeCoils10", 4, 15, 1, 10, 2, "00 04 00 00 00 09 01 0F 00 00 00 0A 02", 15, 12 },
    { "writeCoils800", 4, 15, 1, 800, 100, "00 04 00 00 00 6B 01 0F 00 00 03 20 64", 113, 12 },
    { "writeRegisters125", 5, 16, 0x3011, 125, 250, "00 05 00 00 01 01 01 10 30 10 00 7D FA", 263, 12 },
};

class ModbusFrame : public testing::TestWithParam<TFrameCase> { };

TEST_P(ModbusFrame, BuildsTheBytesOfTheTable)
{
    const TFrameCase& c = GetParam();
    TBytes data(c.dataBytes > 0 ? c.dataBytes : 0);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + 1);
    TModbusFrame frame;
    ASSERT_TRUE(ModbusBuildRequest(
        c.tid, 1, c.function, c.number, c.countOrValue, c.dataBytes >= 0 ? data.data() : nullptr, frame));
    const TBytes head = Hex(c.head);
    EXPECT_EQ(TBytes(frame.Bytes, frame.Bytes + head.size()), head);
    EXPECT_EQ(frame.Size, c.size);
    EXPECT_EQ(frame.ReplySize, c.replySize);
    EXPECT_EQ(ModbusReplySize(c.function, c.countOrValue), c.replySize);
    // The data go out unchanged after the byte count.
    if (c.dataBytes > 0) {
        EXPECT_EQ(TBytes(frame.Bytes + 13, frame.Bytes + frame.Size), data);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ModbusFrame, testing::ValuesIn(FrameCases),
    [](const testing::TestParamInfo<TFrameCase>& info) { return std::string(info.param.name); });

struct TRefusedCase {
    const char* name;
    unsigned function;
    uint16_t count;
    bool withData;
};
void PrintTo(const TRefusedCase& c, std::ostream* os)
{
    *os << c.name;
}

const TRefusedCase RefusedCases[] = {
    { "function7", 7, 1, false },
    { "function0", 0, 1, false },
    { "function17", 17, 1, false },
    { "read0Registers", 4, 0, false },
    { "read126Registers", 4, 126, false },
    { "read126Holding", 3, 126, false },
    { "read2001Coils", 1, 2001, false },
    { "read0Inputs", 2, 0, false },
    { "write801Coils", 15, 801, true },
    { "write126Registers", 16, 126, true },
    { "write0Registers", 16, 0, true },
    { "writeRegistersWithoutData", 16, 2, false },
    { "writeCoilsWithoutData", 15, 8, false },
};

class ModbusRefused : public testing::TestWithParam<TRefusedCase> { };

TEST_P(ModbusRefused, LeavesTheFrameAlone)
{
    const TRefusedCase& c = GetParam();
    uint8_t data[300] = {};
    TModbusFrame frame;
    EXPECT_FALSE(ModbusBuildRequest(0, 1, c.function, 1, c.count, c.withData ? data : nullptr, frame));
    EXPECT_EQ(frame.Size, 0);
    if (c.withData || (c.function != 15 && c.function != 16)) {
        EXPECT_EQ(ModbusReplySize(c.function, c.count), -1);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ModbusRefused, testing::ValuesIn(RefusedCases),
    [](const testing::TestParamInfo<TRefusedCase>& info) { return std::string(info.param.name); });

TEST(ModbusReply, ExceptionNeedsEightBytes)
{
    // A stale 0x84 at offset 7 must not count before byte 7 has arrived.
    const uint8_t reply[9] = { 0, 0, 0, 0, 0, 3, 1, 0x84, 2 };
    const struct {
        int received;
        bool exception;
    } cases[] = { { 0, false }, { 2, false }, { 7, false }, { 8, true }, { 9, true } };
    for (auto c : cases)
        EXPECT_EQ(ModbusIsExceptionReply(reply, c.received), c.exception) << c.received;
    const uint8_t normal[9] = { 0, 0, 0, 0, 0, 3, 1, 0x04, 2 };
    EXPECT_FALSE(ModbusIsExceptionReply(normal, 9));
}

TEST(RequestCounter, AdvancesAndWrapsAfter65535)
{
    const struct {
        uint32_t before;
        uint32_t after;
    } cases[] = { { 0, 1 }, { 1, 2 }, { 65534, 65535 }, { 65535, 65536 }, { 65536, 0 } };
    for (auto c : cases) {
        RequestCounter = c.before;
        AdvanceRequestCounter();
        EXPECT_EQ(RequestCounter, c.after) << c.before;
    }
    RequestCounter = 0;
}

TEST(ModbusCrc, CheckValueAndTables)
{
    const struct {
        const char* name;
        TBytes bytes;
        uint16_t crc;
    } cases[] = {
        { "empty", {}, 0xFFFF },
        { "digits", TBytes { '1', '2', '3', '4', '5', '6', '7', '8', '9' }, 0x4B37 },
        // A serial-line read request; its CRC travels as C5 CD, low byte first.
        { "readFrame", Hex("01 03 00 00 00 0A"), 0xCDC5 },
        { "oneZero", TBytes { 0 }, 0x40BF },
    };
    for (const auto& c : cases) {
        TModbusCrc crc = ModbusCrc16(c.bytes.data(), int(c.bytes.size()));
        EXPECT_EQ(crc.Value(), c.crc) << c.name;
        EXPECT_EQ(crc.high, uint8_t(c.crc >> 8)) << c.name;
        EXPECT_EQ(crc.low, uint8_t(c.crc)) << c.name;
    }
    // The first entries as the Modbus serial line standard prints them.
    const TBytes hi = Hex("00 C1 81 40 01 C0 80 41"), lo = Hex("00 C0 C1 01 C3 03 02 C2");
    EXPECT_EQ(TBytes(ModbusCrcTableHi.begin(), ModbusCrcTableHi.begin() + 8), hi);
    EXPECT_EQ(TBytes(ModbusCrcTableLo.begin(), ModbusCrcTableLo.begin() + 8), lo);
    EXPECT_EQ(ModbusCrcTableHi[255], 0x40);
    EXPECT_EQ(ModbusCrcTableLo[255], 0x40);
}

TEST(Ticks, DifferenceModulo32BitsAndStrictLimit)
{
    const struct {
        uint32_t start, now;
        int limit;
        uint32_t elapsed;
        bool passed;
    } cases[] = {
        { 1000, 6000, 5000, 5000, false }, // exactly the limit: not yet
        { 1000, 6001, 5000, 5001, true },
        { 0xFFFFF000u, 0x00000388u, 5000, 5000, false }, // across the wrap
        { 0xFFFFF000u, 0x00000389u, 5000, 5001, true },
        { 0xFFFFFFFFu, 0x00000000u, 0, 1, true },
        { 42, 42, 0, 0, false },
    };
    for (auto c : cases) {
        EXPECT_EQ(TicksElapsed(c.start, c.now), c.elapsed);
        EXPECT_EQ(TimeLimitPassed(TicksElapsed(c.start, c.now), c.limit), c.passed);
    }
}

} // namespace
