#include "platform/display.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace vl::platform {

bool DisplayAvailable(std::string& why) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && platform[0] != '\0' && std::strncmp(platform, "xcb", 3) != 0) {
        return true;  // offscreen or another platform chosen on purpose
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        why = "no X display: DISPLAY is not set";
        return false;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(c) == 0;
    xcb_disconnect(c);
    if (!ok) {
        why = std::string("cannot connect to the X display \"") + display + "\"";
    }
    return ok;
}

}  // namespace vl::platform
