#pragma once

#include "logic/user_qr.h"
#include "utils/vl_singleton.h"

// Sign-in with a QQ account.
class UserQQ final : public UserQr, public vl::Singleton<UserQQ> {
private:
    friend class vl::Singleton<UserQQ>;
    UserQQ();
};
