#include "ui/main_contact_wnd.h"

#include "config/config_manager.h"
#include "ui/link.h"
#include "ui/skin/control.h"
#include "utils/vl_string.h"

MainContactWnd::MainContactWnd()
    : PageWindow("main/contact.xml", "create main contact window failed") {}

bool MainContactWnd::OnCreate() {
    skin::Control* number = nullptr;
    if (!Manager().Bind({{"qq_number", &number}})) {
        return false;
    }
    number->SetText(vl::ToWString(ConfigManager::Instance()->CustomerServiceQq()));
    return true;
}

void MainContactWnd::OnNotify(const skin::Notification& msg) {
    if (msg.type == "click" && msg.senderName == "qq") {
        Close(1);
    } else if (msg.type == "link") {
        OpenTextLink(msg);
    }
}
