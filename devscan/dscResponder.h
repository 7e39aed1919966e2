#pragma once
// The device side of the search: answers search requests arriving on one
// network interface with the device's identity. Used by simulated servers
// and test devices; see README.md beside this file.
#include "devscan/dscWire.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace dsc {

class Responder {
public:
    struct Config {
        std::string interfaceName; // required: the device's interface
        std::string netns; // named network namespace (/run/netns/NAME) to open in; empty: the caller's
        uint32_t productId = 0;
        uint16_t productCode = 0;
        MacAddress mac {}; // all zero: the interface's own address
        // The device's IPv4 address in network order, 0 when unconfigured.
        // Asked for every answer, so a device may change it at run time; in
        // thread mode it is called on the responder's thread.
        std::function<uint32_t()> address;
    };

    explicit Responder(Config config);
    ~Responder();
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    // Binds the device port on the interface. False with a reason on failure.
    bool Open(std::string* error = nullptr);
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    const MacAddress& Mac() const { return m_config.mac; }

    // Polled use: Process reads every waiting request without blocking and
    // sends the answers that are due; NextDueMs tells when the next queued
    // answer is due (-1: none), for the caller's own poll loop.
    void Process();
    int NextDueMs() const;
    // Waits at most timeoutMs for work, then processes it.
    void Poll(int timeoutMs);

    // Threaded use: opens if needed and answers on a thread of its own until
    // Stop (or destruction). Don't call Process or Poll meanwhile.
    bool Start(std::string* error = nullptr);
    void Stop();

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        uint32_t nonce;
        uint16_t port; // the searcher's port, network order
        uint16_t spreadMs;
    };
    bool OpenHere(std::string* error);
    void ReadRequests();
    void SendDue();
    void Run();

    Config m_config;
    int m_fd = -1;
    int m_wakeFd = -1;
    std::vector<Pending> m_pending;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
};

} // namespace dsc
