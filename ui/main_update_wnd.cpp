#include "ui/main_update_wnd.h"

#include "ui/link.h"
#include "ui/skin/control.h"
#include "utils/vl_string.h"

MainUpdateWnd::MainUpdateWnd(Version version)
    : PageWindow("main/update.xml", "create main update window failed"),
      version_(std::move(version)) {}

bool MainUpdateWnd::OnCreate() {
    skin::Control* ver = nullptr;
    skin::Control* info = nullptr;
    if (!Manager().Bind({{"ver", &ver}, {"info", &info}})) {
        return false;
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
