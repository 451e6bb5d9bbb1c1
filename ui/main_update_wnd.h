#pragma once

#include <string>

#include "ui/page_window.h"

// A newer version exists: its name and description, and "download", which opens its download
// address in the browser.
class MainUpdateWnd : public PageWindow {
public:
    struct Version {
        std::string name;  // UTF-8
        std::string desc;  // UTF-8
        std::string downloadUrl;
    };

    explicit MainUpdateWnd(Version version);
    const char* GetWindowClassName() const override { return "velmora_main_update_wnd"; }

private:
    bool OnCreate() override;
    void OnNotify(const skin::Notification& msg) override;

    const Version version_;
};
