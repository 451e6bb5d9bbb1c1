#pragma once

#include <string>

#include "ui/main_update_wnd.h"
#include "ui/page_window.h"

// The program's version with the version check, and the agreement and privacy-policy links.
class MainSettingsWnd : public PageWindow {
public:
    MainSettingsWnd();
    const char* GetWindowClassName() const override { return "velmora_main_settings_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;

    // The answer to the version check (wParam 1 when it arrived, lParam its owned body).
    static constexpr vl::UINT kVersionMessage = vl::WM_USER + 300;

private:
    bool OnCreate() override;
    void OnNotify(const skin::Notification& msg) override;
    void CheckVersion();
    // Says on the page that the check failed; an empty text clears it.
    void ShowFailure(const std::u16string& text);
    void OnVersion(bool ok, const std::string* answer);

    bool checking_ = false;  // an answer is on its way: "check" waits for it
};
