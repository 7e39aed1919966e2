// The simulator's parts without a process: alarm encoder, password registers,
// the register semantics of a request frame, the firmware receiver, fault
// plans and the console pages.
#include "sim/commitDelay.h"
#include "sim/faultPlan.h"
#include "sim/firmwareReceiver.h"
#include "sim/q6120Device.h"
#include "sim/simAlarmMessage.h"
#include "sim/simConsole.h"
#include "sim/simCrc.h"
#include "sim/simOptions.h"
#include "sim/simPassword.h"

#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <sstream>

using namespace sim;

namespace {

std::vector<uint8_t> hex(const std::string& text)
{
    std::vector<uint8_t> out;
    std::istringstream in(text);
    for (std::string b; in >> b;)
        out.push_back(uint8_t(std::stoul(b, nullptr, 16)));
    return out;
}

std::string hexText(const std::vector<uint8_t>& bytes)
{
    return HexBytes(bytes.data(), bytes.size());
}

} // namespace

// ---- alarms ----

TEST(AlarmMessage, ExampleOffLineMessageHasMarkerFieldsAndChecksum)
{
    AlarmFields f;
    f.event = AlarmEvent::OffLine;
    f.year = 2007;
    f.month = 4;
    f.day = 30;
    f.hour = 8;
    f.minute = 5;
    f.second = 3;
    f.sourceName = "Peer A";
    f.source = { 192, 168, 19, 7 };
    f.destination = { 192, 168, 19, 9 };
    const AlarmMessage m = EncodeAlarm(f);

    std::vector<uint8_t> expected(58, 0);
    const auto head = hex("01 02 D7 07 04 1E 08 05 03 50 65 65 72 20 41");
    std::copy(head.begin(), head.end(), expected.begin());
    const auto tail = hex("C0 A8 13 07 C0 A8 13 09 FA");
    std::copy(tail.begin(), tail.end(), expected.begin() + 49);
    EXPECT_EQ(hexText(std::vector<uint8_t>(m.begin(), m.end())), hexText(expected));
}

TEST(AlarmMessage, EveryEventSumsToZeroAndOnlyOffOnLineCarryADestination)
{
    const struct {
        AlarmEvent event;
        bool destination;
    } rows[] = { { AlarmEvent::ColdStart, false }, { AlarmEvent::WarmStart, false }, { AlarmEvent::OffLine, true },
        { AlarmEvent::OnLine, true } };
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.event));
        const AlarmMessage m = EncodeAlarm(AlarmNow(row.event, "Q6120", { 10, 1, 2, 3 }, { 10, 9, 8, 7 }));
        EXPECT_EQ(m[0], 1);
        EXPECT_EQ(m[1], uint8_t(row.event));
        EXPECT_EQ(std::accumulate(m.begin(), m.end(), 0u) % 256, 0u);
        EXPECT_EQ(m[49], 10);
        EXPECT_EQ(m[53], row.destination ? 10 : 0);
        EXPECT_EQ(m[56], row.destination ? 7 : 0);
    }
}

TEST(AlarmMessage, SourceNameKeepsItsEndingZeroByte)
{
    for (size_t length : { 39u, 40u, 60u }) {
        SCOPED_TRACE(length);
        AlarmFields f;
        f.sourceName = std::string(length, 'N');
        const AlarmMessage m = EncodeAlarm(f);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m[9])), std::string(39, 'N'));
        EXPECT_EQ(m[48], 0);
    }
}

// ---- password and CRC ----

TEST(Password, RegistersHoldThePasswordPlusTheKey)
{
    const struct {
        std::string password;
        const char* bytes;
    } rows[] = {
        { "", "5C 3E 91 0A D7 62 B4 18 EF 27" },
        { "abc", "BD A0 F4 0A D7 62 B4 18 EF 27" },
        { "0123456789", "8C 6F C3 3D 0B 97 EA 4F 27 60" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.password);
        const auto bytes = TransformPassword(row.password);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(HexBytes(bytes->data(), bytes->size()), row.bytes);
    }
    EXPECT_FALSE(TransformPassword("01234567890"));
    EXPECT_FALSE(TransformPassword(std::string("ab\0c", 4)));
}

TEST(Crc16, CheckValue)
{
    const std::string digits = "123456789";
    EXPECT_EQ(Crc16Modbus(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x4B37);
    EXPECT_EQ(Crc16Modbus(nullptr, 0), 0xFFFF);
}

// ---- request frames ----

TEST(Q6120Device, AnswersEachRequestFrame)
{
    const struct {
        const char* name;
        const char* request;
        const char* reply;
        Q6120Device::After after;
    } rows[] = {
        { "restart", "00 3D 00 00 00 06 01 08 00 01 FF 00", "00 3D 00 00 00 06 01 08 00 01 FF 00",
            Q6120Device::After::Restart },
        { "factory reset", "00 07 00 00 00 06 01 08 00 01 55 AA", "00 07 00 00 00 06 01 08 00 01 55 AA",
            Q6120Device::After::FactoryReset },
        { "restart with other data", "00 01 00 00 00 06 01 08 00 01 12 34", "00 01 00 00 00 03 01 88 03",
            Q6120Device::After::Nothing },
        { "other sub-function", "00 01 00 00 00 06 01 08 00 00 FF 00", "00 01 00 00 00 03 01 88 01",
            Q6120Device::After::Nothing },
        { "password", "00 00 00 00 00 06 01 04 25 03 00 05", "00 00 00 00 00 0D 01 04 0A BD A0 F4 0A D7 62 B4 18 EF 27",
            Q6120Device::After::Nothing },
        { "password read too long", "00 00 00 00 00 06 01 04 25 03 00 06", "00 00 00 00 00 03 01 84 02",
            Q6120Device::After::Nothing },
        { "other unit", "00 02 00 00 00 06 02 04 25 03 00 05", "00 02 00 00 00 03 02 84 0B",
            Q6120Device::After::Nothing },
        { "new address", "00 3E 00 00 00 0B 01 10 10 22 00 02 04 0A 00 00 05", "00 3E 00 00 00 06 01 10 10 22 00 02",
            Q6120Device::After::Nothing },
        { "new address 0.0.0.0", "00 3E 00 00 00 0B 01 10 10 22 00 02 04 00 00 00 00", "00 3E 00 00 00 03 01 90 03",
            Q6120Device::After::Nothing },
        { "new address broadcast", "00 3E 00 00 00 0B 01 10 10 22 00 02 04 FF FF FF FF", "00 3E 00 00 00 03 01 90 03",
            Q6120Device::After::Nothing },
        { "read back the address", "00 08 00 00 00 06 01 03 10 22 00 02", "00 08 00 00 00 07 01 03 04 0A 01 02 03",
            Q6120Device::After::Nothing },
        { "coils", "00 05 00 00 00 06 01 01 00 00 00 08", "00 05 00 00 00 03 01 81 02", Q6120Device::After::Nothing },
        { "register outside the map", "00 06 00 00 00 06 01 06 00 00 00 01", "00 06 00 00 00 03 01 86 02",
            Q6120Device::After::Nothing },
        { "firmware control", "00 09 00 00 00 06 01 06 30 00 00 00", "00 09 00 00 00 06 01 06 30 00 00 00",
            Q6120Device::After::Nothing },
        { "unknown function", "00 0A 00 00 00 02 01 41", "00 0A 00 00 00 03 01 C1 01", Q6120Device::After::Nothing },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DeviceSettings s;
        s.password = "abc";
        s.address = { 10, 1, 2, 3 };
        Q6120Device device(s);
        ASSERT_TRUE(device.valid());
        const auto request = hex(row.request);
        const auto outcome = device.handle(request.data(), request.size());
        EXPECT_EQ(hexText(outcome.reply), row.reply);
        EXPECT_EQ(outcome.after, row.after);
    }
}

TEST(Q6120Device, NewAddressWaitsForTheRestartAndFactoryResetClearsEverything)
{
    DeviceSettings s;
    s.password = "secret";
    s.address = { 10, 1, 2, 3 };
    Q6120Device device(s);
    const auto setIp = hex("00 3E 00 00 00 0B 01 10 10 22 00 02 04 0A 00 00 05");
    device.handle(setIp.data(), setIp.size());
    EXPECT_EQ(FormatIpv4(device.settings().address), "10.1.2.3");
    ASSERT_TRUE(device.pendingAddress());
    device.applyRestart(false);
    EXPECT_EQ(FormatIpv4(device.settings().address), "10.0.0.5");
    EXPECT_FALSE(device.pendingAddress());

    device.handle(setIp.data(), setIp.size());
    device.applyRestart(true);
    // One factory state: unconfigured, as a new unit.
    EXPECT_EQ(FormatIpv4(device.settings().address), "0.0.0.0");
    EXPECT_EQ(device.settings().password, "");
    const auto read = hex("00 00 00 00 00 06 01 04 25 03 00 05");
    EXPECT_EQ(hexText(device.handle(read.data(), read.size()).reply),
        "00 00 00 00 00 0D 01 04 0A 5C 3E 91 0A D7 62 B4 18 EF 27");
}

TEST(Q6120Device, CommitAnswersAfterTheDelayOfItsRecordType)
{
    const struct {
        const char* name;
        std::map<int, int> byType; // at start
        std::optional<int> setType; // a change at run time: type (-1 every type), ms
        int setMs;
        int expected;
    } rows[] = {
        { "every type", {}, std::nullopt, 0, 1234 },
        { "its own type", { { 3, 50 } }, std::nullopt, 0, 50 },
        { "another type", { { 2, 50 } }, std::nullopt, 0, 1234 },
        { "its type at run time", { { 3, 50 } }, 3, 77, 77 },
        { "every type at run time", { { 2, 50 } }, -1, 99, 99 },
        { "every type at run time, its own kept", { { 3, 50 } }, -1, 99, 50 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DeviceSettings s;
        s.commitDelayMs = 1234;
        s.commitDelayByType = row.byType;
        Q6120Device device(s);
        if (row.setType)
            device.setCommitDelay(*row.setType >= 0 ? row.setType : std::nullopt, row.setMs);
        const char* frames[] = {
            "00 01 00 00 00 06 01 06 30 00 00 00", "00 02 00 00 00 0F 01 10 30 01 00 04 08 4A 77 6F 50 65 78 65 00",
            "00 03 00 00 00 0B 01 10 30 0D 00 02 04 02 00 00 00", "00 04 00 00 00 09 01 10 30 0F 00 01 02 03 00",
            "00 05 00 00 00 09 01 10 30 10 00 01 02 AB CD",
            "00 06 00 00 00 06 01 06 30 83 15 BF", // CRC-16 of AB CD
        };
        for (const char* f : frames) {
            const auto frame = hex(f);
            const auto outcome = device.handle(frame.data(), frame.size());
            ASSERT_EQ(outcome.reply.size(), 12u) << f;
            EXPECT_EQ(outcome.delayMs, 0);
        }
        const auto commit = hex("00 07 00 00 00 06 01 06 30 84 00 00");
        const auto outcome = device.handle(commit.data(), commit.size());
        EXPECT_EQ(hexText(outcome.reply), "00 07 00 00 00 06 01 06 30 84 00 00");
        EXPECT_EQ(outcome.delayMs, row.expected);
        ASSERT_EQ(device.firmware().committed().size(), 1u);
        EXPECT_EQ(device.firmware().committed()[0].type, 3);
    }
}

// ---- firmware receiver ----

namespace {

struct Step {
    uint16_t address;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> be16(uint16_t v)
{
    return { uint8_t(v >> 8), uint8_t(v & 0xFF) };
}

std::vector<Step> recordSteps(const std::vector<uint8_t>& data, int type = 1, int crcOffset = 0)
{
    std::vector<Step> steps;
    steps.push_back({ FwReg::Control, be16(0) });
    steps.push_back({ FwReg::Unlock, { 'J', 'w', 'o', 'P', 'e', 'x', 'e', 0 } });
    const uint32_t l = uint32_t(data.size());
    steps.push_back({ FwReg::Length, { uint8_t(l), uint8_t(l >> 8), uint8_t(l >> 16), uint8_t(l >> 24) } });
    steps.push_back({ FwReg::Type, { uint8_t(type), 0 } });
    std::vector<uint8_t> even = data;
    if (even.size() % 2)
        even.push_back(0);
    for (size_t at = 0; at < even.size(); at += 230) {
        const size_t n = std::min<size_t>(230, even.size() - at);
        steps.push_back({ FwReg::Data, std::vector<uint8_t>(even.begin() + at, even.begin() + at + n) });
    }
    steps.push_back({ FwReg::Crc, be16(uint16_t(Crc16Modbus(data.data(), data.size()) + crcOffset)) });
    steps.push_back({ FwReg::Commit, be16(0) });
    return steps;
}

std::vector<uint8_t> bytes(size_t n)
{
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t(i * 7 + 1);
    return out;
}

} // namespace

TEST(FirmwareReceiver, TakesRecordsInOrderAndRefusesAnythingElse)
{
    auto join = [](std::vector<Step> a, const std::vector<Step>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    auto without = [](std::vector<Step> s, size_t index) {
        s.erase(s.begin() + long(index));
        return s;
    };
    auto changed = [](std::vector<Step> s, size_t index, Step step) {
        s[index] = std::move(step);
        return s;
    };
    const auto five = recordSteps(bytes(5));
    const struct {
        const char* name;
        std::vector<Step> steps;
        int failingStep; // -1: all accepted
        uint8_t exception;
        size_t committed;
    } rows[] = {
        { "odd record of five bytes", five, -1, 0, 1 },
        { "500 bytes in three data writes", recordSteps(bytes(500), 3), -1, 0, 1 },
        { "empty record", recordSteps({}, 0), -1, 0, 1 },
        { "two records", join(five, recordSteps(bytes(8), 6)), -1, 0, 2 },
        { "wrong CRC", recordSteps(bytes(5), 1, 1), 6, ModbusException::DeviceFailure, 0 },
        { "CRC over the padding byte", changed(five, 5, { FwReg::Crc, be16(Crc16Modbus(bytes(6).data(), 6)) }), 6,
            ModbusException::DeviceFailure, 0 },
        { "no control write first", without(five, 0), 0, ModbusException::DeviceFailure, 0 },
        { "length before unlock", without(five, 1), 1, ModbusException::DeviceFailure, 0 },
        { "wrong unlock code", changed(five, 1, { FwReg::Unlock, { 'j', 'w', 'o', 'P', 'e', 'x', 'e', 0 } }), 1,
            ModbusException::IllegalDataValue, 0 },
        { "type 7", recordSteps(bytes(5), 7), 3, ModbusException::IllegalDataValue, 0 },
        { "data before type", without(five, 3), 3, ModbusException::DeviceFailure, 0 },
        { "more data than the length", changed(five, 4, { FwReg::Data, bytes(8) }), 4,
            ModbusException::IllegalDataValue, 0 },
        { "CRC before all data", changed(five, 4, { FwReg::Data, bytes(2) }), 5, ModbusException::DeviceFailure, 0 },
        { "commit without CRC", without(five, 5), 5, ModbusException::DeviceFailure, 0 },
        { "next record without control write", join(five, without(recordSteps(bytes(4)), 0)), 7,
            ModbusException::DeviceFailure, 1 },
        { "abandoned record, then a whole one", join({ five[0], five[1], five[2] }, five), -1, 0, 1 },
        { "unknown register", { { 0x3050, be16(0) } }, 0, ModbusException::IllegalDataAddress, 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FirmwareReceiver receiver;
        int failed = -1;
        uint8_t exception = 0;
        for (size_t i = 0; i < row.steps.size() && failed < 0; ++i) {
            const auto r = receiver.write(row.steps[i].address, row.steps[i].bytes.data(), row.steps[i].bytes.size());
            if (r.exception) {
                failed = int(i);
                exception = r.exception;
            }
        }
        EXPECT_EQ(failed, row.failingStep);
        EXPECT_EQ(exception, row.exception);
        EXPECT_EQ(receiver.committed().size(), row.committed);
    }
}

TEST(FirmwareReceiver, AControlWriteRecoversFromAFailure)
{
    FirmwareReceiver receiver;
    const auto bad = recordSteps(bytes(5), 1, 1);
    for (const Step& s : bad)
        receiver.write(s.address, s.bytes.data(), s.bytes.size());
    EXPECT_TRUE(receiver.committed().empty());
    for (const Step& s : recordSteps(bytes(5)))
        EXPECT_EQ(receiver.write(s.address, s.bytes.data(), s.bytes.size()).exception, 0);
    ASSERT_EQ(receiver.committed().size(), 1u);
    EXPECT_EQ(receiver.committed()[0].length, 5u);
}

// ---- fault plans ----

TEST(FaultPlan, ParsesEveryModeAndRefusesBadText)
{
    const struct {
        const char* text;
        bool ok;
        FaultPlan::Mode mode;
        int value;
        int remaining;
    } rows[] = {
        { "none", true, FaultPlan::Mode::None, 0, -1 },
        { "delay 250", true, FaultPlan::Mode::Delay, 250, -1 },
        { "cut 5", true, FaultPlan::Mode::Cut, 5, -1 },
        { "trickle", true, FaultPlan::Mode::Trickle, 20, -1 },
        { "trickle 3 count 2", true, FaultPlan::Mode::Trickle, 3, 2 },
        { "exception", true, FaultPlan::Mode::Exception, 4, -1 },
        { "exception 0x0B", true, FaultPlan::Mode::Exception, 11, -1 },
        { "drop count 1", true, FaultPlan::Mode::Drop, 0, 1 },
        { "refuse", true, FaultPlan::Mode::Refuse, 0, -1 },
        { "silence", true, FaultPlan::Mode::Silence, 0, -1 },
        { "", false, {}, 0, 0 },
        { "delay", false, {}, 0, 0 },
        { "cut x", false, {}, 0, 0 },
        { "cut -1", false, {}, 0, 0 },
        { "drop 3", false, {}, 0, 0 },
        { "exception 0", false, {}, 0, 0 },
        { "trickle 5 count 0", false, {}, 0, 0 },
        { "fly", false, {}, 0, 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::string error;
        const auto plan = ParseFault(row.text, &error);
        ASSERT_EQ(bool(plan), row.ok) << error;
        if (!plan) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(plan->mode, row.mode);
        EXPECT_EQ(plan->value, row.value);
        EXPECT_EQ(plan->remaining, row.remaining);
        EXPECT_EQ(FormatFault(*ParseFault(FormatFault(*plan), nullptr)), FormatFault(*plan));
    }
}

TEST(FaultPlan, AimedPlansParseToTheirCanonicalText)
{
    const struct {
        const char* text;
        const char* canonical; // nullptr: refused
    } rows[] = {
        { "drop fn 16 addr 0x3010 nth 2 once", "drop fn 16 addr 0x3010 nth 2 count 1" },
        { "exception 4 fn 8 once", "exception 4 fn 8 count 1" },
        { "exception fn 0x10", "exception 4 fn 16" },
        { "silence addr 4096 always", "silence addr 0x1000" },
        { "trickle 5 nth 3 count 2", "trickle 5 nth 3 count 2" },
        { "delay 100 count 2 fn 3", "delay 100 fn 3 count 2" },
        { "refuse count 2", "refuse count 2" },
        { "none fn 3", "none" },
        { "drop fn 0", nullptr },
        { "drop fn 128", nullptr },
        { "drop addr 0x10000", nullptr },
        { "drop nth 0", nullptr },
        { "drop fn 3 fn 4", nullptr },
        { "drop once always", nullptr },
        { "drop once count 2", nullptr },
        { "drop fn", nullptr },
        { "drop sometimes", nullptr },
        { "delay fn 3", nullptr },
        { "refuse fn 3", nullptr },
        { "refuse nth 2", nullptr },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::string error;
        const auto plan = ParseFault(row.text, &error);
        ASSERT_EQ(bool(plan), row.canonical != nullptr) << error;
        if (!plan) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(FormatFault(*plan), row.canonical);
    }
}

TEST(FaultPlan, FiresOnTheChosenRequestOnly)
{
    // Requests by function code and first address field; 'X' where the plan fires.
    const std::pair<int, int> requests[] = { { 6, 0x3000 }, { 16, 0x3010 }, { 16, 0x3083 }, { 16, 0x3010 },
        { 3, 0x3010 }, { 16, 0x3010 }, { 16, 0x3010 } };
    const struct {
        const char* plan;
        const char* fires;
        const char* after; // the plan once the requests are through
    } rows[] = {
        { "drop fn 16 addr 0x3010 nth 2 once", "...X...", "none" },
        { "drop fn 16 addr 0x3010 nth 2", "...X.XX", "drop fn 16 addr 0x3010" },
        { "drop addr 0x3010 nth 2 count 2", "...XX..", "none" },
        { "exception 4 fn 16", ".XXX.XX", "exception 4 fn 16" },
        { "silence nth 7 once", "......X", "none" },
        { "delay 5 count 3", "XXX....", "none" },
        { "refuse", ".......", "refuse" },
        { "none", ".......", "none" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.plan);
        auto plan = ParseFault(row.plan, nullptr);
        ASSERT_TRUE(plan);
        std::string fires;
        for (const auto& [fn, address] : requests) {
            const auto frame = hex("00 01 00 00 00 06 01 00 00 00 00 01");
            auto bytes = frame;
            bytes[7] = uint8_t(fn);
            bytes[8] = uint8_t(address >> 8);
            bytes[9] = uint8_t(address);
            fires += TakeRequestFault(*plan, bytes.data(), bytes.size()) ? 'X' : '.';
        }
        EXPECT_EQ(fires, row.fires);
        EXPECT_EQ(FormatFault(*plan), row.after);
    }
    auto refuse = ParseFault("refuse count 2", nullptr);
    EXPECT_TRUE(TakeConnectionFault(*refuse));
    EXPECT_TRUE(TakeConnectionFault(*refuse));
    EXPECT_FALSE(TakeConnectionFault(*refuse));
    EXPECT_EQ(FormatFault(*refuse), "none");
}

TEST(CommitDelay, ParsesAllTypesOrOneType)
{
    const struct {
        const char* text;
        bool ok;
        int type; // -1: every type
        int ms;
    } rows[] = {
        { "250", true, -1, 250 },
        { "0", true, -1, 0 },
        { "3:5000", true, 3, 5000 },
        { "0x6:0x10", true, 6, 16 },
        { "7:100", false, 0, 0 },
        { "-1:100", false, 0, 0 },
        { "3:", false, 0, 0 },
        { ":100", false, 0, 0 },
        { "600001", false, 0, 0 },
        { "", false, 0, 0 },
        { "1:2:3", false, 0, 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::string error;
        const auto delay = ParseCommitDelay(row.text, &error);
        ASSERT_EQ(bool(delay), row.ok) << error;
        if (!delay) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(delay->type.value_or(-1), row.type);
        EXPECT_EQ(delay->ms, row.ms);
    }
}

// ---- command line ----

TEST(Options, ReadsEveryFlagAndRefusesBadLines)
{
    using Args = std::vector<std::string>;
    // Each accepted row names the field it checks through a formatter.
    const struct {
        Args args;
        const char* error; // part of the error text; nullptr: accepted
        std::function<std::string(const ServerOptions&)> field;
        const char* value;
    } rows[] = {
        { {}, nullptr, [](const ServerOptions& o) { return o.bindAddress + " " + std::to_string(o.modbusPort); },
            "127.0.0.1 502" },
        { { "--name", "Hall 3", "--ip=10.1.2.3" }, nullptr,
            [](const ServerOptions& o) { return o.device.name + " " + FormatIpv4(o.device.address); },
            "Hall 3 10.1.2.3" },
        { { "--mac", "02:aa:bb:cc:dd:ee" }, nullptr,
            [](const ServerOptions& o) { return FormatMac(o.device.mac) + (o.macGiven ? " given" : ""); },
            "02-AA-BB-CC-DD-EE given" },
        { { "--product-id", "0x80006121", "--product-code", "24865" }, nullptr,
            [](const ServerOptions& o) { return std::to_string(o.productId) + " " + std::to_string(o.productCode); },
            "2147508513 24865" },
        { { "--http-port", "-1", "--port", "0" }, nullptr,
            [](const ServerOptions& o) { return std::to_string(o.httpPort) + " " + std::to_string(o.modbusPort); },
            "-1 0" },
        { { "--commit-delay", "100", "--commit-delay", "3:5000" }, nullptr,
            [](const ServerOptions& o) {
                return std::to_string(o.device.commitDelayMs) + " " + std::to_string(o.device.commitDelayByType.at(3));
            },
            "100 5000" },
        { { "--fault", "drop fn 16 addr 0x3010 nth 2 once" }, nullptr,
            [](const ServerOptions& o) { return FormatFault(o.fault); }, "drop fn 16 addr 0x3010 nth 2 count 1" },
        { { "--interface", "eth0", "--manage-interface", "--no-discovery" }, nullptr,
            [](const ServerOptions& o) {
                return o.interfaceName + (o.manageInterface ? " manage" : "") + (o.discovery ? " search" : "");
            },
            "eth0 manage" },
        { { "--frame-log", "/f", "--control", "/c", "--ready-file", "/r", "--alarm-host", "127.0.0.2", "--alarm-port",
              "9", "--restart-time", "0", "--password", "abc" },
            nullptr,
            [](const ServerOptions& o) {
                return o.frameLogPath + o.controlPath + o.readyPath + " " + o.alarmHost + ":"
                    + std::to_string(o.alarmPort) + " " + std::to_string(o.restartMs) + " " + o.device.password;
            },
            "/f/c/r 127.0.0.2:9 0 abc" },
        { { "--password", "01234567890" }, "--password", nullptr, nullptr },
        { { "--ip", "1.2.3" }, "bad value for --ip: 1.2.3", nullptr, nullptr },
        { { "--mac", "02:00:00:00:00" }, "--mac", nullptr, nullptr },
        { { "--fault", "fly" }, "unknown fault mode", nullptr, nullptr },
        { { "--commit-delay", "9:1" }, "record type", nullptr, nullptr },
        { { "--port", "70000" }, "--port", nullptr, nullptr },
        { { "--http-port", "-2" }, "--http-port", nullptr, nullptr },
        { { "--product-code", "0x10000" }, "--product-code", nullptr, nullptr },
        { { "--manage-interface" }, "needs --interface", nullptr, nullptr },
        { { "--name" }, "needs a value", nullptr, nullptr },
        { { "--no-discovery=1" }, "takes no value", nullptr, nullptr },
        { { "--fly" }, "unknown option --fly", nullptr, nullptr },
        { { "stray" }, "unexpected argument stray", nullptr, nullptr },
    };
    for (const auto& row : rows) {
        std::string joined;
        for (const auto& a : row.args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        const ParsedOptions parsed = ParseOptions(row.args);
        EXPECT_FALSE(parsed.help);
        if (row.error) {
            EXPECT_FALSE(parsed.options);
            EXPECT_NE(parsed.error.find(row.error), std::string::npos) << parsed.error;
            continue;
        }
        ASSERT_TRUE(parsed.options) << parsed.error;
        EXPECT_EQ(row.field(*parsed.options), row.value);
    }
    EXPECT_TRUE(ParseOptions({ "--port", "1", "--help" }).help);
}

// ---- console pages ----

TEST(Console, StatusPageShowsTheServerAndEscapesItsName)
{
    SimConsole console;
    console.setStatus({ "Hall <3> & \"B\"", "10.1.2.3", "02-00-00-00-61-20", "2.5" });
    const std::string page = console.statusPage();
    EXPECT_NE(page.find("Hall &lt;3&gt; &amp; &quot;B&quot;"), std::string::npos);
    EXPECT_EQ(page.find("<3>"), std::string::npos);
    for (const char* part : { "10.1.2.3", "02-00-00-00-61-20", ">2.5<", "target=\"_blank\"", "window.open(" })
        EXPECT_NE(page.find(part), std::string::npos) << part;
    EXPECT_NE(SimConsole::closingPage().find("window.close()"), std::string::npos);
}

// ---- flag values ----

TEST(FlagValues, AddressesAndMacsParseStrictly)
{
    const std::pair<const char*, const char*> addresses[] = {
        { "10.0.0.5", "10.0.0.5" },
        { "0.0.0.0", "0.0.0.0" },
        { "255.255.255.255", "255.255.255.255" },
        { "1.2.3", nullptr },
        { "1.2.3.4.5", nullptr },
        { "256.1.1.1", nullptr },
        { "1.2.3.4 ", nullptr },
        { "a.b.c.d", nullptr },
        { "", nullptr },
    };
    for (const auto& [text, expected] : addresses) {
        const auto a = ParseIpv4(text);
        EXPECT_EQ(a ? FormatIpv4(*a) : std::string("-"), expected ? expected : "-") << text;
    }
    const std::pair<const char*, const char*> macs[] = {
        { "02:aa:bb:cc:dd:01", "02-AA-BB-CC-DD-01" },
        { "02-AA-BB-CC-DD-01", "02-AA-BB-CC-DD-01" },
        { "02:aa:bb:cc:dd", nullptr },
        { "02:aa:bb:cc:dd:0g", nullptr },
        { "02.aa.bb.cc.dd.01", nullptr },
    };
    for (const auto& [text, expected] : macs) {
        const auto m = ParseMac(text);
        EXPECT_EQ(m ? FormatMac(*m) : std::string("-"), expected ? expected : "-") << text;
    }
}
