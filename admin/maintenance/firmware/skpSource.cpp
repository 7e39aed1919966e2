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
    m_file = std::fopen(path.c_str(), "rb");
    if (!m_file)
        return false;
    struct stat st { };
    // A directory opens on Linux too; only a regular file is a package.
    if (::fstat(::fileno(m_file), &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return false;
    }
    m_fileSize = uint64_t(st.st_size);
    return true;
}

void TSkpFileSource::Close()
{
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
    m_fileSize = 0;
}

bool TSkpFileSource::ReadAt(uint64_t offset, uint8_t* bytes, size_t size)
{
    if (!m_file || offset > m_fileSize || size > m_fileSize - offset)
        return false;
    if (::fseeko(m_file, off_t(offset), SEEK_SET) != 0)
        return false;
    return std::fread(bytes, 1, size, m_file) == size;
}

bool TSkpMemorySource::ReadAt(uint64_t offset, uint8_t* bytes, size_t size)
{
    if (offset > m_length || size > m_length - offset)
        return false;
    if (size)
        std::memcpy(bytes, m_bytes + offset, size);
    return true;
}
