#include "ui/main_shortcut_wnd.h"

#include "config/config_manager.h"
#include "ui/skin/control.h"
#include "utils/vl_string.h"

MainShortcutWnd::MainShortcutWnd()
    : PageWindow("main/shortcut.xml", "create main shortcut window failed") {}

bool MainShortcutWnd::OnCreate() {
    const Shortcut& keys = ConfigManager::Instance()->conf().shortcut();
    for (const auto& [name, text] :
         {std::pair{"translate", keys.translate()}, std::pair{"region", keys.region()}}) {
        if (skin::Control* c = Manager().FindControl(name)) {
            c->SetText(vl::ToUnicodeW(text));
        } else {
            VL_ERROR("some control is not found");
        }
    }
    return true;
}
