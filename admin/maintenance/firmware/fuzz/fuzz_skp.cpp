// libFuzzer target: any bytes as a firmware package. The reader must
// refuse or accept without reading outside the bytes, and every record of
// an accepted package must be readable piece by piece.
#include "admin/maintenance/firmware/skpPackage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TSkpMemorySource source(data, size);
    TSkpPackage package;
    if (package.Open(&source) != TSkpError::None)
        return 0;
    // An accepted package: its records lie inside the bytes, without gaps.
    uint64_t end = SkpHeaderSize + uint64_t(SkpEntrySize) * uint64_t(package.RecordCount());
    for (int i = 0; i < package.RecordCount(); ++i) {
        TSkpRecord r;
        if (package.Record(i, r) != TSkpError::None || r.dataOffset != end)
            std::abort();
        end += r.length;
        const TSkpError check = package.CheckRecord(r, nullptr);
        if (check != TSkpError::None && check != TSkpError::BadChecksum)
            std::abort();
        uint8_t piece[230];
        for (uint64_t at = 0; at < r.EvenLength(); at += sizeof piece) {
            const size_t n = size_t(r.EvenLength() - at < sizeof piece ? r.EvenLength() - at : sizeof piece);
            if (package.ReadData(r, at, piece, n) != TSkpError::None)
                std::abort();
        }
    }
    if (end != size)
        std::abort();
    return 0;
}
