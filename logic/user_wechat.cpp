#include "logic/user_wechat.h"

UserWechat::UserWechat()
    : UserQr({velmora::protocol::kLoginWechatQrInfo, velmora::protocol::kLoginWechatPoll,
              "wechat-login"}) {}
