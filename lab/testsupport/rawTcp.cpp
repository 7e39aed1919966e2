#include "lab/testsupport/rawTcp.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace twltest {

int ConnectTcp(const std::string& host, int port, int* error, int limitMs)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    int failure = 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        failure = errno;
        if (failure == EINPROGRESS) {
            // Bounded: a peer that never answers must not hold the test for minutes.
            pollfd p { fd, POLLOUT, 0 };
            failure = ETIMEDOUT;
            if (poll(&p, 1, limitMs) > 0) {
                socklen_t len = sizeof failure;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &len);
            }
        }
    }
    if (error)
        *error = failure;
    if (failure != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool SendAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

std::vector<uint8_t> ReadBytes(int fd, size_t count, int limitMs, bool* closed, std::vector<size_t>* chunks)
{
    std::vector<uint8_t> out;
    if (closed)
        *closed = false;
    while (out.size() < count) {
        pollfd p { fd, POLLIN, 0 };
        if (poll(&p, 1, limitMs) <= 0)
            break;
        uint8_t buf[512];
        const ssize_t n = read(fd, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) {
            if (closed)
                *closed = true;
            break;
        }
        out.insert(out.end(), buf, buf + n);
        if (chunks)
            chunks->push_back(size_t(n));
    }
    return out;
}

std::vector<uint8_t> Hex(const std::string& text)
{
    std::vector<uint8_t> out;
    std::istringstream in(text);
    for (std::string byte; in >> byte;)
        out.push_back(uint8_t(std::stoul(byte, nullptr, 16)));
    return out;
}

std::string HttpGet(const std::string& host, int port, const std::string& path)
{
    const int fd = ConnectTcp(host, port);
    if (fd < 0)
        return {};
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    SendAll(fd, std::vector<uint8_t>(request.begin(), request.end()));
    std::string response;
    for (;;) {
        pollfd p { fd, POLLIN, 0 };
        if (poll(&p, 1, 10000) <= 0)
            break;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        response.append(buf, size_t(n));
    }
    close(fd);
    return response;
}

} // namespace twltest
