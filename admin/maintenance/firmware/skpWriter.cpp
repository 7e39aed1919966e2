#include "admin/maintenance/firmware/skpWriter.h"

#include "admin/maintenance/firmware/skpPackage.h"

#include <cstdio>
#include <limits>
#include <memory>

namespace {

void PutLe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void PutEntry(std::vector<uint8_t>& out, int32_t type, uint32_t length, uint16_t checksum)
{
    PutLe32(out, uint32_t(type));
    PutLe32(out, length);
    out.push_back(uint8_t(checksum));
    out.push_back(uint8_t(checksum >> 8));
}

struct TFileCloser {
    void operator()(std::FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

} // namespace

std::vector<uint8_t> SkpPackageBytes(const std::vector<TSkpMemoryRecord>& records)
{
    std::vector<uint8_t> out(SkpMagic, SkpMagic + 4);
    PutLe32(out, SkpFormatCode);
    PutLe32(out, uint32_t(records.size()));
    for (const auto& r : records)
        PutEntry(out, r.type, uint32_t(r.data.size()), SkpChecksum(r.data.data(), r.data.size()));
    for (const auto& r : records)
        out.insert(out.end(), r.data.begin(), r.data.end());
    return out;
}

bool SkpWritePackage(const std::string& out, const std::vector<TSkpInput>& inputs, std::string* why)
{
    auto fail = [&](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    if (inputs.empty())
        return fail("no records");
    if (inputs.size() > size_t(std::numeric_limits<int32_t>::max()))
        return fail("too many records");
    std::vector<uint8_t> table(SkpMagic, SkpMagic + 4);
    PutLe32(table, SkpFormatCode);
    PutLe32(table, uint32_t(inputs.size()));
    std::vector<uint8_t> piece(TSkpPackage::PieceSize);
    // First pass: each input's length and checksum, read in pieces.
    for (const auto& in : inputs) {
        if (in.type < 0 || in.type > SkpMaxRecordType)
            return fail("type " + std::to_string(in.type) + " outside 0 to 6");
        TFile f(std::fopen(in.path.c_str(), "rb"));
        if (!f)
            return fail("cannot read " + in.path);
        uint64_t length = 0;
        uint32_t sum = 0;
        while (size_t n = std::fread(piece.data(), 1, piece.size(), f.get())) {
            length += n;
            sum += SkpChecksum(piece.data(), n);
        }
        if (std::ferror(f.get()))
            return fail("cannot read " + in.path);
        if (length > std::numeric_limits<uint32_t>::max())
            return fail(in.path + " is larger than a record can be");
        PutEntry(table, in.type, uint32_t(length), uint16_t(sum));
    }
    TFile o(std::fopen(out.c_str(), "wb"));
    if (!o)
        return fail("cannot write " + out);
    if (std::fwrite(table.data(), 1, table.size(), o.get()) != table.size())
        return fail("cannot write " + out);
    for (const auto& in : inputs) {
        TFile f(std::fopen(in.path.c_str(), "rb"));
        if (!f)
            return fail("cannot read " + in.path);
        while (size_t n = std::fread(piece.data(), 1, piece.size(), f.get()))
            if (std::fwrite(piece.data(), 1, n, o.get()) != n)
                return fail("cannot write " + out);
    }
    if (std::fflush(o.get()) != 0)
        return fail("cannot write " + out);
    return true;
}
