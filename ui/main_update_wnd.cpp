#include "ui/main_update_wnd.h"

#include "ui/link.h"
#include "ui/skin/control.h"
#include "utils/vl_string.h"

MainUpdateWnd::MainUpdateWnd(Version version)
    : PageWindow("main/update.xml", "create main update window failed"),
      version_(std::move(version)) {}

bool MainUpdateWnd::OnCreate() {
    skin::Control* ver = Manager().FindControl("ver");
    skin::Control* info = Manager().FindControl("info");
    if (ver == nullptr || info == nullptr) {
        VL_ERROR("some control is not found");
        return true;
    }
    ver->SetText(u"发现新版本：" + vl::ToUnicodeW(version_.name));
    info->SetText(vl::ToUnicodeW(version_.desc));
    return true;
}

void MainUpdateWnd::OnNotify(const skin::Notification& msg) {
    if (msg.type == "click" && msg.senderName == "download") {
        // Only an http(s) address is opened.
        OpenLink(version_.downloadUrl);
    }
}
