#pragma once
// Which event types raise a desktop notification, under the logger's key:
// "NotifyTypes", one bit per event type code (bit 2 = Off-Line, the default).
#include "logger/core/eventTypes.h"

#include <array>

inline constexpr int kDefaultNotifyTypes = 1 << 2;

std::array<bool, kEventTypeCount> LoadNotifyTypes();
void StoreNotifyTypes(const std::array<bool, kEventTypeCount>& types);
