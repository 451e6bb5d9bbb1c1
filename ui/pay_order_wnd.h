#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ui/layout_window.h"
#include "utils/vl_http.h"

namespace skin {
class Button;
class Label;
}  // namespace skin

// Answers of the order requests, posted to the payment window that sent them; lParam owns a
// std::string with the answer body (vl::PostOwned), wParam is the transport's ok flag.
inline constexpr vl::UINT WM_PAY_ORDER = vl::WM_USER + 1000;       // "/order/submit"
inline constexpr vl::UINT WM_PAY_ORDER_INFO = vl::WM_USER + 1001;  // "/order/detail"

// Posts an HTTP answer to `hwnd` as the window's own copy; when the window is gone by then, the
// copy is freed unread.
void PostAnswer(vl::HWND hwnd, vl::UINT msg, bool ok, const std::string& body);

// What the purchase window hands a payment window: the good to buy.
struct PayOrder {
    std::int32_t goodsId = -1;  // -1: none
    std::string goodsName;
    std::int32_t goodsType = 0;  // the good's category, sent as "goodsType"
    double price = 0;            // in yuan, for the "price" label
};

// What the two payment windows share: the order is submitted once the window runs, "done" asks
// for its state, and a paid order ends behind the success window, an unpaid one behind the retry
// window. One short line ("status") tells the user when a request failed; the next attempt
// clears it. The windows differ in how the order is paid (OnOrdered) and what "retry" does.
class PayOrderWnd : public LayoutWindow {
public:
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    void Notify(const skin::Notification& msg) override;

    const std::string& OrderNo() const { return orderNo_; }

    // Order numbers come from the network and become a file name and a query value: only 1 to 64
    // letters, digits, '-' and '_' are taken.
    static bool IsUsableOrderNo(const std::string& orderNo);

    // While the window is open with an order, it asks for the order's state by itself this often,
    // for at most this long.
    static constexpr std::chrono::milliseconds kPollEvery{3000};
    static constexpr std::chrono::minutes kPollFor{10};
    // For tests: the interval of windows opened from now on (UI thread).
    static void SetPollInterval(std::chrono::milliseconds every) { pollEvery_ = every; }

    static constexpr std::int32_t kPayWechat = 9;
    static constexpr std::int32_t kPayAlipay = 10;

protected:
    // How one window pays: its "payMethod", the member of "appPayParams" it needs, and the log
    // line when the answer lacks it.
    struct Method {
        std::int32_t payMethod;
        const char* field;
        const char* missingLog;
    };

    PayOrderWnd(std::string layout, std::string failure, PayOrder order, Method method);

    bool OnCreate() override;

    // The order exists (OrderNo() is set); `payment` is the answer's "appPayParams" member.
    virtual void OnOrdered(const std::string& payment) = 0;
    // "retry" was pressed.
    virtual void OnRetry() = 0;
    // The user chose "retry" in the retry window and is back here.
    virtual void OnBackFromRetry() {}
    // Whether "retry" has anything to do now.
    virtual bool CanRetry() const { return true; }

    // Submits the order ("/order/submit").
    void Order();
    // Shows `text` on the status line; an empty text clears it.
    void ShowFailure(const std::u16string& text);
    // "done" and "retry" are disabled while a request is on its way.
    void SetPending(bool pending);

private:
    void OrderInfo();
    void OnOrder(bool ok, std::unique_ptr<std::string> response);
    void OnOrderInfo(bool ok, std::unique_ptr<std::string> response);
    void StartPolling();
    void Poll();
    void OnPollAnswer(bool ok, std::unique_ptr<std::string> response);
    void OnPaid();
    void OnUnpaid();
    vl::Http::Headers Headers() const;

    const PayOrder order_;
    const Method method_;
    std::string orderNo_;
    std::chrono::steady_clock::time_point pollStart_;
    bool polling_ = false;  // a state request of the window's own is on its way
    bool modal_ = false;    // the success or retry window is up
    static inline std::chrono::milliseconds pollEvery_ = kPollEvery;
    skin::Button* done_ = nullptr;
    skin::Button* retry_ = nullptr;
    skin::Label* status_ = nullptr;
};
