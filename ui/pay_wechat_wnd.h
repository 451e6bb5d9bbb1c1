#pragma once

#include <string>

#include "ui/pay_order_wnd.h"

// Pays an order by a QR code the user scans with the phone: the image of the answer is kept in
// the cache folder as <order number>.png and shown in "qr".
class PayWechatWnd : public PayOrderWnd {
public:
    explicit PayWechatWnd(PayOrder order);

    const char* GetWindowClassName() const override { return "velmora_pay_wechat_wnd"; }
    // The file of the QR code shown, or empty.
    const std::string& QrFile() const { return qrFile_; }

protected:
    bool OnCreate() override;
    void OnOrdered(const std::string& payment) override;
    // Only a missing QR code is worth a new order.
    void OnRetry() override;
    bool CanRetry() const override { return qrFile_.empty(); }

private:
    // Writes and shows the image; false, logged, when it cannot be shown.
    bool ShowQr(const std::string& png);
    void ClearQr();

    skin::Control* qr_ = nullptr;
    std::string qrFile_;
    std::string qrImage_;  // its name in the paint manager
};
