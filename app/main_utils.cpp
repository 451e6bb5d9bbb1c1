#include "app/main_utils.h"

#include <QApplication>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "config/config_manager.h"
#include "logic/user_manager.h"
#include "ui/login_wnd.h"
#include "ui/main_wnd.h"
#include "ui/pay_wnd.h"
#include "ui/result_wnd.h"
#include "ui/session_notice.h"
#include "ui/skin/icon_registry.h"
#include "ui/skin/qt_message_loop.h"
#include "ui/skin/skin_app.h"
#include "utils/vl_log.h"

namespace {

// Ended by UninitDUI, before the process's exit handlers run Qt's own clean-up.
std::optional<QApplication>& Application() {
    static std::optional<QApplication> app;
    return app;
}

std::unique_ptr<skin::QtMessageLoop>& Loop() {
    static std::unique_ptr<skin::QtMessageLoop> loop;
    return loop;
}

bool CreateHidden(skin::Window* wnd, const char16_t* title, std::uint32_t exStyle, vl::HICON icon) {
    if (wnd->Create(nullptr, title, skin::WS_POPUP, exStyle) == nullptr) {
        return false;
    }
    wnd->CenterWindow();
    vl::WndSetIcon(wnd->GetHWND(), icon);
    return true;
}

}  // namespace

bool InitDUI(int& argc, char** argv) {
    if (!Application()) {
        Application().emplace(argc, argv);
    }
    if (!Loop()) {
        Loop() = std::make_unique<skin::QtMessageLoop>();
    }
    std::string error;
    if (!skin::InitApplication(&error)) {
        VL_ERROR("init ui framework failed, {}", error);
        return false;
    }
    const vl::HICON icon = skin::LoadAppIcon();

    MainWnd* main = MainWnd::Instance();
    if (main->Create(nullptr, u"Velmora翻译-主窗口", skin::WS_POPUP, 0) == nullptr) {
        VL_WARN("create main window failed");
        UninitDUI();
        return false;
    }
    main->CenterWindow();
    main->ShowWindow(true, true);
    vl::WndSetIcon(main->GetHWND(), icon);

    if (!CreateHidden(LoginWnd::Instance(), u"Velmora翻译-登录", 0, icon)) {
        VL_WARN("create login window failed");
        UninitDUI();
        return false;
    }
    if (!CreateHidden(PayWnd::Instance(), u"Velmora翻译-支付", 0, icon)) {
        VL_WARN("create pay window failed");
        UninitDUI();
        return false;
    }
    if (!CreateHidden(ResultWnd::Instance(), u"Velmora翻译-结果",
                      skin::WS_EX_TOOLWINDOW | skin::WS_EX_OVERLAY, icon)) {
        VL_WARN("create result window failed");
        UninitDUI();
        return false;
    }
    return true;
}

int RunMessageLoop() {
    return Loop() ? Loop()->Run() : 0;
}

void UninitDUI() {
    if (!Application()) {
        return;
    }
    // The result window stops its translator when it is destroyed. The purchase window is
    // closed as well, so no window outlives the loop.
    for (skin::Window* wnd :
         std::initializer_list<skin::Window*>{ResultWnd::Instance(), LoginWnd::Instance(),
                                              MainWnd::Instance(), PayWnd::Instance()}) {
        if (wnd->GetHWND() != nullptr) {
            wnd->ShowWindow(false);
            wnd->Close(1);
        }
    }
    skin::UninitApplication();
    if (Loop()) {
        Loop()->End();
        Loop().reset();  // before the application: it deletes the closed windows' widgets
    }
    Application().reset();
}

bool InitUserManager() {
    UserManager* users = UserManager::Instance();
    users->Open();
    users->AddListener(LoginWnd::Instance()->GetHWND());
    users->AddListener(MainWnd::Instance()->GetHWND());
    users->AddListener(PayWnd::Instance()->GetHWND());
    AutoLoginWithToken(ConfigManager::Instance()->user().token());
    return true;
}

void NoticeSession() {
    const std::filesystem::path settings(ConfigManager::Instance()->SettingsPath());
    NoticeSessionAbilities(MainWnd::Instance()->GetHWND(),
                           ResultWnd::Instance()->PortalShortcutsActive(),
                           (settings.parent_path() / "wayland-notice").string());
}
