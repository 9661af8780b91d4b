#include "app/KeyboardLocks.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>

namespace {

// The state of the XKB indicator of that name; false when the keymap has none.
bool IndicatorOn(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) return false;
    Bool on = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return false;
    return on;
}

} // namespace

std::optional<KeyboardLocks> ReadKeyboardLocks() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return std::nullopt;
    return KeyboardLocks{IndicatorOn(display, "Caps Lock"), IndicatorOn(display, "Num Lock"),
                         IndicatorOn(display, "Scroll Lock")};
}
