#include "utils/vl_session.h"

#include <cstdlib>
#include <cstring>

namespace vl {

SessionKind DetectSession(const std::function<const char*(const char*)>& getenv) {
    const auto get = [&](const char* name) -> std::string {
        const char* value = getenv ? getenv(name) : std::getenv(name);
        return value != nullptr ? value : "";
    };
    const std::string type = get("XDG_SESSION_TYPE");
    if (type == "wayland" || !get("WAYLAND_DISPLAY").empty()) {
        return SessionKind::Wayland;
    }
    if (type == "x11" || !get("DISPLAY").empty()) {
        return SessionKind::X11;
    }
    return SessionKind::None;
}

const char* SessionKindName(SessionKind kind) {
    switch (kind) {
        case SessionKind::X11:
            return "x11";
        case SessionKind::Wayland:
            return "wayland";
        case SessionKind::None:
            break;
    }
    return "none";
}

}  // namespace vl
