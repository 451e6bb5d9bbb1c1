#include "logic/user_phone.h"

#include <nlohmann/json.hpp>

#include "logic/user_json.h"
#include "protocol/backend_protocol.h"
#include "utils/vl_http.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

// POSTs a JSON body to a back-end path with the default time-out.
bool PostJson(const char* path, const nlohmann::json& body, std::string& response) {
    vl::Http::Result answer = vl::Http::Instance()->Sync(
        {.verb = vl::net::Verb::Post,
         .url = vl::ServiceUrl(path),
         .headers = {{"Content-Type", "application/json"}, {"Access-Token", ""}},
         .body = user_json::Dump(body)});
    response = std::move(answer.response);
    return answer.ok;
}

}  // namespace

bool UserPhone::RequestCode(const std::string& phone, std::u16string& err) {
    if (phone.empty()) {
        VL_WARN("phone is invalid");
        return false;
    }
    std::string response;
    if (!PostJson(velmora::protocol::kSmsSendCode.path, {{"phone", phone}}, response)) {
        VL_WARN("request code failed");
        err = u"获取验证码失败，请检查网络";
        return false;
    }
    if (!ParseRequestCode(response, err)) {
        VL_WARN("request code failed, resp \r\n{}", vl::json::Excerpt(response));
        return false;
    }
    return true;
}

bool UserPhone::Login(const std::string& phone, const std::string& code, std::u16string& err) {
    if (phone.empty() || code.empty()) {
        VL_WARN("phone or code is invalid");
        err = u"手机号无效";
        return false;
    }
    std::string response;
    if (!PostJson(velmora::protocol::kLoginSms.path, {{"phone", phone}, {"code", code}},
                  response)) {
        VL_WARN("request code failed");
        err = u"登录失败，请检查网络";
        return false;
    }
    bool ok = false;
    {
        // Code 0 overwrites the token even with an empty one; every other answer keeps it.
        std::lock_guard lock(mutex_);
        ok = ParseAccessToken(response, token_, err);
    }
    if (!ok) {
        VL_WARN("get token failed, resp \r\n{}", vl::json::Excerpt(response));
        return false;
    }
    return true;
}

bool UserPhone::ParseRequestCode(const std::string& response, std::u16string& err) {
    return ParseAnswer(response, err, u"获取验证码失败，服务错误",
                       [](const nlohmann::json&) { return true; });
}

bool UserPhone::ParseAccessToken(const std::string& response, std::string& token,
                                 std::u16string& err) {
    return ParseAnswer(response, err, u"登录失败，服务错误", [&token](const nlohmann::json& root) {
        std::string received = root.at("data").at("accessToken").get<std::string>();
        if (!vl::curl::IsHeaderSafe(received)) {
            // It goes into a header of every later request.
            VL_WARN("access token has a control character, refused");
            return false;
        }
        token = std::move(received);
        return !token.empty();
    });
}

bool UserPhone::ParseAnswer(const std::string& response, std::u16string& err,
                            const std::u16string& serviceError,
                            const std::function<bool(const nlohmann::json&)>& onSuccess) {
    if (response.empty()) {
        VL_WARN("json is empty");
        return false;
    }
    try {
        const nlohmann::json root = vl::json::Parse(response);
        const user_json::Envelope envelope = user_json::ReadEnvelope(root);
        if (envelope.code != 0) {
            VL_WARN("parse access token failed, code {}, msg {}", envelope.code, envelope.msg);
            err = vl::ToWString(vl::ToUnicode(envelope.msg));
            return false;
        }
        return onSuccess(root);
    } catch (const nlohmann::json::parse_error& e) {
        VL_ERROR("parse json failed with exception, byte {}, id {}, {}, json is \r\n{}", e.byte,
                 e.id, e.what(), vl::json::Excerpt(response));
        err = serviceError + u"，" + vl::ToWString(std::to_string(e.id));
    } catch (const std::exception&) {
        VL_ERROR("parse json failed with exception, json is \r\n{}", vl::json::Excerpt(response));
        err = serviceError;
    }
    return false;
}

bool UserPhone::HasToken() {
    std::lock_guard lock(mutex_);
    return !token_.empty();
}

std::string UserPhone::GetToken() {
    std::lock_guard lock(mutex_);
    return token_;
}

void UserPhone::ClearToken() {
    std::lock_guard lock(mutex_);
    token_.clear();
}
