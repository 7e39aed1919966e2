#include "admin/maintenance/firmware/skpPackage.h"

#include "admin/maintenance/firmware/skpCrc.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

const char* SkpErrorText(TSkpError error)
{
    switch (error) {
    case TSkpError::None:
        return "no error";
    case TSkpError::NoFile:
        return "no file to read";
    case TSkpError::ShortHeader:
        return "shorter than the 12-byte header";
    case TSkpError::BadMagic:
        return "magic is not \"XRT!\"";
    case TSkpError::BadFormatCode:
        return "format code is not 53";
    case TSkpError::NoRecords:
        return "record count is not above 0";
    case TSkpError::TableOutsideFile:
        return "record table runs past the end of the file";
    case TSkpError::BadRecordType:
        return "record type outside 0 to 6";
    case TSkpError::SizeMismatch:
        return "file size differs from header, table and record lengths";
    case TSkpError::ReadFailed:
        return "file could not be read";
    case TSkpError::BadChecksum:
        return "record data do not match the record checksum";
    case TSkpError::NoSuchRecord:
        return "no such record";
    }
    return "unknown error";
}

uint16_t SkpChecksum(const uint8_t* bytes, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum += uint32_t(int32_t(int8_t(bytes[i])));
    return uint16_t(sum);
}

TSkpRecord TSkpPackage::Decode(const uint8_t* entry, uint64_t dataOffset)
{
    TSkpRecord r;
    std::memcpy(r.typeBytes, entry, 4);
    std::memcpy(r.lengthBytes, entry + 4, 4);
    r.type = int32_t(Le32(entry));
    r.length = Le32(entry + 4);
    r.checksum = uint16_t(entry[8] | entry[9] << 8);
    r.dataOffset = dataOffset;
    return r;
}

TSkpError TSkpPackage::Open(TSkpSource* source)
{
    m_source = source;
    m_count = 0;
    m_size = 0;
    m_lastIndex = -1;
    if (!source)
        return TSkpError::NoFile;
    const uint64_t size = source->Size();
    uint8_t header[SkpHeaderSize];
    if (size < uint64_t(SkpHeaderSize))
        return TSkpError::ShortHeader;
    if (!source->ReadAt(0, header, sizeof header))
        return TSkpError::ReadFailed;
    if (std::memcmp(header, SkpMagic, sizeof SkpMagic) != 0)
        return TSkpError::BadMagic;
    if (Le32(header + 4) != SkpFormatCode)
        return TSkpError::BadFormatCode;
    const int32_t count = int32_t(Le32(header + 8));
    if (count <= 0)
        return TSkpError::NoRecords;
    // 64 bits: 12 + 10 * (2^31 - 1) plus 2^31 lengths of up to 2^32 - 1
    // stay far below 2^64.
    const uint64_t tableEnd = uint64_t(SkpHeaderSize) + uint64_t(SkpEntrySize) * uint64_t(count);
    if (tableEnd > size)
        return TSkpError::TableOutsideFile;

    // The table in pieces of whole entries: the checks need one entry at a time.
    constexpr size_t entriesPerPiece = PieceSize / SkpEntrySize;
    std::vector<uint8_t> piece(entriesPerPiece * SkpEntrySize);
    uint64_t total = tableEnd;
    for (int64_t first = 0; first < count; first += int64_t(entriesPerPiece)) {
        const size_t n = size_t(std::min<int64_t>(int64_t(entriesPerPiece), count - first));
        if (!source->ReadAt(uint64_t(SkpHeaderSize) + uint64_t(first) * SkpEntrySize, piece.data(), n * SkpEntrySize))
            return TSkpError::ReadFailed;
        for (size_t i = 0; i < n; ++i) {
            const TSkpRecord r = Decode(piece.data() + i * SkpEntrySize, 0);
            if (r.type < 0 || r.type > SkpMaxRecordType)
                return TSkpError::BadRecordType;
            total += r.length;
        }
    }
    if (total != size)
        return TSkpError::SizeMismatch;
    m_count = count;
    m_size = size;
    return TSkpError::None;
}

TSkpError TSkpPackage::Record(int index, TSkpRecord& record)
{
    if (!m_source || index < 0 || index >= m_count)
        return TSkpError::NoSuchRecord;
    uint8_t entry[SkpEntrySize];
    // Where the data begin: after the previous record's, or summed afresh.
    uint64_t dataOffset = uint64_t(SkpHeaderSize) + uint64_t(SkpEntrySize) * uint64_t(m_count);
    int from = 0;
    if (m_lastIndex >= 0 && m_lastIndex < index) {
        dataOffset = m_lastDataOffset + m_lastLength;
        from = m_lastIndex + 1;
    }
    for (int i = from; i < index; ++i) {
        if (!m_source->ReadAt(uint64_t(SkpHeaderSize) + uint64_t(i) * SkpEntrySize, entry, sizeof entry))
            return TSkpError::ReadFailed;
        dataOffset += Le32(entry + 4);
    }
    if (!m_source->ReadAt(uint64_t(SkpHeaderSize) + uint64_t(index) * SkpEntrySize, entry, sizeof entry))
        return TSkpError::ReadFailed;
    record = Decode(entry, dataOffset);
    m_lastIndex = index;
    m_lastDataOffset = dataOffset;
    m_lastLength = record.length;
    return TSkpError::None;
}

TSkpError TSkpPackage::CheckRecord(const TSkpRecord& record, uint16_t* crc, uint16_t* checksum)
{
    if (!m_source)
        return TSkpError::NoSuchRecord;
    std::vector<uint8_t> piece(std::min<uint64_t>(PieceSize, std::max<uint32_t>(record.length, 1u)));
    uint32_t sum = 0;
    TSkpCrc running;
    for (uint64_t done = 0; done < record.length;) {
        const size_t n = size_t(std::min<uint64_t>(piece.size(), record.length - done));
        if (!m_source->ReadAt(record.dataOffset + done, piece.data(), n))
            return TSkpError::ReadFailed;
        sum += SkpChecksum(piece.data(), n);
        running.Add(piece.data(), n);
        done += n;
    }
    if (crc)
        *crc = running.Value();
    if (checksum)
        *checksum = uint16_t(sum);
    return uint16_t(sum) == record.checksum ? TSkpError::None : TSkpError::BadChecksum;
}

TSkpError TSkpPackage::ReadData(const TSkpRecord& record, uint64_t offset, uint8_t* bytes, size_t size)
{
    if (!m_source || offset > record.EvenLength() || size > record.EvenLength() - offset)
        return TSkpError::NoSuchRecord;
    std::memset(bytes, 0, size);
    const uint64_t inFile = offset < record.length ? std::min<uint64_t>(size, record.length - offset) : 0;
    if (inFile && !m_source->ReadAt(record.dataOffset + offset, bytes, size_t(inFile)))
        return TSkpError::ReadFailed;
    return TSkpError::None;
}
