#include "platform/x11.h"

#include <QGuiApplication>
#include <cstdlib>

namespace vl::platform::x11 {

bool QtDisplay(Display* out) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return false;
    }
    // Qt connects to the display DISPLAY names; its screen number picks the root.
    int screenNumber = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screenNumber) == 0) {
        screenNumber = 0;
    }
    std::free(host);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && it.rem > 1; ++i) {
        xcb_screen_next(&it);
    }
    if (it.rem == 0 || it.data == nullptr) {
        return false;
    }
    out->connection = connection;
    out->screen = it.data;
    out->root = it.data->root;
    return true;
}

namespace {

// The window named by a WINDOW property of `window`, or XCB_WINDOW_NONE.
xcb_window_t WindowProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr);
    xcb_window_t value = XCB_WINDOW_NONE;
    if (reply != nullptr && reply->type == XCB_ATOM_WINDOW && reply->format == 32 &&
        xcb_get_property_value_length(reply) >= 4) {
        value = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
    }
    std::free(reply);
    return value;
}

}  // namespace

bool WindowManagerRunning() {
    Display d;
    if (!QtDisplay(&d)) {
        return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    }
    static const char kName[] = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        d.connection, xcb_intern_atom(d.connection, 1, sizeof(kName) - 1, kName), nullptr);
    const xcb_atom_t check = atom != nullptr ? atom->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(atom);
    if (check == XCB_ATOM_NONE) {
        return false;
    }
    // A manager that ended leaves the root's property behind; its own window then is gone.
    const xcb_window_t child = WindowProperty(d.connection, d.root, check);
    return child != XCB_WINDOW_NONE && WindowProperty(d.connection, child, check) == child;
}

}  // namespace vl::platform::x11
