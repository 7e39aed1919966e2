#include "sim/simServer.h"

#include "sim/commitDelay.h"
#include "sim/simInterface.h"
#include "sim/simPassword.h"

#include "devscan/dscResponder.h"
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <sys/signalfd.h>
#include <unistd.h>

namespace sim {

namespace {
int msUntil(std::chrono::steady_clock::time_point t, std::chrono::steady_clock::time_point now)
{
    if (t <= now)
        return 0;
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count()) + 1;
}
}

SimServer::SimServer(ServerOptions options)
    : m_options(std::move(options))
    , m_device(m_options.device)
    , m_modbus(m_device, m_options.fault)
    , m_alarms(m_options.alarmHost, m_options.alarmPort)
{
}

SimServer::~SimServer()
{
    m_console.stop();
    m_responder.reset();
}

bool SimServer::start()
{
    if (!m_device.valid()) {
        fprintf(stderr, "twinlane-sim: cannot set up the register map\n");
        return false;
    }
    if (!m_options.frameLogPath.empty() && !m_modbus.openFrameLog(m_options.frameLogPath))
        return false;
    if (m_options.manageInterface && !placeInterface())
        return false;
    if (!m_modbus.listen(m_options.bindAddress, m_options.modbusPort))
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
    if (!m_options.controlPath.empty()) {
        m_control = std::make_unique<ControlChannel>(
            m_options.controlPath, [this](const std::string& line) { return execute(line); });
        if (!m_control->open())
            return false;
    }
    if (!openDiscovery())
        return false;
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
    fprintf(f, "modbus=%d http=%d\n", m_modbus.port(), m_boundHttpPort);
    fclose(f);
    // Readers see the whole file or none.
    return rename(tmp.c_str(), m_options.readyPath.c_str()) == 0;
}
bool SimServer::placeInterface()
{
    // The interface holds the address the unit is reached at (the factory
    // one while unconfigured); moving it takes the routes of the old one.
    const Ipv4 address = ReachableAddress(m_device.settings().address);
    std::string error;
    if (!SetInterfaceAddress(m_options.interfaceName, address, &error)
        || !SetOnLinkDefaultRoute(m_options.interfaceName, &error)) {
        fprintf(stderr, "twinlane-sim: cannot put %s on %s: %s\n", FormatIpv4(address).c_str(),
            m_options.interfaceName.c_str(), error.c_str());
        return false;
    }
    return true;
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

void SimServer::beginRestart(bool factoryReset)
{
    m_modbus.clearRestartRequest();
    // Listener first, so that a client that sees its connection drop finds the
    // port closed.
    m_modbus.setAway(true);
    m_modbus.closeListener();
    m_modbus.dropClients();
    m_console.stop();
    m_responder.reset();

    const Ipv4 before = ReachableAddress(m_device.settings().address);
    m_device.applyRestart(factoryReset);
    const Ipv4 after = ReachableAddress(m_device.settings().address);
    if (after != before) {
        if (m_options.manageInterface)
            placeInterface();
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
    m_modbus.setAway(false);
    m_modbus.listen(m_options.bindAddress, m_modbus.port());
    publishStatus();
    if (m_options.httpPort >= 0) {
        const int port = m_console.start(m_options.bindAddress, m_boundHttpPort);
        if (port < 0)
            fprintf(stderr, "twinlane-sim: console did not come back on port %d\n", m_boundHttpPort);
    }
    openDiscovery();
    queueAlarm(AlarmEvent::WarmStart, {});
}

void SimServer::queueAlarm(AlarmEvent event, const Ipv4& destination)
{
    const auto& s = m_device.settings();
    static const char* names[] = { "Cold Start", "Warm Start", "Off-Line", "On-Line" };
    m_alarms.queue(EncodeAlarm(AlarmNow(event, s.name, s.address, destination)), names[int(event)]);
}

// ---- control commands ----

std::string SimServer::statusLine() const
{
    const auto& s = m_device.settings();
    const auto pending = m_device.pendingAddress();
    std::ostringstream out;
    out << "state=" << (m_restarting ? "restarting" : "up") << " address=" << FormatIpv4(s.address)
        << " pending=" << (pending ? FormatIpv4(*pending) : "-") << " password=" << s.password.size()
        << " modbus=" << m_modbus.port() << " http=" << m_boundHttpPort << " connections=" << m_modbus.connections()
        << " restarts=" << m_restarts << " firmware=" << FirmwareReceiver::stateName(m_device.firmware().state())
        << " records=" << m_device.firmware().committed().size() << " alarms=" << m_alarms.delivered()
        << " alarms-failed=" << m_alarms.failed() << " commit-delay=" << s.commitDelayMs;
    for (const auto& [type, ms] : s.commitDelayByType)
        out << "," << type << ":" << ms;
    out << " fault=" << FormatFault(m_modbus.fault()) << " mac=" << FormatMac(s.mac) << " name=" << s.name;
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
        m_modbus.setFault(*plan);
        return "ok";
    }
    if (command == "commit-delay") {
        std::string error;
        const auto delay = ParseCommitDelay(rest, &error);
        if (!delay)
            return "error " + error;
        m_device.setCommitDelay(delay->type, delay->ms);
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
        if (!m_alarms.enabled())
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
        m_modbus.requestRestart(command == "reset");
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
        m_modbus.flush(now);
        if (m_modbus.restartRequested() && !m_restarting)
            beginRestart(*m_modbus.restartRequested());
        m_alarms.drive(now);

        int timeout = -1;
        auto consider = [&](int ms) {
            if (ms >= 0 && (timeout < 0 || ms < timeout))
                timeout = ms;
        };
        fds.clear();
        fds.push_back({ signalFd, POLLIN, 0 });
        const size_t modbusBase = fds.size();
        m_modbus.addPollFds(fds, now, timeout);
        const size_t controlBase = fds.size();
        if (m_control)
            m_control->addPollFds(fds);
        if (m_alarms.fd() >= 0) {
            fds.push_back({ m_alarms.fd(), POLLOUT, 0 });
            consider(msUntil(m_alarms.deadline(), now));
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
        m_modbus.process(&fds[modbusBase]);
        if (m_control)
            m_control->process(&fds[controlBase]);
        if (m_responder && ((fds[responderIndex].revents & POLLIN) || m_responder->NextDueMs() == 0))
            m_responder->Process();
    }
    // Let a "quit" reply reach its sender.
    if (m_control)
        m_control->flush();
    return 0;
}

} // namespace sim
