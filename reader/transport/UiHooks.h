// The application's side of an answer wait (pump events, disable the active window),
// installed through KQLMX_SetUiHooks. The defaults do nothing.
#pragma once

#include "kqlmx.h"

namespace kq {

void SetUiHooks(const KQLMX_UiHooks* hooks);
KQLMX_UiHooks CurrentUiHooks();

void PumpEvents();
// Pauses for `ms` milliseconds, pumping events every millisecond.
void PumpEventsFor(int ms);

// Disables the active window for its lifetime and restores it exactly once.
class ActiveWindowDisabled {
public:
    ActiveWindowDisabled();
    ~ActiveWindowDisabled();
    ActiveWindowDisabled(const ActiveWindowDisabled&) = delete;
    ActiveWindowDisabled& operator=(const ActiveWindowDisabled&) = delete;

private:
    KQLMX_UiHooks hooks_;
    void* token_ = nullptr;
};

// Shows the wait cursor (beginBusy) for its lifetime and ends it exactly once.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    KQLMX_UiHooks hooks_;
};

} // namespace kq
