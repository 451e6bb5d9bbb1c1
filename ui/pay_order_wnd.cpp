#include "ui/pay_order_wnd.h"

#include <new>
#include <nlohmann/json.hpp>

#include "logic/user_manager.h"
#include "logic/window_answers.h"
#include "protocol/backend_protocol.h"
#include "ui/pay_done_wnd.h"
#include "ui/pay_good.h"
#include "ui/pay_retry_wnd.h"
#include "ui/skin/button.h"
#include "ui/skin/label.h"
#include "ui/skin/run_modal.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

// Posted to itself on creation: the order is submitted once the window's modal run has begun.
constexpr vl::UINT kStartOrder = vl::WM_USER + 1002;
// The answer of a state request the window sent by itself (as WM_PAY_ORDER_INFO).
constexpr vl::UINT kPollAnswer = vl::WM_USER + 1003;
constexpr vl::WPARAM kPollTimer = 7;

constexpr char16_t kOrderFailed[] = u"下单失败，请重试";
constexpr char16_t kOrderInfoFailed[] = u"查询订单失败，请重试";

// What every answer is checked for before it is read; logged under the caller's texts.
bool Arrived(bool ok, const std::unique_ptr<std::string>& response) {
    if (!response) {
        VL_ERROR("order is invalid");
        return false;
    }
    if (!ok) {
        VL_ERROR("create order failed, \r\n{}", vl::json::Excerpt(*response));
        return false;
    }
    if (response->empty()) {
        VL_ERROR("json is empty");
        return false;
    }
    return true;
}

}  // namespace

void PostAnswer(vl::HWND hwnd, vl::UINT msg, bool ok, const std::string& body) {
    std::unique_ptr<std::string> copy;
    try {
        copy = std::make_unique<std::string>(body);
    } catch (const std::bad_alloc&) {
        VL_ERROR("new json failed, no enough memory");
        return;
    }
    vl::PostOwned(hwnd, msg, ok ? 1 : 0, std::move(copy));
}

PayOrderWnd::PayOrderWnd(std::string layout, std::string failure, PayOrder order, Method method)
    : LayoutWindow(std::move(layout), std::move(failure)),
      order_(std::move(order)),
      method_(method) {}

bool PayOrderWnd::IsUsableOrderNo(const std::string& orderNo) {
    return answers::IsUsableOrderNo(orderNo);
}

bool PayOrderWnd::OnCreate() {
    skin::Label* name = nullptr;
    skin::Label* price = nullptr;
    if (!Manager().Bind({{"name", &name},
                         {"price", &price},
                         {"done", &done_},
                         {"retry", &retry_},
                         {"status", &status_}})) {
        return false;
    }
    name->SetText(vl::ToUnicodeW(order_.goodsName));
    price->SetText(FormatPrice(order_.price));
    ShowFailure(u"");
    vl::PostMessage(GetHWND(), kStartOrder, 0, 0);
    return true;
}

vl::LRESULT PayOrderWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    switch (msg) {
        case kStartOrder:
            Order();
            return 0;
        case WM_PAY_ORDER:
            OnOrder(wParam != 0, vl::TakePosted<std::string>(lParam));
            return 0;
        case WM_PAY_ORDER_INFO:
            OnOrderInfo(wParam != 0, vl::TakePosted<std::string>(lParam));
            return 0;
        case kPollAnswer:
            OnPollAnswer(wParam != 0, vl::TakePosted<std::string>(lParam));
            return 0;
        case vl::WM_TIMER:
            if (wParam == kPollTimer) {
                Poll();
                return 0;
            }
            break;
        case vl::WM_DESTROY:
            KillTimer(kPollTimer);
            break;
        default:
            break;
    }
    return LayoutWindow::HandleMessage(msg, wParam, lParam);
}

void PayOrderWnd::Notify(const skin::Notification& msg) {
    if (msg.type != "click") {
        return;
    }
    if (msg.senderName == "close") {
        Close(1);
    } else if (msg.senderName == "done") {
        OrderInfo();
    } else if (msg.senderName == "retry") {
        OnRetry();
    }
}

vl::Http::Headers PayOrderWnd::Headers() const {
    return {{"Content-Type", "application/json"},
            {"Access-Token", UserManager::Instance()->GetUser().token}};
}

void PayOrderWnd::SetPending(bool pending) {
    done_->SetEnabled(!pending);
    retry_->SetEnabled(!pending && CanRetry());
}

void PayOrderWnd::ShowFailure(const std::u16string& text) {
    status_->SetText(text);
    status_->SetVisible(!text.empty());
}

void PayOrderWnd::Order() {
    if (order_.goodsId < 0) {
        VL_WARN("good id {} is invalid", order_.goodsId);
        Close(1);
        return;
    }
    const nlohmann::json body = {{"goodsId", order_.goodsId},
                                 {"payMethod", method_.payMethod},
                                 {"goodsType", order_.goodsType}};
    const vl::HWND hwnd = GetHWND();
    const bool sent = vl::Http::Instance()->Async(
        {.verb = vl::net::Verb::Post,
         .url = vl::ServiceUrl(velmora::protocol::kOrderSubmit.path),
         .headers = Headers(),
         .body = body.dump()},
        [hwnd](const vl::Http::Result& r) { PostAnswer(hwnd, WM_PAY_ORDER, r.ok, r.response); });
    ShowFailure(sent ? u"" : kOrderFailed);
    SetPending(sent);
}

void PayOrderWnd::OnOrder(bool ok, std::unique_ptr<std::string> response) {
    SetPending(false);
    std::string orderNo, payment;
    if (!Arrived(ok, response) ||
        !answers::ReadOrder(*response, method_.field, method_.missingLog, &orderNo, &payment)) {
        ShowFailure(kOrderFailed);
        return;
    }
    orderNo_ = orderNo;
    StartPolling();
    OnOrdered(payment);
}

void PayOrderWnd::OrderInfo() {
    if (orderNo_.empty()) {
        VL_WARN("no order");
        ShowFailure(kOrderFailed);
        return;
    }
    const vl::HWND hwnd = GetHWND();
    const bool sent =
        vl::Http::Instance()->Async({.url = vl::ServiceUrl(velmora::protocol::kOrderDetail.path) +
                                            "&orderNo=" + vl::UrlEncode(orderNo_),
                                     .headers = Headers()},
                                    [hwnd](const vl::Http::Result& r) {
                                        PostAnswer(hwnd, WM_PAY_ORDER_INFO, r.ok, r.response);
                                    });
    ShowFailure(sent ? u"" : kOrderInfoFailed);
    SetPending(sent);
}

void PayOrderWnd::OnOrderInfo(bool ok, std::unique_ptr<std::string> response) {
    SetPending(false);
    const answers::OrderState state = Arrived(ok, response) ? answers::ReadOrderState(*response)
                                                            : answers::OrderState::Unreadable;
    if (state == answers::OrderState::Unreadable) {
        ShowFailure(kOrderInfoFailed);
        return;
    }
    state == answers::OrderState::Paid ? OnPaid() : OnUnpaid();
}

void PayOrderWnd::StartPolling() {
    pollStart_ = std::chrono::steady_clock::now();
    if (!SetTimer(kPollTimer, static_cast<unsigned>(pollEvery_.count()))) {
        VL_ERROR("SetTimer failed, last error {}", "timer not started");
    }
}

// The order's state, asked for by the window itself: one request at a time, never while the
// success or retry window is up, and not past kPollFor.
void PayOrderWnd::Poll() {
    if (std::chrono::steady_clock::now() - pollStart_ >= kPollFor) {
        VL_INFO("order {} not paid in time, no more state requests", orderNo_);
        KillTimer(kPollTimer);
        return;
    }
    if (polling_ || modal_ || orderNo_.empty()) {
        return;
    }
    const vl::HWND hwnd = GetHWND();
    polling_ = vl::Http::Instance()->Async(
        {.url = vl::ServiceUrl(velmora::protocol::kOrderDetail.path) +
                "&orderNo=" + vl::UrlEncode(orderNo_),
         .headers = Headers()},
        [hwnd](const vl::Http::Result& r) { PostAnswer(hwnd, kPollAnswer, r.ok, r.response); });
}

// Only a paid order changes anything: an unpaid or unreadable state waits for the next request.
void PayOrderWnd::OnPollAnswer(bool ok, std::unique_ptr<std::string> response) {
    polling_ = false;
    if (modal_ || !Arrived(ok, response) ||
        answers::ReadOrderState(*response) != answers::OrderState::Paid) {
        return;
    }
    VL_INFO("order {} is paid", orderNo_);
    OnPaid();
}

void PayOrderWnd::OnPaid() {
    KillTimer(kPollTimer);
    ShowWindow(false);
    modal_ = true;
    const vl::UINT shown = skin::RunModal<PayDoneWnd>(GetHWND(), u"Velmora翻译-支付-成功");
    modal_ = false;
    if (shown == skin::kModalNotAllocated) {
        VL_ERROR("create pay done window failed, no enough memory");
        ShowWindow(true);  // the order is paid; "done" can show the success again
        return;
    }
    Close(1);
}

void PayOrderWnd::OnUnpaid() {
    ShowWindow(false);
    modal_ = true;
    const vl::UINT choice = skin::RunModal<PayRetryWnd>(GetHWND(), u"Velmora翻译-支付-重试");
    modal_ = false;
    if (choice == skin::kModalNotAllocated) {
        VL_ERROR("create pay retry window failed, no enough memory");
    }
    if (choice == PayRetryWnd::kRetry || choice == skin::kModalNotAllocated) {
        ShowWindow(true);
        OnBackFromRetry();
        return;
    }
    Close(1);
}
