#pragma once
#include "sim/faultPlan.h"
#include "sim/q6120Device.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Everything the command line sets.
struct ServerOptions {
    DeviceSettings device;
    bool macGiven = false; // else the interface's MAC, when there is one
    std::string bindAddress = "127.0.0.1";
    int modbusPort = 502;
    int httpPort = 80; // -1: no console
    int restartMs = 3000;
    std::string alarmHost; // empty: no alarms
    int alarmPort = 4040;
    std::string frameLogPath;
    std::string controlPath;
    std::string readyPath;
    FaultPlan fault;
    // Discovery and interface management, both only outside the machine's own
    // network namespace.
    std::string interfaceName;
    bool manageInterface = false;
    bool discovery = true;
    uint32_t productId = 0x80006120;
    uint16_t productCode = 0x6120;
};

// The outcome of reading a command line: options, a request for the usage
// text, or why the line was refused.
struct ParsedOptions {
    std::optional<ServerOptions> options;
    bool help = false;
    std::string error; // set when neither of the above
};

// Reads the arguments after the program name ("--flag VALUE" or
// "--flag=VALUE"). Pure: no look at the system (the machine-namespace guard
// and the interface's MAC are the caller's).
ParsedOptions ParseOptions(const std::vector<std::string>& args);

extern const char* const Usage;

} // namespace sim
