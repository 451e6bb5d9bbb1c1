// Sign-in (phone code, QR code), the account's information and the one-time gift.
#include <spdlog/spdlog.h>

#include "backend/app.h"
#include "backend/pages.h"
#include "backend/qr_image.h"
#include "backend/secrets.h"

namespace backend {

namespace {

constexpr std::size_t kTokenBytes = 32;  // 256 bits
constexpr std::size_t kStateBytes = 16;

// Keyed, so a copy of the database alone does not give the six digits away.
std::string CodeHash(const Context& ctx, const std::string& phone, const std::string& code) {
    return secrets::HmacHex(ctx.secret, phone + ":" + code);
}

// A new token and the session that stores its hash; empty token when randomness failed.
std::string NewToken(const Context& ctx, const Clock& clock, NewSession& session) {
    const std::string token = secrets::RandomHex(kTokenBytes);
    session.tokenHash = TokenHash(token);
    session.expiresAt = clock.now + std::int64_t{ctx.config.tokenDays} * 86400;
    return token;
}

Reply TokenAnswer(const std::string& token) {
    return Success({{"accessToken", token}});
}

Reply SendCode(Context& ctx, const Request& req) {
    std::string phone;
    Reply fail;
    if (!ReadBody(
            req,
            [&](JsonReader& r) {
                r.Require("phone");
                r.String("phone", phone, 32);
            },
            fail)) {
        return fail;
    }
    if (!IsPhoneNumber(phone)) {
        return Fail(ApiCode::BadField, "手机号无效");
    }
    const std::string code = secrets::RandomDigits(6);
    if (code.empty()) {
        return Fail(ApiCode::Internal);
    }
    switch (ctx.store->IssueSmsCode(phone, ctx.ClientAddress(req), CodeHash(ctx, phone, code),
                                    ctx.config.sms, Now())) {
        case IStore::IssueResult::Ok:
            break;
        case IStore::IssueResult::TooSoon:
            return Fail(ApiCode::TooMany, "验证码发送过于频繁，请稍后再试");
        case IStore::IssueResult::PhoneCap:
            return Fail(ApiCode::TooMany, "该手机号今日获取验证码的次数已达上限");
        case IStore::IssueResult::AddressCap:
            return Fail(ApiCode::TooMany, "今日获取验证码的次数已达上限");
        case IStore::IssueResult::Error:
            return Fail(ApiCode::Internal);
    }
    std::string error;
    if (!ctx.sms->Send(phone, code, ctx.config.sms.codeTtlSeconds, error)) {
        spdlog::error("sending the sign-in code to {} failed: {}", MaskPhone(phone), error);
        return Fail(ApiCode::Internal, "验证码发送失败，请稍后再试");
    }
    spdlog::info("sign-in code sent to {}", MaskPhone(phone));
    return Success(nlohmann::json::object());
}

Reply LoginWithCode(Context& ctx, const Request& req) {
    std::string phone, code;
    Reply fail;
    if (!ReadBody(
            req,
            [&](JsonReader& r) {
                r.Require("phone");
                r.Require("code");
                r.String("phone", phone, 32);
                r.String("code", code, 32);
            },
            fail)) {
        return fail;
    }
    if (!IsPhoneNumber(phone)) {
        return Fail(ApiCode::BadField, "手机号无效");
    }
    // A code of the wrong shape costs no try: it cannot be anybody's code.
    if (code.size() != 6 || code.find_first_not_of("0123456789") != std::string::npos) {
        return Fail(ApiCode::CodeWrong);
    }
    const Clock clock = Now();
    NewSession session;
    const std::string token = NewToken(ctx, clock, session);
    if (token.empty()) {
        return Fail(ApiCode::Internal);
    }
    const Identity identity{"phone", phone, "用户" + phone.substr(7)};
    AccountId account = 0;
    switch (ctx.store->SignInWithCode(phone, CodeHash(ctx, phone, code), identity, session,
                                      ctx.config.sms, clock, account)) {
        case IStore::CodeResult::Ok:
            spdlog::info("account {} signed in with the phone {}", account, MaskPhone(phone));
            return TokenAnswer(token);
        case IStore::CodeResult::Wrong:
            return Fail(ApiCode::CodeWrong);
        case IStore::CodeResult::Gone:
            return Fail(ApiCode::CodeGone);
        case IStore::CodeResult::TooMany:
            return Fail(ApiCode::TooMany, "今日验证次数已达上限，请明天再试");
        case IStore::CodeResult::Error:
            break;
    }
    return Fail(ApiCode::Internal);
}

Reply QrInfo(Context& ctx, const IQrLoginProvider& provider, const Request& req) {
    const Clock clock = Now();
    const std::string state = secrets::RandomHex(kStateBytes);
    if (state.empty()) {
        return Fail(ApiCode::Internal);
    }
    switch (ctx.store->CreateQrState(state, provider.Name(), ctx.ClientAddress(req),
                                     clock.now + ctx.config.qrStateSeconds, ctx.config.maxQrStates,
                                     ctx.config.maxQrStatesPerAddress, clock)) {
        case IStore::QrResult::Ok:
            return Success({{"state", state}, {"url", provider.AuthorizeUrl(state)}});
        case IStore::QrResult::TooMany:
            return Fail(ApiCode::TooMany);
        default:
            return Fail(ApiCode::Internal);
    }
}

Reply QrPoll(Context& ctx, const IQrLoginProvider& provider, const Request& req) {
    std::string state;
    Reply fail;
    if (!ReadBody(
            req,
            [&](JsonReader& r) {
                r.Require("state");
                r.String("state", state, 64);
            },
            fail)) {
        return fail;
    }
    const Clock clock = Now();
    NewSession session;
    const std::string token = NewToken(ctx, clock, session);
    if (token.empty()) {
        return Fail(ApiCode::Internal);
    }
    AccountId account = 0;
    switch (ctx.store->ClaimQrState(state, provider.Name(), session, clock, account)) {
        case IStore::QrResult::Ok:
            spdlog::info("account {} signed in with {}", account, provider.Name());
            return TokenAnswer(token);
        case IStore::QrResult::Waiting:
            return Fail(ApiCode::QrWaiting);
        case IStore::QrResult::Gone:
            return Fail(ApiCode::QrGone);
        default:
            return Fail(ApiCode::Internal);
    }
}

IQrLoginProvider* FindProvider(Context& ctx, const std::string& name) {
    const auto it = ctx.qr.find(name);
    return it == ctx.qr.end() ? nullptr : it->second.get();
}

Reply StandInRefused(const char* title) {
    return Html(403, pages::Message(title, "此页面只对本机开放。"));
}

Reply QrPage(Context& ctx, const Request& req) {
    if (!ctx.StandInFor(req)) {
        return StandInRefused("登录");
    }
    IQrLoginProvider* provider = FindProvider(ctx, req.Param("provider"));
    if (provider == nullptr) {
        return Html(404, pages::Message("登录", "登录方式无效"));
    }
    const std::string state = req.Param("state");
    switch (ctx.store->PeekQrState(state, provider->Name(), Now())) {
        case IStore::QrResult::Waiting:
            break;
        case IStore::QrResult::Ok:
            return Html(200, pages::Message("登录", "已确认登录，请回到Velmora翻译。"));
        case IStore::QrResult::Gone:
            return Html(404, pages::Message("登录", "二维码已失效，请在Velmora翻译中重新登录。"));
        default:
            return Html(500, pages::Message("登录", "服务器繁忙，请稍后再试。"));
    }
    const std::string url = provider->AuthorizeUrl(state);
    std::string png, error;
    if (!QrPng(url, png, error)) {
        spdlog::warn("QR image of the sign-in page failed: {}", error);
    }
    return Html(200, pages::QrLogin(provider->Name(), provider->Title(), state, url,
                                    png.empty() ? std::string() : secrets::Base64(png),
                                    ctx.FormToken("qr:" + state)));
}

Reply QrConfirm(Context& ctx, const Request& req) {
    if (!ctx.StandInFor(req)) {
        return StandInRefused("登录");
    }
    IQrLoginProvider* provider = FindProvider(ctx, req.Param("provider"));
    if (provider == nullptr) {
        return Html(404, pages::Message("登录", "登录方式无效"));
    }
    std::string state, error;
    QrIdentity who;
    if (!provider->ResolveCallback(req, state, who, error)) {
        return Html(400, pages::Message("登录", error));
    }
    if (!ctx.FormPostTrusted(req, "qr:" + state)) {
        spdlog::warn("a QR sign-in confirmation not sent from its page was refused");
        return Html(403, pages::Message("登录", "请从登录确认页确认登录。"));
    }
    const Identity identity{provider->Name(), who.id, who.nickname};
    switch (ctx.store->BindQrState(state, provider->Name(), identity, Now())) {
        case IStore::QrResult::Ok:
            return Html(200, pages::Message("登录", "已确认登录，请回到Velmora翻译。"));
        case IStore::QrResult::Gone:
            return Html(404, pages::Message("登录", "二维码已失效或已使用，请重新登录。"));
        default:
            return Html(500, pages::Message("登录", "服务器繁忙，请稍后再试。"));
    }
}

Reply UserInfo(Context& ctx, const Request& req) {
    const Clock clock = Now();
    AccountId id = 0;
    Reply fail;
    if (!Authenticate(*ctx.store, req, clock, id, fail)) {
        return fail;
    }
    Account a;
    if (ctx.store->LoadAccount(id, ctx.config.freeDaily, clock, a) != Found::Yes) {
        return Fail(ApiCode::Internal);
    }
    nlohmann::json vips = nlohmann::json::array();
    for (const VipPeriod& v : a.vips) {
        vips.push_back({{"goodsId", v.goodsId},
                        {"unlimitedNums", v.unlimited ? 1 : 0},
                        {"start", FormatTime(v.start)},
                        {"end", FormatTime(v.end)}});
    }
    return Success({
        {"userId", std::to_string(a.id)},
        {"nickname", a.nickname},
        {"avatar", a.avatar},
        {"vipLevel", a.vipEnd > clock.now ? 1 : 0},
        {"vipEnd", FormatTime(a.vipEnd)},
        {"vipNums", a.counts.packNums},
        {"freeTimeEnd", EndOfDay(clock.now)},
        {"freeNums", a.counts.freeLeft},
        {"nums", a.counts.Total()},
        {"unlimited", a.counts.unlimited},
        {"freeGift", a.giftTaken ? 1 : 0},
        {"config", {{"delay", ctx.config.userDelay}}},
        {"vips", vips},
    });
}

Reply Gift(Context& ctx, const Request& req) {
    const Clock clock = Now();
    AccountId id = 0;
    Reply fail;
    if (!Authenticate(*ctx.store, req, clock, id, fail)) {
        return fail;
    }
    // The program posts no body; an empty object is as good.
    if (!req.body.empty() && !ReadBody(
                                 req, [](JsonReader&) {}, fail)) {
        return fail;
    }
    bool granted = false;
    if (ctx.config.giftNums > 0 && !ctx.store->GrantGift(id, ctx.config.giftNums, granted)) {
        return Fail(ApiCode::Internal);
    }
    std::string content;
    if (granted) {
        content = ctx.config.giftText;
        const auto at = content.find("{nums}");
        if (at != std::string::npos) {
            content.replace(at, 6, std::to_string(ctx.config.giftNums));
        }
        spdlog::info("account {} received the gift of {} translations", id, ctx.config.giftNums);
    }
    return Success({{"content", content}});
}

}  // namespace

void AddAccountRoutes(HttpServer& http, Context& ctx) {
    http.Route(protocol::kSmsSendCode, [&ctx](const auto& req) { return SendCode(ctx, req); });
    http.Route(protocol::kLoginSms, [&ctx](const auto& req) { return LoginWithCode(ctx, req); });
    struct QrPaths {
        const char* provider;
        protocol::Endpoint info;
        protocol::Endpoint poll;
    };
    for (const QrPaths& p :
         {QrPaths{"qq", protocol::kLoginQqOauthInfo, protocol::kLoginQqPoll},
          QrPaths{"wechat", protocol::kLoginWechatQrInfo, protocol::kLoginWechatPoll}}) {
        IQrLoginProvider* provider = FindProvider(ctx, p.provider);
        http.Route(p.info,
                   [&ctx, provider](const auto& req) { return QrInfo(ctx, *provider, req); });
        http.Route(p.poll,
                   [&ctx, provider](const auto& req) { return QrPoll(ctx, *provider, req); });
    }
    if (ctx.standIns) {
        http.Route("GET", LocalQrLoginProvider::kPagePath,
                   [&ctx](const auto& req) { return QrPage(ctx, req); });
        http.Route("POST", LocalQrLoginProvider::kPagePath,
                   [&ctx](const auto& req) { return QrConfirm(ctx, req); });
    }
    http.Route(protocol::kUserInfo, [&ctx](const auto& req) { return UserInfo(ctx, req); });
    http.Route(protocol::kGiftFreeNums, [&ctx](const auto& req) { return Gift(ctx, req); });
}

}  // namespace backend
