#pragma once

#include <string>

#include "utils/vl_wnd.h"

// What a Wayland session offers the program: reading the screen (the Screenshot portal) and
// global shortcuts (the GlobalShortcuts portal). X11 sessions have both without a portal.
struct SessionAbilities {
    bool capture = false;
    bool shortcuts = false;
};

// The box's text: what works, what to install or bind for what does not.
std::u16string SessionNoticeText(const SessionAbilities& abilities);

// On a Wayland session: logs what works and, when that differs from what the marker file at
// `markerPath` remembers (so on the first start, and after the desktop changed), posts a box
// saying it to `parent` and remembers it. `shortcuts`: the portal took our shortcuts. Nothing on
// other sessions. UI thread.
void NoticeSessionAbilities(vl::HWND parent, bool shortcuts, const std::string& markerPath);
