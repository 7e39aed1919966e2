// Runs one search and prints what answered, one device per line:
//   0x80006120 0x6120 10.77.0.11 via 10.77.0.1 02-4C-41-42-00-01
// then "N record(s)". For the lab: refuses to run outside a lab namespace.
//
//   dsc-search [--wait MS] [--repeats N] [--interface NAME]
#include "devscan/devscan.h"
#include "lab/labNet.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <net/if.h>
#include <string>

namespace {

int Print(const DscDeviceRecord* r)
{
    char ip[INET_ADDRSTRLEN], local[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &r->IpAddress, ip, sizeof ip);
    ::inet_ntop(AF_INET, &r->LocalAddress, local, sizeof local);
    const uint8_t* m = r->MacAddress;
    std::printf("0x%08X 0x%04X %s via %s %02X-%02X-%02X-%02X-%02X-%02X\n", unsigned(r->ProductId),
        unsigned(r->ProductCode), ip, local, m[0], m[1], m[2], m[3], m[4], m[5]);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    int waitMs = 1000, repeats = 5, index = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--wait" && i + 1 < argc) {
            waitMs = std::atoi(argv[++i]);
        } else if (arg == "--repeats" && i + 1 < argc) {
            repeats = std::atoi(argv[++i]);
        } else if (arg == "--interface" && i + 1 < argc) {
            index = int(::if_nametoindex(argv[++i]));
            if (index == 0) {
                std::fprintf(stderr, "dsc-search: no interface %s\n", argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: dsc-search [--wait MS] [--repeats N] [--interface NAME]\n");
            return 2;
        }
    }
    if (!lab::InLabNamespace()) {
        std::fprintf(stderr, "dsc-search: not in a lab namespace; run it through lab/lab.sh\n");
        return 3;
    }
    if (dsc_SetSearchOpt(waitMs, repeats) != 0) {
        std::fprintf(stderr, "dsc-search: options out of range\n");
        return 2;
    }
    const int found = dsc_EnumSearch(index, Print);
    if (found < 0) {
        std::fprintf(stderr, "dsc-search: no interface to search on\n");
        return 1;
    }
    std::printf("%d record(s)\n", found);
    return 0;
}
