#include "lab/testsupport/alarmCatcher.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace twltest {

AlarmCatcher::AlarmCatcher(const std::string& address)
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    socklen_t len = sizeof a;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(m_fd, 16) == 0
        && getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        m_port = ntohs(a.sin_port);
}

AlarmCatcher::~AlarmCatcher()
{
    for (int fd : m_clients)
        close(fd);
    close(m_fd);
}

std::optional<std::array<uint8_t, 58>> AlarmCatcher::next(int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        for (size_t i = 0; i < m_buffers.size(); ++i) {
            if (m_buffers[i].size() >= 58) {
                std::array<uint8_t, 58> m;
                std::copy_n(m_buffers[i].begin(), 58, m.begin());
                m_buffers[i].erase(m_buffers[i].begin(), m_buffers[i].begin() + 58);
                return m;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        std::vector<pollfd> fds { { m_fd, POLLIN, 0 } };
        for (int fd : m_clients)
            fds.push_back({ fd, POLLIN, 0 });
        if (poll(fds.data(), fds.size(), int(left.count())) <= 0)
            continue;
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            uint8_t buf[256];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0)
                m_buffers[i - 1].insert(m_buffers[i - 1].end(), buf, buf + n);
        }
        if (fds[0].revents & POLLIN) {
            const int c = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                m_clients.push_back(c);
                m_buffers.emplace_back();
            }
        }
    }
}

} // namespace twltest
