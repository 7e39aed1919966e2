#pragma once
// Firmware package files (*.skp): a 12-byte header, a table of 10-byte
// record entries, then the records' data in table order without gaps. All
// integers little-endian. The reader checks the whole package before any
// record is used, and reads only bounded pieces: neither the file nor a
// record is ever held whole, and no length in it is trusted before it was
// checked against the file's size.
#include "admin/maintenance/firmware/skpSource.h"

#include <cstddef>
#include <cstdint>

constexpr uint8_t SkpMagic[4] = { 'X', 'R', 'T', '!' };
constexpr uint32_t SkpFormatCode = 53;
constexpr int SkpHeaderSize = 12;
constexpr int SkpEntrySize = 10;
constexpr int32_t SkpMaxRecordType = 6;

enum class TSkpError {
    None,
    NoFile, // nothing to read at the path
    ShortHeader, // fewer than 12 bytes
    BadMagic,
    BadFormatCode,
    NoRecords, // RecordCount 0 or negative
    TableOutsideFile, // the record table does not fit in the file
    BadRecordType, // a type outside 0 to 6
    SizeMismatch, // the file is longer or shorter than its records add up to
    ReadFailed, // the file could not be read where it should
    BadChecksum, // a record's data do not add up to its checksum
    NoSuchRecord,
};
// One line of English for each code.
const char* SkpErrorText(TSkpError error);

// One entry of the record table, with the bytes of its fields as they stand
// in the file (the download sends them unchanged).
struct TSkpRecord {
    int32_t type = 0;
    uint32_t length = 0;
    uint16_t checksum = 0;
    uint8_t typeBytes[4] = {};
    uint8_t lengthBytes[4] = {};
    uint64_t dataOffset = 0; // where its data start in the file
    // The length made even: an odd record goes out with one zero byte more.
    uint64_t EvenLength() const { return uint64_t(length) + (length & 1u); }
};

// The sum, modulo 65536, of the bytes each taken as a signed 8-bit value.
uint16_t SkpChecksum(const uint8_t* bytes, size_t size);

class TSkpPackage {
public:
    // Checks the whole package on source (not owned; must outlive this):
    // header, record table and size rule. TSkpError::None when valid.
    TSkpError Open(TSkpSource* source);

    int32_t RecordCount() const { return m_count; }
    uint64_t FileSize() const { return m_size; }

    // The table entry of record index (from 0) of a valid package.
    TSkpError Record(int index, TSkpRecord& record);
    // Reads the record's data in pieces: their checksum against the entry's
    // (BadChecksum when they differ), and their CRC. crc and checksum, when
    // given, receive what the data add up to.
    TSkpError CheckRecord(const TSkpRecord& record, uint16_t* crc, uint16_t* checksum = nullptr);
    // size bytes of the record's even-length data from offset on; the byte
    // after the data of an odd record reads as 0.
    TSkpError ReadData(const TSkpRecord& record, uint64_t offset, uint8_t* bytes, size_t size);

    // The size of the pieces in which the table and the data are read.
    static constexpr size_t PieceSize = 64 * 1024;

private:
    static TSkpRecord Decode(const uint8_t* entry, uint64_t dataOffset);

    TSkpSource* m_source = nullptr;
    int32_t m_count = 0;
    uint64_t m_size = 0;
    // The record last asked for, so that walking the table in order needs no
    // second pass over it to find where a record's data begin.
    int m_lastIndex = -1;
    uint64_t m_lastDataOffset = 0;
    uint32_t m_lastLength = 0;
};
