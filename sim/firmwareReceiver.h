#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Register addresses (as carried in the frames) of the firmware download.
namespace FwReg {
inline constexpr uint16_t Control = 0x3000;
inline constexpr uint16_t Unlock = 0x3001;
inline constexpr uint16_t Length = 0x300D;
inline constexpr uint16_t Type = 0x300F;
inline constexpr uint16_t Data = 0x3010;
inline constexpr uint16_t Crc = 0x3083;
inline constexpr uint16_t Commit = 0x3084;
inline constexpr uint16_t First = Control;
inline constexpr uint16_t Last = Commit;
}

inline constexpr char FirmwareUnlockCode[] = "JwoPexe";

// Modbus exception codes the receiver answers with.
namespace ModbusException {
inline constexpr uint8_t IllegalFunction = 0x01;
inline constexpr uint8_t IllegalDataAddress = 0x02;
inline constexpr uint8_t IllegalDataValue = 0x03;
inline constexpr uint8_t DeviceFailure = 0x04;
inline constexpr uint8_t GatewayTargetFailed = 0x0B;
}

// The server's side of the download: one record at a time, in the order
// control 0, unlock code, length, type, data, CRC, commit. Any step out of
// order, a wrong value or a CRC that does not match the data fails the record;
// writing 0 to the control register starts over from any state.
class FirmwareReceiver {
public:
    enum class State { Locked, Ready, Unlocked, HaveLength, Receiving, HaveCrc };

    struct Result {
        uint8_t exception = 0; // 0: accepted
        bool committed = false; // a whole record was taken with this write
    };

    struct Record {
        int type = 0;
        uint32_t length = 0;
        uint16_t crc = 0;
    };

    explicit FirmwareReceiver(uint32_t maxRecordLength = 16u << 20)
        : m_maxRecordLength(maxRecordLength)
    {
    }

    // bytes: the register values of the write as they came, high byte first.
    Result write(uint16_t address, const uint8_t* bytes, size_t count);

    void reset();
    State state() const { return m_state; }
    // The type of the record under way.
    int type() const { return m_type; }
    const std::vector<Record>& committed() const { return m_committed; }
    const std::string& lastError() const { return m_lastError; }
    static const char* stateName(State state);

private:
    Result fail(uint8_t code, std::string why);

    uint32_t m_maxRecordLength;
    State m_state = State::Locked;
    uint32_t m_length = 0;
    int m_type = 0;
    uint16_t m_crc = 0;
    std::vector<uint8_t> m_data;
    std::vector<Record> m_committed;
    std::string m_lastError;
};

} // namespace sim
