#include "admin/maintenance/firmware/skpCrc.h"

#include "admin/comm/ioModbus.h"

void TSkpCrc::Add(const uint8_t* bytes, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const unsigned index = m_low ^ bytes[i];
        m_low = uint8_t(m_high ^ ModbusCrcTableHi[index]);
        m_high = ModbusCrcTableLo[index];
    }
}
