#include "ui/main_shortcut_wnd.h"

#include "config/config_manager.h"
#include "ui/skin/control.h"
#include "utils/vl_string.h"

MainShortcutWnd::MainShortcutWnd()
    : PageWindow("main/shortcut.xml", "create main shortcut window failed") {}

bool MainShortcutWnd::OnCreate() {
    skin::Control* translate = nullptr;
    skin::Control* region = nullptr;
    if (!Manager().Bind({{"translate", &translate}, {"region", &region}})) {
        return false;
    }
    const Shortcut& keys = ConfigManager::Instance()->conf().shortcut();
    translate->SetText(vl::ToUnicodeW(keys.translate()));
    region->SetText(vl::ToUnicodeW(keys.region()));
    return true;
}
