#include "admin/discovery/ioSearchSession.h"

#include "common/formatting.h"

#include <arpa/inet.h>

const TDiscoveryModel DiscoveryModels[1] = {
    { 0x80006120u, 0x6120, 0 }, // model Q6120
};

namespace {
std::atomic<TSearchSession*> ActiveSession { nullptr };
} // namespace

int FindDiscoveryModel(uint32_t productId, uint16_t productCode)
{
    for (const TDiscoveryModel& m : DiscoveryModels)
        if (m.ProductId == productId && m.ProductCode == productCode)
            return m.ModelIndex;
    return -1;
}

TSearchSession::TSearchSession(QList<IONODE*>* resultList, THandover handover)
    : ResultList(resultList)
    , m_handover(std::move(handover))
{
}

TSearchSession::~TSearchSession()
{
    TSearchSession* self = this;
    ActiveSession.compare_exchange_strong(self, nullptr);
}

void TSearchSession::Activate()
{
    ActiveSession.store(this);
}

int TSearchSession::Callback(const DscDeviceRecord* record)
{
    TSearchSession* s = ActiveSession.load();
    return s ? s->TakeRecord(record) : 0;
}

int TSearchSession::TakeRecord(const DscDeviceRecord* record)
{
    if (StopSearch.load() || !record)
        return 0;
    const int model = FindDiscoveryModel(record->ProductId, record->ProductCode);
    if (model < 0)
        return 1; // a device of another kind
    auto* node = new IONODE;
    node->Kind = 1;
    node->ProductId = int32_t(record->ProductId);
    node->ProductCode = int32_t(record->ProductCode);
    node->ModelIndex = model;
    node->LocalAddress = FormatIpAddress(record->LocalAddress);
    node->Address
        = record->IpAddress == 0 ? QString::fromLatin1(FactoryDefaultAddress) : FormatIpAddress(record->IpAddress);
    node->MacAddress = FormatMacAddress(record->MacAddress);
    // Only this search's records are compared; the first equal one and the
    // new one are both marked.
    for (IONODE* r : std::as_const(*ResultList)) {
        if (r && r->Address == node->Address) {
            r->Conflict = true;
            node->Conflict = true;
            break;
        }
    }
    ResultList->append(node);
    if (m_handover)
        m_handover(*node);
    return 1;
}
