#include "reader/transport/UiHooks.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace kq {

namespace {
std::mutex g_mutex;
KQLMX_UiHooks g_hooks{};
} // namespace

void SetUiHooks(const KQLMX_UiHooks* hooks) {
    std::lock_guard lock(g_mutex);
    g_hooks = hooks ? *hooks : KQLMX_UiHooks{};
}

KQLMX_UiHooks CurrentUiHooks() {
    std::lock_guard lock(g_mutex);
    return g_hooks;
}

void PumpEvents() {
    const KQLMX_UiHooks hooks = CurrentUiHooks();
    if (hooks.pumpEvents) hooks.pumpEvents(hooks.user);
}

void PumpEventsFor(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        PumpEvents();
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(1)));
    }
}

// The hooks are taken once, so that the window is restored by the same adapter that
// disabled it even if the hooks change during the wait.
ActiveWindowDisabled::ActiveWindowDisabled() : hooks_(CurrentUiHooks()) {
    if (hooks_.disableActiveWindow) token_ = hooks_.disableActiveWindow(hooks_.user);
}

ActiveWindowDisabled::~ActiveWindowDisabled() {
    if (hooks_.disableActiveWindow && hooks_.restoreActiveWindow)
        hooks_.restoreActiveWindow(hooks_.user, token_);
}

BusyCursor::BusyCursor() : hooks_(CurrentUiHooks()) {
    if (hooks_.beginBusy) hooks_.beginBusy(hooks_.user);
}

BusyCursor::~BusyCursor() {
    if (hooks_.endBusy) hooks_.endBusy(hooks_.user);
}

} // namespace kq
