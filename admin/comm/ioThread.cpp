#include "admin/comm/ioThread.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

// Idle system threads waiting for their next run. A run never waits for
// another one, so a worker blocked in a connect can't hold up the next
// request: that one gets a thread of its own.
class TIOWorkerPool {
public:
    static TIOWorkerPool& Instance()
    {
        // Never destroyed: idle threads may still wait on it at exit.
        static auto* pool = new TIOWorkerPool;
        return *pool;
    }

    void Run(TIOThread* job)
    {
        std::shared_ptr<TSlot> slot;
        {
            std::lock_guard guard(Lock);
            if (!Idle.empty()) {
                slot = std::move(Idle.back());
                Idle.pop_back();
            }
        }
        if (!slot) {
            slot = std::make_shared<TSlot>();
            std::thread([this, slot] { Serve(slot); }).detach();
        }
        {
            std::lock_guard guard(slot->Lock);
            slot->Job = job;
        }
        slot->Wake.notify_one();
    }

private:
    struct TSlot {
        std::mutex Lock;
        std::condition_variable Wake;
        TIOThread* Job = nullptr;
    };

    void Serve(std::shared_ptr<TSlot> slot)
    {
        for (;;) {
            TIOThread* job;
            {
                std::unique_lock guard(slot->Lock);
                slot->Wake.wait(guard, [&] { return slot->Job != nullptr; });
                job = slot->Job;
                slot->Job = nullptr;
            }
            job->Run(); // the job is not touched after this
            std::lock_guard guard(Lock);
            if (Idle.size() >= MaxIdle)
                return;
            Idle.push_back(slot);
        }
    }

    static constexpr size_t MaxIdle = 4;
    std::mutex Lock;
    std::vector<std::shared_ptr<TSlot>> Idle;
};

TIOThread::TIOThread(bool createSuspended)
    : Suspended(createSuspended)
{
}

TIOThread::~TIOThread()
{
    if (!Started)
        return;
    // Run() signals under DoneLock; once we hold it after Done, the worker
    // has left this object for good.
    std::unique_lock guard(DoneLock);
    DoneSignal.wait(guard, [this] { return Done.load(std::memory_order_acquire); });
}

void TIOThread::Start()
{
    if (Started)
        return;
    // Marked only once a thread has it: when no thread can be had, Run()
    // throws and the destructor must not wait for a run that never comes.
    TIOWorkerPool::Instance().Run(this);
    Started = true;
}

void TIOThread::StartIfNotSuspended()
{
    if (!Suspended)
        Start();
}

void TIOThread::Run()
{
    try {
        Execute();
    } catch (...) {
        // Workers never let an error escape; the result fields say enough.
    }
    std::lock_guard guard(DoneLock);
    Done.store(true, std::memory_order_release);
    DoneSignal.notify_all();
}

bool TIOThread::WaitDone(int waitMs)
{
    std::unique_lock guard(DoneLock);
    return DoneSignal.wait_for(
        guard, std::chrono::milliseconds(waitMs), [this] { return Done.load(std::memory_order_acquire); });
}

void ProcessUiEvents()
{
    auto* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents();
}

void WaitPass(TIOThread& worker)
{
    ProcessUiEvents();
    worker.WaitDone(1);
}
