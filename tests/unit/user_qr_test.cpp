#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>

#include "logic/user_qq.h"
#include "logic/user_wechat.h"
#include "tests/support/account_backend.h"
#include "tests/support/log_capture.h"
#include "utils/vl_http.h"

using namespace std::chrono_literals;
using vl::test::AccountBackend;
using vl::test::LogCapture;
using vl::test::WaitUntil;

namespace {

const char* kWechatQr = "/login/wechat/qr-info";
const char* kWechatPoll = "/login/wechat/qr";
const char* kQqQr = "/login/qq/oauth-info";
const char* kQqPoll = "/login//qq/ouath";

std::string QrAnswer(const std::string& state, const std::string& url) {
    return nlohmann::json{{"code", 0}, {"msg", ""}, {"data", {{"state", state}, {"url", url}}}}
        .dump();
}

const std::string kWaiting = R"({"code":40001,"msg":"waiting"})";

class UserQrTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogCapture::Get()->Clear();
        for (UserQr* p : {static_cast<UserQr*>(wechat_), static_cast<UserQr*>(qq_)}) {
            p->Cancel();
            p->Stop();
            p->SetPollInterval(10ms);
        }
        vl::Http::SetUrlOpener([this](const std::string& url) {
            std::lock_guard lock(mutex_);
            opened_.push_back(url);
            return true;
        });
    }
    void TearDown() override {
        wechat_->Stop();
        qq_->Stop();
        for (UserQr* p : {static_cast<UserQr*>(wechat_), static_cast<UserQr*>(qq_)}) {
            p->SetPollInterval(UserQr::kPollInterval);
        }
        vl::Http::SetUrlOpener(nullptr);
    }
    std::vector<std::string> Opened() {
        std::lock_guard lock(mutex_);
        return opened_;
    }

    AccountBackend backend_;
    UserWechat* wechat_ = UserWechat::Instance();
    UserQQ* qq_ = UserQQ::Instance();
    std::mutex mutex_;
    std::vector<std::string> opened_;
};

}  // namespace

TEST_F(UserQrTest, WechatOpensTheQrPageAndPollsUntilItGetsAToken) {
    backend_.Set(kWechatQr, 200, QrAnswer("st-1", "https://open.example/qr?s=st-1"));
    std::atomic<int> polls{0};
    backend_.Set(kWechatPoll, [&polls](const httplib::Request&) {
        return ++polls < 3 ? AccountBackend::Reply{200, kWaiting}
                           : AccountBackend::Reply{
                                 200, R"({"code":0,"msg":"","data":{"accessToken":"wx"}})"};
    });
    wechat_->Login();
    ASSERT_TRUE(WaitUntil([&] { return !wechat_->GetToken().empty(); }));
    EXPECT_TRUE(wechat_->HasToken());
    EXPECT_EQ(wechat_->GetToken(), "wx");
    EXPECT_EQ(Opened(), std::vector<std::string>{"https://open.example/qr?s=st-1"});

    const auto qr = backend_.Requests(kWechatQr);
    ASSERT_EQ(qr.size(), 1u);
    EXPECT_EQ(qr[0].method, "GET");
    EXPECT_EQ(qr[0].Header("Access-Token"), "");
    const auto sent = backend_.Requests(kWechatPoll);
    ASSERT_EQ(sent.size(), 3u);
    for (const auto& poll : sent) {
        EXPECT_EQ(poll.body, R"({"state":"st-1"})");
        EXPECT_EQ(poll.Header("Content-Type"), "application/json");
        EXPECT_EQ(poll.Header("Access-Token"), "");
    }
    auto* log = LogCapture::Get().get();
    EXPECT_TRUE(log->Has("worker in"));
    EXPECT_TRUE(log->Has("open url https://open.example/qr?s=st-1 ok"));
    EXPECT_EQ(log->Count("parse access token failed, code 40001, msg waiting"), 2u);
    EXPECT_TRUE(log->Has("get token ok"));

    // While the token is held, a new login starts nothing.
    wechat_->Login();
    EXPECT_TRUE(log->Has("already login"));
    EXPECT_EQ(backend_.Requests(kWechatQr).size(), 1u);
    EXPECT_TRUE(backend_.Requests(kQqQr).empty());
}

TEST_F(UserQrTest, QqUsesItsOwnPathsWithTheDoubledSlash) {
    backend_.Set(kQqQr, 200, QrAnswer("q-state", "http://graph.example/qr"));
    backend_.Set(kQqPoll, 200, R"({"code":0,"msg":"","data":{"accessToken":"qq"}})");
    qq_->Login();
    ASSERT_TRUE(WaitUntil([&] { return qq_->HasToken(); }));
    EXPECT_EQ(qq_->GetToken(), "qq");
    const auto polls = backend_.Requests(kQqPoll);
    ASSERT_EQ(polls.size(), 1u);
    EXPECT_EQ(polls[0].target.substr(0, polls[0].target.find('?')), "/login//qq/ouath");
    EXPECT_TRUE(backend_.Requests(kWechatQr).empty());
    EXPECT_FALSE(wechat_->HasToken());
}

TEST_F(UserQrTest, FailuresBeforePollingEndTheWorkerWithoutAPage) {
    struct Case {
        int status;
        std::string body;
        std::vector<std::string> logs;
    };
    const Case cases[] = {
        {500, "down", {"request qr failed"}},
        {200, QrAnswer("", "https://open.example/qr"), {"state is invalid"}},
        {200, QrAnswer("s", ""), {"qr url is invalid, " + QrAnswer("s", "")}},
        {200, R"({"code":3,"msg":"关闭"})", {"parse qr state and url failed, code 3, msg 关闭"}},
        {200, "not json", {"ParseQrUrl failed, response is \r\nnot json"}},
        {200,
         R"({"code":0,"msg":"","data":{"state":1,"url":"u"}})",
         {"parse json failed with exception, json is \r\n"
          R"({"code":0,"msg":"","data":{"state":1,"url":"u"}})"}},
        {200, "", {"json is empty"}},
        // Addresses the back-end sends are opened only when they are web pages.
        {200, QrAnswer("s", "file:///etc/passwd"), {"open url failed, url file:///etc/passwd"}},
        {200, QrAnswer("s", "javascript:alert(1)"), {"open url failed, url javascript:alert(1)"}},
    };
    for (const Case& c : cases) {
        LogCapture::Get()->Clear();
        backend_.Set(kWechatQr, c.status, c.body);
        wechat_->Login();
        // The worker ends by itself; Stop only joins it.
        ASSERT_TRUE(WaitUntil([&] { return LogCapture::Get()->Contains(c.logs.front()); }))
            << c.body << "\n"
            << LogCapture::Get()->Dump();
        wechat_->Stop();
        for (const auto& text : c.logs) {
            EXPECT_TRUE(LogCapture::Get()->Contains(text)) << c.body << "\n"
                                                           << LogCapture::Get()->Dump();
        }
        EXPECT_FALSE(LogCapture::Get()->Has("need stop")) << c.body;
        EXPECT_FALSE(wechat_->HasToken());
    }
    EXPECT_TRUE(Opened().empty());
    EXPECT_TRUE(backend_.Requests(kWechatPoll).empty());
}

TEST_F(UserQrTest, StoppingDuringPollingLeavesNoToken) {
    backend_.Set(kWechatQr, 200, QrAnswer("s", "https://open.example/qr"));
    backend_.Set(kWechatPoll, 200, kWaiting);
    wechat_->SetPollInterval(std::chrono::hours(1));  // only a stop ends the wait
    wechat_->Login();
    ASSERT_TRUE(WaitUntil([&] { return LogCapture::Get()->Contains("open url https://"); }));
    wechat_->Cancel();
    wechat_->Stop();
    EXPECT_TRUE(LogCapture::Get()->Has("need stop"));
    EXPECT_FALSE(wechat_->HasToken());
    EXPECT_TRUE(backend_.Requests(kWechatPoll).empty());
}

TEST_F(UserQrTest, LoginWhilePollingStartsAFreshWorker) {
    std::atomic<int> states{0};
    backend_.Set(kWechatQr, [&states](const httplib::Request&) {
        const std::string state = "s" + std::to_string(++states);
        return AccountBackend::Reply{200, QrAnswer(state, "https://open.example/" + state)};
    });
    backend_.Set(kWechatPoll, 200, kWaiting);
    wechat_->Login();
    ASSERT_TRUE(backend_.WaitForRequests(kWechatPoll, 1));
    wechat_->Login();
    EXPECT_TRUE(LogCapture::Get()->Has("need stop"));
    ASSERT_TRUE(WaitUntil([&] {
        const auto polls = backend_.Requests(kWechatPoll);
        return !polls.empty() && polls.back().body == R"({"state":"s2"})";
    }));
    EXPECT_EQ(Opened(),
              (std::vector<std::string>{"https://open.example/s1", "https://open.example/s2"}));
    wechat_->Stop();
    EXPECT_EQ(LogCapture::Get()->Count("need stop"), 2u);
    EXPECT_FALSE(wechat_->HasToken());
}

TEST_F(UserQrTest, PollFailuresAreRetried) {
    backend_.Set(kQqQr, 200, QrAnswer("s", "https://open.example/qr"));
    std::atomic<int> polls{0};
    backend_.Set(kQqPoll, [&polls](const httplib::Request&) {
        switch (++polls) {
            case 1:
                return AccountBackend::Reply{503, "busy"};
            case 2:
                return AccountBackend::Reply{200, "garbage"};
            case 3:
                return AccountBackend::Reply{200,
                                             R"({"code":0,"msg":"","data":{"accessToken":""}})"};
            default:
                return AccountBackend::Reply{200,
                                             R"({"code":0,"msg":"","data":{"accessToken":"q"}})"};
        }
    });
    qq_->Login();
    ASSERT_TRUE(WaitUntil([&] { return qq_->HasToken(); }));
    EXPECT_EQ(polls.load(), 4);
    EXPECT_TRUE(LogCapture::Get()->Has("request result failed"));
    EXPECT_TRUE(LogCapture::Get()->Contains("parse json failed with exception, byte 1, id 101, "));
}
