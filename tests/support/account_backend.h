#pragma once

// Test helpers for the account code: a scripted back-end on 127.0.0.1 and listener windows that
// keep copies of the user manager's messages. Header-only; included by the account tests.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "logic/user_info.h"
#include "logic/user_manager.h"
#include "logic/user_phone.h"
#include "logic/user_qq.h"
#include "logic/user_wechat.h"
#include "protocol/backend_protocol.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "utils/vl_browser.h"
#include "utils/vl_http.h"
#include "utils/vl_services.h"
#include "utils/vl_wnd.h"

namespace vl::test {

// The back-end's account paths, scripted; the process's back-end URL points here while the
// object lives.
class AccountBackend : public LoopbackServer {
public:
    AccountBackend() : saved_(vl::Services()) {
        namespace b = velmora::protocol;
        for (const auto& e :
             {b::kUserInfo, b::kSmsSendCode, b::kLoginSms, b::kLoginQqOauthInfo,
              b::kLoginWechatQrInfo, b::kLoginQqPoll, b::kLoginWechatPoll, b::kTransSaveNums,
              b::kTransReport, b::kGiftFreeNums, b::kAppUpdate}) {
            Route(e.method == b::Method::Post, e.path);
        }
        Start();
        vl::ServiceConfig config = saved_;
        config.backend.url = Url();
        vl::SetServices(config);
    }
    ~AccountBackend() override {
        Stop();
        vl::SetServices(saved_);
    }

    // A "/user/info" answer for one user.
    static std::string UserInfoAnswer(const std::string& userId, const std::string& nickname,
                                      int nums = 5) {
        return R"({"code":0,"msg":"ok","data":{"userId":")" + userId + R"(","nickname":")" +
               nickname +
               R"(","avatar":"http://a/1.png","vipLevel":1,"vipEnd":"2030-01-02 03:04:05",)"
               R"("vipNums":2,"freeTimeEnd":"2024-05-01 08:00:00","freeNums":3,"nums":)" +
               std::to_string(nums) + R"(,"freeGift":0,"config":{"delay":7},"vips":[]}})";
    }

private:
    vl::ServiceConfig saved_;
};

// What a listener window received, with the payload taken over while the message was handled.
struct ListenerMessage {
    vl::UINT msg = 0;
    vl::WPARAM wParam = 0;
    UserInfo info;     // WM_USER_MANAGER_LOGIN / _UPDATE with wParam 1
    std::string text;  // their error text, or the reason of a logout
};

// A recording window on a message loop of its own thread, like a window of the UI thread.
class ListenerWindow final : public vl::IMessageHandler {
public:
    ListenerWindow() {
        std::promise<void> ready;
        thread_ = std::thread([this, &ready] {
            vl::MessageQueueLoop loop;
            loop_ = &loop;
            hwnd_ = vl::RegisterWindow(this, &loop);
            ready.set_value();
            loop.Run();
            vl::UnregisterWindow(hwnd_);
        });
        ready.get_future().wait();
    }
    ~ListenerWindow() {
        loop_->Quit();
        thread_.join();
    }

    vl::HWND Hwnd() const { return hwnd_; }

    vl::LRESULT HandleMessage(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam) override {
        ListenerMessage m{msg, wParam, {}, {}};
        if (msg == WM_USER_MANAGER_LOGIN || msg == WM_USER_MANAGER_UPDATE) {
            if (auto answer = vl::TakePosted<UserManagerAccountAnswer>(lParam)) {
                m.info = std::move(answer->user);
                m.text = std::move(answer->error);
            }
        } else if (msg == WM_USER_MANAGER_LOGOUT) {
            if (auto notice = vl::TakePosted<UserManagerLogoutNotice>(lParam)) {
                m.text = std::move(notice->reason);
            }
        }
        std::lock_guard lock(mutex_);
        messages_.push_back(std::move(m));
        return 0;
    }

    // Every message so far, or those of one kind.
    std::vector<ListenerMessage> Messages(vl::UINT only = 0) {
        std::lock_guard lock(mutex_);
        std::vector<ListenerMessage> out;
        for (const auto& m : messages_) {
            if (only == 0 || m.msg == only)
                out.push_back(m);
        }
        return out;
    }

    // The `count`-th message `msg` (1-based), waiting at most ten seconds for it.
    std::optional<ListenerMessage> WaitFor(vl::UINT msg, std::size_t count = 1) {
        std::optional<ListenerMessage> found;
        WaitUntil([&] {
            const auto seen = Messages(msg);
            if (seen.size() >= count)
                found = seen[count - 1];
            return found.has_value();
        });
        return found;
    }

private:
    std::mutex mutex_;
    std::vector<ListenerMessage> messages_;
    vl::MessageQueueLoop* loop_ = nullptr;
    vl::HWND hwnd_ = nullptr;
    std::thread thread_;
};

inline std::vector<UserQr*> QrProviders() {
    return {UserWechat::Instance(), UserQQ::Instance()};
}

// No provider holding a token, QR polls every 10 ms (RestoreQrPolls puts the interval back).
inline void ResetProviders() {
    UserPhone::Instance()->ClearToken();
    for (UserQr* p : QrProviders()) {
        p->Cancel();
        p->Stop();
        p->SetPollInterval(std::chrono::milliseconds(10));
    }
}

inline void RestoreQrPolls() {
    for (UserQr* p : QrProviders()) {
        p->Stop();
        p->SetPollInterval(UserQr::kPollInterval);
    }
}

// The pages the program asks the browser to open, while the object lives.
class OpenedPages {
public:
    OpenedPages() {
        vl::SetUrlOpener([this](const std::string& url) {
            std::lock_guard lock(mutex_);
            urls_.push_back(url);
            return works.load();
        });
    }
    ~OpenedPages() { vl::SetUrlOpener(nullptr); }
    std::vector<std::string> Get() {
        std::lock_guard lock(mutex_);
        return urls_;
    }
    std::atomic<bool> works{true};

private:
    std::mutex mutex_;
    std::vector<std::string> urls_;
};

// The user manager open against the back-end at `url`, signed out, with `listener` on its list;
// everything put back when destroyed.
class AccountEngineRun {
public:
    AccountEngineRun(const std::string& url, vl::HWND listener) : saved_(vl::Services()) {
        LogCapture::Get()->Clear();
        vl::ServiceConfig config = saved_;
        config.backend.url = url;
        vl::SetServices(config);
        ok = vl::Http::Instance()->Init();
        ResetProviders();
        std::u16string err;
        manager->GetUserInfo("", LoginType::None, err);
        ok = ok && manager->Open();
        manager->AddListener(listener);
    }
    ~AccountEngineRun() {
        manager->Close();
        vl::Http::Instance()->Uninit();
        RestoreQrPolls();
        vl::SetServices(saved_);
    }
    AccountEngineRun(const AccountEngineRun&) = delete;
    AccountEngineRun& operator=(const AccountEngineRun&) = delete;

    UserManager* const manager = UserManager::Instance();
    OpenedPages opened;
    bool ok = false;

private:
    vl::ServiceConfig saved_;
};

// A running user manager with a scripted back-end and one listener window.
class AccountTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(run_.ok); }

    AccountBackend backend_;
    ListenerWindow listener_;
    AccountEngineRun run_{backend_.Url(), listener_.Hwnd()};
    UserManager* manager_ = run_.manager;
};

}  // namespace vl::test
