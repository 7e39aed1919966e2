#include "sim/alarmSender.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {
constexpr int ConnectLimitMs = 5000;
}

AlarmSender::AlarmSender(std::string host, int port)
    : m_host(std::move(host))
    , m_port(port)
{
}

AlarmSender::~AlarmSender()
{
    if (m_fd >= 0)
        close(m_fd);
}

void AlarmSender::queue(const AlarmMessage& message, std::string what)
{
    if (enabled())
        m_alarms.push_back(Pending { message, std::move(what) });
}

void AlarmSender::finish(bool sent)
{
    if (sent)
        ++m_delivered;
    else {
        ++m_failed;
        fprintf(stderr, "twinlane-sim: alarm \"%s\" not delivered to %s:%d\n", m_alarms.front().what.c_str(),
            m_host.c_str(), m_port);
    }
    close(m_fd);
    m_fd = -1;
    m_alarms.pop_front();
}

void AlarmSender::drive(Clock::time_point now)
{
    if (m_fd < 0) {
        if (m_alarms.empty())
            return;
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(m_port));
        inet_pton(AF_INET, m_host.c_str(), &to.sin_addr);
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            m_alarms.pop_front();
            return;
        }
        m_connected = false;
        m_sent = 0;
        m_deadline = now + std::chrono::milliseconds(ConnectLimitMs);
        if (connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
            m_connected = true;
        else if (errno != EINPROGRESS) {
            finish(false);
            return;
        }
    }
    if (!m_connected) {
        pollfd p { m_fd, POLLOUT, 0 };
        if (poll(&p, 1, 0) <= 0) {
            if (now >= m_deadline)
                finish(false);
            return;
        }
        int error = 0;
        socklen_t len = sizeof error;
        getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &len);
        if (error != 0) {
            finish(false);
            return;
        }
        m_connected = true;
    }
    const AlarmMessage& m = m_alarms.front().message;
    while (m_sent < m.size()) {
        const ssize_t n = send(m_fd, m.data() + m_sent, m.size() - m_sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (now >= m_deadline)
                finish(false);
            return;
        }
        if (n <= 0) {
            finish(false);
            return;
        }
        m_sent += size_t(n);
    }
    finish(true);
}

} // namespace sim
