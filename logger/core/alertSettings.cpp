#include "logger/core/alertSettings.h"

#include "common/settingsStore.h"
#include "logger/core/akSettings.h"

std::array<bool, kEventTypeCount> LoadNotifyTypes()
{
    const int bits = ReadRegInteger(AkSettingsKey(), QStringLiteral("NotifyTypes"), kDefaultNotifyTypes);
    std::array<bool, kEventTypeCount> types {};
    for (int code = 0; code < kEventTypeCount; ++code)
        types[size_t(code)] = (bits >> code) & 1;
    return types;
}

void StoreNotifyTypes(const std::array<bool, kEventTypeCount>& types)
{
    int bits = 0;
    for (int code = 0; code < kEventTypeCount; ++code)
        bits |= types[size_t(code)] ? 1 << code : 0;
    WriteRegInteger(AkSettingsKey(), QStringLiteral("NotifyTypes"), bits);
}
