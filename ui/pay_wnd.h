#pragma once

#include "ui/layout_window.h"
#include "utils/vl_singleton.h"

// The purchase window. Created hidden at start-up and registered as a listener of the user
// manager; the goods catalogue arrives with the purchase work.
class PayWnd : public TopLevelWindow, public vl::Singleton<PayWnd> {
public:
    const char* GetWindowClassName() const override { return "velmora_pay_wnd"; }

protected:
    bool OnCreate() override;

private:
    friend class vl::Singleton<PayWnd>;
    PayWnd();
};
