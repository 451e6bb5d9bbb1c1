#include "ui/pay_done_wnd.h"

#include "logic/user_manager.h"
#include "ui/skin/label.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

std::u16string MembershipText(const DateTime& end, std::chrono::seconds permanentAfter,
                              std::chrono::system_clock::time_point now) {
    const std::int64_t nowNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
    const std::int64_t limitNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(permanentAfter).count();
    if (ToEpochNanoseconds(end) - nowNs > limitNs) {
        return u"永久会员";
    }
    return u"会员有效期至" + vl::ToUnicodeW(std::to_string(end.year)) + u"年" +
           vl::ToUnicodeW(std::to_string(end.month)) + u"月" +
           vl::ToUnicodeW(std::to_string(end.day)) + u"日";
}

PayDoneWnd::PayDoneWnd()
    : LayoutWindow("pay/done.xml", "create pay done window failed, layout pay/done.xml") {}

bool PayDoneWnd::OnCreate() {
    if (!Manager().Bind({{"deadline", &deadline_}})) {
        return false;
    }
    UserManager* users = UserManager::Instance();
    users->AddListener(GetHWND());
    if (!users->IsOpen() || !users->Update()) {
        VL_WARN("not open");
    }
    return true;
}

void PayDoneWnd::OnDestroy() {
    UserManager::Instance()->RemoveListener(GetHWND());
}

vl::LRESULT PayDoneWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    if (msg == WM_USER_MANAGER_UPDATE) {
        if (const auto answer = vl::TakePosted<UserManagerAccountAnswer>(lParam);
            wParam == 1 && answer != nullptr) {
            OnUserInfo(answer->user);
        }
        return 0;
    }
    return LayoutWindow::HandleMessage(msg, wParam, lParam);
}

void PayDoneWnd::Notify(const skin::Notification& msg) {
    if (msg.type == "click" && (msg.senderName == "close" || msg.senderName == "known")) {
        Close(1);
    }
}

void PayDoneWnd::OnUserInfo(const UserInfo& user) {
    if (user.loginType == LoginType::None) {
        VL_WARN("user is not login ?");
        return;
    }
    // A translation pack bought without a membership has no end date to show.
    if (!user.isVip) {
        deadline_->SetText(u"剩余翻译次数：" + vl::ToUnicodeW(std::to_string(user.nums)) + u"次");
        return;
    }
    deadline_->SetText(
        MembershipText(user.vipEnd, kPermanentAfter, std::chrono::system_clock::now()));
}
