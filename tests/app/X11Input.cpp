// Xlib's names (KeyPress, ...) clash with Qt's: this file includes no Qt header.
#include "X11Input.h"

#include <X11/Xlib.h>

bool SendX11KeyClick(unsigned long window, const char* keysymName) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const KeySym keysym = XStringToKeysym(keysymName);
    bool sent = keysym != NoSymbol;
    if (sent) {
        XKeyEvent event{};
        event.display = display;
        event.window = window;
        event.root = DefaultRootWindow(display);
        event.subwindow = None;
        event.time = CurrentTime;
        event.same_screen = True;
        event.keycode = XKeysymToKeycode(display, keysym);
        event.type = KeyPress;
        sent = XSendEvent(display, window, True, KeyPressMask, reinterpret_cast<XEvent*>(&event)) != 0;
        event.type = KeyRelease;
        sent =
            XSendEvent(display, window, True, KeyReleaseMask, reinterpret_cast<XEvent*>(&event)) != 0 && sent;
        XFlush(display);
    }
    XCloseDisplay(display);
    return sent;
}
