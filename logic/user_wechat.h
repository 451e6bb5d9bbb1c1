#pragma once

#include "logic/user_qr.h"
#include "utils/vl_singleton.h"

// Sign-in with a WeChat account.
class UserWechat final : public UserQr, public vl::Singleton<UserWechat> {
private:
    friend class vl::Singleton<UserWechat>;
    UserWechat();
};
