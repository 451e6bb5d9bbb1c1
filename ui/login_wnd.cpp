#include "ui/login_wnd.h"

#include "utils/vl_log.h"

LoginWnd::LoginWnd() : TopLevelWindow("login/ui.xml", "create login window failed") {}

bool LoginWnd::OnCreate() {
    for (const char* name : {"phone", "code", "gencode", "login", "agree", "wechat", "qq"}) {
        if (Manager().FindControl(name) == nullptr) {
            VL_ERROR("some control is not found");
            return false;
        }
    }
    return true;
}
