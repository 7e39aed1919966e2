#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sim {

inline constexpr size_t MaxPasswordLength = 10;
inline constexpr std::array<uint8_t, 10> PasswordKey { 0x5C, 0x3E, 0x91, 0x0A, 0xD7, 0x62, 0xB4, 0x18, 0xEF, 0x27 };

// The ten bytes the server keeps in its five password registers: each byte of
// the zero-padded password plus the key byte, modulo 256. Refuses passwords
// longer than ten bytes or with a zero byte inside (the reader would cut them).
std::optional<std::array<uint8_t, 10>> TransformPassword(std::string_view password);

} // namespace sim
