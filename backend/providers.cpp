#include "backend/providers.h"

#include <spdlog/spdlog.h>

#include "backend/secrets.h"
#include "backend/text.h"

namespace backend {

bool LogSmsSender::Send(const std::string& phone, const std::string& code, int ttlSeconds,
                        std::string&) {
    // The one line that shows a code: this sender exists so people can sign in locally.
    spdlog::warn("[本地短信] 手机 {} 的验证码: {} ({} 分钟内有效)", phone, code,
                 (ttlSeconds + 59) / 60);
    return true;
}

LocalQrLoginProvider::LocalQrLoginProvider(std::string name, std::string title,
                                           std::string publicUrl)
    : name_(std::move(name)), title_(std::move(title)), publicUrl_(std::move(publicUrl)) {}

std::string LocalQrLoginProvider::AuthorizeUrl(const std::string& state) const {
    return publicUrl_ + kPagePath + "?provider=" + name_ + "&state=" + state;
}

bool LocalQrLoginProvider::ResolveCallback(const Request& req, std::string& state, QrIdentity& who,
                                           std::string& error) {
    state = req.Param("state");
    who.id = req.Param("account");
    who.nickname = req.Param("nickname");
    if (!IsPlainId(who.id, 64)) {
        error = "账号只能包含字母、数字和 _ . @ -，最多64个字符";
        return false;
    }
    if (who.nickname.empty()) {
        who.nickname = title_ + "用户";
    }
    if (!IsDisplayText(who.nickname, 64)) {
        error = "昵称无效";
        return false;
    }
    return true;
}

LocalPaymentProvider::LocalPaymentProvider(std::string publicUrl)
    : publicUrl_(std::move(publicUrl)) {}

std::string LocalPaymentProvider::PayUrl(const Order& order) const {
    return publicUrl_ + kPagePath + "?orderNo=" + order.orderNo;
}

bool LocalPaymentProvider::VerifyNotice(const Request& req, PaymentNotice& notice,
                                        std::string& error) {
    notice.orderNo = req.Param("orderNo");
    const std::string amount = req.Param("amount");
    if (!IsPlainId(notice.orderNo, 64) || amount.empty() || amount.size() > 12 ||
        amount.find_first_not_of("0123456789") != std::string::npos) {
        error = "支付信息无效";
        return false;
    }
    notice.amountFen = std::stoll(amount);
    notice.reference = "LOCAL" + secrets::RandomAlnum(16);
    return true;
}

}  // namespace backend
