#include "sim/simPassword.h"

namespace sim {

std::optional<std::array<uint8_t, 10>> TransformPassword(std::string_view password)
{
    if (password.find('\0') != std::string_view::npos)
        return std::nullopt;
    return TransformPasswordBytes(password);
}

std::optional<std::array<uint8_t, 10>> TransformPasswordBytes(std::string_view password)
{
    if (password.size() > MaxPasswordLength)
        return std::nullopt;
    std::array<uint8_t, 10> out {};
    for (size_t i = 0; i < out.size(); ++i) {
        const uint8_t plain = i < password.size() ? uint8_t(password[i]) : 0;
        out[i] = uint8_t(plain + PasswordKey[i]);
    }
    return out;
}

std::optional<std::string> ParsePasswordHex(std::string_view hex)
{
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0 || hex.size() / 2 > MaxPasswordLength)
        return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = digit(hex[i]);
        const int lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes += char(hi << 4 | lo);
    }
    return bytes;
}

} // namespace sim
