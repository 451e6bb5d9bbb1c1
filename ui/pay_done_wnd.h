#pragma once

#include <chrono>
#include <string>

#include "logic/user_info.h"
#include "ui/layout_window.h"

namespace skin {
class Label;
}

// "会员有效期至2025年5月1日", or "永久会员" when `end` lies more than `permanentAfter` ahead of
// `now`.
std::u16string MembershipText(const DateTime& end, std::chrono::seconds permanentAfter,
                              std::chrono::system_clock::time_point now);

// The success window: refreshes the account and shows what the purchase gave.
class PayDoneWnd : public LayoutWindow {
public:
    // A membership ending later than this counts as permanent here.
    static constexpr std::chrono::seconds kPermanentAfter{315'360'000};

    PayDoneWnd();
    const char* GetWindowClassName() const override { return "velmora_pay_done_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    void Notify(const skin::Notification& msg) override;

    void OnUserInfo(const UserInfo& user);

protected:
    bool OnCreate() override;
    void OnDestroy() override;

private:
    skin::Label* deadline_ = nullptr;
};
