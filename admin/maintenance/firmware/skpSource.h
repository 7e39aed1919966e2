#pragma once
// Where a package's bytes come from: a file on disk or, for tests and the
// fuzz target, a block in memory. Reads are always at a stated offset and
// of a stated size, so nothing is ever read whole.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class TSkpSource {
public:
    virtual ~TSkpSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly size bytes at offset; false when they are not all there.
    virtual bool ReadAt(uint64_t offset, uint8_t* bytes, size_t size) = 0;
};

class TSkpFileSource : public TSkpSource {
public:
    TSkpFileSource() = default;
    ~TSkpFileSource() override;
    TSkpFileSource(const TSkpFileSource&) = delete;
    TSkpFileSource& operator=(const TSkpFileSource&) = delete;

    // false when there is no regular file to read at path.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }
    uint64_t Size() const override { return m_fileSize; }
    bool ReadAt(uint64_t offset, uint8_t* bytes, size_t size) override;

private:
    std::FILE* m_file = nullptr;
    uint64_t m_fileSize = 0;
};

class TSkpMemorySource : public TSkpSource {
public:
    TSkpMemorySource(const uint8_t* bytes, size_t size)
        : m_bytes(bytes)
        , m_length(size)
    {
    }
    uint64_t Size() const override { return m_length; }
    bool ReadAt(uint64_t offset, uint8_t* bytes, size_t size) override;

private:
    const uint8_t* m_bytes;
    size_t m_length;
};
