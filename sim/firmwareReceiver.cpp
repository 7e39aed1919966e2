#include "sim/firmwareReceiver.h"

#include "sim/simCrc.h"

#include <cstring>

namespace sim {

const char* FirmwareReceiver::stateName(State s)
{
    switch (s) {
    case State::Locked:
        return "locked";
    case State::Ready:
        return "ready";
    case State::Unlocked:
        return "unlocked";
    case State::HaveLength:
        return "length";
    case State::Receiving:
        return "receiving";
    case State::HaveCrc:
        return "crc";
    }
    return "?";
}

void FirmwareReceiver::reset()
{
    m_state = State::Locked;
    m_data.clear();
    m_data.shrink_to_fit();
}

FirmwareReceiver::Result FirmwareReceiver::fail(uint8_t code, std::string why)
{
    m_lastError = std::move(why);
    reset();
    return Result { code, false };
}

FirmwareReceiver::Result FirmwareReceiver::write(uint16_t address, const uint8_t* bytes, size_t count)
{
    const size_t registers = count / 2;
    auto value16 = [&](size_t i) { return uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]); };

    switch (address) {
    case FwReg::Control:
        if (registers != 1)
            break;
        if (value16(0) != 0)
            return fail(ModbusException::IllegalDataValue, "control value not 0");
        reset();
        m_state = State::Ready;
        return {};

    case FwReg::Unlock: {
        const size_t codeLength = sizeof FirmwareUnlockCode - 1;
        if (registers != (codeLength + 2) / 2)
            break;
        if (m_state != State::Ready)
            return fail(ModbusException::DeviceFailure, "unlock out of order");
        // The code with its zero byte, padded to whole registers.
        uint8_t expected[(codeLength + 2) / 2 * 2] = {};
        std::memcpy(expected, FirmwareUnlockCode, codeLength);
        if (std::memcmp(bytes, expected, sizeof expected) != 0)
            return fail(ModbusException::IllegalDataValue, "wrong unlock code");
        m_state = State::Unlocked;
        return {};
    }

    case FwReg::Length: {
        if (registers != 2)
            break;
        if (m_state != State::Unlocked)
            return fail(ModbusException::DeviceFailure, "length out of order");
        // The file's four length bytes, least significant first, as they stand.
        const uint32_t length
            = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
        if (length > m_maxRecordLength)
            return fail(ModbusException::IllegalDataValue, "record too long");
        m_length = length;
        m_state = State::HaveLength;
        return {};
    }

    case FwReg::Type:
        if (registers != 1)
            break;
        if (m_state != State::HaveLength)
            return fail(ModbusException::DeviceFailure, "type out of order");
        if (bytes[0] > 6 || bytes[1] != 0)
            return fail(ModbusException::IllegalDataValue, "unknown record type");
        m_type = bytes[0];
        m_data.clear();
        m_data.reserve(m_length + (m_length & 1));
        m_state = State::Receiving;
        return {};

    case FwReg::Data: {
        if (registers < 1 || registers > 123)
            break;
        if (m_state != State::Receiving)
            return fail(ModbusException::DeviceFailure, "data out of order");
        const size_t even = m_length + (m_length & 1);
        if (m_data.size() + count > even)
            return fail(ModbusException::IllegalDataValue, "more data than the record length");
        m_data.insert(m_data.end(), bytes, bytes + count);
        return {};
    }

    case FwReg::Crc:
        if (registers != 1)
            break;
        if (m_state != State::Receiving || m_data.size() != m_length + (m_length & 1))
            return fail(ModbusException::DeviceFailure, "CRC before all data");
        m_crc = value16(0);
        m_state = State::HaveCrc;
        return {};

    case FwReg::Commit: {
        if (registers != 1)
            break;
        if (m_state != State::HaveCrc)
            return fail(ModbusException::DeviceFailure, "commit out of order");
        if (value16(0) != 0)
            return fail(ModbusException::IllegalDataValue, "commit value not 0");
        // The padding byte of an odd record is not part of the CRC.
        if (Crc16Modbus(m_data.data(), m_length) != m_crc)
            return fail(ModbusException::DeviceFailure, "CRC mismatch");
        m_committed.push_back(Record { m_type, m_length, m_crc });
        reset();
        return Result { 0, true };
    }
    default:
        break;
    }
    return fail(ModbusException::IllegalDataAddress, "no such firmware register or count");
}

} // namespace sim
