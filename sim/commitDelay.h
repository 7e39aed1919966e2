#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// How long a firmware record commit takes before it answers, for every record
// type or for one: "MS" or "TYPE:MS" (numbers decimal or 0x hex), as taken by
// --commit-delay and the control command "commit-delay".
struct CommitDelay {
    std::optional<int> type; // none: every type without a delay of its own
    int ms = 0;
};

std::optional<CommitDelay> ParseCommitDelay(std::string_view text, std::string* error);

} // namespace sim
