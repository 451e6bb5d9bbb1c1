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

}  // namespace vl::platform::x11
