#pragma once

#include <memory>

#include "ui/layout_window.h"
#include "utils/vl_singleton.h"

class TrayIcon;

// The control centre the user sees at start, with the tray icon. Its account area, language
// pickers and start button arrive with the main window's own work; here it is created, shown,
// brought back by a single or double click on the tray icon, and ends the program from the
// tray's "退出".
class MainWnd : public TopLevelWindow, public vl::Singleton<MainWnd> {
public:
    const char* GetWindowClassName() const override { return "velmora_main_wnd"; }
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override;
    void Notify(const skin::Notification& msg) override;

    // Tray callback message; the low word of lParam is the event.
    static constexpr vl::UINT kTrayMessage = vl::WM_APP + 3;

protected:
    bool OnCreate() override;
    void OnDestroy() override;

private:
    friend class vl::Singleton<MainWnd>;
    MainWnd();
    ~MainWnd();

    bool InitTray();
    void UninitTray();
    void OnTray(vl::UINT event);
    // "launch": a signed-in user arms the capture and the main window steps aside.
    void OnLaunch();

    std::unique_ptr<TrayIcon> tray_;
};
