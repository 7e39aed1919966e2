#pragma once
#include "alarmMessage.h"
#include "faultPlan.h"
#include "q6120Device.h"
#include "simConsole.h"
#include "simOptions.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _modbus modbus_t;

namespace dsc {
class Responder;
}

namespace sim {

// One simulated server: a single poll loop over the Modbus listener and its
// clients, the control socket, the alarm sender and the discovery responder.
// The console runs its own HTTP threads.
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

    struct Chunk {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
        Q6120Device::After after = Q6120Device::After::Nothing;
    };
    struct Client {
        int fd = -1;
        std::vector<uint8_t> in;
        std::deque<Chunk> out;
        bool peerDone = false; // the peer closed its side; replies still go out
    };
    struct ControlClient {
        int fd = -1;
        std::string in;
        std::string out;
    };
    struct PendingAlarm {
        AlarmMessage message;
        std::string what;
    };

    bool openModbus();
    void closeModbus();
    void acceptModbus();
    bool readModbus(Client& client); // false: drop the client
    bool serveFrame(Client& client, const uint8_t* frame, size_t length); // false: drop
    bool flushClient(Client& client, Clock::time_point now); // false: drop the client
    void queueReply(Client& client, Q6120Device::Outcome outcome, FaultPlan::Mode fault, int faultValue);
    void beginRestart(bool factoryReset);
    void finishRestart();
    void closeClient(size_t index);

    bool openControl();
    void acceptControl();
    bool readControl(ControlClient& client); // false: drop
    std::string execute(const std::string& line);
    std::string statusLine() const;

    void queueAlarm(AlarmEvent event, const Ipv4& destination);
    void driveAlarm(Clock::time_point now);
    void finishAlarm(bool sent);

    bool openDiscovery();
    bool placeInterface();
    void publishStatus();
    void logFrame(const uint8_t* frame, size_t length);
    void applyRefusal();
    bool writeReadyFile();

    ServerOptions m_options;
    Q6120Device m_device;
    SimConsole m_console;
    std::unique_ptr<dsc::Responder> m_responder;
    modbus_t* m_ctx = nullptr;
    int m_listenFd = -1;
    int m_boundModbusPort = 0;
    int m_boundHttpPort = 0;
    std::vector<Client> m_clients;
    int m_controlFd = -1;
    std::vector<ControlClient> m_controlClients;
    FILE* m_frameLog = nullptr;

    std::optional<bool> m_restartRequested; // the value: factory reset
    bool m_restarting = false;
    Clock::time_point m_backAt;
    int m_restarts = 0;
    bool m_quit = false;

    std::deque<PendingAlarm> m_alarms;
    int m_alarmFd = -1;
    bool m_alarmConnected = false;
    size_t m_alarmSent = 0;
    Clock::time_point m_alarmDeadline;
    int m_alarmsDelivered = 0;
    int m_alarmsFailed = 0;
};

} // namespace sim
