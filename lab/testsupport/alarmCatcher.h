#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace twltest {

// A TCP listener that takes alarm messages, one per connection or back to back.
class AlarmCatcher {
public:
    explicit AlarmCatcher(const std::string& address = "127.0.0.1");
    ~AlarmCatcher();
    AlarmCatcher(const AlarmCatcher&) = delete;
    AlarmCatcher& operator=(const AlarmCatcher&) = delete;
    int port() const { return m_port; }
    std::optional<std::array<uint8_t, 58>> next(int limitMs = 20000);

private:
    int m_fd = -1;
    int m_port = 0;
    std::vector<int> m_clients;
    std::vector<std::vector<uint8_t>> m_buffers;
};

} // namespace twltest
