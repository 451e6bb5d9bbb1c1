#pragma once

// Every path of the product's back-end and the method it is called with. Callers build the URL
// with vl::ServiceUrl(endpoint.path).
namespace vl::backend {

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

}  // namespace vl::backend
