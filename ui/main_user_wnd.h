#pragma once

#include <cstdint>
#include <string>

#include "logic/user_info.h"
#include "ui/page_window.h"

// The account: nickname, identifier, membership and the sign-out button.
class MainUserWnd : public PageWindow {
public:
    MainUserWnd();
    const char* GetWindowClassName() const override { return "velmora_main_user_wnd"; }

private:
    // "您尚未开通VIP会员", "会员有效期至Y年M月D日", or "永久会员" for an end more than 5 000 days
    // after `nowSeconds` (seconds since the epoch).
    static std::u16string MembershipText(const UserInfo& user, std::int64_t nowSeconds);

    bool OnCreate() override;
    void OnNotify(const skin::Notification& msg) override;
};
