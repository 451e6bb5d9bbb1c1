#pragma once

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "ui/skin/window.h"

namespace skin {

// What RunModal returns when the window object could not be allocated.
inline constexpr vl::UINT kModalNotAllocated = static_cast<vl::UINT>(-2);

// Runs a created window modally as sub-windows are run: centred over its owner, with the
// application icon; destroys it when the run ends without Close. Returns the value given to
// Close, or kModalAborted.
vl::UINT RunCreatedModal(Window& window);

// Runs a sub-window the way every page, dialog and message box is run: builds a W from `args`,
// creates it frameless and without a taskbar entry, owned by `owner` (which takes no input
// meanwhile) with `title`, centres it, gives it the application icon and runs it modally.
// Returns the value the window gave to Close; kModalAborted when the run ended without one (the
// program is quitting, the window manager closed it, or the window could not be created — that
// failure is logged and ends the program); kModalNotAllocated when W could not be allocated.
// RunModal owns the window: it is destroyed (its own WM_DESTROY handling runs) and freed before
// RunModal returns, so the window's handlers may use its members after Close.
//
//     if (skin::RunModal<MainLogoutWnd>(GetHWND(), u"Velmora翻译-信息") == 0) ...
template <class W, class... Args>
vl::UINT RunModal(vl::HWND owner, const std::u16string& title, Args&&... args) {
    std::unique_ptr<W> window(new (std::nothrow) W(std::forward<Args>(args)...));
    if (!window) {
        return kModalNotAllocated;
    }
    if (window->Create(owner, title, WS_POPUP, WS_EX_TOOLWINDOW) == nullptr) {
        return kModalAborted;
    }
    return RunCreatedModal(*window);
}

}  // namespace skin
