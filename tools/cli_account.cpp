// Account subcommands: sign in with a phone and code, and show the account, through the
// program's own account engine. The token is kept where the program keeps it: in the settings
// beside the tool.
#include <cstdio>
#include <iostream>

#include "config/config_manager.h"
#include "logic/need_login.h"
#include "logic/user_manager.h"
#include "logic/user_phone.h"
#include "tools/cli_common.h"
#include "utils/vl_string.h"

namespace cli {

namespace {

std::string Option(const Args& args, const char* name) {
    const auto it = args.options.find(name);
    return it == args.options.end() ? std::string() : it->second;
}

std::string Date(const DateTime& d) {
    if (d.year == 0) {
        return "-";
    }
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                  d.minute, d.second);
    return buf;
}

void PrintAccount(const UserInfo& u) {
    std::cout << "user_id: " << u.userId << "\n"
              << "nickname: " << vl::ToUtf8(u.nickname) << "\n"
              << "vip: " << (u.isVip ? "yes" : "no") << "\n"
              << "vip_end: " << Date(u.vipEnd) << "\n"
              << "free_nums: " << u.freeNums << "\n"
              << "vip_nums: " << u.vipNums << "\n"
              << "nums: " << u.nums << "\n";
    for (const VipPeriod& v : u.vips) {
        std::cout << "vip_period: goods " << v.goodsId << ", " << Date(v.start) << " to "
                  << Date(v.end) << (v.unlimited ? ", unlimited" : "") << "\n";
    }
}

// Reads the account of `token` into the engine and prints it. A token the back-end no longer
// accepts (code 10505) is reported as such.
int ShowAccount(const std::string& token, LoginType type) {
    bool needLogin = false;
    account::SetNeedLoginHook([&needLogin] { needLogin = true; });
    std::u16string err;
    const bool ok = UserManager::Instance()->GetUserInfo(token, type, err);
    account::SetNeedLoginHook(nullptr);
    if (!ok) {
        if (needLogin) {
            std::cerr << "velmora-cli: the back-end no longer accepts the stored token (signed in "
                         "elsewhere or expired); sign in again\n";
        } else {
            std::cerr << "velmora-cli: reading the account failed"
                      << (err.empty() ? std::string(" (-v shows why)") : ": " + vl::ToUtf8(err))
                      << "\n";
        }
        return kExitFailed;
    }
    PrintAccount(UserManager::Instance()->GetUser());
    return kExitOk;
}

}  // namespace

int RequestCode(const Args& args) {
    const std::string phone = Option(args, "phone");
    if (phone.empty() || !args.positional.empty()) {
        std::cerr << "velmora-cli request-code: needs --phone NUMBER\n";
        return kExitUsage;
    }
    EngineSession session("request-code");
    std::u16string err;
    if (!UserPhone::Instance()->RequestCode(phone, err)) {
        std::cerr << "velmora-cli request-code: " << vl::ToUtf8(err) << "\n";
        return kExitFailed;
    }
    std::cout << "code requested for " << phone << "\n";
    return kExitOk;
}

int LoginPhone(const Args& args) {
    const std::string phone = Option(args, "phone");
    const std::string code = Option(args, "code");
    if (phone.empty() || code.empty() || !args.positional.empty()) {
        std::cerr << "velmora-cli login-phone: needs --phone NUMBER --code CODE\n";
        return kExitUsage;
    }
    EngineSession session("login-phone");
    std::u16string err;
    UserPhone* provider = UserPhone::Instance();
    if (!provider->Login(phone, code, err)) {
        std::cerr << "velmora-cli login-phone: " << vl::ToUtf8(err) << "\n";
        return kExitFailed;
    }
    const int rc = ShowAccount(provider->GetToken(), LoginType::Phone);
    if (rc == kExitOk) {
        ConfigManager* settings = vl::Singleton<ConfigManager>::Instance();
        settings->user().token(provider->GetToken());
        if (!settings->Flush()) {
            std::cerr << "velmora-cli login-phone: signed in, but the token could not be saved\n";
            return kExitFailed;
        }
    }
    return rc;
}

int Account(const Args& args) {
    if (!args.positional.empty()) {
        std::cerr << "velmora-cli account: takes no arguments\n";
        return kExitUsage;
    }
    EngineSession session("account");
    const std::string token = vl::Singleton<ConfigManager>::Instance()->user().token();
    if (token.empty()) {
        std::cerr << "velmora-cli account: not signed in (velmora-cli login-phone signs in)\n";
        return kExitFailed;
    }
    return ShowAccount(token, LoginType::Token);
}

}  // namespace cli
