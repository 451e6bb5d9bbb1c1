#include "ui/layout_window.h"

#include "ui/skin/qt_message_loop.h"
#include "utils/vl_log.h"

LayoutWindow::LayoutWindow(std::string layout, std::string failure)
    : layout_(std::move(layout)), failure_(std::move(failure)) {}

vl::LRESULT LayoutWindow::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    switch (msg) {
        case vl::WM_CREATE:
            if (!Manager().LoadLayout(layout_)) {
                VL_ERROR("{}", failure_);
                skin::PostQuitMessage(0);
                return -1;
            }
            Manager().AddNotifier(this);
            if (!OnCreate()) {
                skin::PostQuitMessage(0);
                return -1;
            }
            return 0;
        case vl::WM_DESTROY:
            OnDestroy();
            Manager().RemoveNotifier(this);
            return 0;
        default:
            return Window::HandleMessage(msg, wParam, lParam);
    }
}

vl::LRESULT TopLevelWindow::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    if (msg == vl::WM_CLOSE && wParam == skin::kModalAborted) {
        ShowWindow(false);  // the window manager's close button: keep running
        return 0;
    }
    return LayoutWindow::HandleMessage(msg, wParam, lParam);
}

void TopLevelWindow::Notify(const skin::Notification& msg) {
    if (msg.type != "click") {
        return;
    }
    if (msg.senderName == "close") {
        ShowWindow(false);
    } else if (msg.senderName == "minimize") {
        Minimize();
    }
}
