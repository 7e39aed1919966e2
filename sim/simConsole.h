#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace sim {

// What the console pages show; copied in by the main loop, read by the
// HTTP threads.
struct ConsoleStatus {
    std::string name;
    std::string address;
    std::string mac;
    std::string firmwareVersion;
};

// The server's web console: a status page with a link that opens a new
// browser window, the page that window shows, and a page that closes its
// own window.
class SimConsole {
public:
    SimConsole();
    ~SimConsole();

    // Port 0 picks a free one. Returns the bound port, or -1.
    int start(const std::string& bindAddress, int port);
    void stop();
    bool running() const { return m_server != nullptr; }
    void setStatus(const ConsoleStatus& status);

    // The pages themselves, also for tests that don't need a socket.
    std::string statusPage() const;
    static std::string popupPage();
    static std::string closingPage();

private:
    mutable std::mutex m_mutex;
    ConsoleStatus m_status;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
};

std::string HtmlEscape(const std::string& text);

} // namespace sim
