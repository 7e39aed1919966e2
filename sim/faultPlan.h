#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// How the server misbehaves towards Modbus clients. Text form, as taken by the
// --fault flag and the control command "fault":
//   MODE [ARG] [fn F] [addr A] [nth N] [once|always] [count N]
// MODE ARG is one of none | delay MS | cut N | trickle [MS] | exception [CODE]
// | drop | refuse | silence. The selectors aim the fault: only requests with
// function code F and/or first address field A (the register address; the
// sub-function for diagnostics) match, and it fires from the Nth matching
// request on: at that one only with "once", on every later one too with
// "always" (the default), on N of them with "count N"; then it returns to
// none. refuse acts on connections and takes "count N" only. Numbers are
// decimal or 0x hex.
struct FaultPlan {
    enum class Mode { None, Delay, Cut, Trickle, Exception, Drop, Refuse, Silence };
    Mode mode = Mode::None;
    int value = 0; // delay or trickle interval in ms, cut length, exception code
    int remaining = -1; // hits left; -1: until changed
    std::optional<int> function; // fn F
    std::optional<int> address; // addr A
    int nth = 1; // fires from the nth matching request
    int seen = 0; // matching requests so far

    bool active() const { return mode != Mode::None && remaining != 0; }
};

std::optional<FaultPlan> ParseFault(std::string_view text, std::string* error);
std::string FormatFault(const FaultPlan& plan);

// Whether the plan hits this request frame (MBAP header included), counting
// it; a plan whose hits are used up becomes none. Never true for refuse.
bool TakeRequestFault(FaultPlan& plan, const uint8_t* frame, size_t length);

// Whether a refuse plan hits the connection just accepted, counting it.
bool TakeConnectionFault(FaultPlan& plan);

} // namespace sim
