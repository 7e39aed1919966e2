// twinlane-sim: one simulated Q6120 server for tests, the lab and demos.
#include "sim/simInterface.h"
#include "sim/simOptions.h"
#include "sim/simServer.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/signalfd.h>
#include <vector>

using namespace sim;

namespace {

bool isLoopback(const std::string& address)
{
    const auto a = ParseIpv4(address);
    return a && (*a)[0] == 127;
}

} // namespace

int main(int argc, char** argv)
{
    ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        fputs(Usage, stdout);
        return 0;
    }
    if (!parsed.options) {
        fprintf(stderr, "twinlane-sim: %s\n%s", parsed.error.c_str(), Usage);
        return 2;
    }
    ServerOptions o = std::move(*parsed.options);

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
    if (!o.interfaceName.empty() && !o.macGiven) {
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
