#include "sim/modbusService.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {
// A little over the standard's 253-byte PDU: a client may write 125
// registers, which gets an exception rather than a dropped connection.
constexpr size_t MaxFollowingLength = 260;
constexpr int ListenBacklog = 32;

int msUntil(std::chrono::steady_clock::time_point t, std::chrono::steady_clock::time_point now)
{
    if (t <= now)
        return 0;
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count()) + 1;
}

void resetAndClose(int fd)
{
    // A reset, as a device that refuses would give, not a clean close.
    linger l { 1, 0 };
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(fd);
}
}

ModbusService::ModbusService(Q6120Device& device, FaultPlan fault)
    : m_device(device)
    , m_fault(fault)
{
}

ModbusService::~ModbusService()
{
    dropClients();
    closeListener();
    if (m_ctx)
        modbus_free(m_ctx);
    if (m_frameLog)
        fclose(m_frameLog);
}

bool ModbusService::openFrameLog(const std::string& path)
{
    m_frameLog = fopen(path.c_str(), "ae");
    if (!m_frameLog) {
        fprintf(stderr, "twinlane-sim: cannot open frame log %s: %s\n", path.c_str(), strerror(errno));
        return false;
    }
    return true;
}

bool ModbusService::listen(const std::string& address, int port)
{
    m_address = address;
    m_port = port;
    if (m_ctx)
        modbus_free(m_ctx);
    m_ctx = modbus_new_tcp(m_address.c_str(), m_port);
    if (!m_ctx) {
        fprintf(stderr, "twinlane-sim: bad bind address %s\n", m_address.c_str());
        return false;
    }
    m_listenFd = modbus_tcp_listen(m_ctx, ListenBacklog);
    if (m_listenFd < 0) {
        fprintf(
            stderr, "twinlane-sim: cannot listen on %s:%d: %s\n", m_address.c_str(), m_port, modbus_strerror(errno));
        return false;
    }
    fcntl(m_listenFd, F_SETFD, FD_CLOEXEC);
    sockaddr_in addr {};
    socklen_t len = sizeof addr;
    if (getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        m_port = ntohs(addr.sin_port); // keep a picked port across restarts
    // Opened first all the same, so that a picked port is known and kept.
    if (m_fault.mode == FaultPlan::Mode::Refuse && m_fault.remaining < 0)
        closeListener();
    return true;
}

void ModbusService::closeListener()
{
    if (m_listenFd >= 0)
        close(m_listenFd);
    m_listenFd = -1;
}

void ModbusService::closeClient(size_t index)
{
    if (m_clients[index].fd >= 0)
        close(m_clients[index].fd);
    m_clients[index].fd = -1;
}

void ModbusService::dropClients()
{
    for (size_t i = 0; i < m_clients.size(); ++i)
        closeClient(i);
    m_clients.clear();
    m_polledClients = 0;
}

void ModbusService::setFault(const FaultPlan& plan)
{
    m_fault = plan;
    applyRefusal();
}

void ModbusService::setAway(bool away)
{
    m_away = away;
}

void ModbusService::applyRefusal()
{
    const bool refuseAll = m_fault.mode == FaultPlan::Mode::Refuse && m_fault.remaining < 0;
    if (refuseAll && m_listenFd >= 0)
        closeListener();
    else if (!refuseAll && m_listenFd < 0 && !m_away && !m_address.empty())
        listen(m_address, m_port);
}

void ModbusService::accept()
{
    int fd = m_listenFd;
    const int client = modbus_tcp_accept(m_ctx, &fd);
    modbus_set_socket(m_ctx, -1);
    if (fd != m_listenFd) {
        // Some libmodbus versions close the listener when accept fails.
        m_listenFd = -1;
        applyRefusal();
    }
    if (client < 0)
        return;
    fcntl(client, F_SETFD, FD_CLOEXEC);
    if (TakeConnectionFault(m_fault)) {
        applyRefusal();
        resetAndClose(client);
        return;
    }
    m_clients.push_back(Client { client, {}, {} });
}

void ModbusService::logFrame(const uint8_t* frame, size_t length)
{
    if (!m_frameLog)
        return;
    fprintf(m_frameLog, "%s\n", HexBytes(frame, length).c_str());
    fflush(m_frameLog);
}

bool ModbusService::read(Client& client)
{
    // Frames are cut by the length field of their header. libmodbus's own
    // receive sizes a request by its function code and knows no diagnostics,
    // so it would split a restart request in two.
    uint8_t buf[1024];
    const ssize_t n = recv(client.fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return true;
    if (n < 0)
        return false;
    if (n == 0) {
        client.peerDone = true;
        return !client.out.empty();
    }
    client.in.insert(client.in.end(), buf, buf + n);
    size_t used = 0;
    bool keep = true;
    while (keep && client.in.size() - used >= 7) {
        const uint8_t* h = client.in.data() + used;
        const size_t length = size_t(h[4] << 8 | h[5]);
        if (length < 2 || length > MaxFollowingLength) {
            // No way to find the next frame after a bad length.
            logFrame(h, client.in.size() - used);
            return false;
        }
        if (client.in.size() - used < 6 + length)
            break;
        keep = serveFrame(client, h, 6 + length);
        used += 6 + length;
    }
    client.in.erase(client.in.begin(), client.in.begin() + long(used));
    return keep;
}

bool ModbusService::serveFrame(Client& client, const uint8_t* frame, size_t length)
{
    logFrame(frame, length);
    if (frame[2] != 0 || frame[3] != 0)
        return true; // not Modbus: no answer

    auto mode = FaultPlan::Mode::None;
    int value = 0;
    // Taken before counting: the last hit turns the plan to none.
    const FaultPlan plan = m_fault;
    if (TakeRequestFault(m_fault, frame, length)) {
        mode = plan.mode;
        value = plan.value;
    }
    switch (mode) {
    case FaultPlan::Mode::Drop:
        return false;
    case FaultPlan::Mode::Silence:
        return true;
    case FaultPlan::Mode::Exception: {
        Q6120Device::Outcome outcome;
        outcome.reply = m_device.exceptionReply(frame, length, uint8_t(value));
        queueReply(client, std::move(outcome), mode, value);
        return true;
    }
    default:
        queueReply(client, m_device.handle(frame, length), mode, value);
        return true;
    }
}

void ModbusService::queueReply(Client& client, Q6120Device::Outcome outcome, FaultPlan::Mode fault, int value)
{
    auto due = Clock::now();
    if (!client.out.empty())
        due = std::max(due, client.out.back().due); // replies leave in request order
    due += std::chrono::milliseconds(outcome.delayMs);
    if (fault == FaultPlan::Mode::Delay)
        due += std::chrono::milliseconds(value);
    if (fault == FaultPlan::Mode::Cut && outcome.reply.size() > size_t(value))
        outcome.reply.resize(size_t(value));

    if (fault == FaultPlan::Mode::Trickle) {
        for (size_t i = 0; i < outcome.reply.size(); ++i) {
            client.out.push_back(Chunk { due, { outcome.reply[i] }, Q6120Device::After::Nothing });
            due += std::chrono::milliseconds(value);
        }
        if (!outcome.reply.empty())
            client.out.back().after = outcome.after;
        else if (outcome.after != Q6120Device::After::Nothing)
            client.out.push_back(Chunk { due, {}, outcome.after });
        return;
    }
    if (!outcome.reply.empty() || outcome.after != Q6120Device::After::Nothing)
        client.out.push_back(Chunk { due, std::move(outcome.reply), outcome.after });
}

bool ModbusService::flushClient(Client& client, Clock::time_point now)
{
    while (!client.out.empty() && client.out.front().due <= now) {
        Chunk& chunk = client.out.front();
        while (!chunk.bytes.empty()) {
            const ssize_t n = send(client.fd, chunk.bytes.data(), chunk.bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
                return true; // the rest when the socket can take it
            if (n <= 0) {
                // The peer is gone; a restart it asked for still happens.
                for (const Chunk& c : client.out)
                    if (c.after != Q6120Device::After::Nothing)
                        m_restartRequested = c.after == Q6120Device::After::FactoryReset;
                return false;
            }
            chunk.bytes.erase(chunk.bytes.begin(), chunk.bytes.begin() + n);
        }
        if (chunk.after != Q6120Device::After::Nothing)
            m_restartRequested = chunk.after == Q6120Device::After::FactoryReset;
        client.out.pop_front();
        if (m_restartRequested)
            return true;
    }
    return true;
}

void ModbusService::flush(Clock::time_point now)
{
    for (size_t i = 0; i < m_clients.size(); ++i) {
        Client& c = m_clients[i];
        if (c.fd >= 0 && (!flushClient(c, now) || (c.peerDone && c.out.empty())))
            closeClient(i);
    }
    std::erase_if(m_clients, [](const Client& c) { return c.fd < 0; });
}

void ModbusService::addPollFds(std::vector<pollfd>& fds, Clock::time_point now, int& timeoutMs)
{
    fds.push_back({ m_listenFd, short(m_listenFd >= 0 ? POLLIN : 0), 0 });
    for (const Client& c : m_clients) {
        short events = c.peerDone ? 0 : POLLIN;
        if (!c.out.empty()) {
            if (c.out.front().due <= now)
                events |= POLLOUT;
            else {
                const int ms = msUntil(c.out.front().due, now);
                if (timeoutMs < 0 || ms < timeoutMs)
                    timeoutMs = ms;
            }
        }
        fds.push_back({ c.fd, events, 0 });
    }
    m_polledClients = m_clients.size();
}

void ModbusService::process(const pollfd* fds)
{
    // Clients first, then the listener: new clients are not in this poll set.
    for (size_t i = 0; i < m_polledClients && i < m_clients.size(); ++i) {
        const short rev = fds[1 + i].revents;
        Client& c = m_clients[i];
        if (c.fd < 0 || m_restartRequested)
            continue;
        if (rev & POLLIN) {
            if (!read(c))
                closeClient(i);
        } else if (rev & (POLLHUP | POLLERR | POLLNVAL)) {
            closeClient(i);
        }
    }
    if (m_listenFd >= 0 && fds[0].fd == m_listenFd && (fds[0].revents & POLLIN) && !m_restartRequested)
        accept();
}

} // namespace sim
