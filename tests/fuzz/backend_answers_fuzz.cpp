// The back-end's answers (account engine, need-login rule, remote configuration) and the local
// services file.
#include <cstddef>
#include <cstdint>

#include "config/config_manager.h"
#include "logic/need_login.h"
#include "logic/user_manager.h"
#include "logic/user_phone.h"
#include "logic/user_qr.h"
#include "tests/fuzz/fuzz_support.h"
#include "utils/vl_curl.h"
#include "utils/vl_services.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vl::fuzz::QuietLog();
    std::string body;
    std::u16string err;
    std::string token, state, url;
    switch (vl::fuzz::Split(data, size, 7, body)) {
        case 0:
            account::IsNeedLoginAnswer(body);
            break;
        case 1: {
            UserInfo info;
            UserManager::ReadUserInfoAnswer(body, info, err);
        } break;
        case 2:
            UserPhone::ParseRequestCode(body, err);
            if (UserPhone::ParseAccessToken(body, token, err)) {
                VL_FUZZ_CHECK(vl::curl::IsHeaderSafe(token));
            }
            break;
        case 3:
            UserQr::ParseQrUrl(body, state, url);
            if (UserQr::ParseAccessToken(body, token)) {
                VL_FUZZ_CHECK(vl::curl::IsHeaderSafe(token));
            }
            break;
        case 4: {
            UserManagerCommandHttpPost answer;
            answer.ok = true;
            answer.response = body;
            UserManager::Instance()->ProcessCmdTranslateSaveNum(answer);
        } break;
        case 5: {
            static ConfigManager config{std::string()};
            config.ParseConfig(body);
        } break;
        default: {
            vl::ServiceConfig services;
            vl::ApplyServiceConfig(body, services);
        }
    }
    return 0;
}
