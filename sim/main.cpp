// twinlane-sim: one simulated Q6120 server for tests, the lab and demos.
#include "commitDelay.h"
#include "simInterface.h"
#include "simPassword.h"
#include "simServer.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <string>
#include <sys/signalfd.h>

using namespace sim;

namespace {

const char usage[] = R"(usage: twinlane-sim [options]
Identity
  --name TEXT             server name on the console and in alarms (Q6120)
  --ip A.B.C.D            the server's address; 0.0.0.0 = factory-fresh (default)
  --password TEXT         device password, 0..10 characters (empty)
  --firmware-version TEXT shown on the console (1.0)
  --mac MAC               MAC address (default: the interface's, else 02-00-00-00-61-20)
  --product-id N          discovery ProductId (0x80006120)
  --product-code N        discovery ProductCode (0x6120)
Network
  --bind ADDR             address the Modbus and HTTP listeners bind (127.0.0.1)
  --port N                Modbus/TCP port (502; 0 picks a free one)
  --http-port N           console port (80; 0 picks a free one; -1 no console)
  --interface IF          the server's interface: MAC source, discovery answers
  --no-discovery          don't answer searches even with --interface
  --manage-interface      move the interface to the new address at a restart
Behaviour
  --restart-time MS       how long a restart keeps the server away (3000)
  --commit-delay [TYPE:]MS  how long a firmware record commit takes (200), for
                          every type or for record type TYPE (repeatable)
  --alarm-host A.B.C.D    send alarms to this host (none)
  --alarm-port N          ... on this port (4040)
  --fault PLAN            fault at start: MODE [ARG] [fn F] [addr A] [nth N]
                          [once|always] [count N]; MODE: none | delay MS | cut N |
                          trickle [MS] | exception [CODE] | drop | refuse | silence
Observation
  --frame-log PATH        append every Modbus frame received, one hex line each
  --control PATH          Unix socket for line commands (see README.md)
  --ready-file PATH       written once everything listens: "modbus=P http=H"
)";

bool toInt(const char* text, long min, long max, long* out)
{
    std::string_view s(text);
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || value < min || value > max)
        return false;
    *out = value;
    return true;
}

bool isLoopback(const std::string& address)
{
    const auto a = ParseIpv4(address);
    return a && (*a)[0] == 127;
}

} // namespace

int main(int argc, char** argv)
{
    enum {
        oName = 1000,
        oIp,
        oPassword,
        oFirmware,
        oMac,
        oProductId,
        oProductCode,
        oBind,
        oPort,
        oHttpPort,
        oInterface,
        oNoDiscovery,
        oManage,
        oRestart,
        oCommit,
        oAlarmHost,
        oAlarmPort,
        oFault,
        oFrameLog,
        oControl,
        oReady,
        oHelp
    };
    static const option longOptions[] = {
        { "name", required_argument, nullptr, oName },
        { "ip", required_argument, nullptr, oIp },
        { "password", required_argument, nullptr, oPassword },
        { "firmware-version", required_argument, nullptr, oFirmware },
        { "mac", required_argument, nullptr, oMac },
        { "product-id", required_argument, nullptr, oProductId },
        { "product-code", required_argument, nullptr, oProductCode },
        { "bind", required_argument, nullptr, oBind },
        { "port", required_argument, nullptr, oPort },
        { "http-port", required_argument, nullptr, oHttpPort },
        { "interface", required_argument, nullptr, oInterface },
        { "no-discovery", no_argument, nullptr, oNoDiscovery },
        { "manage-interface", no_argument, nullptr, oManage },
        { "restart-time", required_argument, nullptr, oRestart },
        { "commit-delay", required_argument, nullptr, oCommit },
        { "alarm-host", required_argument, nullptr, oAlarmHost },
        { "alarm-port", required_argument, nullptr, oAlarmPort },
        { "fault", required_argument, nullptr, oFault },
        { "frame-log", required_argument, nullptr, oFrameLog },
        { "control", required_argument, nullptr, oControl },
        { "ready-file", required_argument, nullptr, oReady },
        { "help", no_argument, nullptr, oHelp },
        { nullptr, 0, nullptr, 0 },
    };

    ServerOptions o;
    bool macGiven = false;
    auto bad = [](const char* option, const char* value) {
        fprintf(stderr, "twinlane-sim: bad value for --%s: %s\n", option, value);
        return 2;
    };
    int c;
    long n = 0;
    while ((c = getopt_long(argc, argv, "", longOptions, nullptr)) != -1) {
        switch (c) {
        case oName:
            o.device.name = optarg;
            break;
        case oIp: {
            auto a = ParseIpv4(optarg);
            if (!a)
                return bad("ip", optarg);
            o.device.address = *a;
            break;
        }
        case oPassword:
            if (!TransformPassword(optarg))
                return bad("password", "(more than 10 characters)");
            o.device.password = optarg;
            break;
        case oFirmware:
            o.device.firmwareVersion = optarg;
            break;
        case oMac: {
            auto m = ParseMac(optarg);
            if (!m)
                return bad("mac", optarg);
            o.device.mac = *m;
            macGiven = true;
            break;
        }
        case oProductId:
            if (!toInt(optarg, 0, 0xFFFFFFFFL, &n))
                return bad("product-id", optarg);
            o.productId = uint32_t(n);
            break;
        case oProductCode:
            if (!toInt(optarg, 0, 0xFFFF, &n))
                return bad("product-code", optarg);
            o.productCode = uint16_t(n);
            break;
        case oBind:
            if (!ParseIpv4(optarg))
                return bad("bind", optarg);
            o.bindAddress = optarg;
            break;
        case oPort:
            if (!toInt(optarg, 0, 65535, &n))
                return bad("port", optarg);
            o.modbusPort = int(n);
            break;
        case oHttpPort:
            if (!toInt(optarg, -1, 65535, &n))
                return bad("http-port", optarg);
            o.httpPort = int(n);
            break;
        case oInterface:
            o.interfaceName = optarg;
            break;
        case oNoDiscovery:
            o.discovery = false;
            break;
        case oManage:
            o.manageInterface = true;
            break;
        case oRestart:
            if (!toInt(optarg, 0, 600000, &n))
                return bad("restart-time", optarg);
            o.restartMs = int(n);
            break;
        case oCommit: {
            const auto delay = ParseCommitDelay(optarg, nullptr);
            if (!delay)
                return bad("commit-delay", optarg);
            if (delay->type)
                o.device.commitDelayByType[*delay->type] = delay->ms;
            else
                o.device.commitDelayMs = delay->ms;
            break;
        }
        case oAlarmHost:
            if (!ParseIpv4(optarg))
                return bad("alarm-host", optarg);
            o.alarmHost = optarg;
            break;
        case oAlarmPort:
            if (!toInt(optarg, 1, 65535, &n))
                return bad("alarm-port", optarg);
            o.alarmPort = int(n);
            break;
        case oFault: {
            std::string error;
            auto plan = ParseFault(optarg, &error);
            if (!plan)
                return bad("fault", error.c_str());
            o.fault = *plan;
            break;
        }
        case oFrameLog:
            o.frameLogPath = optarg;
            break;
        case oControl:
            o.controlPath = optarg;
            break;
        case oReady:
            o.readyPath = optarg;
            break;
        case oHelp:
            fputs(usage, stdout);
            return 0;
        default:
            fputs(usage, stderr);
            return 2;
        }
    }
    if (optind < argc) {
        fprintf(stderr, "twinlane-sim: unexpected argument %s\n", argv[optind]);
        return 2;
    }

    // On the machine itself the simulator stays on loopback: no answers to
    // searches, no interface changes, no alarms or listeners elsewhere.
    if (InInitialNetworkNamespace()) {
        const char* refused = nullptr;
        if (o.manageInterface)
            refused = "--manage-interface";
        else if (!o.interfaceName.empty() && o.discovery)
            refused = "--interface with discovery";
        else if (!o.alarmHost.empty() && !isLoopback(o.alarmHost))
            refused = "an alarm host outside loopback";
        else if (!isLoopback(o.bindAddress))
            refused = "a bind address outside loopback";
        if (refused) {
            fprintf(stderr, "twinlane-sim: %s is only allowed inside a network namespace of its own\n", refused);
            return 2;
        }
    }
    if (o.manageInterface && o.interfaceName.empty()) {
        fprintf(stderr, "twinlane-sim: --manage-interface needs --interface\n");
        return 2;
    }
    if (!o.interfaceName.empty() && !macGiven) {
        auto mac = InterfaceMac(o.interfaceName);
        if (!mac) {
            fprintf(stderr, "twinlane-sim: no interface %s\n", o.interfaceName.c_str());
            return 2;
        }
        o.device.mac = *mac;
    }

    // Signals arrive through the loop; the console's threads never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signalFd < 0) {
        perror("twinlane-sim: signalfd");
        return 1;
    }

    SimServer server(std::move(o));
    if (!server.start())
        return 1;
    return server.run(signalFd);
}
