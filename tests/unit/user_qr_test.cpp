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
            return openerWorks_;
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
    bool openerWorks_ = true;
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
    EXPECT_EQ(wechat_->GetToken(), "wx");
    EXPECT_EQ(Opened(), std::vector<std::string>{"https://open.example/qr?s=st-1"});
    const auto sent = backend_.Requests(kWechatPoll);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].body, R"({"state":"st-1"})");

    // While the token is held, a new login starts nothing.
    wechat_->Login();
    EXPECT_EQ(backend_.Requests(kWechatQr).size(), 1u);
}

TEST_F(UserQrTest, QqUsesItsOwnPathsWithTheDoubledSlash) {
    backend_.Set(kQqQr, 200, QrAnswer("q-state", "http://graph.example/qr"));
    backend_.Set(kQqPoll, 200, R"({"code":0,"msg":"","data":{"accessToken":"qq"}})");
    qq_->Login();
    ASSERT_TRUE(WaitUntil([&] { return qq_->HasToken(); }));
    const auto polls = backend_.Requests(kQqPoll);
    ASSERT_EQ(polls.size(), 1u);
    EXPECT_EQ(polls[0].target.substr(0, polls[0].target.find('?')), "/login//qq/ouath");
}

// Each ends the worker by itself, before any poll: the back-end fails, sends a page that is no
// web address, or the browser cannot be started.
TEST_F(UserQrTest, FailuresBeforePollingEndTheWorker) {
    const std::pair<std::string, std::string> cases[] = {
        {"not json", "ParseQrUrl failed, response is \r\nnot json"},
        {QrAnswer("s", "file:///etc/passwd"), "open url failed, url file:///etc/passwd"},
        {QrAnswer("s", "https://open.example/qr"), "open url failed, url https://open.example/qr"},
    };
    openerWorks_ = false;
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
            case 3:  // a token that would inject a header
                return AccountBackend::Reply{
                    200, R"({"code":0,"msg":"","data":{"accessToken":"a\nX: y"}})"};
            default:
                return AccountBackend::Reply{200,
                                             R"({"code":0,"msg":"","data":{"accessToken":"q"}})"};
        }
    });
    qq_->Login();
    ASSERT_TRUE(WaitUntil([&] { return qq_->HasToken(); }));
    EXPECT_EQ(polls.load(), 4);
    EXPECT_EQ(qq_->GetToken(), "q");
}
