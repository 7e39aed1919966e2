#include "simPassword.h"

namespace sim {

std::optional<std::array<uint8_t, 10>> TransformPassword(std::string_view password)
{
    if (password.size() > MaxPasswordLength || password.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::array<uint8_t, 10> out {};
    for (size_t i = 0; i < out.size(); ++i) {
        const uint8_t plain = i < password.size() ? uint8_t(password[i]) : 0;
        out[i] = uint8_t(plain + PasswordKey[i]);
    }
    return out;
}

} // namespace sim
