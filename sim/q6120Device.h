#pragma once
#include "sim/firmwareReceiver.h"
#include "sim/simTypes.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _modbus modbus_t;
typedef struct _modbus_mapping_t modbus_mapping_t;

namespace sim {

inline constexpr uint16_t PasswordRegister = 0x2503;
inline constexpr uint16_t NewAddressRegister = 0x1022;
// Where an unconfigured unit (address 0, also after a factory reset) is reached.
inline constexpr Ipv4 FactoryAddress { 192, 168, 127, 254 };

// The address a unit that reports this one actually holds on its link.
inline Ipv4 ReachableAddress(const Ipv4& reported)
{
    return reported == Ipv4 {} ? FactoryAddress : reported;
}

struct DeviceSettings {
    std::string name = "Q6120";
    Ipv4 address {}; // 0.0.0.0: unconfigured, as from the factory
    std::string password;
    std::string firmwareVersion = "1.0";
    MacAddress mac { 0x02, 0x00, 0x00, 0x00, 0x61, 0x20 };
    int commitDelayMs = 200;
    std::map<int, int> commitDelayByType; // record type -> ms, over commitDelayMs
};

// The register semantics of one Q6120: what it answers to a request frame.
// Plain replies are rendered by libmodbus from a register mapping; the
// diagnostics restart and everything the firmware and address registers need
// are decided here first. No sockets to clients: the caller moves the bytes.
class Q6120Device {
public:
    enum class After { Nothing, Restart, FactoryReset };
    struct Outcome {
        std::vector<uint8_t> reply; // empty: nothing to send
        int delayMs = 0; // the device's own reply delay (commit)
        After after = After::Nothing;
    };

    explicit Q6120Device(DeviceSettings settings);
    ~Q6120Device();
    Q6120Device(const Q6120Device&) = delete;
    Q6120Device& operator=(const Q6120Device&) = delete;

    bool valid() const { return m_ctx != nullptr; }

    // frame: one whole Modbus/TCP request (header included).
    Outcome handle(const uint8_t* frame, size_t length);
    // An exception reply with the request's header, for fault injection.
    std::vector<uint8_t> exceptionReply(const uint8_t* frame, size_t length, uint8_t code);

    // What a restart does to the settings: a pending new address takes effect,
    // a factory reset restores the factory address and an empty password; an
    // unfinished firmware record is lost.
    void applyRestart(bool factoryReset);

    bool setPassword(const std::string& password);
    // The commit delay of one record type, or (no type) of every type without one of its own.
    void setCommitDelay(std::optional<int> type, int ms);
    // Any bytes up to ten, a zero byte inside too (control `password-hex`).
    bool setPasswordBytes(const std::string& bytes);
    const DeviceSettings& settings() const { return m_settings; }
    std::optional<Ipv4> pendingAddress() const { return m_pendingAddress; }
    const FirmwareReceiver& firmware() const { return m_firmware; }

private:
    std::vector<uint8_t> render(const uint8_t* frame, size_t length, uint8_t exception);
    void loadRegisters();

    DeviceSettings m_settings;
    std::optional<Ipv4> m_pendingAddress;
    FirmwareReceiver m_firmware;
    modbus_t* m_ctx = nullptr;
    modbus_mapping_t* m_mapping = nullptr;
    int m_pair[2] = { -1, -1 };
};

} // namespace sim
