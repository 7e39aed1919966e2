// On the machine's own network namespace twinlane-sim refuses, before it
// opens anything, every flag that would reach beyond loopback. The values are
// chosen so that even a simulator without its guard would send nothing
// outside: an address that is no one's, an alarm host that is this machine,
// the loopback link.
#include "lab/testsupport/twlTestSupport.h"
#include "sim/simInterface.h"

#include <gtest/gtest.h>

using namespace twltest;

TEST(SimMachineGuard, FlagsReachingBeyondLoopbackAreRefused)
{
    if (!sim::InInitialNetworkNamespace())
        GTEST_SKIP() << "not in the machine's own network namespace";
    const std::vector<std::string> rows[] = {
        { "--bind", "192.0.2.1" },
        { "--alarm-host", "0.0.0.0", "--alarm-port", "9" },
        { "--manage-interface", "--interface", "lo" },
        { "--interface", "lo" },
    };
    for (const auto& row : rows) {
        std::string joined;
        for (const auto& a : row)
            joined += a + " ";
        SCOPED_TRACE(joined);
        std::string out;
        EXPECT_EQ(RunSimToRefusal(row, &out), 2) << out;
        EXPECT_NE(out.find("is only allowed inside a network namespace of its own"), std::string::npos) << out;
    }
}
