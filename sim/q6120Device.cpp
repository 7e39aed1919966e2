#include "sim/q6120Device.h"

#include "sim/simPassword.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <modbus/modbus.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sim {

namespace {
constexpr uint16_t HoldingFirst = NewAddressRegister;
constexpr uint16_t HoldingLast = FwReg::Last;

uint16_t be16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

bool within(uint16_t start, unsigned count, uint16_t first, uint16_t last)
{
    return count > 0 && start >= first && unsigned(start) + count - 1 <= last;
}
}

Q6120Device::Q6120Device(DeviceSettings settings)
    : m_settings(std::move(settings))
{
    if (!TransformPassword(m_settings.password))
        m_settings.password.clear();
    // libmodbus writes its replies to a socket; a local socket pair catches them
    // so that faults can be applied to the bytes before a client sees them.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_pair) != 0)
        return;
    fcntl(m_pair[1], F_SETFL, O_NONBLOCK);
    m_ctx = modbus_new_tcp("127.0.0.1", 502);
    m_mapping = modbus_mapping_new_start_address(
        0, 0, 0, 0, HoldingFirst, HoldingLast - HoldingFirst + 1, PasswordRegister, 5);
    if (!m_ctx || !m_mapping) {
        if (m_ctx)
            modbus_free(m_ctx);
        m_ctx = nullptr;
        return;
    }
    modbus_set_socket(m_ctx, m_pair[0]);
    loadRegisters();
}

Q6120Device::~Q6120Device()
{
    if (m_mapping)
        modbus_mapping_free(m_mapping);
    if (m_ctx) {
        modbus_set_socket(m_ctx, -1);
        modbus_free(m_ctx);
    }
    for (int fd : m_pair)
        if (fd >= 0)
            close(fd);
}

void Q6120Device::loadRegisters()
{
    const auto bytes = TransformPasswordBytes(m_settings.password).value_or(std::array<uint8_t, 10> {});
    for (int i = 0; i < 5; ++i)
        m_mapping->tab_input_registers[i] = uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    const Ipv4& a = m_settings.address;
    m_mapping->tab_registers[0] = uint16_t(a[0] << 8 | a[1]);
    m_mapping->tab_registers[1] = uint16_t(a[2] << 8 | a[3]);
}

bool Q6120Device::setPassword(const std::string& password)
{
    if (!TransformPassword(password))
        return false;
    m_settings.password = password;
    loadRegisters();
    return true;
}

void Q6120Device::setCommitDelay(std::optional<int> type, int ms)
{
    if (type) {
        m_settings.commitDelayByType[*type] = ms;
    } else {
        m_settings.commitDelayMs = ms;
    }
}

bool Q6120Device::setPasswordBytes(const std::string& bytes)
{
    if (!TransformPasswordBytes(bytes))
        return false;
    m_settings.password = bytes;
    loadRegisters();
    return true;
}

void Q6120Device::applyRestart(bool factoryReset)
{
    if (factoryReset) {
        // Back to the state of a new unit: no address of its own (reached at
        // FactoryAddress), no password.
        m_settings.address = Ipv4 {};
        m_settings.password.clear();
    } else if (m_pendingAddress) {
        m_settings.address = *m_pendingAddress;
    }
    m_pendingAddress.reset();
    m_firmware.reset();
    loadRegisters();
}

std::vector<uint8_t> Q6120Device::render(const uint8_t* frame, size_t length, uint8_t exception)
{
    // libmodbus reads fields by the function code; a full-size copy keeps a
    // short frame from sending it past the end.
    uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH] = {};
    length = std::min(length, sizeof request);
    std::copy_n(frame, length, request);
    const int rc = exception ? modbus_reply_exception(m_ctx, request, exception)
                             : modbus_reply(m_ctx, request, int(length), m_mapping);
    std::vector<uint8_t> out;
    if (rc <= 0)
        return out;
    uint8_t buf[512];
    for (;;) {
        const ssize_t n = read(m_pair[1], buf, sizeof buf);
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::vector<uint8_t> Q6120Device::exceptionReply(const uint8_t* frame, size_t length, uint8_t code)
{
    if (length < 8)
        return {};
    return render(frame, length, code);
}

Q6120Device::Outcome Q6120Device::handle(const uint8_t* frame, size_t length)
{
    Outcome out;
    if (!valid() || length < 8)
        return out;
    const uint8_t unit = frame[6];
    const uint8_t function = frame[7];
    const uint8_t* pdu = frame + 8; // after the function code
    const size_t pduLength = length - 8;
    auto except = [&](uint8_t code) {
        out.reply = render(frame, length, code);
        return out;
    };

    if (unit != 1)
        return except(ModbusException::GatewayTargetFailed);

    switch (function) {
    case 0x08: {
        // libmodbus has no diagnostics; the reply echoes the request.
        if (pduLength != 4)
            return except(ModbusException::IllegalDataValue);
        const uint16_t sub = be16(pdu), data = be16(pdu + 2);
        if (sub != 1)
            return except(ModbusException::IllegalFunction);
        if (data != 0xFF00 && data != 0x55AA)
            return except(ModbusException::IllegalDataValue);
        out.reply.assign(frame, frame + length);
        out.after = data == 0xFF00 ? After::Restart : After::FactoryReset;
        return out;
    }
    case 0x03: {
        if (pduLength != 4)
            return except(ModbusException::IllegalDataValue);
        const uint16_t start = be16(pdu), count = be16(pdu + 2);
        if (!within(start, count, NewAddressRegister, NewAddressRegister + 1)
            && !within(start, count, FwReg::First, FwReg::Last))
            return except(ModbusException::IllegalDataAddress);
        break;
    }
    case 0x06: {
        if (pduLength != 4)
            return except(ModbusException::IllegalDataValue);
        const uint16_t address = be16(pdu);
        if (!within(address, 1, FwReg::First, FwReg::Last))
            return except(ModbusException::IllegalDataAddress);
        const bool commit = address == FwReg::Commit && m_firmware.state() == FirmwareReceiver::State::HaveCrc;
        const auto r = m_firmware.write(address, pdu + 2, 2);
        if (commit) {
            const auto own = m_settings.commitDelayByType.find(m_firmware.type());
            out.delayMs = own != m_settings.commitDelayByType.end() ? own->second : m_settings.commitDelayMs;
        }
        if (r.exception)
            return except(r.exception);
        break;
    }
    case 0x10: {
        if (pduLength < 5)
            return except(ModbusException::IllegalDataValue);
        const uint16_t start = be16(pdu), count = be16(pdu + 2);
        const uint8_t byteCount = pdu[4];
        if (count < 1 || count > 123 || byteCount != 2 * count || pduLength != 5u + byteCount)
            return except(ModbusException::IllegalDataValue);
        const uint8_t* data = pdu + 5;
        if (start == NewAddressRegister && count == 2) {
            const Ipv4 address { data[0], data[1], data[2], data[3] };
            if (!IsHostAddress(address))
                return except(ModbusException::IllegalDataValue);
            m_pendingAddress = address;
            break;
        }
        if (!within(start, count, FwReg::First, FwReg::Last))
            return except(ModbusException::IllegalDataAddress);
        const auto r = m_firmware.write(start, data, byteCount);
        if (r.exception)
            return except(r.exception);
        break;
    }
    case 0x01:
    case 0x02:
    case 0x04:
    case 0x05:
        if (pduLength != 4)
            return except(ModbusException::IllegalDataValue);
        break; // libmodbus answers from the map (no coils or discrete inputs)
    case 0x0F:
        if (pduLength < 5 || pduLength != 5u + pdu[4])
            return except(ModbusException::IllegalDataValue);
        break;
    default:
        return except(ModbusException::IllegalFunction);
    }
    out.reply = render(frame, length, 0);
    return out;
}

} // namespace sim
