#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

inline constexpr size_t MaxPasswordLength = 10;
inline constexpr std::array<uint8_t, 10> PasswordKey { 0x5C, 0x3E, 0x91, 0x0A, 0xD7, 0x62, 0xB4, 0x18, 0xEF, 0x27 };

// The ten bytes the server keeps in its five password registers: each byte of
// the zero-padded password plus the key byte, modulo 256. Refuses passwords
// longer than ten bytes or with a zero byte inside (the reader would cut them).
std::optional<std::array<uint8_t, 10>> TransformPassword(std::string_view password);

// The same for any bytes up to ten, zero bytes included: a device whose
// stored password has a zero in the middle (its reader stops there).
std::optional<std::array<uint8_t, 10>> TransformPasswordBytes(std::string_view bytes);

// "6162630078" -> the bytes a b c 0 x; empty for "". nullopt for odd length,
// a non-hex digit or more than ten bytes.
std::optional<std::string> ParsePasswordHex(std::string_view hex);

} // namespace sim
