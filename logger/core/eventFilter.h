#pragma once
// What the operator narrows an event table to. Filters only choose the rows
// shown; nothing logged changes.
#include <QString>
#include <array>

#include "logger/core/eventTypes.h"

struct TEventFilter {
    // Shown event types by code; rows of codes above 3 carry tag 0.
    std::array<bool, kEventTypeCount> Types { true, true, true, true };
    QString Source; // in the source name or address, any case
    QString Text; // in any of the six cells, any case

    // Whether any row could be hidden at all.
    bool Active() const
    {
        for (const bool shown : Types)
            if (!shown)
                return true;
        return !Source.isEmpty() || !Text.isEmpty();
    }
    bool operator==(const TEventFilter&) const = default;
};
