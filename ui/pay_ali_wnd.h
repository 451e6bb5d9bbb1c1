#pragma once

#include <string>

#include "ui/pay_order_wnd.h"

// Pays an order on the provider's page in the browser; "retry" opens the page again (or submits
// the order again when there is no page yet).
class PayAliWnd : public PayOrderWnd {
public:
    explicit PayAliWnd(PayOrder order);

    const char* GetWindowClassName() const override { return "velmora_pay_ali_wnd"; }
    const std::string& PayUrl() const { return payUrl_; }

protected:
    void OnOrdered(const std::string& payment) override;
    void OnRetry() override;
    void OnBackFromRetry() override;

private:
    void OpenPayPage();

    std::string payUrl_;
};
