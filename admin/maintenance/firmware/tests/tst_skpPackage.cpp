// The package reader over packages in memory and on disk: a table of good
// and broken packages, the checksum and CRC, where each record's data lie,
// the padding of an odd record, and a table longer than one read piece.
#include "admin/maintenance/firmware/skpCrc.h"
#include "admin/maintenance/firmware/skpPackage.h"
#include "admin/maintenance/firmware/skpWriter.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <unistd.h>

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Filled(size_t n, uint8_t first = 1)
{
    TBytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(first + i * 7);
    return b;
}

void PutLe32(TBytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

TBytes Good()
{
    return SkpPackageBytes({ { 0, Filled(10) }, { 3, Filled(5) }, { 6, Filled(500) } });
}

struct TPackageCase {
    const char* name;
    std::function<TBytes()> make;
    TSkpError expected;
};

const TPackageCase PackageCases[] = {
    { "good", [] { return Good(); }, TSkpError::None },
    { "oneRecordOf5",
        [] {
            return SkpPackageBytes({ { 1, Filled(5) } });
        },
        TSkpError::None },
    { "oneRecordOf500",
        [] {
            return SkpPackageBytes({ { 3, Filled(500) } });
        },
        TSkpError::None },
    { "emptyRecord",
        [] {
            return SkpPackageBytes({ { 2, {} } });
        },
        TSkpError::None },
    { "empty", [] { return TBytes {}; }, TSkpError::ShortHeader },
    { "elevenBytes",
        [] {
            TBytes b = Good();
            b.resize(11);
            return b;
        },
        TSkpError::ShortHeader },
    { "magicWrong",
        [] {
            TBytes b = Good();
            b[3] = '?';
            return b;
        },
        TSkpError::BadMagic },
    { "formatCode52",
        [] {
            TBytes b = Good();
            PutLe32(b, 4, 52);
            return b;
        },
        TSkpError::BadFormatCode },
    { "recordCount0",
        [] {
            TBytes b = Good();
            PutLe32(b, 8, 0);
            return b;
        },
        TSkpError::NoRecords },
    { "recordCountNegative",
        [] {
            TBytes b = Good();
            PutLe32(b, 8, 0xFFFFFFFF);
            return b;
        },
        TSkpError::NoRecords },
    { "tablePastTheEnd",
        [] {
            TBytes b = Good();
            PutLe32(b, 8, 100); // 12 + 1000 bytes of table in a file of 557
            return b;
        },
        TSkpError::TableOutsideFile },
    { "countAtMost",
        [] {
            TBytes b = Good();
            PutLe32(b, 8, 0x7FFFFFFF);
            return b;
        },
        TSkpError::TableOutsideFile },
    { "type7",
        [] {
            TBytes b = Good();
            PutLe32(b, 12 + 2 * 10, 7);
            return b;
        },
        TSkpError::BadRecordType },
    { "typeNegative",
        [] {
            TBytes b = Good();
            PutLe32(b, 12, 0xFFFFFFFF);
            return b;
        },
        TSkpError::BadRecordType },
    { "oneByteTooLong",
        [] {
            TBytes b = Good();
            b.push_back(0);
            return b;
        },
        TSkpError::SizeMismatch },
    { "oneByteShort",
        [] {
            TBytes b = Good();
            b.pop_back();
            return b;
        },
        TSkpError::SizeMismatch },
    // 0xFFFFFFF0 + 0x20 wraps to 0x10 in 32 bits: exactly the 16 data bytes
    // that follow. Summed without overflow it is far too long.
    { "lengthsOverflowTheSum",
        [] {
            TBytes b = SkpPackageBytes({ { 0, Filled(8) }, { 0, Filled(8) } });
            PutLe32(b, 12 + 4, 0xFFFFFFF0);
            PutLe32(b, 22 + 4, 0x20);
            return b;
        },
        TSkpError::SizeMismatch },
};

void PrintTo(const TPackageCase& c, std::ostream* os)
{
    *os << c.name;
}

class Package : public testing::TestWithParam<TPackageCase> { };

TEST_P(Package, IsCheckedAsAWhole)
{
    const TBytes bytes = GetParam().make();
    TSkpMemorySource source(bytes.data(), bytes.size());
    TSkpPackage package;
    EXPECT_EQ(package.Open(&source), GetParam().expected) << SkpErrorText(package.Open(&source));
    if (GetParam().expected != TSkpError::None) {
        TSkpRecord r;
        EXPECT_EQ(package.Record(0, r), TSkpError::NoSuchRecord); // nothing of a refused package is used
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Package, testing::ValuesIn(PackageCases),
    [](const testing::TestParamInfo<TPackageCase>& info) { return std::string(info.param.name); });

TEST(Checksum, SignedByteSum)
{
    const struct {
        TBytes data;
        uint16_t sum;
    } rows[] = {
        { { 0x01, 0xFF }, 0x0000 },
        { { 0x80 }, 0xFF80 },
        { { 0x7F, 0x7F }, 0x00FE },
        { {}, 0x0000 },
        { TBytes(600, 0xFF), uint16_t(-600) },
    };
    for (const auto& row : rows)
        EXPECT_EQ(SkpChecksum(row.data.data(), row.data.size()), row.sum) << row.data.size();
}

TEST(Crc, ModbusCheckValueInAnyPieces)
{
    const char* digits = "123456789";
    for (size_t split = 0; split <= 9; ++split) {
        TSkpCrc crc;
        crc.Add(reinterpret_cast<const uint8_t*>(digits), split);
        crc.Add(reinterpret_cast<const uint8_t*>(digits) + split, 9 - split);
        EXPECT_EQ(crc.Value(), 0x4B37) << split;
    }
    EXPECT_EQ(TSkpCrc().Value(), 0xFFFF);
}

TEST(Records, DataWhereTheTableSaysAndChecked)
{
    const TBytes bytes = Good();
    TSkpMemorySource source(bytes.data(), bytes.size());
    TSkpPackage package;
    ASSERT_EQ(package.Open(&source), TSkpError::None);
    ASSERT_EQ(package.RecordCount(), 3);
    const struct {
        int32_t type;
        uint32_t length;
        uint64_t offset;
    } expected[] = { { 0, 10, 42 }, { 3, 5, 52 }, { 6, 500, 57 } };
    // Out of order too: the offsets must not depend on the order of asking.
    for (int index : { 0, 1, 2, 1, 0, 2 }) {
        TSkpRecord r;
        ASSERT_EQ(package.Record(index, r), TSkpError::None);
        EXPECT_EQ(r.type, expected[index].type);
        EXPECT_EQ(r.length, expected[index].length);
        EXPECT_EQ(r.dataOffset, expected[index].offset) << index;
        EXPECT_EQ(r.typeBytes[0], uint8_t(r.type));
        EXPECT_EQ(r.typeBytes[1], 0);
        uint16_t crc = 0;
        EXPECT_EQ(package.CheckRecord(r, &crc), TSkpError::None);
        TSkpCrc whole;
        whole.Add(bytes.data() + r.dataOffset, r.length);
        EXPECT_EQ(crc, whole.Value());
    }
    TSkpRecord none;
    EXPECT_EQ(package.Record(3, none), TSkpError::NoSuchRecord);
    EXPECT_EQ(package.Record(-1, none), TSkpError::NoSuchRecord);
}

TEST(Records, OddRecordReadsWithAZeroAfterIt)
{
    const TBytes data { 0x11, 0x22, 0x33, 0x44, 0x55 };
    const TBytes bytes = SkpPackageBytes({ { 1, data } });
    TSkpMemorySource source(bytes.data(), bytes.size());
    TSkpPackage package;
    ASSERT_EQ(package.Open(&source), TSkpError::None);
    TSkpRecord r;
    ASSERT_EQ(package.Record(0, r), TSkpError::None);
    EXPECT_EQ(r.EvenLength(), 6u);
    uint8_t out[6];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(package.ReadData(r, 0, out, 6), TSkpError::None);
    EXPECT_EQ(TBytes(out, out + 6), (TBytes { 0x11, 0x22, 0x33, 0x44, 0x55, 0 }));
    ASSERT_EQ(package.ReadData(r, 4, out, 2), TSkpError::None);
    EXPECT_EQ(TBytes(out, out + 2), (TBytes { 0x55, 0 }));
    EXPECT_EQ(package.ReadData(r, 4, out, 3), TSkpError::NoSuchRecord); // past the even length
}

TEST(Records, BadChecksumIsFoundPerRecord)
{
    TBytes bytes = Good();
    bytes[bytes.size() - 1] ^= 0x01; // in record 3
    TSkpMemorySource source(bytes.data(), bytes.size());
    TSkpPackage package;
    ASSERT_EQ(package.Open(&source), TSkpError::None); // the data are not part of the package check
    const TSkpError expected[] = { TSkpError::None, TSkpError::None, TSkpError::BadChecksum };
    for (int i = 0; i < 3; ++i) {
        TSkpRecord r;
        ASSERT_EQ(package.Record(i, r), TSkpError::None);
        EXPECT_EQ(package.CheckRecord(r, nullptr), expected[i]) << i;
    }
}

// A table longer than one read piece, on disk: a fault in its last entry is
// found, and the record after the first piece has its right offset.
TEST(File, TableLongerThanAPiece)
{
    constexpr int count = 10000; // 100,000 bytes of table
    std::vector<TSkpMemoryRecord> records(count);
    for (int i = 0; i < count; ++i)
        records[i] = { i % 7, TBytes(size_t(i % 3), uint8_t(i)) };
    TBytes bytes = SkpPackageBytes(records);
    char path[] = "/tmp/twl-skp-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    auto write = [&](const TBytes& b) {
        ASSERT_EQ(::ftruncate(fd, 0), 0);
        ASSERT_EQ(::pwrite(fd, b.data(), b.size(), 0), ssize_t(b.size()));
    };
    write(bytes);
    {
        TSkpFileSource file;
        ASSERT_TRUE(file.Open(path));
        TSkpPackage package;
        ASSERT_EQ(package.Open(&file), TSkpError::None);
        TSkpRecord r;
        ASSERT_EQ(package.Record(count - 1, r), TSkpError::None);
        EXPECT_EQ(r.dataOffset, bytes.size() - r.length);
        EXPECT_EQ(package.CheckRecord(r, nullptr), TSkpError::None);
    }
    PutLe32(bytes, 12 + size_t(count - 1) * 10, 7);
    write(bytes);
    {
        TSkpFileSource file;
        ASSERT_TRUE(file.Open(path));
        TSkpPackage package;
        EXPECT_EQ(package.Open(&file), TSkpError::BadRecordType);
    }
    ::close(fd);
    ::unlink(path);
    TSkpFileSource none;
    EXPECT_FALSE(none.Open(path));
    EXPECT_FALSE(none.Open("/tmp")); // a directory is no package
}

TEST(Errors, EveryCodeHasItsOwnText)
{
    std::set<std::string> seen;
    for (int e = int(TSkpError::None); e <= int(TSkpError::NoSuchRecord); ++e)
        EXPECT_TRUE(seen.insert(SkpErrorText(TSkpError(e))).second) << e;
}

} // namespace
