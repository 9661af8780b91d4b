// The application's side of an answer wait (pump events, disable the active window),
// installed through KQLMX_SetUiHooks. The defaults do nothing.
#pragma once

#include "kqlmx.h"

namespace kq {

void SetUiHooks(const KQLMX_UiHooks* hooks);
KQLMX_UiHooks CurrentUiHooks();

void PumpEvents();

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

} // namespace kq
