#pragma once

#include <optional>

// The keyboard's lock indicators (Caps Lock, Num Lock, Scroll Lock) as the window
// system keeps them. On X11 they are read through XKB on the program's own display
// connection; other platforms (Wayland, offscreen) give no way to read them.
struct KeyboardLocks {
    bool capsLock = false;
    bool numLock = false;
    bool scrollLock = false;
    bool operator==(const KeyboardLocks&) const = default;
};

// The indicators now; nothing when the platform cannot tell. Needs a QGuiApplication.
std::optional<KeyboardLocks> ReadKeyboardLocks();
