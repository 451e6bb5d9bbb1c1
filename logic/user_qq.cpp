#include "logic/user_qq.h"

UserQQ::UserQQ()
    : UserQr({velmora::protocol::kLoginQqOauthInfo, velmora::protocol::kLoginQqPoll, "qq-login"}) {}
