#include "admin/maintenance/firmware/skpSource.h"

#include <cstring>
#include <sys/stat.h>

TSkpFileSource::~TSkpFileSource()
{
    Close();
}

bool TSkpFileSource::Open(const std::string& path)
{
    Close();
    File = std::fopen(path.c_str(), "rb");
    if (!File)
        return false;
    struct stat st { };
    // A directory opens on Linux too; only a regular file is a package.
    if (::fstat(::fileno(File), &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return false;
    }
    FileSize = uint64_t(st.st_size);
    return true;
}

void TSkpFileSource::Close()
{
    if (File)
        std::fclose(File);
    File = nullptr;
    FileSize = 0;
}

bool TSkpFileSource::ReadAt(uint64_t offset, uint8_t* bytes, size_t size)
{
    if (!File || offset > FileSize || size > FileSize - offset)
        return false;
    if (::fseeko(File, off_t(offset), SEEK_SET) != 0)
        return false;
    return std::fread(bytes, 1, size, File) == size;
}

bool TSkpMemorySource::ReadAt(uint64_t offset, uint8_t* bytes, size_t size)
{
    if (offset > Length || size > Length - offset)
        return false;
    if (size)
        std::memcpy(bytes, Bytes + offset, size);
    return true;
}
