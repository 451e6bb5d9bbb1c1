#pragma once

#include "ui/layout_window.h"
#include "ui/skin/run_modal.h"
#include "utils/vl_log.h"

// A modal page opened from the main window: its "close" button closes it with result 1; the
// page's other notifications go to OnNotify.
class PageWindow : public LayoutWindow {
public:
    void Notify(const skin::Notification& msg) override {
        if (msg.type == "click" && msg.senderName == "close") {
            Close(1);
            return;
        }
        OnNotify(msg);
    }

protected:
    using LayoutWindow::LayoutWindow;
    virtual void OnNotify(const skin::Notification&) {}
};

// Runs page W over `owner` (skin::RunModal); a page that cannot be allocated logs
// "create <what> window failed, no enough memory" and opens nothing.
template <class W, class... Args>
vl::UINT RunPage(vl::HWND owner, const char16_t* title, const char* what, Args&&... args) {
    const vl::UINT result = skin::RunModal<W>(owner, title, std::forward<Args>(args)...);
    if (result == skin::kModalNotAllocated) {
        VL_ERROR("create {} window failed, no enough memory", what);
    }
    return result;
}
