#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "logic/user_phone.h"
#include "tests/support/account_backend.h"
#include "tests/support/log_capture.h"
#include "utils/vl_http.h"

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

TEST_F(UserPhoneTest, RequestCodeSendsThePhoneAndReadsTheEnvelope) {
    backend_.Set(kSend, 200, R"({"code":0,"msg":"sent"})");
    std::u16string err = u"untouched";
    ASSERT_TRUE(phone_->RequestCode("13800000000", err));
    EXPECT_EQ(err, u"untouched");
    const auto sent = backend_.Requests(kSend);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].body, R"({"phone":"13800000000"})");
    EXPECT_EQ(sent[0].Header("Content-Type"), "application/json");
    EXPECT_EQ(sent[0].Header("Access-Token"), "");  // sent empty; the test server drops it
    EXPECT_NE(sent[0].target.find("?version="), std::string::npos);

    // An empty phone is refused before any request, leaving the text alone.
    EXPECT_FALSE(phone_->RequestCode("", err));
    EXPECT_EQ(err, u"untouched");
    EXPECT_TRUE(LogCapture::Get()->Has("phone is invalid"));
    EXPECT_EQ(backend_.Requests(kSend).size(), 1u);
}

TEST_F(UserPhoneTest, RequestCodeFailuresCarryTheirTexts) {
    struct Case {
        int status;
        std::string body;
        std::u16string text;
        std::string log;
    };
    const Case cases[] = {
        {500, "down", u"获取验证码失败，请检查网络", "request code failed"},
        {200, R"({"code":1002,"msg":"发送太频繁"})", u"发送太频繁",
         "parse access token failed, code 1002, msg 发送太频繁"},
        {200, "<html>", u"获取验证码失败，服务错误，101",
         "parse json failed with exception, byte 1, id 101, "},
        {200, R"({"code":"0","msg":"x"})", u"获取验证码失败，服务错误",
         "parse json failed with exception, json is \r\n{\"code\":\"0\",\"msg\":\"x\"}"},
        {200, R"({"code":0})", u"获取验证码失败，服务错误",
         "parse json failed with exception, json is \r\n{\"code\":0}"},
    };
    for (const Case& c : cases) {
        LogCapture::Get()->Clear();
        backend_.Set(kSend, c.status, c.body);
        std::u16string err;
        EXPECT_FALSE(phone_->RequestCode("138", err)) << c.body;
        EXPECT_EQ(err, c.text) << c.body;
        EXPECT_TRUE(LogCapture::Get()->Contains(c.log)) << LogCapture::Get()->Dump();
        if (c.status == 200) {
            EXPECT_TRUE(LogCapture::Get()->Has("request code failed, resp \r\n" + c.body));
        }
    }
    // An empty answer is logged; the text stays empty.
    backend_.Set(kSend, 200, "");
    std::u16string err;
    EXPECT_FALSE(phone_->RequestCode("138", err));
    EXPECT_TRUE(err.empty());
    EXPECT_TRUE(LogCapture::Get()->Has("json is empty"));
}

TEST_F(UserPhoneTest, LoginKeepsTheTokenFromTheAnswer) {
    backend_.Set(kLogin, 200, R"({"code":0,"msg":"","data":{"accessToken":"tok-1"}})");
    std::u16string err;
    ASSERT_TRUE(phone_->Login("13800000000", "123456", err));
    EXPECT_TRUE(err.empty());
    EXPECT_TRUE(phone_->HasToken());
    EXPECT_EQ(phone_->GetToken(), "tok-1");
    const auto sent = backend_.Requests(kLogin);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(nlohmann::json::parse(sent[0].body),
              (nlohmann::json{{"phone", "13800000000"}, {"code", "123456"}}));
    EXPECT_EQ(sent[0].body, R"({"code":"123456","phone":"13800000000"})");

    // A failing answer keeps the earlier token; code 0 replaces it, even with an empty one.
    backend_.Set(kLogin, 200, R"({"code":1001,"msg":"验证码错误"})");
    EXPECT_FALSE(phone_->Login("13800000000", "000000", err));
    EXPECT_EQ(err, u"验证码错误");
    EXPECT_EQ(phone_->GetToken(), "tok-1");
    EXPECT_TRUE(LogCapture::Get()->Has("get token failed, resp \r\n" +
                                       std::string(R"({"code":1001,"msg":"验证码错误"})")));

    err.clear();
    backend_.Set(kLogin, 200, R"({"code":0,"msg":"","data":{"accessToken":""}})");
    EXPECT_FALSE(phone_->Login("13800000000", "123456", err));
    EXPECT_TRUE(err.empty());
    EXPECT_FALSE(phone_->HasToken());
}

TEST_F(UserPhoneTest, LoginFailuresCarryTheirTexts) {
    std::u16string err;
    EXPECT_FALSE(phone_->Login("", "1", err));
    EXPECT_EQ(err, u"手机号无效");
    err.clear();
    EXPECT_FALSE(phone_->Login("138", "", err));
    EXPECT_EQ(err, u"手机号无效");
    EXPECT_TRUE(LogCapture::Get()->Has("phone or code is invalid"));
    EXPECT_TRUE(backend_.Requests(kLogin).empty());

    backend_.Set(kLogin, 502, "bad gateway");
    EXPECT_FALSE(phone_->Login("138", "1", err));
    EXPECT_EQ(err, u"登录失败，请检查网络");
    EXPECT_TRUE(LogCapture::Get()->Has("request code failed"));

    backend_.Set(kLogin, 200, "{\"code\":0,");
    EXPECT_FALSE(phone_->Login("138", "1", err));
    EXPECT_EQ(err, u"登录失败，服务错误，101");

    backend_.Set(kLogin, 200, R"({"code":0,"msg":"","data":{"accessToken":7}})");
    EXPECT_FALSE(phone_->Login("138", "1", err));
    EXPECT_EQ(err, u"登录失败，服务错误");
    backend_.Set(kLogin, 200, R"({"code":0,"msg":""})");
    err.clear();
    EXPECT_FALSE(phone_->Login("138", "1", err));
    EXPECT_EQ(err, u"登录失败，服务错误");
    EXPECT_FALSE(phone_->HasToken());
}

TEST_F(UserPhoneTest, BodiesAreValidJsonWhateverThePhoneHolds) {
    backend_.Set(kSend, 200, R"({"code":0,"msg":""})");
    std::u16string err;
    const std::string odd = std::string("1\"3\\8\n\xff", 7);
    ASSERT_TRUE(phone_->RequestCode(odd, err));
    const auto sent = backend_.Requests(kSend);
    ASSERT_EQ(sent.size(), 1u);
    const auto body = nlohmann::json::parse(sent[0].body);
    EXPECT_EQ(body.at("phone").get<std::string>(), "1\"3\\8\n\xEF\xBF\xBD");
}
