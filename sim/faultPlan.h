#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// How the server misbehaves towards Modbus clients. Text form, as taken by the
// --fault flag and the control command "fault":
//   none | delay MS | cut N | trickle [MS] | exception [CODE] | drop | refuse | silence
// optionally followed by "count N": the fault then hits the next N requests
// (connections for refuse) only.
struct FaultPlan {
    enum class Mode { None, Delay, Cut, Trickle, Exception, Drop, Refuse, Silence };
    Mode mode = Mode::None;
    int value = 0; // delay or trickle interval in ms, cut length, exception code
    int remaining = -1; // -1: until changed

    bool active() const { return mode != Mode::None && remaining != 0; }
};

std::optional<FaultPlan> ParseFault(std::string_view text, std::string* error);
std::string FormatFault(const FaultPlan& plan);

} // namespace sim
