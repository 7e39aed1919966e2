#pragma once
// Writes firmware packages: the header, the table with each record's type,
// length and checksum, then the data. Used by skptool and the tests.
#include <cstdint>
#include <string>
#include <vector>

struct TSkpInput {
    int32_t type = 0;
    std::string path; // the file whose bytes are the record's data
};

// Writes out from the input files, each read in pieces. false with why set
// when an input can't be read, a type is outside 0 to 6, a file is larger
// than a record can be, or out can't be written.
bool SkpWritePackage(const std::string& out, const std::vector<TSkpInput>& inputs, std::string* why);

// A package in memory from records given as (type, data); no checks, so
// tests can build broken ones from it.
struct TSkpMemoryRecord {
    int32_t type = 0;
    std::vector<uint8_t> data;
};
std::vector<uint8_t> SkpPackageBytes(const std::vector<TSkpMemoryRecord>& records);
