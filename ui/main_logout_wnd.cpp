#include "ui/main_logout_wnd.h"

#include "logic/user_manager.h"

MainLogoutWnd::MainLogoutWnd()
    : PageWindow("main/logout.xml", "create main logout window failed") {}

void MainLogoutWnd::OnNotify(const skin::Notification& msg) {
    if (msg.type != "click") {
        return;
    }
    if (msg.senderName == "cancel") {
        Close(1);
    } else if (msg.senderName == "ok") {
        Close(0);
        UserManager::Instance()->Logout("user choose to logout");
    }
}
