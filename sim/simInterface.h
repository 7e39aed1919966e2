#pragma once
#include "simTypes.h"

#include <optional>
#include <string>

namespace sim {

// True when this process runs in the namespace of process 1, that is on the
// machine itself rather than in a namespace a test or the lab made. The
// simulator refuses to touch interfaces or answer searches there.
bool InInitialNetworkNamespace();

std::optional<MacAddress> InterfaceMac(const std::string& interfaceName);

// Replaces every IPv4 address of the interface with the new one, keeping the
// prefix length of the first old address (24 when it had none).
bool SetInterfaceAddress(const std::string& interfaceName, const Ipv4& address, std::string* error);

} // namespace sim
