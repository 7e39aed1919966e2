#pragma once
// Modbus function codes and the fixed values this program sends; header
// only, without Qt, so the firmware library shares them.
#include <cstdint>

namespace ModbusFunction {
inline constexpr uint32_t ReadCoils = 1;
inline constexpr uint32_t ReadDiscreteInputs = 2;
inline constexpr uint32_t ReadHoldingRegisters = 3;
inline constexpr uint32_t ReadInputRegisters = 4;
inline constexpr uint32_t WriteSingleCoil = 5;
inline constexpr uint32_t WriteSingleRegister = 6;
inline constexpr uint32_t Diagnostics = 8;
inline constexpr uint32_t WriteMultipleCoils = 15;
inline constexpr uint32_t WriteMultipleRegisters = 16;
} // namespace ModbusFunction

// The largest count of one request that this program builds.
inline constexpr unsigned ModbusMaxReadBits = 2000;
inline constexpr unsigned ModbusMaxReadRegisters = 125;
inline constexpr unsigned ModbusMaxWriteCoils = 800;
inline constexpr unsigned ModbusMaxWriteRegisters = 125;

// Bit 7 of the function code in a reply marks an exception.
inline constexpr uint8_t ModbusExceptionFlag = 0x80;
// Write single coil: the value field of a coil switched on.
inline constexpr uint16_t ModbusCoilOn = 0xFF00;

// Diagnostics sub-function 1 (restart communications) restarts a server;
// its data word says how.
inline constexpr uint32_t RestartSubFunction = 1;
inline constexpr uint16_t RestartWord = 0xFF00; // restart
inline constexpr uint16_t ResetWord = 0x55AA; // reset
