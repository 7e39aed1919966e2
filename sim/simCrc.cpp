#include "sim/simCrc.h"

namespace sim {

uint16_t Crc16Modbus(const uint8_t* bytes, size_t count)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

} // namespace sim
