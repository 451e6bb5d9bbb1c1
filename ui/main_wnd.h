#pragma once

#include <string_view>

#include <memory>
#include <string>

#include "logic/user_info.h"
#include "ui/layout_window.h"
#include "utils/vl_singleton.h"

struct UserManagerAccountAnswer;
struct UserManagerCountsNotice;
struct UserManagerLogoutNotice;

class TrayIcon;

namespace skin {
class Button;
class Control;
}  // namespace skin

// The control centre the user sees at start: the account area, the two language pickers, the
// text direction, the pages, and the start button that hides the window and arms the capture.
// Without a tray host, closing or starting minimises it instead. It owns the tray icon, keeps the
// account token in the settings and asks for the free gift after each sign-in.
class MainWnd : public TopLevelWindow, public vl::Singleton<MainWnd> {
public:
    // A command from the tray menu or from another start of the program: "show" brings this
    // window forward, "translate" and "region" do what the hotkeys do (armed) or start the
    // program's work (not yet armed). False for an unknown command.
    bool RunCommand(std::string_view command);
    const char* GetWindowClassName() const override { return "velmora_main_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    void Notify(const skin::Notification& msg) override;

    // The start button: refreshes the account, then arms the capture, or asks the user to sign in
    // or to buy translations first.
    void Launch();

    // Tray callback message; the low word of lParam is the event.
    static constexpr vl::UINT kTrayMessage = vl::WM_APP + 3;
    // The answer to the free-gift request (wParam 1 when it arrived, lParam its owned body).
    static constexpr vl::UINT kGiftMessage = vl::WM_USER + 402;

protected:
    bool OnCreate() override;
    void OnDestroy() override;

private:
    friend class vl::Singleton<MainWnd>;
    MainWnd();
    ~MainWnd();

    bool Init();
    bool InitTray();
    void UninitTray();
    void OnTray(vl::UINT event);
    // Puts the window out of the way: hidden while a tray icon can bring it back, minimised
    // otherwise so the task bar can.
    void Conceal();
    // True when no tray host is there; said in the log once.
    bool TrayMissing();

    // Selects the item of picker `name` whose user data is `code` (the first one when none is).
    bool InitPicker(const std::string& name, const std::string& code);
    void SyncLanguageStatus(const std::string& name, int index);
    void OnLanguageChosen(const std::string& name, int index);

    void RefreshAccount(const UserInfo& user);
    void RefreshEngine();
    void StoreToken(const std::string& token);
    // The account of a successful login or refresh, shown and its token saved; null when the
    // answer carries none.
    const UserInfo* TakeAccount(const UserManagerAccountAnswer* answer);

    // Each answer may be null (it could not be made).
    void OnLogin(bool ok, const UserManagerAccountAnswer* answer);
    void OnLogout(const UserManagerLogoutNotice* notice);
    void OnUpdate(bool ok, const UserManagerAccountAnswer* answer);
    void OnNeedLogin();
    void RequestGift(const std::string& token);
    void OnGift(bool ok, const std::string* body);

    void OpenHelp();
    // Translations left, beside the nickname: for signed-in users without a membership.
    void RefreshNums(const UserInfo& user);
    void OnCounts(bool counted, const UserManagerCountsNotice* counts);

    std::unique_ptr<TrayIcon> tray_;
    skin::Control* vip_ = nullptr;
    skin::Control* vipSign_ = nullptr;
    skin::Control* login_ = nullptr;
    skin::Button* nick_ = nullptr;
    skin::Control* contact_ = nullptr;
    skin::Control* help_ = nullptr;
    skin::Control* settings_ = nullptr;
    skin::Control* engine_ = nullptr;
    skin::Control* nums_ = nullptr;
    // Set when the back-end refuses the token while the start button refreshes the account.
    bool tokenRefused_ = false;
    bool trayMissingLogged_ = false;
    // The back-end refused to count a translation: the account has none left.
    bool quotaUsedUp_ = false;
};
