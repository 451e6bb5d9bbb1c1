#include "ui/pay_order_wnd.h"

#include <new>
#include <nlohmann/json.hpp>

#include "logic/user_manager.h"
#include "ui/pay_done_wnd.h"
#include "ui/pay_good.h"
#include "ui/pay_retry_wnd.h"
#include "ui/skin/button.h"
#include "ui/skin/label.h"
#include "ui/skin/run_modal.h"
#include "utils/vl_backend.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

// Posted to itself on creation: the order is submitted once the window's modal run has begun.
constexpr vl::UINT kStartOrder = vl::WM_USER + 1002;
constexpr std::size_t kMaxOrderNo = 64;

constexpr char16_t kOrderFailed[] = u"下单失败，请重试";
constexpr char16_t kOrderInfoFailed[] = u"查询订单失败，请重试";

// A member that holds something: present, not null, not an empty object or array.
bool Holds(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) {
        return false;
    }
    const auto it = object.find(key);
    return it != object.end() && !it->is_null() &&
           !((it->is_object() || it->is_array()) && it->empty());
}

// Reads an answer's envelope; the parsed answer when "code" is 0. Every failure is logged under
// the caller's texts; parse errors throw to the caller.
bool ReadEnvelope(bool ok, const std::unique_ptr<std::string>& response, nlohmann::json& answer) {
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
    answer = vl::json::Parse(*response);
    const std::int32_t code = vl::json::ToInt32(answer.at("code"));
    if (code != 0) {
        const auto& msg = answer.at("msg");
        VL_ERROR("parse version info failed, code {}, msg {}", code,
                 vl::ToUnicode(msg.is_string() ? msg.get<std::string>() : msg.dump()));
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
    if (orderNo.empty() || orderNo.size() > kMaxOrderNo) {
        return false;
    }
    for (const char c : orderNo) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!plain) {
            return false;
        }
    }
    return true;
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
        default:
            return LayoutWindow::HandleMessage(msg, wParam, lParam);
    }
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
    const bool sent = vl::Http::Instance()->PostAsync(
        [hwnd](bool ok, const std::string&, std::int32_t, const std::string& response,
               const auto&...) { PostAnswer(hwnd, WM_PAY_ORDER, ok, response); },
        vl::ServiceUrl(vl::backend::kOrderSubmit.path), Headers(), body.dump());
    ShowFailure(sent ? u"" : kOrderFailed);
    SetPending(sent);
}

void PayOrderWnd::OnOrder(bool ok, std::unique_ptr<std::string> response) {
    SetPending(false);
    try {
        nlohmann::json answer;
        if (!ReadEnvelope(ok, response, answer)) {
            ShowFailure(kOrderFailed);
            return;
        }
        const auto& data = answer.at("data");
        if (!Holds(data, "orderNo") || !Holds(data, "appPayParams") ||
            !Holds(data.at("appPayParams"), method_.field)) {
            VL_ERROR(fmt::runtime(method_.missingLog), vl::json::Excerpt(*response));
            ShowFailure(kOrderFailed);
            return;
        }
        const auto orderNo = data.at("orderNo").get<std::string>();
        const auto payment = data.at("appPayParams").at(method_.field).get<std::string>();
        if (!IsUsableOrderNo(orderNo)) {
            VL_ERROR("order number is not usable, json is \r\n{}", vl::json::Excerpt(*response));
            ShowFailure(kOrderFailed);
            return;
        }
        orderNo_ = orderNo;
        OnOrdered(payment);
        return;
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, *response);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(*response);
    }
    ShowFailure(kOrderFailed);
}

void PayOrderWnd::OrderInfo() {
    if (orderNo_.empty()) {
        VL_WARN("no order");
        ShowFailure(kOrderFailed);
        return;
    }
    const vl::HWND hwnd = GetHWND();
    const bool sent = vl::Http::Instance()->GetAsync(
        [hwnd](bool ok, const std::string&, std::int32_t, const std::string& response,
               const auto&...) { PostAnswer(hwnd, WM_PAY_ORDER_INFO, ok, response); },
        vl::ServiceUrl(vl::backend::kOrderDetail.path) + "&orderNo=" + vl::UrlEncode(orderNo_),
        Headers());
    ShowFailure(sent ? u"" : kOrderInfoFailed);
    SetPending(sent);
}

void PayOrderWnd::OnOrderInfo(bool ok, std::unique_ptr<std::string> response) {
    SetPending(false);
    try {
        nlohmann::json answer;
        if (!ReadEnvelope(ok, response, answer)) {
            ShowFailure(kOrderInfoFailed);
            return;
        }
        // Only the number 2 means paid; anything else, "2" as text included, is not paid yet.
        const auto& data = answer.at("data");
        const bool paid = Holds(data, "status") && data.at("status").is_number() &&
                          data.at("status").get<double>() == 2;
        paid ? OnPaid() : OnUnpaid();
        return;
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, *response);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(*response);
    }
    ShowFailure(kOrderInfoFailed);
}

void PayOrderWnd::OnPaid() {
    ShowWindow(false);
    if (skin::RunModal<PayDoneWnd>(GetHWND(), u"Velmora翻译-支付-成功") ==
        skin::kModalNotAllocated) {
        VL_ERROR("create pay done window failed, no enough memory");
        ShowWindow(true);  // the order is paid; "done" can show the success again
        return;
    }
    Close(1);
}

void PayOrderWnd::OnUnpaid() {
    ShowWindow(false);
    const vl::UINT choice = skin::RunModal<PayRetryWnd>(GetHWND(), u"Velmora翻译-支付-重试");
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
