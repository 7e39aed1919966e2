#pragma once
#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS, fed piece by piece; the same value as ModbusCrc16 over all
// the pieces in one go, so a record is checked without holding it whole.
class TSkpCrc {
public:
    void Add(const uint8_t* bytes, size_t size);
    uint16_t Value() const { return uint16_t(m_high << 8 | m_low); }

private:
    uint8_t m_high = 0xFF;
    uint8_t m_low = 0xFF;
};
