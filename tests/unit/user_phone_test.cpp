#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "logic/user_phone.h"
#include "tests/support/account_backend.h"
#include "tests/support/log_capture.h"

using vl::test::AccountBackend;
using vl::test::LogCapture;

namespace {

class UserPhoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogCapture::Get()->Clear();
        phone_->ClearToken();
    }

    AccountBackend backend_;
    UserPhone* phone_ = UserPhone::Instance();
};

const char* kSend = "/sms/send/code";
const char* kLogin = "/login/sms";

}  // namespace

TEST_F(UserPhoneTest, LoginKeepsTheTokenFromTheAnswer) {
    backend_.Set(kLogin, 200, R"({"code":0,"msg":"","data":{"accessToken":"tok-1"}})");
    std::u16string err;
    ASSERT_TRUE(phone_->Login("13800000000", "123456", err));
    EXPECT_EQ(phone_->GetToken(), "tok-1");
    const auto sent = backend_.Requests(kLogin);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].body, R"({"code":"123456","phone":"13800000000"})");
    EXPECT_EQ(sent[0].Header("Content-Type"), "application/json");

    // A refusal keeps the earlier token and shows the back-end's message.
    backend_.Set(kLogin, 200, R"({"code":1001,"msg":"验证码错误"})");
    EXPECT_FALSE(phone_->Login("13800000000", "000000", err));
    EXPECT_EQ(err, u"验证码错误");
    EXPECT_EQ(phone_->GetToken(), "tok-1");
}

// One case per class of failure: transport, not JSON, bad envelope, bad element.
TEST_F(UserPhoneTest, EachClassOfFailureHasItsText) {
    struct Case {
        int status;
        std::string body;
        std::u16string text;
        std::string log;
    };
    const Case cases[] = {
        {502, "bad gateway", u"登录失败，请检查网络", "request code failed"},
        {200, "{\"code\":0,", u"登录失败，服务错误，101",
         "parse json failed with exception, byte 11, id 101, "},
        {200, R"({"code":"0","msg":"x"})", u"登录失败，服务错误",
         "parse json failed with exception, json is \r\n{\"code\":\"0\",\"msg\":\"x\"}"},
        {200, R"({"code":0,"msg":"","data":{"accessToken":7}})", u"登录失败，服务错误",
         "get token failed, resp \r\n{\"code\":0,\"msg\":\"\",\"data\":{\"accessToken\":7}}"},
    };
    for (const Case& c : cases) {
        LogCapture::Get()->Clear();
        backend_.Set(kLogin, c.status, c.body);
        std::u16string err;
        EXPECT_FALSE(phone_->Login("138", "1", err)) << c.body;
        EXPECT_EQ(err, c.text) << c.body;
        EXPECT_TRUE(LogCapture::Get()->Contains(c.log)) << LogCapture::Get()->Dump();
        EXPECT_FALSE(phone_->HasToken());
    }
}

// The token goes into a header of every later request: a line break in it would add headers.
TEST_F(UserPhoneTest, TokenWithALineBreakIsRefused) {
    backend_.Set(kLogin, 200, R"({"code":0,"msg":"","data":{"accessToken":"t\r\nX-Evil: 1"}})");
    std::u16string err;
    EXPECT_FALSE(phone_->Login("138", "1", err));
    EXPECT_FALSE(phone_->HasToken());
    EXPECT_TRUE(LogCapture::Get()->Has("access token has a control character, refused"));
}

TEST_F(UserPhoneTest, BodiesAreValidJsonWhateverThePhoneHolds) {
    backend_.Set(kSend, 200, R"({"code":0,"msg":""})");
    std::u16string err;
    ASSERT_TRUE(phone_->RequestCode(std::string("1\"3\\8\n\xff", 7), err));
    const auto body = nlohmann::json::parse(backend_.Requests(kSend).at(0).body);
    EXPECT_EQ(body.at("phone").get<std::string>(), "1\"3\\8\n\xEF\xBF\xBD");
}
