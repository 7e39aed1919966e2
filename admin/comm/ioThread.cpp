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
            std::lock_guard guard(m_lock);
            if (!m_idle.empty()) {
                slot = std::move(m_idle.back());
                m_idle.pop_back();
            }
        }
        if (!slot) {
            slot = std::make_shared<TSlot>();
            std::thread([this, slot] { Serve(slot); }).detach();
        }
        {
            std::lock_guard guard(slot->lock);
            slot->job = job;
        }
        slot->wake.notify_one();
    }

private:
    struct TSlot {
        std::mutex lock;
        std::condition_variable wake;
        TIOThread* job = nullptr;
    };

    void Serve(std::shared_ptr<TSlot> slot)
    {
        for (;;) {
            TIOThread* job;
            {
                std::unique_lock guard(slot->lock);
                slot->wake.wait(guard, [&] { return slot->job != nullptr; });
                job = slot->job;
                slot->job = nullptr;
            }
            job->Run(); // the job is not touched after this
            std::lock_guard guard(m_lock);
            if (m_idle.size() >= MaxIdle)
                return;
            m_idle.push_back(slot);
        }
    }

    static constexpr size_t MaxIdle = 4;
    std::mutex m_lock;
    std::vector<std::shared_ptr<TSlot>> m_idle;
};

TIOThread::TIOThread(bool createSuspended)
    : m_suspended(createSuspended)
{
}

TIOThread::~TIOThread()
{
    if (!m_started)
        return;
    // Run() signals under DoneLock; once we hold it after Done, the worker
    // has left this object for good.
    std::unique_lock guard(m_doneLock);
    m_doneSignal.wait(guard, [this] { return Done.load(std::memory_order_acquire); });
}

void TIOThread::Start()
{
    if (m_started)
        return;
    // Marked only once a thread has it: when no thread can be had, Run()
    // throws and the destructor must not wait for a run that never comes.
    TIOWorkerPool::Instance().Run(this);
    m_started = true;
}

void TIOThread::StartIfNotSuspended()
{
    if (!m_suspended)
        Start();
}

void TIOThread::Run()
{
    try {
        Execute();
    } catch (...) {
        // Workers never let an error escape; the result fields say enough.
    }
    std::lock_guard guard(m_doneLock);
    Done.store(true, std::memory_order_release);
    m_doneSignal.notify_all();
}

bool TIOThread::WaitDone(int waitMs)
{
    std::unique_lock guard(m_doneLock);
    return m_doneSignal.wait_for(
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
