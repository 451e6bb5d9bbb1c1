#pragma once

#include "ui/layout_window.h"

// Tells the user the order is not paid yet. Returns kRetry to go back to the payment window,
// kClose to give the order up.
class PayRetryWnd : public LayoutWindow {
public:
    static constexpr vl::UINT kRetry = 0;
    static constexpr vl::UINT kClose = 1;

    PayRetryWnd();
    const char* GetWindowClassName() const override { return "velmora_pay_retry_wnd"; }
    void Notify(const skin::Notification& msg) override;
};
