#include "ui/main_user_wnd.h"

#include <ctime>

#include "logic/user_manager.h"
#include "ui/main_logout_wnd.h"
#include "ui/skin/control.h"
#include "utils/vl_string.h"

namespace {

// Memberships ending further ahead than this are shown as lifetime ones.
constexpr std::int64_t kLifetimeSeconds = 432'000'001;

}  // namespace

MainUserWnd::MainUserWnd() : PageWindow("main/user.xml", "create main user window failed") {}

std::u16string MainUserWnd::MembershipText(const UserInfo& user, std::int64_t nowSeconds) {
    if (!user.isVip) {
        return u"您尚未开通VIP会员";
    }
    const std::int64_t end = ToEpochNanoseconds(user.vipEnd) / 1'000'000'000;
    if (end - nowSeconds >= kLifetimeSeconds) {
        return u"永久会员";
    }
    const DateTime& d = user.vipEnd;
    return vl::ToWString("会员有效期至" + std::to_string(d.year) + "年" + std::to_string(d.month) +
                         "月" + std::to_string(d.day) + "日");
}

bool MainUserWnd::OnCreate() {
    skin::Control *vipSign = nullptr, *nick = nullptr, *id = nullptr, *tip = nullptr,
                  *logout = nullptr;
    if (!Manager().Bind({{"vip_sign", &vipSign},
                         {"nick", &nick},
                         {"id", &id},
                         {"tip", &tip},
                         {"logout", &logout}})) {
        return false;
    }
    const UserInfo user = UserManager::Instance()->GetUser();
    const bool signedIn = user.loginType != LoginType::None;
    vipSign->SetVisible(signedIn && user.isVip);
    nick->SetText(signedIn ? vl::ToWString(user.nickname) : u"");
    id->SetText(u"ID: " + (signedIn ? vl::ToWString(user.userId) : u""));
    tip->SetText(signedIn ? MembershipText(user, std::time(nullptr)) : u"您尚未开通VIP会员");
    logout->SetVisible(signedIn);
    return true;
}

void MainUserWnd::OnNotify(const skin::Notification& msg) {
    if (msg.type == "click" && msg.senderName == "logout" &&
        RunPage<MainLogoutWnd>(GetHWND(), u"Velmora翻译-信息", "main logout") == 0) {
        Close(1);
    }
}
