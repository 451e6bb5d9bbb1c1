// The account engine: reading the back-end's answers, the phone and QR-code providers, the user
// manager's command thread and its listeners, and usage reports; against a scripted back-end.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <atomic>
#include <cstdlib>
#include <future>
#include <limits>
#include <nlohmann/json.hpp>

#include "tests/support/account_backend.h"
#include "utils/vl_env.h"
#include "utils/vl_string.h"

using namespace std::chrono_literals;
using json = nlohmann::json;
using vl::test::AccountBackend;
using vl::test::AccountTest;
using vl::test::ListenerWindow;
using vl::test::LogCapture;
using vl::test::WaitUntil;

namespace {

const char* kUserInfo = "/user/info";
const char* kLoginSms = "/login/sms";
const char* kWechatQr = "/login/wechat/qr-info";
const char* kWechatPoll = "/login/wechat/qr";
const char* kQqQr = "/login/qq/oauth-info";
const char* kQqPoll = "/login//qq/ouath";
const char* kSaveNums = "/trans/save-nums";
const char* kReport = "/trans/report";
const std::string kWaiting = R"({"code":40001,"msg":"waiting"})";

std::string QrAnswer(const std::string& state, const std::string& url = "https://open.example/qr") {
    return json{{"code", 0}, {"msg", ""}, {"data", {{"state", state}, {"url", url}}}}.dump();
}

std::string TokenAnswer(const std::string& token) {
    return json{{"code", 0}, {"msg", ""}, {"data", {{"accessToken", token}}}}.dump();
}

// "/user/info" answers by token: each known token is one user.
AccountBackend::Script UsersByToken(std::map<std::string, std::string> users) {
    return [users](const httplib::Request& req) {
        const auto it = users.find(req.get_header_value("Access-Token"));
        if (it == users.end())
            return AccountBackend::Reply{200, R"({"code":4001,"msg":"无效的令牌"})"};
        return AccountBackend::Reply{200, AccountBackend::UserInfoAnswer(it->second, "N")};
    };
}

DateTime Date(const std::string& text) {
    DateTime d;
    d.Parse(text);
    return d;
}

// A "data" member with every required value; `extra` adds or overrides members.
UserInfo Read(const std::string& extra, UserInfo info = {}) {
    json data =
        json::parse(R"({"userId":"u","nickname":"Mia","avatar":"a","vipEnd":"2024-05-01 08:00:00",)"
                    R"("vipNums":1,"freeTimeEnd":"","freeNums":2,"nums":3})");
    data.update(json::parse("{" + extra + "}"));
    ReadUserData(data, info);
    return info;
}

}  // namespace

// ---- Reading the answers

TEST(UserData, DatesReadLikeScanfAndSaturateInsteadOfWrapping) {
    DateTime expected;
    expected.year = 2024;
    expected.month = 5;
    expected.day = 1;
    expected.hour = 8;
    EXPECT_EQ(Date(" 2024-5-1\t\t8:0:0"), expected);  // the six other fields stay zero
    DateTime partial;
    partial.day = 77;
    EXPECT_EQ(partial.Parse("2024-05T01"), 2);  // stops at the first mismatch
    EXPECT_EQ(partial.day, 77);
    EXPECT_EQ(Date("99999999999999999999-1-1 0:0:0").year, std::numeric_limits<int>::max());

    ::setenv("TZ", "CST-8", 1);  // local time
    ::tzset();
    EXPECT_EQ(ToEpochNanoseconds(Date("2024-05-01 08:00:00")), 1714521600'000'000'000LL);
    ::unsetenv("TZ");
    ::tzset();
    // A lifetime membership ends in 9999: later than any real date, never negative.
    EXPECT_EQ(ToEpochNanoseconds(Date("9999-12-31 23:59:59")),
              std::numeric_limits<std::int64_t>::max());
}

TEST(UserData, FieldsAreConvertedFromTheAnswer) {
    UserInfo previous;
    previous.delay = 42;
    previous.vips.resize(3);
    const UserInfo info = Read(R"("userId":123,"vipLevel":3,"freeGift":0,"vipNums":1e300,)"
                               R"("nums":18446744073709551615,"vips":[{"goodsId":11,)"
                               R"("unlimitedNums":1,"start":"","end":"9999-12-31 23:59:59"}])",
                               previous);
    EXPECT_EQ(info.userId, "123");
    EXPECT_TRUE(info.isVip);
    EXPECT_TRUE(info.freeGift);
    EXPECT_EQ(info.delay, 42);  // no "config": the earlier delay stays
    // Huge counts clamp instead of overflowing.
    EXPECT_EQ(info.vipNums, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(info.nums, std::numeric_limits<std::int32_t>::max());
    // The periods are replaced, never appended to.
    ASSERT_EQ(info.vips.size(), 1u);
    EXPECT_TRUE(info.vips[0].unlimited);
    EXPECT_FALSE(Read(R"("vipLevel":"3","freeGift":false)").isVip);
    EXPECT_ANY_THROW(Read(R"("vips":[{"goodsId":1}])"));
}

// ---- The providers, without the user manager's idle step

namespace {

class ProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogCapture::Get()->Clear();
        vl::test::ResetProviders();
    }
    void TearDown() override { vl::test::RestoreQrPolls(); }
    std::vector<std::string> Opened() { return opened_.Get(); }

    AccountBackend backend_;
    vl::test::OpenedPages opened_;
    UserPhone* phone_ = UserPhone::Instance();
    UserWechat* wechat_ = UserWechat::Instance();
    UserQQ* qq_ = UserQQ::Instance();
};

}  // namespace

TEST_F(ProviderTest, PhoneLoginKeepsTheTokenFromTheAnswer) {
    backend_.Set(kLoginSms, 200, TokenAnswer("tok-1"));
    std::u16string err;
    ASSERT_TRUE(phone_->Login("13800000000", "123456", err));
    EXPECT_EQ(phone_->GetToken(), "tok-1");
    EXPECT_EQ(backend_.Requests(kLoginSms).at(0).body,
              R"({"code":"123456","phone":"13800000000"})");
    // A refusal keeps the earlier token and shows the back-end's message.
    backend_.Set(kLoginSms, 200, R"({"code":1001,"msg":"验证码错误"})");
    EXPECT_FALSE(phone_->Login("13800000000", "000000", err));
    EXPECT_EQ(err, u"验证码错误");
    EXPECT_EQ(phone_->GetToken(), "tok-1");
    // Whatever the phone holds, the body is JSON.
    ASSERT_FALSE(phone_->RequestCode(std::string("1\"3\n\xff", 5), err));
    EXPECT_EQ(json::parse(backend_.Requests("/sms/send/code").at(0).body).at("phone"),
              "1\"3\n\xEF\xBF\xBD");
}

// One case per class of failure: transport, not JSON, bad envelope, bad element; and a token
// with a line break, which would add header lines to every later request.
TEST_F(ProviderTest, PhoneLoginFailuresHaveTheirTexts) {
    const std::tuple<int, std::string, std::u16string, std::string> cases[] = {
        {502, "bad gateway", u"登录失败，请检查网络", "request code failed"},
        {200, "{\"code\":0,", u"登录失败，服务错误，101",
         "parse json failed with exception, byte 11, id 101, "},
        {200, R"({"code":"0","msg":"x"})", u"登录失败，服务错误",
         "parse json failed with exception, json is \r\n{\"code\":\"0\",\"msg\":\"x\"}"},
        {200, R"({"code":0,"msg":"","data":{"accessToken":7}})", u"登录失败，服务错误",
         "get token failed, resp \r\n"},
        {200, TokenAnswer("t\r\nX-Evil: 1"), u"", "access token has a control character, refused"},
    };
    for (const auto& [status, body, text, log] : cases) {
        LogCapture::Get()->Clear();
        backend_.Set(kLoginSms, status, body);
        std::u16string err;
        EXPECT_FALSE(phone_->Login("138", "1", err)) << body;
        EXPECT_EQ(err, text) << body;
        EXPECT_TRUE(LogCapture::Get()->Contains(log)) << LogCapture::Get()->Dump();
        EXPECT_FALSE(phone_->HasToken());
    }
}

TEST_F(ProviderTest, QrLoginOpensThePageAndPollsUntilItGetsAToken) {
    backend_.Set(kWechatQr, 200, QrAnswer("st-1", "https://open.example/qr?s=st-1"));
    std::atomic<int> polls{0};
    backend_.Set(kWechatPoll, [&polls](const httplib::Request&) {
        return AccountBackend::Reply{200, ++polls < 3 ? kWaiting : TokenAnswer("wx")};
    });
    wechat_->Login();
    ASSERT_TRUE(WaitUntil([&] { return wechat_->HasToken(); }));
    EXPECT_EQ(wechat_->GetToken(), "wx");
    EXPECT_EQ(Opened(), std::vector<std::string>{"https://open.example/qr?s=st-1"});
    ASSERT_EQ(backend_.Requests(kWechatPoll).size(), 3u);
    EXPECT_EQ(backend_.Requests(kWechatPoll)[0].body, R"({"state":"st-1"})");
    wechat_->Login();  // while the token is held, a new login starts nothing
    EXPECT_EQ(backend_.Requests(kWechatQr).size(), 1u);
}

// Each ends the worker by itself, before any poll: the back-end fails, sends a page that is no
// web address, or the browser cannot be started.
TEST_F(ProviderTest, QrFailuresBeforePollingEndTheWorker) {
    const std::pair<std::string, std::string> cases[] = {
        {"not json", "ParseQrUrl failed, response is \r\nnot json"},
        {QrAnswer("s", "file:///etc/passwd"), "open url failed, url file:///etc/passwd"},
        {QrAnswer("s"), "open url failed, url https://open.example/qr"},
    };
    opened_.works = false;
    for (const auto& [answer, log] : cases) {
        LogCapture::Get()->Clear();
        backend_.Set(kWechatQr, 200, answer);
        wechat_->Login();
        ASSERT_TRUE(WaitUntil([&] { return LogCapture::Get()->Contains(log); })) << answer;
        wechat_->Stop();
        EXPECT_FALSE(LogCapture::Get()->Has("need stop")) << answer;
    }
    EXPECT_EQ(Opened(), std::vector<std::string>{"https://open.example/qr"});
    EXPECT_TRUE(backend_.Requests(kWechatPoll).empty());
}

TEST_F(ProviderTest, QrPollFailuresAreRetried) {
    backend_.Set(kQqQr, 200, QrAnswer("s"));
    // Refused, not JSON, a token that would inject a header; then a good one.
    // Owned by the handler: the server may still answer a poll while the test ends.
    const std::vector<AccountBackend::Reply> replies{
        {503, "busy"}, {200, "garbage"}, {200, TokenAnswer("a\nX: y")}, {200, TokenAnswer("q")}};
    const auto polls = std::make_shared<std::atomic<int>>(0);
    backend_.Set(kQqPoll, [replies, polls](const httplib::Request&) {
        return replies[std::min((*polls)++, 3)];
    });
    qq_->Login();
    ASSERT_TRUE(WaitUntil([&] { return qq_->HasToken(); }));
    EXPECT_EQ(polls->load(), 4);
    EXPECT_EQ(qq_->GetToken(), "q");
}

// ---- The user manager

using UserManagerTest = AccountTest;

// The token is accepted but the account cannot be read: always the same text, and the phone
// provider forgets the token.
TEST_F(UserManagerTest, PhoneLoginWithoutAnAccountForgetsTheToken) {
    backend_.Set(kLoginSms, 200, TokenAnswer("p-tok"));
    backend_.Set(kUserInfo, 200, R"({"code":5000,"msg":"数据库错误"})");
    ASSERT_TRUE(manager_->LoginPhone("13800000000", "123456"));
    const auto got = listener_.WaitFor(WM_USER_MANAGER_LOGIN);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->wParam, 0u);
    EXPECT_EQ(got->text, "无法获取用户信息，请稍后再试");
    EXPECT_FALSE(UserPhone::Instance()->HasToken());
}

TEST_F(UserManagerTest, TokenLoginUpdateAndLogout) {
    backend_.Set(kUserInfo, UsersByToken({{"stored", "u-9"}}));
    ASSERT_TRUE(AutoLoginWithToken("stored"));
    ASSERT_TRUE(listener_.WaitFor(WM_USER_MANAGER_LOGIN));
    backend_.Set(kUserInfo, 200, AccountBackend::UserInfoAnswer("u-9", "N", 41));
    ASSERT_TRUE(manager_->Update());
    auto got = listener_.WaitFor(WM_USER_MANAGER_UPDATE);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->info.nums, 41);
    EXPECT_EQ(got->info.loginType, LoginType::Token);
    EXPECT_EQ(backend_.Requests(kUserInfo).back().Header("Access-Token"), "stored");

    ASSERT_TRUE(manager_->Logout("kick"));
    got = listener_.WaitFor(WM_USER_MANAGER_LOGOUT);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->text, "kick");
    EXPECT_EQ(manager_->GetUser(), UserInfo{});
}

TEST_F(UserManagerTest, RejectedTokenAsksTheWindowsToSignOut) {
    backend_.Set(kUserInfo, 200, R"({"code":10505,"msg":"账号已在其他设备登录"})");
    ASSERT_TRUE(manager_->LoginToken("old"));
    const auto failed = listener_.WaitFor(WM_USER_MANAGER_LOGIN);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->wParam, 0u);
    EXPECT_EQ(failed->text, "");  // the need-login message says it all
    const auto all = listener_.Messages();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].msg, WM_USER_MANAGER_NEED_LOGIN);
}

// Cut short after the user id: a half-read account would pass for someone else signed in.
TEST_F(UserManagerTest, ABrokenAnswerLeavesTheAccountWhole) {
    std::u16string err;
    backend_.Set(kUserInfo, 200, AccountBackend::UserInfoAnswer("123", "Mia"));
    ASSERT_TRUE(manager_->GetUserInfo("tok", LoginType::Wechat, err));
    const UserInfo user = manager_->GetUser();
    const std::string cutShort =
        R"({"code":0,"msg":"","data":{"userId":"someone-else","nickname":"X","avatar":""}})";
    backend_.Set(kUserInfo, 200, cutShort);
    EXPECT_FALSE(manager_->GetUserInfo("other", LoginType::QQ, err));
    EXPECT_TRUE(
        LogCapture::Get()->Has("parse json failed with exception, json is \r\n" + cutShort));
    EXPECT_EQ(manager_->GetUser(), user);
    EXPECT_TRUE(err.empty());
}

TEST_F(UserManagerTest, IdleStepPrefersWechatAndStopsTheOtherProvider) {
    auto* wechat = UserWechat::Instance();
    auto* qq = UserQQ::Instance();
    backend_.Set(kUserInfo, UsersByToken({{"seed", "u0"}, {"wx", "u-wx"}, {"qq", "u-qq"}}));
    // Signed in, the idle step leaves finished QR logins alone.
    ASSERT_TRUE(manager_->LoginToken("seed"));
    ASSERT_TRUE(listener_.WaitFor(WM_USER_MANAGER_LOGIN));
    backend_.Set(kWechatQr, 200, QrAnswer("w"));
    backend_.Set(kQqQr, 200, QrAnswer("q"));
    backend_.Set(kWechatPoll, 200, TokenAnswer("wx"));
    backend_.Set(kQqPoll, 200, TokenAnswer("qq"));
    qq->Login();
    wechat->Login();
    ASSERT_TRUE(WaitUntil([&] { return !qq->GetToken().empty() && !wechat->GetToken().empty(); }));
    EXPECT_EQ(listener_.Messages(WM_USER_MANAGER_LOGIN).size(), 1u);

    // Signed out with both tokens present: WeChat wins and QQ is stopped.
    std::u16string err;
    manager_->GetUserInfo("", LoginType::None, err);
    const auto got = listener_.WaitFor(WM_USER_MANAGER_LOGIN, 2);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->info.userId, "u-wx");
    EXPECT_EQ(got->info.loginType, LoginType::Wechat);
    EXPECT_TRUE(qq->GetToken().empty());
}

TEST_F(UserManagerTest, QrLoginRetriesAFailedAccountReadAndLogoutEndsPolling) {
    backend_.Set(kQqQr, 200, QrAnswer("q"));
    backend_.Set(kQqPoll, 200, TokenAnswer("qq"));
    std::atomic<int> reads{0};
    backend_.Set(kUserInfo, [&reads](const httplib::Request&) {
        return ++reads == 1
                   ? AccountBackend::Reply{500, ""}
                   : AccountBackend::Reply{200, AccountBackend::UserInfoAnswer("u-qq", "Q")};
    });
    ASSERT_TRUE(manager_->LoginQQ());
    const auto ok = listener_.WaitFor(WM_USER_MANAGER_LOGIN, 2);
    ASSERT_TRUE(ok);
    EXPECT_EQ(listener_.Messages(WM_USER_MANAGER_LOGIN)[0].wParam, 0u);
    EXPECT_EQ(ok->wParam, 1u);
    EXPECT_EQ(ok->info.loginType, LoginType::QQ);

    backend_.Set(kWechatQr, 200, QrAnswer("w"));
    backend_.Set(kWechatPoll, 200, kWaiting);
    ASSERT_TRUE(manager_->LoginWechat());
    ASSERT_TRUE(backend_.WaitForRequests(kWechatPoll, 2));
    ASSERT_TRUE(manager_->Logout("user choose to logout"));
    ASSERT_TRUE(WaitUntil([] { return LogCapture::Get()->Has("need stop"); }));
    const auto polls = backend_.Requests(kWechatPoll).size();
    UserWechat::Instance()->Stop();
    EXPECT_FALSE(UserWechat::Instance()->HasToken());
    EXPECT_LE(backend_.Requests(kWechatPoll).size(), polls + 1);
}

namespace {

// A window whose loop is the test's thread and runs only when the test says so.
class RecordingWindow final : public vl::IMessageHandler {
public:
    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM, vl::LPARAM lParam) override {
        if (auto notice = vl::TakePosted<UserManagerLogoutNotice>(lParam))
            reasons.push_back(notice->reason);
        else
            messages.push_back(msg);
        return 0;
    }
    std::vector<std::string> reasons;
    std::vector<vl::UINT> messages;
};

}  // namespace

// Answers are posted: a listener that does not pump (its thread is busy, or is the one closing
// the manager) holds up neither the command thread nor Close, and gets every answer in order
// once it runs.
TEST_F(UserManagerTest, AListenerThatDoesNotPumpHoldsUpNothing) {
    vl::MessageQueueLoop loop;
    RecordingWindow window;
    const vl::HWND hwnd = vl::RegisterWindow(&window, &loop);
    manager_->AddListener(hwnd);
    backend_.Set(kUserInfo, UsersByToken({{"t", "u"}}));
    std::u16string err;
    ASSERT_TRUE(manager_->GetUserInfo("t", LoginType::Token, err));
    backend_.Set(kUserInfo, 200, R"({"code":10505,"msg":"kicked"})");
    // The need-login message comes from the thread that made the request, here not the
    // command thread.
    EXPECT_EQ(
        std::async(std::launch::async, [this] { return manager_->UpdateSync(); }).get().userId,
        "u");
    ASSERT_TRUE(manager_->Update());
    ASSERT_TRUE(manager_->Logout("first"));
    ASSERT_TRUE(manager_->Logout("second"));
    ASSERT_TRUE(listener_.WaitFor(WM_USER_MANAGER_LOGOUT, 2));
    auto closing = std::async(std::launch::async, [this] { manager_->Close(); });
    if (closing.wait_for(5s) != std::future_status::ready) {
        vl::BeginDestroyWindow(hwnd);  // releases a waiting sender, so the test ends
        FAIL() << "Close waited for a listener";
    }
    loop.RunPending();
    EXPECT_EQ(window.reasons, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(window.messages,
              (std::vector<vl::UINT>{WM_USER_MANAGER_NEED_LOGIN, WM_USER_MANAGER_NEED_LOGIN,
                                     WM_USER_MANAGER_UPDATE}));
    vl::UnregisterWindow(hwnd);

    // Opened again, deliveries work as before.
    ASSERT_TRUE(manager_->Open());
    manager_->AddListener(listener_.Hwnd());
    ASSERT_TRUE(manager_->Logout("again"));
    const auto got = listener_.WaitFor(WM_USER_MANAGER_LOGOUT, 3);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->text, "again");
}

// ---- Usage reports

namespace {

class UsageReportTest : public AccountTest {
protected:
    void SignIn() {
        backend_.Set(kUserInfo, 200, AccountBackend::UserInfoAnswer("u1", "N", 50));
        std::u16string err;
        ASSERT_TRUE(manager_->GetUserInfo("tok-7", LoginType::Token, err));
    }
    // Waits until the report (always the last request of a translation) has arrived, and its
    // answer has been handled on the command thread (after the save-nums answer).
    std::vector<vl::test::LoopbackServer::Request> Sent() {
        EXPECT_TRUE(backend_.WaitForRequests(kReport, 1));
        EXPECT_TRUE(
            WaitUntil([] { return LogCapture::Get()->Contains("translate report failed"); }));
        auto sent = backend_.Requests(kSaveNums);
        for (auto& r : backend_.Requests(kReport))
            sent.push_back(std::move(r));
        return sent;
    }
};

}  // namespace

TEST_F(UsageReportTest, SuccessfulTranslationSendsSaveNumsThenTheReport) {
    SignIn();
    backend_.Set(kSaveNums, 200,
                 R"({"code":0,"msg":"","data":{"unlimited":false,"freeNums":4,"nums":9}})");
    const std::map<std::string, std::string> lines{{"こんにちは", "你好"}, {"a\"b", "x"}};
    manager_->TranslateEnd({.ok = true,
                            .logId = "log-1",
                            .errInfo = "",
                            .fromLang = "jap",
                            .toLang = "chs",
                            .lines = lines,
                            .ocrVendor = "baidu",
                            .ocrTime = 120,
                            .transVendor = "youdao",
                            .transTime = 80});
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].Header("Access-Token"), "tok-7");
    json common = json::parse(
        R"({"logId":"log-1","image":"","fromLang":"jap","toLang":"chs","ocrVendor":"baidu",)"
        R"("ocrTime":120,"transType":2,"transVendor":"youdao","transTime":80,"totalTime":200,)"
        R"("errInfo":"","gameId":0,"totalLines":10,"cacheLines":5,"packageId":"","transText":""})");
    common["brandModel"] = vl::ToUtf8(vl::HardwareSummary());
    common["osVersion"] = vl::OsDescription();
    EXPECT_EQ(json::parse(sent[0].body), common);
    common["status"] = 1;
    common["platform"] = "windows";
    common["transText"] =
        R"([{"cache":0,"trans":"x","words":"a\"b"},{"cache":0,"trans":"你好","words":"こんにちは"}])";
    EXPECT_EQ(json::parse(sent[1].body), common);
    // The counts follow the save-nums answer; an absent one means 0.
    const UserInfo user = manager_->GetUser();
    EXPECT_EQ(user.nums, 9);
    EXPECT_EQ(user.vipNums, 0);
}

TEST_F(UsageReportTest, FailedTranslationSendsOnlyTheReport) {
    TranslateTask task;
    task.srcLang = 3;
    manager_->TranslateEnd(false, task, {});
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Header("Access-Token"), "");  // signed out: sent empty
    const json body = json::parse(sent[0].body);
    EXPECT_EQ(body.at("status"), 0);
    EXPECT_EQ(body.at("fromLang"), "jap");
    EXPECT_EQ(body.at("transText"), "null");
    EXPECT_FALSE(body.contains("errInfo"));
}

TEST_F(UsageReportTest, BadSaveNumsAnswersChangeNothing) {
    SignIn();
    const UserInfo before = manager_->GetUser();
    const std::pair<std::string, std::string> cases[] = {
        {"{", "parse json failed with exception, byte 2, id 101, "},
        {R"({"code":3,"msg":"次数不足"})", "parse translate save num failed, code 3, msg 次数不足"},
        {R"({"code":0,"msg":"","data":{"unlimited":false,"nums":"9"}})",
         R"(parse json failed with exception, {"code":0,"msg":"","data":{"unlimited":false,"nums":"9"}})"},
    };
    for (const auto& [body, log] : cases) {
        LogCapture::Get()->Clear();
        UserManagerCommandHttpPost answer;
        answer.ok = true;
        answer.response = body;
        manager_->ProcessCmdTranslateSaveNum(answer);
        EXPECT_TRUE(LogCapture::Get()->Contains(log)) << LogCapture::Get()->Dump();
        EXPECT_EQ(manager_->GetUser(), before) << body;
    }
}
