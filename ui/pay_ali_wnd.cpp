#include "ui/pay_ali_wnd.h"

#include "utils/vl_browser.h"
#include "utils/vl_log.h"

PayAliWnd::PayAliWnd(PayOrder order)
    : PayOrderWnd("pay/ali.xml", "create pay ali window failed, layout pay/ali.xml",
                  std::move(order),
                  {kPayAlipay, "url",
                   "parse json failed, order number or order url is invalid, json is \r\n{}"}) {}

void PayAliWnd::OnOrdered(const std::string& payment) {
    payUrl_ = payment;
    OpenPayPage();
}

void PayAliWnd::OnRetry() {
    if (payUrl_.empty()) {
        Order();
    } else {
        OpenPayPage();
    }
}

void PayAliWnd::OnBackFromRetry() {
    OpenPayPage();
}

void PayAliWnd::OpenPayPage() {
    if (vl::OpenUrlWithDefaultBrowser(payUrl_)) {
        ShowFailure(u"");
        return;
    }
    VL_WARN("OpenUrlWithDefaultBrowser({}) failed", payUrl_);
    ShowFailure(u"打开支付页面失败，请重试");
}
