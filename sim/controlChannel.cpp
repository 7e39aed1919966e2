#include "sim/controlChannel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim {

namespace {
constexpr size_t LineLimit = 4096;
constexpr int Backlog = 8;
}

ControlChannel::ControlChannel(std::string path, Handler handler)
    : m_path(std::move(path))
    , m_handler(std::move(handler))
{
}

ControlChannel::~ControlChannel()
{
    for (Client& c : m_clients)
        close(c.fd);
    if (m_fd >= 0) {
        close(m_fd);
        unlink(m_path.c_str());
    }
}

bool ControlChannel::open()
{
    sockaddr_un addr {};
    if (m_path.size() >= sizeof addr.sun_path) {
        fprintf(stderr, "twinlane-sim: control socket path too long\n");
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, m_path.c_str(), m_path.size());
    unlink(m_path.c_str());
    m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(m_fd, Backlog) != 0) {
        fprintf(stderr, "twinlane-sim: cannot open control socket %s: %s\n", m_path.c_str(), strerror(errno));
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

void ControlChannel::addPollFds(std::vector<pollfd>& fds)
{
    fds.push_back({ m_fd, short(m_fd >= 0 ? POLLIN : 0), 0 });
    for (const Client& c : m_clients)
        fds.push_back({ c.fd, short(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0 });
}

bool ControlChannel::read(Client& client)
{
    char buf[1024];
    const ssize_t n = ::read(client.fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return true;
    if (n <= 0)
        return false;
    client.in.append(buf, size_t(n));
    size_t eol;
    while ((eol = client.in.find('\n')) != std::string::npos) {
        std::string line = client.in.substr(0, eol);
        client.in.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        client.out += m_handler(line) + "\n";
    }
    if (client.in.size() > LineLimit) {
        client.out += "error line too long\n";
        client.in.clear();
    }
    return true;
}

void ControlChannel::process(const pollfd* fds)
{
    const bool incoming = m_fd >= 0 && (fds[0].revents & POLLIN);
    for (size_t i = 0; i < m_clients.size(); ++i) {
        Client& c = m_clients[i];
        const short rev = fds[1 + i].revents;
        bool keep = true;
        if (rev & POLLIN)
            keep = read(c);
        else if (rev & (POLLHUP | POLLERR))
            keep = false;
        while (keep && !c.out.empty()) {
            const ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0) {
                keep = n < 0 && errno == EAGAIN;
                break;
            }
            c.out.erase(0, size_t(n));
        }
        if (!keep) {
            close(c.fd);
            c.fd = -1;
        }
    }
    std::erase_if(m_clients, [](const Client& c) { return c.fd < 0; });
    if (incoming) {
        const int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0)
            m_clients.push_back(Client { fd, {}, {} });
    }
}

void ControlChannel::flush()
{
    for (Client& c : m_clients)
        if (!c.out.empty())
            (void)!send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
}

} // namespace sim
