#pragma once
#include "sim/faultPlan.h"
#include "sim/q6120Device.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <optional>
#include <poll.h>
#include <string>
#include <vector>

typedef struct _modbus modbus_t;

namespace sim {

// The Modbus/TCP side of the server: the listener, the client connections,
// framing by the header's length field, the frame log, the fault plan and the
// queue of replies that may leave late, cut or byte by byte. The device
// decides the answers. Non-blocking: the owner's poll loop adds pollFds() and
// passes the results to process().
class ModbusService {
public:
    using Clock = std::chrono::steady_clock;

    ModbusService(Q6120Device& device, FaultPlan fault);
    ~ModbusService();
    ModbusService(const ModbusService&) = delete;
    ModbusService& operator=(const ModbusService&) = delete;

    bool openFrameLog(const std::string& path); // false with a message on stderr
    // Listens on address:port; port 0 picks one, kept for the next listen().
    bool listen(const std::string& address, int port);
    void closeListener();
    void dropClients();
    int port() const { return m_port; }
    size_t connections() const { return m_clients.size(); }

    const FaultPlan& fault() const { return m_fault; }
    void setFault(const FaultPlan& plan);
    // While away (restarting) the listener stays closed whatever the plan.
    void setAway(bool away);

    // A restart or factory reset asked for by a request whose reply is out
    // (or whose client is gone): the value tells a factory reset.
    const std::optional<bool>& restartRequested() const { return m_restartRequested; }
    void requestRestart(bool factoryReset) { m_restartRequested = factoryReset; }
    void clearRestartRequest() { m_restartRequested.reset(); }

    // Sends the replies that are due and closes finished clients.
    void flush(Clock::time_point now);
    // Appends the descriptors and lowers timeoutMs (-1: none) to the next due reply.
    void addPollFds(std::vector<pollfd>& fds, Clock::time_point now, int& timeoutMs);
    void process(const pollfd* fds);

private:
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

    void accept();
    bool read(Client& client); // false: drop the client
    bool serveFrame(Client& client, const uint8_t* frame, size_t length); // false: drop
    bool flushClient(Client& client, Clock::time_point now); // false: drop the client
    void queueReply(Client& client, Q6120Device::Outcome outcome, FaultPlan::Mode fault, int faultValue);
    void closeClient(size_t index);
    void applyRefusal();
    void logFrame(const uint8_t* frame, size_t length);

    Q6120Device& m_device;
    FaultPlan m_fault;
    std::string m_address;
    int m_port = 0;
    modbus_t* m_ctx = nullptr;
    int m_listenFd = -1;
    bool m_away = false;
    size_t m_polledClients = 0; // clients in the last poll set
    std::vector<Client> m_clients;
    FILE* m_frameLog = nullptr;
    std::optional<bool> m_restartRequested;
};

} // namespace sim
