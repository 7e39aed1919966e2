#pragma once
#include "sim/simTypes.h"

#include <optional>
#include <string>

namespace sim {

// True when this process runs in the machine's own network namespace rather
// than in one a test or the lab made: the namespace of process 1 or, where
// that is out of sight, of every ancestor we can see. The simulator refuses to
// touch interfaces or answer searches there.
bool InInitialNetworkNamespace();

std::optional<MacAddress> InterfaceMac(const std::string& interfaceName);

// Replaces every IPv4 address of the interface with the new one, keeping the
// prefix length of the first old address (24 when it had none).
bool SetInterfaceAddress(const std::string& interfaceName, const Ipv4& address, std::string* error);

// Makes every destination on-link through the interface (a default route
// without gateway), so that the unit answers whoever asked it over that
// link, whatever the asker's subnet, as a simple embedded stack does.
bool SetOnLinkDefaultRoute(const std::string& interfaceName, std::string* error);

} // namespace sim
