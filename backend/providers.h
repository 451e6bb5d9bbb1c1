#pragma once

#include "backend/request.h"

#include <cstdint>
#include <string>

#include "backend/store.h"

// The outside services the back-end stands in for, each behind a small interface. The local
// defaults run on this machine: codes go to the log, and the back-end's own pages play the QR
// provider's confirmation page and the payment provider's checkout.
namespace backend {

class ISmsSender {
public:
    virtual ~ISmsSender() = default;
    virtual bool Send(const std::string& phone, const std::string& code, int ttlSeconds,
                      std::string& error) = 0;
};

// Writes the code to the log (which always reaches standard error), clearly marked.
class LogSmsSender final : public ISmsSender {
public:
    bool Send(const std::string& phone, const std::string& code, int ttlSeconds,
              std::string& error) override;
};

// Who confirmed a QR sign-in at the provider.
struct QrIdentity {
    std::string id;
    std::string nickname;
};

class IQrLoginProvider {
public:
    virtual ~IQrLoginProvider() = default;
    // "qq" or "wechat": the account kind and the name in page addresses.
    virtual const std::string& Name() const = 0;
    // The name shown to people ("QQ", "微信").
    virtual const std::string& Title() const = 0;
    // The page the program opens for a new login state.
    virtual std::string AuthorizeUrl(const std::string& state) const = 0;
    // The provider's call-back after the user confirmed: the login state and who confirmed.
    // False with a reason when the call cannot be trusted or read.
    virtual bool ResolveCallback(const Request& req, std::string& state, QrIdentity& who,
                                 std::string& error) = 0;
};

// The back-end's own confirmation page stands in for the provider's: the form there names the
// local account to sign in.
class LocalQrLoginProvider final : public IQrLoginProvider {
public:
    LocalQrLoginProvider(std::string name, std::string title, std::string publicUrl);
    const std::string& Name() const override { return name_; }
    const std::string& Title() const override { return title_; }
    std::string AuthorizeUrl(const std::string& state) const override;
    bool ResolveCallback(const Request& req, std::string& state, QrIdentity& who,
                         std::string& error) override;

    static constexpr const char* kPagePath = "/pages/qr-login";

private:
    std::string name_;
    std::string title_;
    std::string publicUrl_;
};

// A payment the provider reports as done.
struct PaymentNotice {
    std::string orderNo;
    std::int64_t amountFen = 0;
    std::string reference;  // the provider's transaction number
};

class IPaymentProvider {
public:
    virtual ~IPaymentProvider() = default;
    // The address where the user pays the order (opened in the browser, or shown as a QR code).
    virtual std::string PayUrl(const Order& order) const = 0;
    // Checks a notification (signature, fields). False with a reason when it is not genuine.
    virtual bool VerifyNotice(const Request& req, PaymentNotice& notice, std::string& error) = 0;
};

// The back-end's own payment page: its confirm button is the notification.
class LocalPaymentProvider final : public IPaymentProvider {
public:
    explicit LocalPaymentProvider(std::string publicUrl);
    std::string PayUrl(const Order& order) const override;
    bool VerifyNotice(const Request& req, PaymentNotice& notice, std::string& error) override;

    static constexpr const char* kPagePath = "/pages/pay";

private:
    std::string publicUrl_;
};

}  // namespace backend
