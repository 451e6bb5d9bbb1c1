#pragma once

#include "ui/page_window.h"

// Asks before signing out: "ok" closes it with 0 and signs the user out; "cancel" and "close"
// close it with 1.
class MainLogoutWnd : public PageWindow {
public:
    MainLogoutWnd();
    const char* GetWindowClassName() const override { return "velmora_main_logout_wnd"; }

private:
    void OnNotify(const skin::Notification& msg) override;
};
