#include "backend/api.h"

#include <ctime>

#include "backend/secrets.h"

namespace backend {

namespace {

// A token is 32 random bytes written as 64 lower-case hex digits.
bool LooksLikeToken(const std::string& token) {
    if (token.size() != 64) {
        return false;
    }
    for (char c : token) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string Dump(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string DefaultMessage(ApiCode code) {
    switch (code) {
        case ApiCode::Ok:
            return "ok";
        case ApiCode::BadJson:
            return "请求内容不是有效的JSON对象";
        case ApiCode::BadField:
            return "请求参数错误";
        case ApiCode::NotFound:
            return "接口不存在";
        case ApiCode::BadMethod:
            return "请求方法错误";
        case ApiCode::TooLarge:
            return "请求内容过大";
        case ApiCode::TooMany:
            return "请求过于频繁，请稍后再试";
        case ApiCode::Internal:
            return "服务器繁忙，请稍后再试";
        case ApiCode::TokenRejected:
            return "登录已失效，请重新登录";
        case ApiCode::NoToken:
            return "请先登录";
        case ApiCode::CodeWrong:
            return "验证码错误";
        case ApiCode::CodeGone:
            return "验证码已失效，请重新获取";
        case ApiCode::QrWaiting:
            return "等待扫码确认";
        case ApiCode::QrGone:
            return "二维码已失效，请重新登录";
        case ApiCode::QuotaUsedUp:
            return "翻译次数已用完";
        case ApiCode::NoSuchGood:
            return "商品不存在";
        case ApiCode::PayMethodRefused:
            return "该商品不支持此支付方式";
        case ApiCode::GoodChanged:
            return "商品信息已变更，请刷新后重试";
        case ApiCode::NoSuchOrder:
            return "订单不存在";
    }
    return "error";
}

Reply Success(const nlohmann::json& data) {
    return SuccessRaw(Dump(data));
}

Reply SuccessRaw(const std::string& dataJson) {
    Reply r;
    r.body = R"({"code":0,"msg":"ok","data":)" + dataJson + "}";
    return r;
}

Reply Fail(ApiCode code, const std::string& msg) {
    Reply r;
    r.body = Dump({{"code", static_cast<int>(code)},
                   {"msg", msg.empty() ? DefaultMessage(code) : msg},
                   {"data", nlohmann::json::object()}});
    return r;
}

Reply Html(int status, std::string page) {
    Reply r;
    r.status = status;
    r.contentType = kHtmlType;
    r.body = std::move(page);
    r.headers = {{"X-Frame-Options", "DENY"},
                 {"Content-Security-Policy",
                  "default-src 'none'; style-src 'self'; img-src 'self' data:; "
                  "form-action 'self'; frame-ancestors 'none'; base-uri 'none'"},
                 {"X-Content-Type-Options", "nosniff"},
                 {"Referrer-Policy", "no-referrer"}};
    return r;
}

bool ReadBody(const Request& req, const BodyReader& read, Reply& fail) {
    const nlohmann::json body = nlohmann::json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
        fail = Fail(ApiCode::BadJson);
        return false;
    }
    std::string error;
    JsonReader reader(body, "", error);
    read(reader);
    if (!reader.Finish()) {
        fail = Fail(ApiCode::BadField, "请求参数错误：" + error);
        return false;
    }
    return true;
}

std::string RequestToken(const Request& req) {
    return req.Header("Access-Token");
}

std::string TokenHash(const std::string& token) {
    return secrets::Sha256Hex(token);
}

bool Authenticate(IStore& store, const Request& req, const Clock& clock, AccountId& account,
                  Reply& fail) {
    const std::string token = RequestToken(req);
    if (token.empty()) {
        fail = Fail(ApiCode::NoToken);
        return false;
    }
    if (!LooksLikeToken(token)) {
        fail = Fail(ApiCode::TokenRejected);
        return false;
    }
    switch (store.FindSession(TokenHash(token), clock, account)) {
        case Found::Yes:
            return true;
        case Found::No:
            fail = Fail(ApiCode::TokenRejected);
            return false;
        case Found::Error:
            break;
    }
    fail = Fail(ApiCode::Internal);
    return false;
}

Clock Now() {
    Clock c;
    c.now = static_cast<std::int64_t>(std::time(nullptr));
    const std::time_t t = static_cast<std::time_t>(c.now);
    std::tm tm{};
    localtime_r(&t, &tm);
    c.day = (tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
    return c;
}

std::string FormatTime(std::int64_t epochSeconds) {
    if (epochSeconds <= 0) {
        return "";
    }
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string EndOfDay(std::int64_t epochSeconds) {
    const std::time_t t = static_cast<std::time_t>(epochSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof(buf), "%Y-%m-%d 23:59:59", &tm);
    return buf;
}

bool IsPhoneNumber(const std::string& phone) {
    if (phone.size() != 11 || phone[0] != '1') {
        return false;
    }
    for (char c : phone) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::string MaskPhone(const std::string& phone) {
    if (phone.size() < 8) {
        return "****";
    }
    return phone.substr(0, 3) + "****" + phone.substr(phone.size() - 4);
}

}  // namespace backend
