#include "ui/main_login_wnd.h"

MainLoginWnd::MainLoginWnd() : PageWindow("main/login.xml", "create main login window failed") {}

void MainLoginWnd::OnNotify(const skin::Notification& msg) {
    if (msg.type != "click") {
        return;
    }
    if (msg.senderName == "now") {
        Close(0);
    } else if (msg.senderName == "later") {
        Close(1);
    }
}
