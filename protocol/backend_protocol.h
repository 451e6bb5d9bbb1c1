#pragma once

// The product back-end's protocol, shared by the program and velmora-backend: every path with
// the method it is called with, and the codes of the answer envelope {"code", "msg", "data"}.
// Header-only and dependency-free so both sides include it.
namespace velmora::protocol {

enum class Method { Get, Post };

struct Endpoint {
    const char* path;
    Method method;
};

inline constexpr Endpoint kConfigGet{"/config/get", Method::Get};
inline constexpr Endpoint kUserInfo{"/user/info", Method::Get};
inline constexpr Endpoint kSmsSendCode{"/sms/send/code", Method::Post};
inline constexpr Endpoint kLoginSms{"/login/sms", Method::Post};
inline constexpr Endpoint kLoginQqOauthInfo{"/login/qq/oauth-info", Method::Get};
inline constexpr Endpoint kLoginWechatQrInfo{"/login/wechat/qr-info", Method::Get};
// The doubled slash and the spelling are what the back-end serves.
inline constexpr Endpoint kLoginQqPoll{"/login//qq/ouath", Method::Post};
inline constexpr Endpoint kLoginWechatPoll{"/login/wechat/qr", Method::Post};
inline constexpr Endpoint kTransSaveNums{"/trans/save-nums", Method::Post};
inline constexpr Endpoint kTransReport{"/trans/report", Method::Post};
inline constexpr Endpoint kGiftFreeNums{"/gift/free-nums/get", Method::Post};
inline constexpr Endpoint kAppUpdate{"/app/update", Method::Get};
inline constexpr Endpoint kGoodsList{"/goods/list", Method::Get};
inline constexpr Endpoint kOrderSubmit{"/order/submit", Method::Post};
inline constexpr Endpoint kOrderDetail{"/order/detail", Method::Get};

// Codes of the envelope's "code" member.
enum class Code : int {
    Ok = 0,
    BadJson = 10400,        // the body is not a JSON object
    BadField = 10401,       // a member is missing, of the wrong type, out of range or unknown
    NotFound = 10404,       // no such path
    BadMethod = 10405,      // the path exists for another method
    TooLarge = 10413,       // the body is over the limit
    TooMany = 10429,        // a rate limit
    Internal = 10500,       // the back-end failed
    TokenRejected = 10505,  // the token is no longer accepted: the program signs out
    NoToken = 10506,        // the request needs a signed-in user
    CodeWrong = 10601,
    CodeGone = 10602,
    QrWaiting = 10603,
    QrGone = 10604,
    QuotaUsedUp = 10701,
    NoSuchGood = 10801,
    PayMethodRefused = 10802,
    GoodChanged = 10803,
    NoSuchOrder = 10804,
};

// The code that signs the program out (an account signed in elsewhere, a token withdrawn).
inline constexpr int kNeedLoginCode = static_cast<int>(Code::TokenRejected);

}  // namespace velmora::protocol
