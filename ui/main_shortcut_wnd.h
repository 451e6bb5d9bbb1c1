#pragma once

#include "ui/page_window.h"

// Shows the two hotkeys as the settings name them; the keys themselves are fixed.
class MainShortcutWnd : public PageWindow {
public:
    MainShortcutWnd();
    const char* GetWindowClassName() const override { return "velmora_main_shortcut_wnd"; }

private:
    bool OnCreate() override;
};
