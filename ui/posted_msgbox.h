#pragma once

#include <string>

#include "utils/vl_wnd.h"

// One-button message boxes asked for while a window handles a message the user manager's thread
// sends synchronously. A box opened there would keep that thread waiting for as long as it is
// open, and its modal loop could run the same handler again; the window posts the box to itself
// instead and opens it once the handler has returned, in the order the boxes were asked for.
inline constexpr vl::UINT WM_POSTED_MSGBOX = vl::WM_USER + 401;

// Posts a box (title "提示" unless given, the layout's button text, no action) to `hwnd`.
bool PostMsgBox(vl::HWND hwnd, std::u16string message, std::u16string title = u"提示");

// Opens the box a WM_POSTED_MSGBOX carries, owned by `hwnd`.
void ShowPostedMsgBox(vl::HWND hwnd, vl::LPARAM lParam);
