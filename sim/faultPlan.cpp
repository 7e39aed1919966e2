#include "sim/faultPlan.h"

#include <charconv>
#include <cstdio>
#include <sstream>
#include <vector>

namespace sim {

namespace {

constexpr int MaxFunctionCode = 127;
constexpr int MaxAddress = 0xFFFF;
constexpr int MaxCount = 1000000;
// MBAP header, unit, function code: the first address field follows.
constexpr size_t FunctionOffset = 7;
constexpr size_t AddressOffset = 8;

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

void ended(FaultPlan& plan)
{
    plan = FaultPlan {};
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

    const ModeInfo* info = nullptr;
    for (const ModeInfo& m : modes) {
        if (words[0] == m.name)
            info = &m;
    }
    if (!info)
        return refuse("unknown fault mode: " + words[0]);
    FaultPlan plan;
    plan.mode = info->mode;
    plan.value = info->defaultValue;
    size_t i = 1;
    if (info->takesValue && i < words.size() && number(words[i])) {
        const int v = *number(words[i]);
        if (v < info->minValue || v > info->maxValue)
            return refuse("bad value for " + words[0] + ": " + words[i]);
        plan.value = v;
        ++i;
    } else if (info->valueRequired) {
        return refuse(words[0] + " needs a value");
    }

    bool once = false, always = false, counted = false, nthGiven = false;
    while (i < words.size()) {
        const std::string& key = words[i++];
        if (key == "once" || key == "always") {
            if (once || always || counted)
                return refuse("once, always and count exclude each other");
            (key == "once" ? once : always) = true;
            continue;
        }
        if (key != "fn" && key != "addr" && key != "nth" && key != "count")
            return refuse(i == 2 && info->takesValue ? "bad value for " + words[0] + ": " + key
                                                     : "unknown word in fault plan: " + key);
        if (i >= words.size())
            return refuse(key + " needs a number");
        const auto v = number(words[i++]);
        if (key == "fn") {
            if (!v || *v < 1 || *v > MaxFunctionCode || plan.function)
                return refuse("fn needs one function code 1..127");
            plan.function = *v;
        } else if (key == "addr") {
            if (!v || *v < 0 || *v > MaxAddress || plan.address)
                return refuse("addr needs one address 0..0xFFFF");
            plan.address = *v;
        } else if (key == "nth") {
            if (!v || *v < 1 || *v > MaxCount || nthGiven)
                return refuse("nth needs one number above 0");
            plan.nth = *v;
            nthGiven = true;
        } else {
            if (!v || *v < 1 || *v > MaxCount)
                return refuse("count must be a number above 0");
            if (once || always || counted)
                return refuse("once, always and count exclude each other");
            plan.remaining = *v;
            counted = true;
        }
    }
    if (once)
        plan.remaining = 1;
    if (plan.mode == FaultPlan::Mode::Refuse && (plan.function || plan.address || nthGiven))
        return refuse("refuse acts on connections: no fn, addr or nth");
    if (plan.mode == FaultPlan::Mode::None)
        return FaultPlan {};
    return plan;
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
    if (p.mode == FaultPlan::Mode::None)
        return out;
    if (p.function)
        out += " fn " + std::to_string(*p.function);
    if (p.address) {
        char hex[16];
        std::snprintf(hex, sizeof hex, " addr 0x%04X", unsigned(*p.address));
        out += hex;
    }
    // The requests still to come before it fires.
    const int nth = p.nth - p.seen;
    if (nth > 1)
        out += " nth " + std::to_string(nth);
    if (p.remaining >= 0)
        out += " count " + std::to_string(p.remaining);
    return out;
}

bool TakeRequestFault(FaultPlan& plan, const uint8_t* frame, size_t length)
{
    if (!plan.active() || plan.mode == FaultPlan::Mode::Refuse)
        return false;
    if (plan.function && (length <= FunctionOffset || frame[FunctionOffset] != *plan.function))
        return false;
    if (plan.address
        && (length < AddressOffset + 2 || (frame[AddressOffset] << 8 | frame[AddressOffset + 1]) != *plan.address))
        return false;
    if (plan.seen < plan.nth - 1) {
        ++plan.seen;
        return false;
    }
    if (plan.remaining > 0 && --plan.remaining == 0)
        ended(plan);
    return true;
}

bool TakeConnectionFault(FaultPlan& plan)
{
    if (!plan.active() || plan.mode != FaultPlan::Mode::Refuse)
        return false;
    if (plan.remaining > 0 && --plan.remaining == 0)
        ended(plan);
    return true;
}

} // namespace sim
