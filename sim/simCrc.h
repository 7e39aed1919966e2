#pragma once
#include <cstddef>
#include <cstdint>

namespace sim {

// CRC-16 of the Modbus serial line (reflected 0xA001, start 0xFFFF, no final
// inversion) as one 16-bit number: 0x4B37 for "123456789".
uint16_t Crc16Modbus(const uint8_t* bytes, size_t count);

} // namespace sim
