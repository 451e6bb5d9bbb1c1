#pragma once

#include "ui/page_window.h"

// The version check found nothing newer: shows the program's version.
class MainNoUpdateWnd : public PageWindow {
public:
    MainNoUpdateWnd();
    const char* GetWindowClassName() const override { return "velmora_main_noupdate_wnd"; }

private:
    bool OnCreate() override;
    void OnNotify(const skin::Notification& msg) override;
};
