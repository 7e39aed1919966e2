#pragma once
// Shows the hourglass for its lifetime and restores the previous cursor on
// every way out of the scope. Does nothing without a window application.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;

private:
    bool Shown = false;
};
