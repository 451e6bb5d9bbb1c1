#include "logic/user_wechat.h"

UserWechat::UserWechat()
    : UserQr({vl::backend::kLoginWechatQrInfo, vl::backend::kLoginWechatPoll, "wechat-login"}) {}
