#include "simServer.h"

#include "simPassword.h"

#include "simInterface.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <dscResponder.h>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim {

namespace {
constexpr int AlarmConnectLimitMs = 5000;
constexpr size_t ControlLineLimit = 4096;
// A little over the standard's 253-byte PDU: a client may write 125
// registers, which gets an exception rather than a dropped connection.
constexpr size_t MaxFollowingLength = 260;

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

SimServer::SimServer(ServerOptions options)
    : m_options(std::move(options))
    , m_device(m_options.device)
{
}

SimServer::~SimServer()
{
    m_console.stop();
    m_responder.reset();
    for (auto& c : m_clients)
        if (c.fd >= 0)
            close(c.fd);
    closeModbus();
    if (m_ctx)
        modbus_free(m_ctx);
    for (auto& c : m_controlClients)
        if (c.fd >= 0)
            close(c.fd);
    if (m_controlFd >= 0) {
        close(m_controlFd);
        unlink(m_options.controlPath.c_str());
    }
    if (m_alarmFd >= 0)
        close(m_alarmFd);
    if (m_frameLog)
        fclose(m_frameLog);
}

bool SimServer::start()
{
    if (!m_device.valid()) {
        fprintf(stderr, "twinlane-sim: cannot set up the register map\n");
        return false;
    }
    if (!m_options.frameLogPath.empty()) {
        m_frameLog = fopen(m_options.frameLogPath.c_str(), "ae");
        if (!m_frameLog) {
            fprintf(stderr, "twinlane-sim: cannot open frame log %s: %s\n", m_options.frameLogPath.c_str(),
                strerror(errno));
            return false;
        }
    }
    m_boundModbusPort = m_options.modbusPort;
    if (!openModbus())
        return false;
    if (m_options.httpPort >= 0) {
        publishStatus();
        m_boundHttpPort = m_console.start(m_options.bindAddress, m_options.httpPort);
        if (m_boundHttpPort < 0) {
            fprintf(stderr, "twinlane-sim: cannot serve the console on %s:%d\n", m_options.bindAddress.c_str(),
                m_options.httpPort);
            return false;
        }
    }
    if (!m_options.controlPath.empty() && !openControl())
        return false;
    if (!openDiscovery())
        return false;
    if (m_options.fault.mode == FaultPlan::Mode::Refuse)
        applyRefusal();
    queueAlarm(AlarmEvent::ColdStart, {});
    return writeReadyFile();
}

bool SimServer::writeReadyFile()
{
    if (m_options.readyPath.empty())
        return true;
    const std::string tmp = m_options.readyPath + ".tmp";
    FILE* f = fopen(tmp.c_str(), "we");
    if (!f) {
        fprintf(stderr, "twinlane-sim: cannot write %s\n", tmp.c_str());
        return false;
    }
    fprintf(f, "modbus=%d http=%d\n", m_boundModbusPort, m_boundHttpPort);
    fclose(f);
    // Readers see the whole file or none.
    return rename(tmp.c_str(), m_options.readyPath.c_str()) == 0;
}

bool SimServer::openDiscovery()
{
    if (!m_options.discovery || m_options.interfaceName.empty())
        return true;
    // Answers are broadcasts: never on the machine's own links.
    if (InInitialNetworkNamespace()) {
        fprintf(stderr, "twinlane-sim: no discovery in the machine's own network namespace\n");
        return false;
    }
    dsc::Responder::Config config;
    config.interfaceName = m_options.interfaceName;
    config.productId = m_options.productId;
    config.productCode = m_options.productCode;
    std::copy(m_device.settings().mac.begin(), m_device.settings().mac.end(), config.mac.begin());
    config.address = [this] {
        uint32_t networkOrder = 0;
        std::memcpy(&networkOrder, m_device.settings().address.data(), 4);
        return networkOrder;
    };
    m_responder = std::make_unique<dsc::Responder>(std::move(config));
    std::string error;
    if (!m_responder->Open(&error)) {
        fprintf(stderr, "twinlane-sim: discovery on %s: %s\n", m_options.interfaceName.c_str(), error.c_str());
        m_responder.reset();
        return false;
    }
    return true;
}

void SimServer::publishStatus()
{
    const auto& s = m_device.settings();
    m_console.setStatus(ConsoleStatus { s.name, FormatIpv4(s.address), FormatMac(s.mac), s.firmwareVersion });
}

// ---- Modbus ----

bool SimServer::openModbus()
{
    if (m_ctx)
        modbus_free(m_ctx);
    m_ctx = modbus_new_tcp(m_options.bindAddress.c_str(), m_boundModbusPort);
    if (!m_ctx) {
        fprintf(stderr, "twinlane-sim: bad bind address %s\n", m_options.bindAddress.c_str());
        return false;
    }
    m_listenFd = modbus_tcp_listen(m_ctx, 32);
    if (m_listenFd < 0) {
        fprintf(stderr, "twinlane-sim: cannot listen on %s:%d: %s\n", m_options.bindAddress.c_str(), m_boundModbusPort,
            modbus_strerror(errno));
        return false;
    }
    fcntl(m_listenFd, F_SETFD, FD_CLOEXEC);
    sockaddr_in addr {};
    socklen_t len = sizeof addr;
    if (getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        m_boundModbusPort = ntohs(addr.sin_port); // keep a picked port across restarts
    return true;
}

void SimServer::closeModbus()
{
    if (m_listenFd >= 0)
        close(m_listenFd);
    m_listenFd = -1;
}

void SimServer::applyRefusal()
{
    const bool refuseAll = m_options.fault.mode == FaultPlan::Mode::Refuse && m_options.fault.remaining < 0;
    if (refuseAll && m_listenFd >= 0)
        closeModbus();
    else if (!refuseAll && m_listenFd < 0 && !m_restarting)
        openModbus();
}

bool SimServer::consumeFault()
{
    FaultPlan& f = m_options.fault;
    if (!f.active())
        return false;
    if (f.remaining > 0 && --f.remaining == 0) {
        f = FaultPlan {};
        applyRefusal();
    }
    return true;
}

void SimServer::acceptModbus()
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
    if (m_options.fault.mode == FaultPlan::Mode::Refuse && m_options.fault.active()) {
        consumeFault();
        resetAndClose(client);
        return;
    }
    m_clients.push_back(Client { client, {}, {} });
}

void SimServer::logFrame(const uint8_t* frame, size_t length)
{
    if (!m_frameLog)
        return;
    fprintf(m_frameLog, "%s\n", HexBytes(frame, length).c_str());
    fflush(m_frameLog);
}

bool SimServer::readModbus(Client& client)
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

bool SimServer::serveFrame(Client& client, const uint8_t* frame, size_t length)
{
    logFrame(frame, length);
    if (frame[2] != 0 || frame[3] != 0)
        return true; // not Modbus: no answer

    auto mode = FaultPlan::Mode::None;
    int value = 0;
    if (m_options.fault.mode != FaultPlan::Mode::Refuse && m_options.fault.active()) {
        mode = m_options.fault.mode;
        value = m_options.fault.value;
        consumeFault();
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

void SimServer::queueReply(Client& client, Q6120Device::Outcome outcome, FaultPlan::Mode fault, int value)
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

bool SimServer::flushClient(Client& client, Clock::time_point now)
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

void SimServer::closeClient(size_t index)
{
    if (m_clients[index].fd >= 0)
        close(m_clients[index].fd);
    m_clients[index].fd = -1;
}

void SimServer::beginRestart(bool factoryReset)
{
    m_restartRequested.reset();
    // Listener first, so that a client that sees its connection drop finds the
    // port closed.
    closeModbus();
    for (size_t i = 0; i < m_clients.size(); ++i)
        closeClient(i);
    m_clients.clear();
    m_console.stop();
    m_responder.reset();

    const Ipv4 before = m_device.settings().address;
    m_device.applyRestart(factoryReset);
    const Ipv4 after = m_device.settings().address;
    if (after != before) {
        if (m_options.manageInterface) {
            std::string error;
            if (!SetInterfaceAddress(m_options.interfaceName, after, &error))
                fprintf(stderr, "twinlane-sim: cannot move %s to %s: %s\n", m_options.interfaceName.c_str(),
                    FormatIpv4(after).c_str(), error.c_str());
        }
        // A listener on the old address follows it, where the address moved
        // with the interface; a wildcard listener needs nothing.
        if (m_options.manageInterface && m_options.bindAddress == FormatIpv4(before)
            && m_options.bindAddress != "0.0.0.0")
            m_options.bindAddress = FormatIpv4(after);
    }
    ++m_restarts;
    m_restarting = true;
    m_backAt = Clock::now() + std::chrono::milliseconds(m_options.restartMs);
}

void SimServer::finishRestart()
{
    m_restarting = false;
    const bool refuseAll = m_options.fault.mode == FaultPlan::Mode::Refuse && m_options.fault.remaining < 0;
    if (!refuseAll)
        openModbus();
    publishStatus();
    if (m_options.httpPort >= 0) {
        const int port = m_console.start(m_options.bindAddress, m_boundHttpPort);
        if (port < 0)
            fprintf(stderr, "twinlane-sim: console did not come back on port %d\n", m_boundHttpPort);
    }
    openDiscovery();
    queueAlarm(AlarmEvent::WarmStart, {});
}

// ---- alarms ----

void SimServer::queueAlarm(AlarmEvent event, const Ipv4& destination)
{
    if (m_options.alarmHost.empty())
        return;
    const auto& s = m_device.settings();
    static const char* names[] = { "Cold Start", "Warm Start", "Off-Line", "On-Line" };
    m_alarms.push_back(
        PendingAlarm { EncodeAlarm(AlarmNow(event, s.name, s.address, destination)), names[int(event)] });
}

void SimServer::finishAlarm(bool sent)
{
    if (sent)
        ++m_alarmsDelivered;
    else {
        ++m_alarmsFailed;
        fprintf(stderr, "twinlane-sim: alarm \"%s\" not delivered to %s:%d\n", m_alarms.front().what.c_str(),
            m_options.alarmHost.c_str(), m_options.alarmPort);
    }
    close(m_alarmFd);
    m_alarmFd = -1;
    m_alarms.pop_front();
}

void SimServer::driveAlarm(Clock::time_point now)
{
    // One alarm at a time, so they arrive in the order they happened.
    if (m_alarmFd < 0) {
        if (m_alarms.empty())
            return;
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(m_options.alarmPort));
        inet_pton(AF_INET, m_options.alarmHost.c_str(), &to.sin_addr);
        m_alarmFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_alarmFd < 0) {
            m_alarms.pop_front();
            return;
        }
        m_alarmConnected = false;
        m_alarmSent = 0;
        m_alarmDeadline = now + std::chrono::milliseconds(AlarmConnectLimitMs);
        if (connect(m_alarmFd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
            m_alarmConnected = true;
        else if (errno != EINPROGRESS) {
            finishAlarm(false);
            return;
        }
    }
    if (!m_alarmConnected) {
        pollfd p { m_alarmFd, POLLOUT, 0 };
        if (poll(&p, 1, 0) <= 0) {
            if (now >= m_alarmDeadline)
                finishAlarm(false);
            return;
        }
        int error = 0;
        socklen_t len = sizeof error;
        getsockopt(m_alarmFd, SOL_SOCKET, SO_ERROR, &error, &len);
        if (error != 0) {
            finishAlarm(false);
            return;
        }
        m_alarmConnected = true;
    }
    const AlarmMessage& m = m_alarms.front().message;
    while (m_alarmSent < m.size()) {
        const ssize_t n = send(m_alarmFd, m.data() + m_alarmSent, m.size() - m_alarmSent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (now >= m_alarmDeadline)
                finishAlarm(false);
            return;
        }
        if (n <= 0) {
            finishAlarm(false);
            return;
        }
        m_alarmSent += size_t(n);
    }
    finishAlarm(true);
}

// ---- control socket ----

bool SimServer::openControl()
{
    sockaddr_un addr {};
    if (m_options.controlPath.size() >= sizeof addr.sun_path) {
        fprintf(stderr, "twinlane-sim: control socket path too long\n");
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, m_options.controlPath.c_str(), m_options.controlPath.size());
    unlink(m_options.controlPath.c_str());
    m_controlFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_controlFd < 0 || bind(m_controlFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
        || listen(m_controlFd, 8) != 0) {
        fprintf(stderr, "twinlane-sim: cannot open control socket %s: %s\n", m_options.controlPath.c_str(),
            strerror(errno));
        return false;
    }
    return true;
}

void SimServer::acceptControl()
{
    const int fd = accept4(m_controlFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0)
        m_controlClients.push_back(ControlClient { fd, {}, {} });
}

bool SimServer::readControl(ControlClient& client)
{
    char buf[1024];
    const ssize_t n = read(client.fd, buf, sizeof buf);
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
        client.out += execute(line) + "\n";
    }
    if (client.in.size() > ControlLineLimit) {
        client.out += "error line too long\n";
        client.in.clear();
    }
    return true;
}

std::string SimServer::statusLine() const
{
    const auto& s = m_device.settings();
    const auto pending = m_device.pendingAddress();
    std::ostringstream out;
    out << "state=" << (m_restarting ? "restarting" : "up") << " address=" << FormatIpv4(s.address)
        << " pending=" << (pending ? FormatIpv4(*pending) : "-") << " password=" << s.password.size()
        << " modbus=" << m_boundModbusPort << " http=" << m_boundHttpPort << " connections=" << m_clients.size()
        << " restarts=" << m_restarts << " firmware=" << FirmwareReceiver::stateName(m_device.firmware().state())
        << " records=" << m_device.firmware().committed().size() << " alarms=" << m_alarmsDelivered
        << " alarms-failed=" << m_alarmsFailed << " fault=" << FormatFault(m_options.fault)
        << " mac=" << FormatMac(s.mac) << " name=" << s.name;
    return out.str();
}

std::string SimServer::execute(const std::string& line)
{
    std::istringstream in(line);
    std::string command;
    in >> command;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest.front() == ' ')
        rest.erase(0, 1);

    if (command == "status")
        return "ok " + statusLine();
    if (command == "fault") {
        std::string error;
        auto plan = ParseFault(rest, &error);
        if (!plan)
            return "error " + error;
        m_options.fault = *plan;
        applyRefusal();
        return "ok";
    }
    if (command == "password") {
        if (!m_device.setPassword(rest))
            return "error a password has at most 10 characters";
        return "ok";
    }
    if (command == "password-hex") {
        const auto bytes = ParsePasswordHex(rest);
        if (!bytes || !m_device.setPasswordBytes(*bytes))
            return "error password-hex takes up to 10 bytes as hex digits";
        return "ok";
    }
    if (command == "alarm") {
        std::istringstream words(rest);
        std::string kind, address;
        words >> kind >> address;
        if (m_options.alarmHost.empty())
            return "error no alarm host configured";
        if (kind == "coldstart" || kind == "warmstart") {
            queueAlarm(kind == "coldstart" ? AlarmEvent::ColdStart : AlarmEvent::WarmStart, {});
            return "ok";
        }
        if (kind == "offline" || kind == "online") {
            const auto destination = ParseIpv4(address);
            if (!destination)
                return "error alarm " + kind + " needs a destination address";
            queueAlarm(kind == "offline" ? AlarmEvent::OffLine : AlarmEvent::OnLine, *destination);
            return "ok";
        }
        return "error unknown alarm: " + kind;
    }
    if (command == "restart" || command == "reset") {
        if (m_restarting)
            return "error restarting";
        m_restartRequested = command == "reset";
        return "ok";
    }
    if (command == "quit") {
        m_quit = true;
        return "ok";
    }
    return "error unknown command: " + command;
}

// ---- the loop ----

int SimServer::run(int signalFd)
{
    std::vector<pollfd> fds;
    while (!m_quit) {
        auto now = Clock::now();
        if (m_restarting && now >= m_backAt)
            finishRestart();
        for (size_t i = 0; i < m_clients.size(); ++i) {
            Client& c = m_clients[i];
            if (c.fd >= 0 && (!flushClient(c, now) || (c.peerDone && c.out.empty())))
                closeClient(i);
        }
        std::erase_if(m_clients, [](const Client& c) { return c.fd < 0; });
        if (m_restartRequested && !m_restarting)
            beginRestart(*m_restartRequested);
        driveAlarm(now);

        int timeout = -1;
        auto consider = [&](int ms) {
            if (ms >= 0 && (timeout < 0 || ms < timeout))
                timeout = ms;
        };
        fds.clear();
        fds.push_back({ signalFd, POLLIN, 0 });
        if (m_listenFd >= 0)
            fds.push_back({ m_listenFd, POLLIN, 0 });
        const size_t clientBase = fds.size();
        for (const Client& c : m_clients) {
            short events = c.peerDone ? 0 : POLLIN;
            if (!c.out.empty()) {
                if (c.out.front().due <= now)
                    events |= POLLOUT;
                else
                    consider(msUntil(c.out.front().due, now));
            }
            fds.push_back({ c.fd, events, 0 });
        }
        const size_t controlBase = fds.size();
        if (m_controlFd >= 0)
            fds.push_back({ m_controlFd, POLLIN, 0 });
        const size_t controlClientBase = fds.size();
        for (const ControlClient& c : m_controlClients)
            fds.push_back({ c.fd, short(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0 });
        if (m_alarmFd >= 0) {
            fds.push_back({ m_alarmFd, POLLOUT, 0 });
            consider(msUntil(m_alarmDeadline, now));
        }
        const size_t responderIndex = fds.size();
        if (m_responder) {
            fds.push_back({ m_responder->Fd(), POLLIN, 0 });
            consider(m_responder->NextDueMs());
        }
        if (m_restarting)
            consider(msUntil(m_backAt, now));

        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            perror("twinlane-sim: poll");
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info;
            if (read(signalFd, &info, sizeof info) > 0)
                break;
        }
        // Clients first, then the listener: new clients are not in this poll set.
        for (size_t i = 0; i < m_clients.size(); ++i) {
            const short rev = fds[clientBase + i].revents;
            Client& c = m_clients[i];
            if (c.fd < 0 || m_restartRequested)
                continue;
            if (rev & POLLIN) {
                if (!readModbus(c))
                    closeClient(i);
            } else if (rev & (POLLHUP | POLLERR | POLLNVAL)) {
                closeClient(i);
            }
        }
        if (m_listenFd >= 0 && clientBase > 1 && (fds[1].revents & POLLIN) && !m_restartRequested)
            acceptModbus();

        for (size_t i = 0; i < m_controlClients.size(); ++i) {
            ControlClient& c = m_controlClients[i];
            const short rev = fds[controlClientBase + i].revents;
            bool keep = true;
            if (rev & POLLIN)
                keep = readControl(c);
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
        std::erase_if(m_controlClients, [](const ControlClient& c) { return c.fd < 0; });
        if (m_controlFd >= 0 && (fds[controlBase].revents & POLLIN))
            acceptControl();
        if (m_responder && ((fds[responderIndex].revents & POLLIN) || m_responder->NextDueMs() == 0))
            m_responder->Process();
    }
    // Let a "quit" reply reach its sender.
    for (ControlClient& c : m_controlClients)
        if (!c.out.empty())
            (void)!send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
    return 0;
}

} // namespace sim
