#pragma once
// Device discovery: finds the servers on the local IPv4 networks by a UDP
// broadcast search (wire format in README.md beside this file).
//
// Calling order: dsc_SetSearchOpt (optional, process-wide), then
// dsc_EnumSearch, which blocks for the whole search and calls the callback
// on the calling thread once per answering device and interface.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define DSC_API __attribute__((visibility("default")))
#else
#define DSC_API
#endif

// One answering device as seen through one local interface. Integers are in
// host (little-endian) order; addresses are in network order, first octet in
// the lowest-addressed byte. The record belongs to the library and is valid
// only during the callback.
typedef struct DscDeviceRecord {
    uint32_t ProductId; // offset 0
    uint16_t ProductCode; // offset 4
    uint8_t Reserved1[6]; // offset 6, zero
    uint32_t IpAddress; // offset 12, 0 when the device has no address configured
    uint32_t LocalAddress; // offset 16, the local interface the answer came in on
    uint8_t MacAddress[6]; // offset 20, first octet first
    uint8_t Reserved2[2]; // offset 26, zero
} DscDeviceRecord;

#ifdef __cplusplus
static_assert(sizeof(DscDeviceRecord) == 28, "record layout");
#else
_Static_assert(sizeof(DscDeviceRecord) == 28, "record layout");
#endif

// Returns 1 to go on with the search, 0 to end it as soon as possible.
typedef int (*DscEnumCallback)(const DscDeviceRecord* record);

// Search options, process-wide, used by every later dsc_EnumSearch:
//   waitMs  - how long one search listens for answers, from its first
//             request on (50..60000; default 1000);
//   repeats - how many times the request is sent during the first half of
//             the wait, for answers lost on the way (1..20; default 3).
// Returns 0, or -1 (options unchanged) when a value is out of range.
DSC_API int dsc_SetSearchOpt(int waitMs, int repeats);

// Runs one search. interfaceIndex -1 searches on every IPv4 interface that
// is up, can broadcast and has an address; any other value is a system
// interface index (if_nametoindex) to search on alone. Answers repeated
// within the search through the same interface are delivered once; a device
// heard through two interfaces is delivered once for each.
// Returns the number of records delivered, or -1 when no search could be
// made (null callback, no usable interface, no socket).
DSC_API int dsc_EnumSearch(int interfaceIndex, DscEnumCallback callback);

#ifdef __cplusplus
}
#endif
