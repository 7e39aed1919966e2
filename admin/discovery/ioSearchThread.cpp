#include "admin/discovery/ioSearchThread.h"

#include "admin/discovery/devscanBinding.h"

TEnumThread::TEnumThread(DscEnumCallback callback)
    : Callback(callback)
{
}

TEnumThread::~TEnumThread()
{
    if (thread_.joinable())
        thread_.join();
}

void TEnumThread::Start()
{
    if (!thread_.joinable())
        thread_ = std::thread([this] { Execute(); });
}

void TEnumThread::Execute()
{
    // Results are not examined: an unusable network simply finds nothing.
    try {
        if (Devscan.SetSearchOpt && Devscan.EnumSearch) {
            Devscan.SetSearchOpt(Option1, Option2);
            Devscan.EnumSearch(-1, Callback);
        }
    } catch (...) {
    }
    Done.store(1);
}
