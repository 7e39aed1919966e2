#include "sim/simConsole.h"

#include <httplib.h>

namespace sim {

std::string HtmlEscape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

SimConsole::SimConsole() = default;

SimConsole::~SimConsole()
{
    stop();
}

void SimConsole::setStatus(const ConsoleStatus& status)
{
    std::lock_guard lock(m_mutex);
    m_status = status;
}

std::string SimConsole::statusPage() const
{
    ConsoleStatus s;
    {
        std::lock_guard lock(m_mutex);
        s = m_status;
    }
    const std::string name = HtmlEscape(s.name);
    return "<!DOCTYPE html>\n<html><head><meta charset=\"iso-8859-1\"><title>" + name
        + " Web Console</title></head>\n<body>\n<h1>" + name + "</h1>\n<table>\n"
        + "<tr><td>Server name</td><td id=\"name\">" + name + "</td></tr>\n"
        + "<tr><td>IP address</td><td id=\"address\">" + HtmlEscape(s.address) + "</td></tr>\n"
        + "<tr><td>MAC address</td><td id=\"mac\">" + HtmlEscape(s.mac) + "</td></tr>\n"
        + "<tr><td>Firmware version</td><td id=\"firmware\">" + HtmlEscape(s.firmwareVersion) + "</td></tr>\n"
        + "</table>\n"
        + "<p><a id=\"popupLink\" href=\"/popup\" target=\"_blank\">Open settings in a new window</a></p>\n"
        + "<p><button id=\"popupButton\" onclick=\"window.open('/popup', '_blank')\">Open a new window</button></p>\n"
        + "</body></html>\n";
}

std::string SimConsole::popupPage()
{
    return "<!DOCTYPE html>\n<html><head><title>Q6120 Settings</title></head>\n<body>\n"
           "<p>Settings</p>\n"
           "<p><a id=\"closeLink\" href=\"/close\">Close this window</a></p>\n"
           "<p><button id=\"closeButton\" onclick=\"window.close()\">Close</button></p>\n"
           "</body></html>\n";
}

std::string SimConsole::closingPage()
{
    return "<!DOCTYPE html>\n<html><head><title>Closing</title></head>\n<body>\n"
           "<script>window.close();</script>\n"
           "</body></html>\n";
}

int SimConsole::start(const std::string& bindAddress, int port)
{
    stop();
    auto server = std::make_unique<httplib::Server>();
    // stop() waits for connections in their keep-alive or read wait, and a
    // restart stops the console from the main loop: keep those waits short.
    server->set_keep_alive_timeout(1);
    server->set_read_timeout(1, 0);
    server->Get(
        "/", [this](const httplib::Request&, httplib::Response& res) { res.set_content(statusPage(), "text/html"); });
    server->Get(
        "/popup", [](const httplib::Request&, httplib::Response& res) { res.set_content(popupPage(), "text/html"); });
    server->Get(
        "/close", [](const httplib::Request&, httplib::Response& res) { res.set_content(closingPage(), "text/html"); });
    int bound = -1;
    if (port == 0)
        bound = server->bind_to_any_port(bindAddress);
    else if (server->bind_to_port(bindAddress, port))
        bound = port;
    if (bound <= 0)
        return -1;
    m_server = std::move(server);
    m_thread = std::thread([srv = m_server.get()] { srv->listen_after_bind(); });
    // stop() only reaches a server that already runs its accept loop.
    for (int i = 0; i < 5000 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return bound;
}

void SimConsole::stop()
{
    if (!m_server)
        return;
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
}

} // namespace sim
