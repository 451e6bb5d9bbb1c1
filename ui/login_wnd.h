#pragma once

#include <string>

#include "ui/layout_window.h"
#include "utils/vl_singleton.h"

namespace skin {
class Button;
class Edit;
class Option;
}  // namespace skin

// The sign-in dialog: a phone number with an SMS code (and the 60-second resend countdown), or a
// QR-code login through WeChat or QQ, all behind the agreement check box. Created hidden at
// start-up and a listener of the user manager; hidden again once a login succeeds.
class LoginWnd : public TopLevelWindow, public vl::Singleton<LoginWnd> {
public:
    const char* GetWindowClassName() const override { return "velmora_login_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    void Notify(const skin::Notification& msg) override;

    // What a successful sign-in leads to.
    enum class After { Nothing, Purchase, Capture };
    // Shows the window; once the user has signed in, `after` carries on where they came from.
    void ShowFor(After after);

    // Eleven ASCII digits starting with 1 (`phone` is UTF-8).
    static bool IsPhoneValid(const std::string& phone);

    static constexpr vl::WPARAM kCountdownTimer = 1;
    static constexpr int kCountdownSeconds = 60;

protected:
    bool OnCreate() override;

private:
    friend class vl::Singleton<LoginWnd>;
    LoginWnd();

    void OnGenCode();
    void OnLoginPhone();
    void OnLoginQr(bool wechat);
    void OnTick();
    void OnRequestCode(bool ok);
    void OnLogin(bool ok);
    // Posted to itself by a successful login, so the next step runs after every listener had it.
    void CarryOn();
    // Stops the countdown's timer (logged when it was running and cannot be stopped).
    void StopCountdown();
    // Every control usable again, the code button showing its own text.
    void ResetControls();
    void EnableAll(bool enabled);
    // The phone number as UTF-8 when it is valid; otherwise the box saying so.
    bool TakeValidPhone(std::string* phone);
    void Tell(const std::u16string& message);

    skin::Edit* phone_ = nullptr;
    skin::Edit* code_ = nullptr;
    skin::Button* gencode_ = nullptr;
    skin::Button* login_ = nullptr;
    skin::Option* agree_ = nullptr;
    skin::Button* wechat_ = nullptr;
    skin::Button* qq_ = nullptr;
    int countdown_ = 0;
    After after_ = After::Nothing;
};
