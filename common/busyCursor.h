#pragma once
// The hourglass for the life of a scope; the cursor shown before comes back
// on every way out, also when an error leaves the scope. Does nothing where
// there is no window application (widget-free tests, benchmarks).
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;

private:
    bool m_shown = false;
};
