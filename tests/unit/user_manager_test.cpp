#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "tests/support/account_backend.h"

using namespace std::chrono_literals;
using vl::test::AccountBackend;
using vl::test::AccountTest;
using vl::test::ListenerWindow;
using vl::test::LogCapture;
using vl::test::WaitUntil;

namespace {

const char* kUserInfo = "/user/info";
const char* kLoginSms = "/login/sms";

// "/user/info" answers by token: each known token is one user.
AccountBackend::Script UsersByToken(std::map<std::string, std::string> users) {
    return [users](const httplib::Request& req) {
        const auto it = users.find(req.get_header_value("Access-Token"));
        if (it == users.end())
            return AccountBackend::Reply{200, R"({"code":4001,"msg":"无效的令牌"})"};
        return AccountBackend::Reply{200, AccountBackend::UserInfoAnswer(it->second, "N")};
    };
}

std::string QrAnswer(const std::string& state) {
    return R"({"code":0,"msg":"","data":{"state":")" + state +
           R"(","url":"https://open.example/qr"}})";
}

}  // namespace

using UserManagerTest = AccountTest;

TEST_F(UserManagerTest, PhoneLoginSignsInOrExplainsWhyNot) {
    backend_.Set(kLoginSms, 200, R"({"code":0,"msg":"","data":{"accessToken":"p-tok"}})");
    backend_.Set(kUserInfo, UsersByToken({{"p-tok", "u-phone"}}));
    ASSERT_TRUE(manager_->LoginPhone("13800000000", "123456"));
    auto got = listener_.WaitFor(WM_USER_MANAGER_LOGIN);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->wParam, 1u);
    EXPECT_EQ(got->info.userId, "u-phone");
    EXPECT_EQ(got->info.token, "p-tok");
    EXPECT_EQ(got->info.loginType, LoginType::Phone);
    EXPECT_EQ(manager_->GetUser(), got->info);

    // A refused code: the back-end's message, as narrow text.
    backend_.Set(kLoginSms, 200, R"({"code":1001,"msg":"验证码错误"})");
    ASSERT_TRUE(manager_->LoginPhone("13800000000", "000000"));
    got = listener_.WaitFor(WM_USER_MANAGER_LOGIN, 2);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->wParam, 0u);
    EXPECT_EQ(got->text, "验证码错误");

    // The token is accepted but the account cannot be read: always the same text, and the
    // phone provider forgets the token.
    backend_.Set(kLoginSms, 200, R"({"code":0,"msg":"","data":{"accessToken":"p-2"}})");
    backend_.Set(kUserInfo, 200, R"({"code":5000,"msg":"数据库错误"})");
    ASSERT_TRUE(manager_->LoginPhone("13800000000", "123456"));
    got = listener_.WaitFor(WM_USER_MANAGER_LOGIN, 3);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->wParam, 0u);
    EXPECT_EQ(got->text, "无法获取用户信息，请稍后再试");
    EXPECT_FALSE(UserPhone::Instance()->HasToken());
}

TEST_F(UserManagerTest, TokenLoginUpdateAndLogout) {
    backend_.Set(kUserInfo, UsersByToken({{"stored", "u-9"}}));
    ASSERT_TRUE(AutoLoginWithToken("stored"));
    auto got = listener_.WaitFor(WM_USER_MANAGER_LOGIN);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->info.loginType, LoginType::Token);

    // Update refreshes with the same token and login type.
    backend_.Set(kUserInfo, 200, AccountBackend::UserInfoAnswer("u-9", "N", 41));
    ASSERT_TRUE(manager_->Update());
    got = listener_.WaitFor(WM_USER_MANAGER_UPDATE);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->info.nums, 41);
    EXPECT_EQ(backend_.Requests(kUserInfo).back().Header("Access-Token"), "stored");

    // A failed refresh reports the back-end's text and keeps the account.
    backend_.Set(kUserInfo, 200, R"({"code":2,"msg":"稍后再试"})");
    ASSERT_TRUE(manager_->Update());
    got = listener_.WaitFor(WM_USER_MANAGER_UPDATE, 2);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->wParam, 0u);
    EXPECT_EQ(got->text, "稍后再试");
    EXPECT_EQ(manager_->GetUser().nums, 41);

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
    EXPECT_EQ(all[0].wParam, 0u);
    EXPECT_EQ(all[0].lParam, 0);
    EXPECT_EQ(all[1].msg, WM_USER_MANAGER_LOGIN);
}

TEST_F(UserManagerTest, ABrokenAnswerLeavesTheAccountWhole) {
    std::u16string err;
    backend_.Set(kUserInfo, 200, AccountBackend::UserInfoAnswer("123", "Mia"));
    ASSERT_TRUE(manager_->GetUserInfo("tok", LoginType::Wechat, err));
    const UserInfo user = manager_->GetUser();
    EXPECT_EQ(user.token, "tok");
    EXPECT_EQ(user.loginType, LoginType::Wechat);

    // Cut short after the user id: a half-read account would pass for someone else signed in.
    const std::string cutShort =
        R"({"code":0,"msg":"","data":{"userId":"someone-else","nickname":"X","avatar":""}})";
    backend_.Set(kUserInfo, 200, cutShort);
    EXPECT_FALSE(manager_->GetUserInfo("other", LoginType::QQ, err));
    EXPECT_TRUE(
        LogCapture::Get()->Has("parse json failed with exception, json is \r\n" + cutShort));
    EXPECT_EQ(manager_->GetUser(), user);
    EXPECT_TRUE(err.empty());

    // UpdateSync refreshes on this thread and sends nothing.
    backend_.Set(kUserInfo, 200, AccountBackend::UserInfoAnswer("123", "Mia", 99));
    EXPECT_EQ(manager_->UpdateSync().nums, 99);
    EXPECT_TRUE(listener_.Messages().empty());
}

TEST_F(UserManagerTest, IdleStepPrefersWechatAndStopsTheOtherProvider) {
    auto* wechat = UserWechat::Instance();
    auto* qq = UserQQ::Instance();
    backend_.Set(kUserInfo, UsersByToken({{"seed", "u0"}, {"wx", "u-wx"}, {"qq", "u-qq"}}));
    // Signed in, the idle step leaves finished QR logins alone.
    ASSERT_TRUE(manager_->LoginToken("seed"));
    ASSERT_TRUE(listener_.WaitFor(WM_USER_MANAGER_LOGIN));
    backend_.Set("/login/wechat/qr-info", 200, QrAnswer("w"));
    backend_.Set("/login/qq/oauth-info", 200, QrAnswer("q"));
    backend_.Set("/login/wechat/qr", 200, R"({"code":0,"msg":"","data":{"accessToken":"wx"}})");
    backend_.Set("/login//qq/ouath", 200, R"({"code":0,"msg":"","data":{"accessToken":"qq"}})");
    qq->Login();
    wechat->Login();
    ASSERT_TRUE(WaitUntil([&] { return !qq->GetToken().empty() && !wechat->GetToken().empty(); }));
    EXPECT_EQ(listener_.Messages(WM_USER_MANAGER_LOGIN).size(), 1u);

    // Signed out with both tokens present: WeChat wins and QQ is stopped.
    std::u16string err;
    manager_->GetUserInfo("", LoginType::None, err);
    const auto got = listener_.WaitFor(WM_USER_MANAGER_LOGIN, 2);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->wParam, 1u);
    EXPECT_EQ(got->info.userId, "u-wx");
    EXPECT_EQ(got->info.token, "wx");
    EXPECT_EQ(got->info.loginType, LoginType::Wechat);
    EXPECT_TRUE(qq->GetToken().empty());
    EXPECT_EQ(wechat->GetToken(), "wx");  // kept until a logout
}

TEST_F(UserManagerTest, QrLoginCompletesThroughTheIdleStepAndRetriesAFailedAccountRead) {
    backend_.Set("/login/qq/oauth-info", 200, QrAnswer("q"));
    backend_.Set("/login//qq/ouath", 200, R"({"code":0,"msg":"","data":{"accessToken":"qq"}})");
    std::atomic<int> reads{0};
    backend_.Set(kUserInfo, [&reads](const httplib::Request&) {
        return ++reads == 1
                   ? AccountBackend::Reply{500, ""}
                   : AccountBackend::Reply{200, AccountBackend::UserInfoAnswer("u-qq", "Q")};
    });
    ASSERT_TRUE(manager_->LoginQQ());
    const auto failed = listener_.WaitFor(WM_USER_MANAGER_LOGIN);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->wParam, 0u);
    EXPECT_EQ(failed->text, "");
    const auto ok = listener_.WaitFor(WM_USER_MANAGER_LOGIN, 2);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->wParam, 1u);
    EXPECT_EQ(ok->info.loginType, LoginType::QQ);
    EXPECT_EQ(Opened(), std::vector<std::string>{"https://open.example/qr"});
}

TEST_F(UserManagerTest, LogoutDuringQrPollingEndsTheWorker) {
    backend_.Set("/login/wechat/qr-info", 200, QrAnswer("w"));
    backend_.Set("/login/wechat/qr", 200, R"({"code":40001,"msg":"waiting"})");
    LogCapture::Get()->Clear();
    ASSERT_TRUE(manager_->LoginWechat());
    ASSERT_TRUE(backend_.WaitForRequests("/login/wechat/qr", 2));
    ASSERT_TRUE(manager_->Logout("user choose to logout"));
    ASSERT_TRUE(listener_.WaitFor(WM_USER_MANAGER_LOGOUT));
    ASSERT_TRUE(WaitUntil([] { return LogCapture::Get()->Has("need stop"); }));
    const auto polls = backend_.Requests("/login/wechat/qr").size();
    UserWechat::Instance()->Stop();
    EXPECT_FALSE(UserWechat::Instance()->HasToken());
    EXPECT_LE(backend_.Requests("/login/wechat/qr").size(), polls + 1);
    EXPECT_TRUE(listener_.Messages(WM_USER_MANAGER_LOGIN).empty());
}

namespace {

// A loop owned by the test's thread that says when work was handed to it.
class WatchedLoop final : public vl::IMessageLoop {
public:
    bool IsLoopThread() const override { return inner_.IsLoopThread(); }
    bool Dispatch(std::function<void()> work) override {
        const bool ok = inner_.Dispatch(std::move(work));
        std::lock_guard lock(mutex_);
        ++dispatched_;
        cv_.notify_all();
        return ok;
    }
    bool WaitForDispatch(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [this] { return dispatched_ > 0; });
    }
    std::size_t RunPending() { return inner_.RunPending(); }

private:
    vl::MessageQueueLoop inner_;
    std::mutex mutex_;
    std::condition_variable cv_;
    int dispatched_ = 0;
};

class RecordingHandler final : public vl::IMessageHandler {
public:
    vl::LRESULT HandleMessage(vl::UINT, vl::WPARAM, vl::LPARAM) override {
        ++handled;
        return 0;
    }
    std::atomic<int> handled{0};
};

// Releases a sender stuck on `hwnd` should Close hang, so the test fails instead of hanging.
class Watchdog {
public:
    explicit Watchdog(vl::HWND hwnd)
        : thread_([this, hwnd] {
              std::unique_lock lock(mutex_);
              if (!cv_.wait_for(lock, 10s, [this] { return done_; })) {
                  fired = true;
                  vl::BeginDestroyWindow(hwnd);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
            cv_.notify_all();
        }
        thread_.join();
    }
    std::atomic<bool> fired{false};

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace

// The window lives on this thread, which does not pump while it closes the manager: the command
// thread waits in a delivery to it.
TEST_F(UserManagerTest, CloseOnTheListenersThreadReleasesTheCommandThread) {
    WatchedLoop loop;
    RecordingHandler window;
    const vl::HWND hwnd = vl::RegisterWindow(&window, &loop);
    manager_->RemoveListener(listener_.Hwnd());
    manager_->AddListener(hwnd);
    ASSERT_TRUE(manager_->Logout("kick"));
    ASSERT_TRUE(loop.WaitForDispatch(10s));  // the command thread is now blocked sending

    const auto start = std::chrono::steady_clock::now();
    {
        Watchdog watchdog(hwnd);
        manager_->Close();
        EXPECT_FALSE(watchdog.fired) << "Close hung until the window was destroyed";
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_FALSE(manager_->IsOpen());
    EXPECT_TRUE(LogCapture::Get()->Has("command thread out"));
    // The abandoned delivery never reaches the window.
    EXPECT_GE(loop.RunPending(), 1u);
    EXPECT_EQ(window.handled.load(), 0);
    vl::UnregisterWindow(hwnd);

    // Opened again, deliveries work as before.
    ASSERT_TRUE(manager_->Open());
    manager_->AddListener(listener_.Hwnd());
    ASSERT_TRUE(manager_->Logout("again"));
    const auto got = listener_.WaitFor(WM_USER_MANAGER_LOGOUT);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->text, "again");
}

TEST_F(UserManagerTest, CloseReleasesANeedLoginDeliveryFromAnotherThread) {
    WatchedLoop loop;
    RecordingHandler window;
    const vl::HWND hwnd = vl::RegisterWindow(&window, &loop);
    manager_->RemoveListener(listener_.Hwnd());
    manager_->AddListener(hwnd);
    backend_.Set(kUserInfo, UsersByToken({{"t", "u"}}));
    std::u16string err;
    ASSERT_TRUE(manager_->GetUserInfo("t", LoginType::Token, err));
    backend_.Set(kUserInfo, 200, R"({"code":10505,"msg":"kicked"})");
    auto refresh = std::async(std::launch::async, [this] { return manager_->UpdateSync(); });
    ASSERT_TRUE(loop.WaitForDispatch(10s));
    {
        Watchdog watchdog(hwnd);
        manager_->Close();
        EXPECT_EQ(refresh.wait_for(5s), std::future_status::ready);
        EXPECT_FALSE(watchdog.fired);
    }
    EXPECT_EQ(refresh.get().userId, "u");
    loop.RunPending();
    EXPECT_EQ(window.handled.load(), 0);
    vl::UnregisterWindow(hwnd);
}
