#pragma once

#include <xcb/xcb.h>

namespace vl::platform::x11 {

// Qt's own connection to the X server and the root window of the screen it runs on. Requests
// made on this connection reach the server in order with Qt's own (a hide before a read is seen
// by the read).
struct Display {
    xcb_connection_t* connection = nullptr;
    const xcb_screen_t* screen = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
};

// False when Qt does not run on X11 (the offscreen platform of the UI tests) or before the
// application object exists. UI thread.
bool QtDisplay(Display* out);

// Whether a window manager looks after the program's windows (one that could minimise them): on
// X11 one that announced itself on the root window (_NET_SUPPORTING_WM_CHECK); always under
// Wayland; never on other platforms (offscreen). UI thread.
bool WindowManagerRunning();

}  // namespace vl::platform::x11
