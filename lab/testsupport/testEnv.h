#pragma once
#include <functional>
#include <string>

namespace twltest {

// Where the built programs are ($TWL_BIN_DIR, which CTest sets).
std::string BinDir();

// Waits (sleeping between checks) until pred holds or the generous limit is
// reached; the limit only keeps a broken run from hanging.
bool WaitFor(const std::function<bool()>& pred, int limitMs = 20000);

} // namespace twltest
