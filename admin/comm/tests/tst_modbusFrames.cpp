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
    const char* Name;
    uint16_t Tid;
    unsigned Function;
    unsigned Number;
    uint16_t CountOrValue;
    int DataBytes; // data supplied to 15 and 16; -1 for none
    const char* Head; // expected first bytes, hex
    int Size;
    int ReplySize;
};
void PrintTo(const TFrameCase& c, std::ostream* os)
{
    *os << c.Name;
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
    TBytes data(c.DataBytes > 0 ? c.DataBytes : 0);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7 + 1);
    TModbusFrame frame;
    ASSERT_TRUE(ModbusBuildRequest(
        c.Tid, 1, c.Function, c.Number, c.CountOrValue, c.DataBytes >= 0 ? data.data() : nullptr, frame));
    const TBytes head = Hex(c.Head);
    EXPECT_EQ(TBytes(frame.Bytes, frame.Bytes + head.size()), head);
    EXPECT_EQ(frame.Size, c.Size);
    EXPECT_EQ(frame.ReplySize, c.ReplySize);
    EXPECT_EQ(ModbusReplySize(c.Function, c.CountOrValue), c.ReplySize);
    // The data go out unchanged after the byte count.
    if (c.DataBytes > 0) {
        EXPECT_EQ(TBytes(frame.Bytes + 13, frame.Bytes + frame.Size), data);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ModbusFrame, testing::ValuesIn(FrameCases),
    [](const testing::TestParamInfo<TFrameCase>& info) { return std::string(info.param.Name); });

struct TRefusedCase {
    const char* Name;
    unsigned Function;
    uint16_t Count;
    bool WithData;
};
void PrintTo(const TRefusedCase& c, std::ostream* os)
{
    *os << c.Name;
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
    EXPECT_FALSE(ModbusBuildRequest(0, 1, c.Function, 1, c.Count, c.WithData ? data : nullptr, frame));
    EXPECT_EQ(frame.Size, 0);
    if (c.WithData || (c.Function != 15 && c.Function != 16)) {
        EXPECT_EQ(ModbusReplySize(c.Function, c.Count), -1);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ModbusRefused, testing::ValuesIn(RefusedCases),
    [](const testing::TestParamInfo<TRefusedCase>& info) { return std::string(info.param.Name); });

TEST(ModbusReply, ExceptionNeedsEightBytes)
{
    // A stale 0x84 at offset 7 must not count before byte 7 has arrived.
    const uint8_t reply[9] = { 0, 0, 0, 0, 0, 3, 1, 0x84, 2 };
    const struct {
        int Received;
        bool Exception;
    } cases[] = { { 0, false }, { 2, false }, { 7, false }, { 8, true }, { 9, true } };
    for (auto c : cases)
        EXPECT_EQ(ModbusIsExceptionReply(reply, c.Received), c.Exception) << c.Received;
    const uint8_t normal[9] = { 0, 0, 0, 0, 0, 3, 1, 0x04, 2 };
    EXPECT_FALSE(ModbusIsExceptionReply(normal, 9));
}

TEST(RequestCounter, AdvancesAndWrapsAfter65535)
{
    const struct {
        uint32_t Before;
        uint32_t After;
    } cases[] = { { 0, 1 }, { 1, 2 }, { 65534, 65535 }, { 65535, 65536 }, { 65536, 0 } };
    for (auto c : cases) {
        RequestCounter = c.Before;
        AdvanceRequestCounter();
        EXPECT_EQ(RequestCounter, c.After) << c.Before;
    }
    RequestCounter = 0;
}

TEST(ModbusCrc, CheckValueAndTables)
{
    const struct {
        const char* Name;
        TBytes Bytes;
        uint16_t Crc;
    } cases[] = {
        { "empty", {}, 0xFFFF },
        { "digits", TBytes { '1', '2', '3', '4', '5', '6', '7', '8', '9' }, 0x4B37 },
        // A serial-line read request; its CRC travels as C5 CD, low byte first.
        { "readFrame", Hex("01 03 00 00 00 0A"), 0xCDC5 },
        { "oneZero", TBytes { 0 }, 0x40BF },
    };
    for (const auto& c : cases) {
        TModbusCrc crc = ModbusCrc16(c.Bytes.data(), int(c.Bytes.size()));
        EXPECT_EQ(crc.Value(), c.Crc) << c.Name;
        EXPECT_EQ(crc.High, uint8_t(c.Crc >> 8)) << c.Name;
        EXPECT_EQ(crc.Low, uint8_t(c.Crc)) << c.Name;
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
        uint32_t Start, Now;
        int Limit;
        uint32_t Elapsed;
        bool Passed;
    } cases[] = {
        { 1000, 6000, 5000, 5000, false }, // exactly the limit: not yet
        { 1000, 6001, 5000, 5001, true },
        { 0xFFFFF000u, 0x00000388u, 5000, 5000, false }, // across the wrap
        { 0xFFFFF000u, 0x00000389u, 5000, 5001, true },
        { 0xFFFFFFFFu, 0x00000000u, 0, 1, true },
        { 42, 42, 0, 0, false },
    };
    for (auto c : cases) {
        EXPECT_EQ(TicksElapsed(c.Start, c.Now), c.Elapsed);
        EXPECT_EQ(TimeLimitPassed(TicksElapsed(c.Start, c.Now), c.Limit), c.Passed);
    }
}

} // namespace
