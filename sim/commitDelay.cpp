#include "sim/commitDelay.h"

#include <charconv>

namespace sim {

namespace {

constexpr int MaxDelayMs = 600000;
constexpr int MaxRecordType = 6;

std::optional<int> number(std::string_view word)
{
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    int value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (word.empty() || ec != std::errc() || end != word.data() + word.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<CommitDelay> ParseCommitDelay(std::string_view text, std::string* error)
{
    auto refuse = [&](std::string why) -> std::optional<CommitDelay> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    CommitDelay delay;
    const auto colon = text.find(':');
    if (colon != std::string_view::npos) {
        const auto type = number(text.substr(0, colon));
        if (!type || *type < 0 || *type > MaxRecordType)
            return refuse("record type must be 0..6: " + std::string(text.substr(0, colon)));
        delay.type = *type;
        text.remove_prefix(colon + 1);
    }
    const auto ms = number(text);
    if (!ms || *ms < 0 || *ms > MaxDelayMs)
        return refuse("delay must be 0..600000 ms: " + std::string(text));
    delay.ms = *ms;
    return delay;
}

} // namespace sim
