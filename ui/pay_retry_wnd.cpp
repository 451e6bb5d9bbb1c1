#include "ui/pay_retry_wnd.h"

PayRetryWnd::PayRetryWnd()
    : LayoutWindow("pay/retry.xml", "create pay retry window failed, layout pay/retry.xml") {}

void PayRetryWnd::Notify(const skin::Notification& msg) {
    if (msg.type != "click") {
        return;
    }
    if (msg.senderName == "retry") {
        Close(kRetry);
    } else if (msg.senderName == "close") {
        Close(kClose);
    }
}
