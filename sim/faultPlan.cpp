#include "faultPlan.h"

#include <charconv>
#include <sstream>
#include <vector>

namespace sim {

namespace {

struct ModeInfo {
    const char* name;
    FaultPlan::Mode mode;
    bool takesValue;
    bool valueRequired;
    int defaultValue;
    int minValue;
    int maxValue;
};

const ModeInfo modes[] = {
    { "none", FaultPlan::Mode::None, false, false, 0, 0, 0 },
    { "delay", FaultPlan::Mode::Delay, true, true, 0, 0, 600000 },
    { "cut", FaultPlan::Mode::Cut, true, true, 0, 0, 300 },
    { "trickle", FaultPlan::Mode::Trickle, true, false, 20, 0, 60000 },
    { "exception", FaultPlan::Mode::Exception, true, false, 4, 1, 255 },
    { "drop", FaultPlan::Mode::Drop, false, false, 0, 0, 0 },
    { "refuse", FaultPlan::Mode::Refuse, false, false, 0, 0, 0 },
    { "silence", FaultPlan::Mode::Silence, false, false, 0, 0, 0 },
};

std::optional<int> number(const std::string& word)
{
    int value = 0;
    int base = 10;
    const char* begin = word.data();
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    auto [end, ec] = std::from_chars(begin, word.data() + word.size(), value, base);
    if (ec != std::errc() || end != word.data() + word.size() || begin == end)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<FaultPlan> ParseFault(std::string_view text, std::string* error)
{
    std::istringstream in { std::string(text) };
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    auto refuse = [&](std::string why) -> std::optional<FaultPlan> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    if (words.empty())
        return refuse("no fault mode given");

    FaultPlan plan;
    if (words.size() >= 2 && words[words.size() - 2] == "count") {
        auto n = number(words.back());
        if (!n || *n < 1)
            return refuse("count must be a number above 0");
        plan.remaining = *n;
        words.resize(words.size() - 2);
        if (words.empty())
            return refuse("no fault mode given");
    }
    for (const ModeInfo& m : modes) {
        if (words[0] != m.name)
            continue;
        plan.mode = m.mode;
        plan.value = m.defaultValue;
        if (words.size() > 2 || (words.size() == 2 && !m.takesValue))
            return refuse("too many arguments for " + words[0]);
        if (words.size() == 1 && m.valueRequired)
            return refuse(words[0] + " needs a value");
        if (words.size() == 2) {
            auto v = number(words[1]);
            if (!v || *v < m.minValue || *v > m.maxValue)
                return refuse("bad value for " + words[0] + ": " + words[1]);
            plan.value = *v;
        }
        if (plan.mode == FaultPlan::Mode::None)
            plan.remaining = -1;
        return plan;
    }
    return refuse("unknown fault mode: " + words[0]);
}

std::string FormatFault(const FaultPlan& p)
{
    std::string out;
    for (const ModeInfo& m : modes) {
        if (m.mode == p.mode) {
            out = m.name;
            if (m.takesValue)
                out += " " + std::to_string(p.value);
        }
    }
    if (p.remaining >= 0 && p.mode != FaultPlan::Mode::None)
        out += " count " + std::to_string(p.remaining);
    return out;
}

} // namespace sim
