// Input as an X server delivers it: the event travels through the server and the
// program's connection to it, so it waits in the window system's queue like a real
// key press. For tests that run on Qt's xcb platform under Xvfb.
#pragma once

// Sends a press and release of the key named keysymName ("a", "Return") to the X
// window; false when the display cannot be opened or the key is unknown.
bool SendX11KeyClick(unsigned long window, const char* keysymName);
