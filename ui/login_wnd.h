#pragma once

#include "ui/layout_window.h"
#include "utils/vl_singleton.h"

// The sign-in dialog (phone number and SMS code, or a QR-code login). Created hidden at start-up
// and registered as a listener of the user manager; its behaviour arrives with the login work.
class LoginWnd : public TopLevelWindow, public vl::Singleton<LoginWnd> {
public:
    const char* GetWindowClassName() const override { return "velmora_login_wnd"; }

protected:
    bool OnCreate() override;

private:
    friend class vl::Singleton<LoginWnd>;
    LoginWnd();
};
