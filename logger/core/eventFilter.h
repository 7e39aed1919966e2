#pragma once
// What the operator narrows an event table to. Filters only choose the rows
// shown; nothing logged changes.
#include <QString>
#include <array>

#include "logger/core/eventTypes.h"

struct TEventFilter {
    // Shown event types by code; rows of codes above 3 carry tag 0.
    std::array<bool, kEventTypeCount> types { true, true, true, true };
    QString source; // in the source name or address, any case
    QString text; // in any of the six cells, any case

    // Whether any row could be hidden at all.
    bool Active() const
    {
        for (const bool shown : types)
            if (!shown)
                return true;
        return !source.isEmpty() || !text.isEmpty();
    }
    bool operator==(const TEventFilter&) const = default;
};
