#pragma once

#include "ui/page_window.h"

// How to reach the product's support: the customer-service QQ number of the remote
// configuration and a link to the contact page.
class MainContactWnd : public PageWindow {
public:
    MainContactWnd();
    const char* GetWindowClassName() const override { return "velmora_main_contact_wnd"; }

private:
    bool OnCreate() override;
    void OnNotify(const skin::Notification& msg) override;
};
