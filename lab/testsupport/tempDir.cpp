#include "lab/testsupport/tempDir.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace twltest {

TempDir::TempDir()
{
    char pattern[] = "/tmp/twl-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    m_path = made ? made : "/tmp";
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (m_path != "/tmp")
        std::filesystem::remove_all(m_path, ec);
}

} // namespace twltest
