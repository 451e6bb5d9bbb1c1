#include "ui/pay_wnd.h"

#include "utils/vl_log.h"

PayWnd::PayWnd() : TopLevelWindow("pay/ui.xml", "create pay window failed, layout pay/ui.xml") {}

bool PayWnd::OnCreate() {
    for (const char* name :
         {"login",     "nick",       "tip",        "vip_bg", "vip_icon", "vip_name", "vip",
          "count_bg",  "count_icon", "count_name", "count",  "goods",    "discount", "wechat",
          "wechat_bk", "wechat_opt", "ali",        "ali_bk", "ali_opt",  "price"}) {
        if (Manager().FindControl(name) == nullptr) {
            VL_ERROR("some control is not found");
            VL_ERROR("create pay window failed, control {} missing", name);
            return false;
        }
    }
    return true;
}
