#include "ui/main_wnd.h"

#include <QFontInfo>
#include <algorithm>

#include "config/config_manager.h"
#include "logic/user_manager.h"
#include "logic/window_answers.h"
#include "platform/tray_icon.h"
#include "platform/x11.h"
#include "protocol/backend_protocol.h"
#include "ui/common_msgbox_wnd.h"
#include "ui/link.h"
#include "ui/login_wnd.h"
#include "ui/main_contact_wnd.h"
#include "ui/main_effect_wnd.h"
#include "ui/main_engine_wnd.h"
#include "ui/main_login_wnd.h"
#include "ui/main_region_wnd.h"
#include "ui/main_settings_wnd.h"
#include "ui/main_shortcut_wnd.h"
#include "ui/main_user_wnd.h"
#include "ui/page_window.h"
#include "ui/pay_wnd.h"
#include "ui/posted_msgbox.h"
#include "ui/result_wnd.h"
#include "ui/skin/button.h"
#include "ui/skin/combo.h"
#include "ui/skin/container.h"
#include "ui/skin/icon_registry.h"
#include "ui/skin/label.h"
#include "ui/skin/qt_message_loop.h"
#include "utils/vl_http.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

ConfigManager& Settings() {
    return *ConfigManager::Instance();
}

}  // namespace

MainWnd::MainWnd() : TopLevelWindow("main/ui.xml", "create main window failed") {}

MainWnd::~MainWnd() = default;

bool MainWnd::OnCreate() {
    if (!Init()) {
        VL_ERROR("init main window failed");
        return false;
    }
    return true;
}

void MainWnd::OnDestroy() {
    UninitTray();
}

bool MainWnd::Init() {
    if (!InitTray()) {
        VL_ERROR("init tray failed");
        return false;
    }
    const Lang& lang = Settings().conf().lang();
    if (!Manager().Bind({{"vip", &vip_},
                         {"vip_sign", &vipSign_},
                         {"login", &login_},
                         {"nick", &nick_},
                         {"contact", &contact_},
                         {"help", &help_},
                         {"settings", &settings_},
                         {"engine", &engine_},
                         {"nums", &nums_}}) ||
        !InitPicker("lang_src", lang.src()) || !InitPicker("lang_dst", lang.dst())) {
        UninitTray();
        return false;
    }
    RefreshEngine();
    RefreshAccount(UserInfo{});
    return true;
}

bool MainWnd::InitTray() {
    if (tray_) {
        VL_INFO("already init tray");
        return true;
    }
    TrayMissing();  // the icon docks when a tray appears later
    tray_ = std::make_unique<TrayIcon>(GetHWND(), kTrayMessage,
                                       skin::IconFromHandle(skin::LoadAppIcon()), u"Velmora翻译器");
    return true;
}

bool MainWnd::TrayMissing() {
    if (TrayIcon::HostAvailable()) {
        return false;
    }
    if (!trayMissingLogged_) {
        trayMissingLogged_ = true;
        VL_WARN("system tray not available");
    }
    return true;
}

void MainWnd::Conceal() {
    // Without a window manager there is no task bar either: hidden, a later start shows it.
    if (TrayMissing() && vl::platform::x11::WindowManagerRunning()) {
        Minimize();
    } else {
        ShowWindow(false);
    }
}

void MainWnd::UninitTray() {
    tray_.reset();
}

void MainWnd::OnTray(vl::UINT event) {
    switch (event) {
        case TrayIcon::kExitChosen:
            VL_INFO("exit chosen from the tray");
            UninitTray();
            skin::PostQuitMessage(0);
            break;
        case TrayIcon::kSelect:
        case vl::WM_LBUTTONDBLCLK:
            ShowWindow(true, true);
            break;
        case TrayIcon::kTranslateChosen:
            RunCommand("translate");
            break;
        case TrayIcon::kRegionChosen:
            RunCommand("region");
            break;
        default:
            break;
    }
}

vl::LRESULT MainWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    switch (msg) {
        case vl::WM_CLOSE:
            if (wParam == skin::kModalAborted) {  // the window manager's close
                Conceal();
                return 0;
            }
            break;
        case vl::WM_SHOWWINDOW:
            if (wParam != 0) {
                ResultWnd::Instance()->Disarm();
            }
            break;
        case WM_USER_MANAGER_LOGIN:
            OnLogin(wParam != 0, vl::TakePosted<UserManagerAccountAnswer>(lParam).get());
            return 0;
        case WM_USER_MANAGER_LOGOUT:
            OnLogout(vl::TakePosted<UserManagerLogoutNotice>(lParam).get());
            return 0;
        case WM_USER_MANAGER_UPDATE:
            OnUpdate(wParam != 0, vl::TakePosted<UserManagerAccountAnswer>(lParam).get());
            return 0;
        case WM_USER_MANAGER_NEED_LOGIN:
            OnNeedLogin();
            return 0;
        case WM_USER_MANAGER_COUNTS:
            OnCounts(wParam != 0, vl::TakePosted<UserManagerCountsNotice>(lParam).get());
            return 0;
        case kGiftMessage:
            OnGift(wParam != 0, vl::TakePosted<std::string>(lParam).get());
            return 0;
        case WM_POSTED_MSGBOX:
            ShowPostedMsgBox(GetHWND(), lParam);
            return 0;
        case kTrayMessage:
            OnTray(static_cast<vl::UINT>(lParam & 0xFFFF));
            return 0;
        default:
            break;
    }
    return TopLevelWindow::HandleMessage(msg, wParam, lParam);
}

bool MainWnd::InitPicker(const std::string& name, const std::string& code) {
    auto* combo = Manager().FindControl<skin::Combo>(name);
    if (combo == nullptr) {
        VL_ERROR("{} is invalid", name);
        return false;
    }
    int index = 0;
    const std::u16string wanted = vl::ToWString(code);
    for (int i = 0; i < combo->GetCount(); ++i) {
        const auto item = combo->GetItemAt(i);
        if (!item) {
            VL_ERROR("item is invalid");
            continue;
        }
        if (item->userData == wanted) {
            index = i;
            break;
        }
    }
    combo->SelectItem(index, false, false);
    SyncLanguageStatus(name, index);
    return true;
}

void MainWnd::SyncLanguageStatus(const std::string& name, int index) {
    if (name.empty() || index < -1) {
        VL_ERROR("param is invalid");
        return;
    }
    skin::PaintManager& pm = Manager();
    auto* combo = pm.FindControl<skin::Combo>(name);
    if (combo == nullptr) {
        VL_ERROR("can not find lang_src");
        return;
    }
    const auto item = combo->GetItemAt(index);
    if (!item) {
        VL_ERROR("can not find item at {}", index);
        return;
    }
    auto* status = pm.FindControl<skin::Container>(name + "_status");
    if (status == nullptr) {
        VL_ERROR("can not find {}_status", name);
        return;
    }
    skin::Control* icon = pm.FindControl(name + "_status_icon");
    if (icon == nullptr) {
        VL_ERROR("can not find {}_status_icon", name);
        return;
    }
    auto* label = pm.FindControl<skin::Label>(name + "_status_name");
    if (label == nullptr) {
        VL_ERROR("can not find {}_status_name", name);
        return;
    }
    icon->SetBkImage(item->bkImage);
    label->SetText(item->text);
    status->SetUserData(item->userData);
}

void MainWnd::OnLanguageChosen(const std::string& name, int index) {
    SyncLanguageStatus(name, index);
    skin::PaintManager& pm = Manager();
    // Both codes come from the status displays, so one choice rewrites the pair as shown.
    auto* src = pm.FindControl("lang_src_status");
    auto* dst = pm.FindControl("lang_dst_status");
    if (src == nullptr || dst == nullptr) {
        VL_ERROR("can not find language status");
        return;
    }
    Lang& lang = Settings().conf().lang();
    lang.src(vl::ToString(src->GetUserData()));
    lang.dst(vl::ToString(dst->GetUserData()));
    Settings().Flush();
}

void MainWnd::RefreshAccount(const UserInfo& user) {
    const bool signedIn = user.loginType != LoginType::None;
    for (skin::Control* c : {vip_, contact_, help_, settings_}) {
        if (c != nullptr)
            c->SetVisible(true);
    }
    if (vipSign_ != nullptr)
        vipSign_->SetVisible(signedIn && user.isVip);
    if (login_ != nullptr)
        login_->SetVisible(!signedIn);
    RefreshNums(user);
    if (nick_ == nullptr) {
        return;
    }
    if (!signedIn) {
        nick_->SetVisible(false);
        nick_->SetText(u"");
        return;
    }
    const std::u16string nickname = vl::ToWString(user.nickname);
    const QFont* font = nick_->GetManager() != nullptr && nick_->GetFont() >= 0
                            ? nick_->GetManager()->GetFont(nick_->GetFont())
                            : nullptr;
    const int fontSize = QFontInfo(font != nullptr ? *font : nick_->font()).pixelSize();
    nick_->SetFixedWidth(static_cast<int>(nickname.size()) * fontSize + 12);
    nick_->SetText(nickname);
    nick_->SetVisible(true);
}

void MainWnd::RefreshNums(const UserInfo& user) {
    if (nums_ == nullptr) {
        return;
    }
    const bool shown = user.loginType != LoginType::None && !user.isVip;
    nums_->SetText(shown ? u"剩余" + vl::ToWString(std::to_string(std::max(user.nums, 0))) + u"次"
                         : u"");
    nums_->SetVisible(shown);
}

// Posted after each charged run: the new count, or that none are left.
void MainWnd::OnCounts(bool counted, const UserManagerCountsNotice* counts) {
    if (counts != nullptr) {
        RefreshNums(counts->user);
    }
    if (!counted) {
        quotaUsedUp_ = true;
        ResultWnd::Instance()->OnQuotaUsedUp();
    }
}

void MainWnd::RefreshEngine() {
    if (engine_ != nullptr) {
        engine_->SetText(Settings().conf().engine() == "vertical" ? u"竖排翻译引擎"
                                                                  : u"横排翻译引擎");
    }
}

void MainWnd::StoreToken(const std::string& token) {
    Settings().user().token(token);
    Settings().Flush();
}

// The user manager sends its messages synchronously from its own thread: what the handlers show
// is posted to this window and opened once the handler has returned.
void MainWnd::OnLogin(bool ok, const UserManagerAccountAnswer* answer) {
    if (!ok) {
        const std::string error = answer != nullptr ? answer->error : std::string();
        VL_WARN("login failed, {}", error);
        if (!error.empty()) {
            PostMsgBox(GetHWND(), vl::ToWString(error), u"登录失败");
        }
        return;
    }
    if (const UserInfo* user = TakeAccount(answer)) {
        RequestGift(user->token);
    }
}

void MainWnd::OnLogout(const UserManagerLogoutNotice* notice) {
    VL_INFO("logout, reason {}", notice != nullptr ? notice->reason : std::string());
    RefreshAccount(UserInfo{});
    StoreToken("");
    quotaUsedUp_ = false;
    // Nobody keeps translating on an account that is gone: the capture is disarmed and this
    // window comes back.
    ResultWnd::Instance()->Disarm();
    ShowWindow(true, true);
}

void MainWnd::OnUpdate(bool ok, const UserManagerAccountAnswer* answer) {
    if (!ok) {
        // A failed refresh carries the text to show, not an account: the display stays.
        VL_WARN("update user info failed, {}", answer != nullptr ? answer->error : std::string());
        return;
    }
    TakeAccount(answer);
}

const UserInfo* MainWnd::TakeAccount(const UserManagerAccountAnswer* answer) {
    if (answer == nullptr) {
        VL_ERROR("user info is invalid");
        return nullptr;
    }
    const UserInfo* user = &answer->user;
    RefreshAccount(*user);
    StoreToken(user->token);
    return user;
}

void MainWnd::OnNeedLogin() {
    tokenRefused_ = true;
    UserManager::Instance()->Logout("kick");
    PostMsgBox(GetHWND(), u"账号已在新设备登录，本机已退出登录");
}

void MainWnd::RequestGift(const std::string& token) {
    const vl::HWND hwnd = GetHWND();
    const bool queued = vl::Http::Instance()->Async(
        {.verb = vl::net::Verb::Post,
         .url = vl::ServiceUrl(velmora::protocol::kGiftFreeNums.path),
         .headers = {{"Content-Type", "application/json"}, {"Access-Token", token}}},
        [hwnd](const vl::Http::Result& r) {
            if (!r.ok) {
                VL_WARN("request gift failed, {}", r.error);
            }
            vl::PostOwned(hwnd, kGiftMessage, r.ok, std::make_unique<std::string>(r.response));
        });
    if (!queued) {
        VL_ERROR("request gift failed, not queued");
    }
}

void MainWnd::OnGift(bool ok, const std::string* body) {
    if (!ok || body == nullptr) {
        VL_WARN("request user info failed");
        return;
    }
    std::string content;
    if (answers::ReadGift(*body, &content) && !content.empty()) {
        CommonMsgBoxWnd::Show(GetHWND(), u"提示", vl::ToUnicodeW(content), u"", nullptr);
    }
}

void MainWnd::Notify(const skin::Notification& msg) {
    const std::string& name = msg.senderName;
    if (msg.type == "itemselect") {
        if (name == "lang_src" || name == "lang_dst") {
            OnLanguageChosen(name, static_cast<int>(msg.wParam));
        }
        return;
    }
    if (msg.type != "click") {
        return;
    }
    const vl::HWND hwnd = GetHWND();
    if (name == "close") {
        Conceal();
    } else if (name == "minimize") {
        TopLevelWindow::Notify(msg);
    } else if (name == "vip") {
        PayWnd::Instance()->ShowWindow(true, true);
    } else if (name == "login") {
        LoginWnd::Instance()->ShowFor(LoginWnd::After::Nothing);
    } else if (name == "nick") {
        RunPage<MainUserWnd>(hwnd, u"Velmora翻译-信息", "main user");
    } else if (name == "contact") {
        RunPage<MainContactWnd>(hwnd, u"Velmora翻译-联系", "main contact");
    } else if (name == "help") {
        OpenHelp();
    } else if (name == "settings") {
        RunPage<MainSettingsWnd>(hwnd, u"Velmora翻译-设置", "main settings");
    } else if (name == "engine") {
        RunPage<MainEngineWnd>(hwnd, u"Velmora翻译-引擎", "main engine");
        RefreshEngine();
    } else if (name == "region") {
        ShowWindow(false);
        MainRegionWnd::Run(hwnd);
        ShowWindow(true, true);
    } else if (name == "effect") {
        RunPage<MainEffectWnd>(hwnd, u"Velmora翻译-效果", "main effect");
    } else if (name == "shortcut") {
        RunPage<MainShortcutWnd>(hwnd, u"Velmora翻译-快捷键", "main shortcut");
    } else if (name == "launch") {
        Launch();
    }
}

bool MainWnd::RunCommand(std::string_view command) {
    ResultWnd* result = ResultWnd::Instance();
    if (command == "show") {
        ShowWindow(true, true);
    } else if (command == "translate") {
        // Armed: a run, as Ctrl+Alt+T. Not yet: the start button's way (sign-in, the ball).
        if (result->Armed()) {
            result->RunHotKeyCommand(true);
        } else {
            Launch();
        }
    } else if (command == "region") {
        if (result->Armed()) {
            result->RunHotKeyCommand(false);
        } else {
            MainRegionWnd::Run(GetHWND());
        }
    } else {
        return false;
    }
    return true;
}

void MainWnd::OpenHelp() {
    if (!OpenLink("help")) {
        CommonMsgBoxWnd::Show(GetHWND(), u"提示", u"打开帮助网页失败", u"", nullptr);
    }
}

void MainWnd::Launch() {
    tokenRefused_ = false;
    const UserInfo user = UserManager::Instance()->UpdateSync();
    if (tokenRefused_) {
        return;  // signed out on the way; the box saying so is on its way
    }
    RefreshNums(user);
    if (user.loginType == LoginType::None) {
        if (RunPage<MainLoginWnd>(GetHWND(), u"Velmora翻译-登录提示", "main login") == 0) {
            LoginWnd::Instance()->ShowFor(LoginWnd::After::Capture);
        }
        return;
    }
    if (quotaUsedUp_ && !user.isVip && user.nums <= 0) {
        VL_INFO("no translations left, offering the purchase window");
        PayWnd::Instance()->ShowWindow(true, true);
        return;
    }
    quotaUsedUp_ = false;
    Conceal();
    ResultWnd::Instance()->Begin();
    if (!Settings().conf().tip()) {
        CommonMsgBoxWnd::Show(GetHWND(), u"悬浮球功能介绍",
                              u"左键点击悬浮球开始翻译，右键点击悬浮球修改翻译区域", u"", nullptr);
        Settings().conf().tip(true);
        Settings().Flush();
    }
}
