#pragma once

#include <functional>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "utils/vl_singleton.h"

// What the user manager asks of a login provider.
class IUser {
public:
    // The provider holds a non-empty access token.
    virtual bool HasToken() = 0;
    // A copy of the token.
    virtual std::string GetToken() = 0;

protected:
    ~IUser() = default;
};

// Sign-in with a phone number and a one-time code sent by SMS. Both requests block; the user
// manager's command thread runs them. Failures leave a text for the user in `err`.
class UserPhone final : public vl::Singleton<UserPhone>, public IUser {
public:
    // Asks the back-end to text a code to `phone`.
    bool RequestCode(const std::string& phone, std::u16string& err);
    // Exchanges phone and code for an access token, kept by the provider.
    bool Login(const std::string& phone, const std::string& code, std::u16string& err);

    // Readers of the two answers.
    static bool ParseRequestCode(const std::string& response, std::u16string& err);
    static bool ParseAccessToken(const std::string& response, std::string& token,
                                 std::u16string& err);

    bool HasToken() override;
    std::string GetToken() override;
    void ClearToken();

private:
    friend class vl::Singleton<UserPhone>;
    UserPhone() = default;

    // The envelope of an answer: a non-zero code puts its message into `err`; code 0 hands the
    // root to `onSuccess`. `serviceError` is the text for an answer that cannot be read.
    static bool ParseAnswer(const std::string& response, std::u16string& err,
                            const std::u16string& serviceError,
                            const std::function<bool(const nlohmann::json&)>& onSuccess);

    std::mutex mutex_;
    std::string token_;
};
