#pragma once
// The search worker: one devscan search (options first, then the search
// with every interface) on a thread of its own. The owner starts it, waits
// for Done and deletes it; the destructor joins the thread.
#include "devscan/devscan.h"

#include <atomic>
#include <cstdint>
#include <thread>

class TEnumThread {
public:
    explicit TEnumThread(DscEnumCallback callback);
    ~TEnumThread();
    TEnumThread(const TEnumThread&) = delete;
    TEnumThread& operator=(const TEnumThread&) = delete;

    void Start();

    int Option1 = 1000; // how long the search listens, ms
    int Option2 = 5; // how often the request is sent
    DscEnumCallback Callback;
    // 1 once dsc_EnumSearch has returned (or could not be called).
    std::atomic<uint8_t> Done { 0 };

private:
    void Execute();
    std::thread m_thread;
};
