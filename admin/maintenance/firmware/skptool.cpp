// Firmware package tool for operators and tests:
//   skptool build OUT.skp TYPE:FILE...   writes a valid package
//   skptool verify FILE.skp              lists the records, or says why the
//                                        program would refuse the package
#include "admin/maintenance/firmware/firmwareUpdate.h"
#include "admin/maintenance/firmware/skpPackage.h"
#include "admin/maintenance/firmware/skpWriter.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

int Usage()
{
    std::fprintf(stderr,
        "usage: skptool build OUT.skp TYPE:FILE...\n"
        "       skptool verify FILE.skp\n"
        "TYPE is a record type from 0 to 6.\n");
    return ExitUsage;
}

int Build(int argc, char** argv)
{
    if (argc < 4)
        return Usage();
    std::vector<TSkpInput> inputs;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t colon = arg.find(':');
        char* end = nullptr;
        const long type = colon == std::string::npos ? -1 : std::strtol(arg.c_str(), &end, 10);
        if (colon == std::string::npos || colon == 0 || end != arg.c_str() + colon) {
            std::fprintf(stderr, "skptool: %s is not TYPE:FILE\n", arg.c_str());
            return ExitUsage;
        }
        inputs.push_back({ int32_t(type < 0 || type > SkpMaxRecordType ? -1 : type), arg.substr(colon + 1) });
    }
    std::string why;
    if (!SkpWritePackage(argv[2], inputs, &why)) {
        std::fprintf(stderr, "skptool: %s\n", why.c_str());
        return ExitRefused;
    }
    return ExitOk;
}

int Verify(int argc, char** argv)
{
    if (argc != 3)
        return Usage();
    TSkpFileSource file;
    if (!file.Open(argv[2])) {
        std::printf("%s\n", FirmwareText::ErrorReadingFile);
        return ExitRefused;
    }
    TSkpPackage package;
    if (const TSkpError e = package.Open(&file); e != TSkpError::None) {
        std::printf("%s\n%s\n", FirmwareText::InvalidFileFormat, SkpErrorText(e));
        return ExitRefused;
    }
    // The verdict comes first; the listing only for a package that passes.
    std::string listing;
    char line[160];
    std::snprintf(line, sizeof line, "%d records, %llu bytes\nrecord  type      length  checksum  crc\n",
        package.RecordCount(), static_cast<unsigned long long>(package.FileSize()));
    listing += line;
    for (int i = 0; i < package.RecordCount(); ++i) {
        TSkpRecord r;
        uint16_t crc = 0;
        uint16_t sum = 0;
        TSkpError e = package.Record(i, r);
        if (e == TSkpError::None)
            e = package.CheckRecord(r, &crc, &sum);
        if (e == TSkpError::BadChecksum) {
            std::printf("%s\nrecord %d: checksum 0x%04X in the table, 0x%04X in the data\n",
                FirmwareText::InvalidChecksum, i + 1, r.checksum, sum);
            return ExitRefused;
        }
        if (e != TSkpError::None) {
            std::printf("%s\nrecord %d: %s\n", FirmwareText::UpdateFail, i + 1, SkpErrorText(e));
            return ExitRefused;
        }
        std::snprintf(
            line, sizeof line, "%6d  %4d  %10u    0x%04X  0x%04X\n", i + 1, r.type, r.length, r.checksum, crc);
        listing += line;
    }
    std::fputs(listing.c_str(), stdout);
    return ExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    const std::string command = argv[1];
    if (command == "build")
        return Build(argc, argv);
    if (command == "verify")
        return Verify(argc, argv);
    return Usage();
}
