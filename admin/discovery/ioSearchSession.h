#pragma once
// What a running search shares between the search thread, where devscan
// calls back once per answering device, and the search dialog: the stop
// flag, the result list (appended to on the search thread only, read by the
// dialog's owner after the search thread has ended) and the handover of
// each new record to the user-interface thread.
#include "admin/model/ioObject.h"
#include "devscan/devscan.h"

#include <QList>
#include <atomic>
#include <functional>

// The answers that are servers of this system, by (ProductId, ProductCode).
struct TDiscoveryModel {
    uint32_t ProductId;
    uint16_t ProductCode;
    int ModelIndex;
};
extern const TDiscoveryModel DiscoveryModels[1];
// The catalogue model index of the first matching row, or -1.
int FindDiscoveryModel(uint32_t productId, uint16_t productCode);

// Stands in for a device that answered with no address configured.
constexpr const char* FactoryDefaultAddress = "192.168.127.254";

class TSearchSession {
public:
    // Called on the search thread for every record appended, in answer
    // order; the record may be read during the call only.
    using THandover = std::function<void(const IONODE& record)>;

    TSearchSession(QList<IONODE*>* resultList, THandover handover);
    ~TSearchSession();
    TSearchSession(const TSearchSession&) = delete;
    TSearchSession& operator=(const TSearchSession&) = delete;

    // One answering device: what the devscan callback returns (1 go on,
    // 0 stop). Search thread.
    int TakeRecord(const DscDeviceRecord* record);

    // The callback given to dsc_EnumSearch; it reaches the session that is
    // active (one at a time), or stops the search when there is none.
    static int Callback(const DscDeviceRecord* record);
    // Makes this the session the callback reaches, until the destructor.
    void Activate();

    std::atomic<bool> StopSearch { false };
    QList<IONODE*>* const ResultList; // not owned

private:
    THandover m_handover;
};
