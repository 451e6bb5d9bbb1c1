#pragma once

#include "ui/page_window.h"

// The prompt of the start button for a signed-out user: "now" closes it with 0 (the caller then
// shows the login window), "later" and "close" with 1.
class MainLoginWnd : public PageWindow {
public:
    MainLoginWnd();
    const char* GetWindowClassName() const override { return "velmora_main_login_wnd"; }

private:
    void OnNotify(const skin::Notification& msg) override;
};
