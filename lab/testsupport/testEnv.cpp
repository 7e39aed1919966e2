#include "lab/testsupport/testEnv.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace twltest {

std::string BinDir()
{
    const char* dir = std::getenv("TWL_BIN_DIR");
    return dir ? dir : ".";
}

bool WaitFor(const std::function<bool()>& pred, int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace twltest
