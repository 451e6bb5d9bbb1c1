#include "ui/main_noupdate_wnd.h"

#include "ui/skin/control.h"
#include "utils/vl_env.h"
#include "utils/vl_string.h"

MainNoUpdateWnd::MainNoUpdateWnd()
    : PageWindow("main/noupdate.xml", "create main noupdate window failed") {}

bool MainNoUpdateWnd::OnCreate() {
    skin::Control* ver = nullptr;
    if (!Manager().Bind({{"ver", &ver}})) {
        return false;
    }
    ver->SetText(vl::ToWString(vl::VersionString()));
    return true;
}

void MainNoUpdateWnd::OnNotify(const skin::Notification& msg) {
    if (msg.type == "click" && msg.senderName == "ok") {
        Close(1);
    }
}
