#pragma once
#include <functional>
#include <poll.h>
#include <string>
#include <vector>

namespace sim {

// The control socket: a Unix stream socket taking one command a line and
// giving one reply line each, from the handler. Non-blocking: the owner's
// poll loop adds pollFds() and passes the results to process().
class ControlChannel {
public:
    using Handler = std::function<std::string(const std::string& line)>;

    ControlChannel(std::string path, Handler handler);
    ~ControlChannel(); // closes and removes the socket file
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    bool open(); // false with a message on stderr
    // Appends the channel's descriptors; process() takes the same ones back.
    void addPollFds(std::vector<pollfd>& fds);
    void process(const pollfd* fds);
    // Sends what is still queued, blocking briefly (before the process ends).
    void flush();

private:
    struct Client {
        int fd = -1;
        std::string in;
        std::string out;
    };
    bool read(Client& client); // false: drop

    std::string m_path;
    Handler m_handler;
    int m_fd = -1;
    std::vector<Client> m_clients;
};

} // namespace sim
