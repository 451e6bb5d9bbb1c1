#include "logic/user_qq.h"

UserQQ::UserQQ()
    : UserQr({vl::backend::kLoginQqOauthInfo, vl::backend::kLoginQqPoll, "qq-login"}) {}
