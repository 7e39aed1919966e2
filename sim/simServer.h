#pragma once
#include "sim/alarmSender.h"
#include "sim/controlChannel.h"
#include "sim/modbusService.h"
#include "sim/q6120Device.h"
#include "sim/simConsole.h"
#include "sim/simOptions.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace dsc {
class Responder;
}

namespace sim {

// One simulated server: the device, and around it the Modbus service, the
// console (on its own HTTP threads), the alarm sender, the control channel
// and the discovery responder, all moved by one poll loop. Restarts happen
// here: everything goes away and comes back.
class SimServer {
public:
    explicit SimServer(ServerOptions options);
    ~SimServer();

    // Opens everything; false with a message on stderr when that fails.
    bool start();
    // Runs until a termination signal or the "quit" command. Returns the exit code.
    int run(int signalFd);

private:
    using Clock = std::chrono::steady_clock;

    void beginRestart(bool factoryReset);
    void finishRestart();
    std::string execute(const std::string& line);
    std::string statusLine() const;
    void queueAlarm(AlarmEvent event, const Ipv4& destination);
    bool openDiscovery();
    bool placeInterface();
    void publishStatus();
    bool writeReadyFile();

    ServerOptions m_options;
    Q6120Device m_device;
    ModbusService m_modbus;
    AlarmSender m_alarms;
    std::unique_ptr<ControlChannel> m_control;
    SimConsole m_console;
    std::unique_ptr<dsc::Responder> m_responder;
    int m_boundHttpPort = 0;

    bool m_restarting = false;
    Clock::time_point m_backAt;
    int m_restarts = 0;
    bool m_quit = false;
};

} // namespace sim
