#pragma once
// Base of the short-lived socket workers: created suspended, started once,
// waited for by their creator and deleted by it.
#include <atomic>
#include <condition_variable>
#include <mutex>

class TIOThread {
public:
    explicit TIOThread(bool createSuspended);
    // Waits until a started run has left this object.
    virtual ~TIOThread();
    TIOThread(const TIOThread&) = delete;
    TIOThread& operator=(const TIOThread&) = delete;

    // Runs Execute() on a thread of its own. The system thread under it is
    // taken from a pool of idle ones (a new one when none is idle): starting
    // a thread per request would cost more than the request itself.
    void Start();
    // Set once, with release ordering, after everything else the worker
    // writes; read it with acquire before touching the results.
    std::atomic<bool> Done { false };
    // Blocks up to waitMs for Done; returns Done. Lets a waiting loop wake
    // as soon as the worker ends instead of sleeping a fixed slice.
    bool WaitDone(int waitMs);
    // The integer result of the run, valid once Done is seen.
    int returnValue = 0;

protected:
    virtual void Execute() = 0;
    // A derived constructor calls this when it was not created suspended.
    void StartIfNotSuspended();

private:
    friend class TIOWorkerPool;
    void Run();
    bool m_suspended;
    bool m_started = false;
    std::mutex m_doneLock;
    std::condition_variable m_doneSignal;
};

// One pass of a waiting loop on the user-interface thread: process pending
// window events, then wait up to 1 ms for the worker. Same observable
// behaviour as "process events, sleep 1 ms", but ends the wait when the
// worker ends.
void WaitPass(TIOThread& worker);
// Processes pending window events when called on the application's thread.
void ProcessUiEvents();
