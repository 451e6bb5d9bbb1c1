#include "ui/main_wnd.h"

#include "logic/user_manager.h"
#include "platform/tray_icon.h"
#include "ui/result_wnd.h"
#include "ui/skin/icon_registry.h"
#include "ui/skin/qt_message_loop.h"
#include "utils/vl_log.h"

MainWnd::MainWnd() : TopLevelWindow("main/ui.xml", "create main window failed") {}

MainWnd::~MainWnd() = default;

bool MainWnd::OnCreate() {
    if (!InitTray()) {
        VL_ERROR("init tray failed");
        return false;
    }
    return true;
}

void MainWnd::OnDestroy() {
    UninitTray();
}

vl::LRESULT MainWnd::HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) {
    if (msg == kTrayMessage) {
        OnTray(static_cast<vl::UINT>(lParam & 0xFFFF));
        return 0;
    }
    if (msg == vl::WM_SHOWWINDOW && wParam != 0) {
        ResultWnd::Instance()->Disarm();  // the capture waits while the main window is up
    }
    return TopLevelWindow::HandleMessage(msg, wParam, lParam);
}

bool MainWnd::InitTray() {
    if (tray_) {
        VL_INFO("already init tray");
        return true;
    }
    tray_ = std::make_unique<TrayIcon>(GetHWND(), kTrayMessage,
                                       skin::IconFromHandle(skin::LoadAppIcon()), u"Velmora翻译器");
    return true;
}

void MainWnd::UninitTray() {
    tray_.reset();
}

void MainWnd::OnTray(vl::UINT event) {
    switch (event) {
        case TrayIcon::kExitChosen:
            UninitTray();
            skin::PostQuitMessage(0);
            break;
        case TrayIcon::kSelect:
        case vl::WM_LBUTTONDBLCLK:
            ShowWindow(true, true);
            break;
        default:
            break;
    }
}

void MainWnd::Notify(const skin::Notification& msg) {
    if (msg.type == "click" && msg.senderName == "launch") {
        OnLaunch();
        return;
    }
    TopLevelWindow::Notify(msg);
}

void MainWnd::OnLaunch() {
    if (UserManager::Instance()->UpdateSync().loginType == LoginType::None) {
        return;
    }
    ShowWindow(false);
    ResultWnd::Instance()->Begin();
}
