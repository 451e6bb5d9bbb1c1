#include "ui/login_wnd.h"

#include <utility>

#include "logic/user_manager.h"
#include "ui/common_msgbox_wnd.h"
#include "ui/link.h"
#include "ui/main_wnd.h"
#include "ui/pay_wnd.h"
#include "ui/posted_msgbox.h"
#include "ui/skin/button.h"
#include "ui/skin/edit.h"
#include "ui/skin/option.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

constexpr char16_t kGenCodeText[] = u"获取验证码";
constexpr vl::UINT kCarryOn = vl::WM_USER + 500;

}  // namespace

LoginWnd::LoginWnd() : TopLevelWindow("login/ui.xml", "create login window failed") {}

bool LoginWnd::OnCreate() {
    return Manager().Bind({{"phone", &phone_},
                           {"code", &code_},
                           {"gencode", &gencode_},
                           {"login", &login_},
                           {"agree", &agree_},
                           {"wechat", &wechat_},
                           {"qq", &qq_}});
}

vl::LRESULT LoginWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    switch (msg) {
        case vl::WM_TIMER:
            if (wParam == kCountdownTimer) {
                OnTick();
            }
            return 0;
        case WM_USER_MANAGER_REQUEST_PHONE_CODE:
            OnRequestCode(wParam != 0);
            return 0;
        case WM_USER_MANAGER_LOGIN:
            OnLogin(wParam != 0);
            return 0;
        case WM_USER_MANAGER_LOGOUT:
            StopCountdown();
            ResetControls();
            phone_->SetText(u"");
            code_->SetText(u"");
            agree_->Selected(false, false);
            return 0;
        case WM_USER_MANAGER_UPDATE:
            return 0;
        case kCarryOn:
            CarryOn();
            return 0;
        case WM_POSTED_MSGBOX:
            ShowPostedMsgBox(GetHWND(), lParam);
            return 0;
        default:
            return TopLevelWindow::HandleMessage(msg, wParam, lParam);
    }
}

void LoginWnd::Notify(const skin::Notification& msg) {
    const std::string& name = msg.senderName;
    if (msg.type == "link") {
        if (name == "agreement" && !OpenTextLink(msg)) {
            Tell(u"打开协议网页失败");
        }
        return;
    }
    if (msg.type != "click") {
        return;
    }
    if (name == "gencode") {
        OnGenCode();
    } else if (name == "login") {
        OnLoginPhone();
    } else if (name == "wechat" || name == "qq") {
        OnLoginQr(name == "wechat");
    } else {
        if (name == "close") {
            after_ = After::Nothing;  // the user gave up on what they came for
        }
        TopLevelWindow::Notify(msg);  // "close" hides, "minimize" minimises
    }
}

void LoginWnd::ShowFor(After after) {
    after_ = after;
    ShowWindow(true, true);
}

void LoginWnd::CarryOn() {
    switch (std::exchange(after_, After::Nothing)) {
        case After::Purchase:
            PayWnd::Instance()->ShowWindow(true, true);
            break;
        case After::Capture:
            MainWnd::Instance()->Launch();
            break;
        case After::Nothing:
            break;
    }
}

bool LoginWnd::IsPhoneValid(const std::string& phone) {
    if (phone.size() != 11) {
        VL_WARN("phone number {} length is invalid", phone);
        return false;
    }
    if (phone.front() != '1') {
        VL_WARN("phone number {} is not begin with 1", phone);
        return false;
    }
    for (std::size_t i = 0; i < phone.size(); ++i) {
        if (phone[i] < '0' || phone[i] > '9') {
            // The whole character, not one byte of it.
            std::size_t end = i + 1;
            while (end < phone.size() && (static_cast<unsigned char>(phone[end]) & 0xC0) == 0x80)
                ++end;
            VL_WARN("phone number {} has char {} witch is not a numeric char", phone,
                    phone.substr(i, end - i));
            return false;
        }
    }
    return true;
}

bool LoginWnd::TakeValidPhone(std::string* phone) {
    *phone = vl::ToUtf8(phone_->GetText());
    if (!IsPhoneValid(*phone)) {
        VL_WARN("phone is invalid");
        Tell(u"手机号无效");
        return false;
    }
    return true;
}

void LoginWnd::Tell(const std::u16string& message) {
    CommonMsgBoxWnd::Show(GetHWND(), u"提示", message, u"", nullptr);
}

void LoginWnd::OnGenCode() {
    std::string phone;
    if (!TakeValidPhone(&phone)) {
        return;
    }
    if (!UserManager::Instance()->RequestPhoneCode(phone)) {
        VL_WARN("request code failed");
        Tell(u"获取验证码失败");
        return;
    }
    phone_->SetEnabled(false);
    gencode_->SetEnabled(false);
    countdown_ = kCountdownSeconds;
    gencode_->SetText(vl::ToWString(std::to_string(countdown_)));
    if (!SetTimer(kCountdownTimer, 1000)) {
        VL_ERROR("SetTimer failed, last error {}", "timer not started");
    }
}

void LoginWnd::OnTick() {
    if (countdown_ <= 0) {
        return;  // a tick already on its way when the countdown was stopped
    }
    --countdown_;
    if (countdown_ > 0) {
        gencode_->SetText(vl::ToWString(std::to_string(countdown_)));
        return;
    }
    if (!KillTimer(kCountdownTimer)) {
        VL_ERROR("KillTimer failed, last error {}", "no such timer");
    }
    phone_->SetEnabled(true);
    gencode_->SetEnabled(true);
    gencode_->SetText(kGenCodeText);
}

void LoginWnd::StopCountdown() {
    if (!KillTimer(kCountdownTimer) && countdown_ > 0) {
        VL_ERROR("KillTimer failed, last error {}", "no such timer");
    }
    countdown_ = 0;
}

void LoginWnd::OnRequestCode(bool ok) {
    if (ok) {
        return;
    }
    // Opened once this handler has returned, like every box of an answer from another thread.
    StopCountdown();
    PostMsgBox(GetHWND(), u"获取验证码失败");
    phone_->SetEnabled(true);
    gencode_->SetEnabled(true);
    gencode_->SetText(kGenCodeText);
}

void LoginWnd::OnLoginPhone() {
    std::string phone;
    if (!TakeValidPhone(&phone)) {
        return;
    }
    const std::string code = vl::ToUtf8(code_->GetText());
    if (code.empty()) {
        VL_WARN("code is invalid");
        Tell(u"请输入验证码");
        return;
    }
    if (!agree_->IsSelected()) {
        VL_WARN("agreement is not selected");
        Tell(u"需要同意《用户协议》和《隐私政策》才能进行手机验证码登录");
        return;
    }
    StopCountdown();
    if (!UserManager::Instance()->LoginPhone(phone, code)) {
        VL_WARN("login with phone failed");
        // The countdown is stopped: without this the code button would stay disabled for good.
        ResetControls();
        Tell(u"手机验证码登录失败");
        return;
    }
    EnableAll(false);
    gencode_->SetText(kGenCodeText);
}

void LoginWnd::OnLoginQr(bool wechat) {
    if (!agree_->IsSelected()) {
        VL_WARN("agreement is not selected");
        Tell(wechat ? u"需要同意《用户协议》和《隐私政策》才能进行微信登录"
                    : u"需要同意《用户协议》和《隐私政策》才能进行QQ登录");
        return;
    }
    UserManager* users = UserManager::Instance();
    if (!(wechat ? users->LoginWechat() : users->LoginQQ())) {
        VL_WARN("login with {} failed", wechat ? "wechat" : "qq");
        Tell(wechat ? u"微信登录失败" : u"QQ登录失败");
    }
}

void LoginWnd::OnLogin(bool ok) {
    if (ok) {
        ShowWindow(false);
        if (after_ != After::Nothing) {
            vl::PostMessage(GetHWND(), kCarryOn, 0, 0);
        }
        return;
    }
    StopCountdown();
    ResetControls();
}

void LoginWnd::ResetControls() {
    EnableAll(true);
    gencode_->SetText(kGenCodeText);
}

void LoginWnd::EnableAll(bool enabled) {
    for (skin::Control* c : std::initializer_list<skin::Control*>{phone_, code_, gencode_, login_,
                                                                  agree_, wechat_, qq_}) {
        c->SetEnabled(enabled);
    }
}
