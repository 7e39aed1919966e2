#pragma once
#include "sim/simAlarmMessage.h"

#include <chrono>
#include <deque>
#include <string>

namespace sim {

// Sends alarm messages to the alarm host, each on a connection of its own,
// one after the other so that they arrive in the order they happened. An
// alarm not delivered within the limit is dropped and reported on stderr.
// Non-blocking: the owner's poll loop calls drive().
class AlarmSender {
public:
    using Clock = std::chrono::steady_clock;

    AlarmSender(std::string host, int port);
    ~AlarmSender();
    AlarmSender(const AlarmSender&) = delete;
    AlarmSender& operator=(const AlarmSender&) = delete;

    bool enabled() const { return !m_host.empty(); }
    void queue(const AlarmMessage& message, std::string what);
    // Moves the alarm under way on as far as it goes without blocking.
    void drive(Clock::time_point now);

    // The connection under way (-1 none) and when it is given up.
    int fd() const { return m_fd; }
    Clock::time_point deadline() const { return m_deadline; }
    int delivered() const { return m_delivered; }
    int failed() const { return m_failed; }

private:
    struct Pending {
        AlarmMessage message;
        std::string what;
    };
    void finish(bool sent);

    std::string m_host;
    int m_port;
    std::deque<Pending> m_alarms;
    int m_fd = -1;
    bool m_connected = false;
    size_t m_sent = 0;
    Clock::time_point m_deadline;
    int m_delivered = 0;
    int m_failed = 0;
};

} // namespace sim
