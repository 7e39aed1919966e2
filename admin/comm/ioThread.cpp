#include "ioThread.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>

TIOThread::TIOThread(bool createSuspended)
    : Suspended(createSuspended)
{
}

TIOThread::~TIOThread()
{
    if (Thread.joinable())
        Thread.join();
}

void TIOThread::Start()
{
    if (!Thread.joinable())
        Thread = std::thread(&TIOThread::Run, this);
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
    {
        std::lock_guard guard(DoneLock);
        Done.store(true, std::memory_order_release);
    }
    DoneSignal.notify_all();
}

bool TIOThread::WaitDone(int waitMs)
{
    std::unique_lock guard(DoneLock);
    return DoneSignal.wait_for(guard, std::chrono::milliseconds(waitMs),
        [this] { return Done.load(std::memory_order_acquire); });
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
