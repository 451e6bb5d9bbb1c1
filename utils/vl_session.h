#pragma once

#include <functional>
#include <string>

// What kind of graphical session the program runs in. A Wayland session counts as one whether Qt
// talks Wayland itself or runs through XWayland: either way the X server (if any) cannot read the
// screen of other programs or grab keys for the whole desktop.
namespace vl {

enum class SessionKind { X11, Wayland, None };

// Reads XDG_SESSION_TYPE, WAYLAND_DISPLAY and DISPLAY through `getenv` (the process environment
// when empty).
SessionKind DetectSession(const std::function<const char*(const char*)>& getenv = {});

// "x11", "wayland" or "none", as `velmora-cli env` prints it.
const char* SessionKindName(SessionKind kind);

}  // namespace vl
