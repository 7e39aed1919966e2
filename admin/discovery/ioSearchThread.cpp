#include "admin/discovery/ioSearchThread.h"

#include "admin/discovery/devscanBinding.h"

TEnumThread::TEnumThread(DscEnumCallback callback)
    : Callback(callback)
{
}

TEnumThread::~TEnumThread()
{
    if (m_thread.joinable())
        m_thread.join();
}

void TEnumThread::Start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Execute(); });
}

void TEnumThread::Execute()
{
    // Results are not examined: an unusable network simply finds nothing.
    try {
        if (Devscan.setSearchOpt && Devscan.enumSearch) {
            Devscan.setSearchOpt(Option1, Option2);
            Devscan.enumSearch(-1, Callback);
        }
    } catch (...) {
    }
    Done.store(1);
}
