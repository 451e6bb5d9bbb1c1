#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logic/translate_types.h"
#include "logic/user_info.h"
#include "utils/vl_singleton.h"
#include "utils/vl_wnd.h"

class UserPhone;
class UserWechat;
class UserQQ;

// Messages posted to the listener windows, each with its own copy of its payload, in the order
// they happened. A listener takes the payload with vl::TakePosted<T>(lParam); what it does not
// take is freed after the handler returns.
//
// wParam 1 success, 0 failure; payload UserManagerPhoneCodeAnswer.
inline constexpr vl::UINT WM_USER_MANAGER_REQUEST_PHONE_CODE = vl::WM_USER + 100;
// wParam 1 success, 0 failure; payload UserManagerAccountAnswer.
inline constexpr vl::UINT WM_USER_MANAGER_LOGIN = vl::WM_USER + 101;
// wParam 0; payload UserManagerLogoutNotice.
inline constexpr vl::UINT WM_USER_MANAGER_LOGOUT = vl::WM_USER + 102;
// As WM_USER_MANAGER_LOGIN, for the answer to Update.
inline constexpr vl::UINT WM_USER_MANAGER_UPDATE = vl::WM_USER + 103;
// After a translation was charged: wParam 1, the account's counts changed; 0, the account has no
// translations left (that one was not counted). Payload UserManagerCountsNotice.
inline constexpr vl::UINT WM_USER_MANAGER_COUNTS = vl::WM_USER + 104;
// wParam 0, lParam 0: the back-end no longer accepts the token (code 10505).
inline constexpr vl::UINT WM_USER_MANAGER_NEED_LOGIN = vl::WM_USER + 200;

struct UserManagerPhoneCodeAnswer {
    std::u16string error;  // on failure, the text to show (may be empty)
};
struct UserManagerAccountAnswer {
    UserInfo user;      // on success, the account as it now stands
    std::string error;  // on failure, the text to show (may be empty)
};
struct UserManagerCountsNotice {
    UserInfo user;  // the account with its new counts
};
struct UserManagerLogoutNotice {
    std::string reason;  // as given to Logout
};

// A finished translation as it is reported to the back-end.
struct TranslateOutcome {
    bool ok = false;
    std::string logId;
    std::string errInfo;
    std::string fromLang;  // settings codes ("jap", "chs" …)
    std::string toLang;
    std::map<std::string, std::string> lines;  // source text -> translation
    std::string ocrVendor;
    std::int64_t ocrTime = 0;
    std::string transVendor;
    std::int64_t transTime = 0;
};

enum class UserManagerCommandType : std::uint32_t {
    Logout = 1,
    RequestPhoneCode = 2,
    LoginPhone = 3,
    LoginWechat = 4,
    LoginQQ = 5,
    LoginToken = 6,
    Update = 7,
    TranslateSaveNum = 8,  // answer to "/trans/save-nums"
    TranslateReport = 9,   // answer to "/trans/report"
};

struct UserManagerCommandPayload {
    virtual ~UserManagerCommandPayload() = default;
};
struct UserManagerCommandLogout : UserManagerCommandPayload {
    std::string reason;
};
struct UserManagerCommandRequestPhoneCode : UserManagerCommandPayload {
    std::string phone;
};
struct UserManagerCommandLoginPhone : UserManagerCommandPayload {
    std::string phone;
    std::string code;
};
struct UserManagerCommandLoginToken : UserManagerCommandPayload {
    std::string token;
};
struct UserManagerCommandHttpPost : UserManagerCommandPayload {
    bool ok = false;
    std::string response;
};

struct UserManagerCommand {
    std::uint32_t type = 0;
    std::unique_ptr<UserManagerCommandPayload> payload;  // null for types without one
};

// The owner of the signed-in account. Account operations are queued as commands and run one at
// a time on the command thread; results reach the listener windows as the messages above.
class UserManager final : public vl::Singleton<UserManager> {
public:
    ~UserManager();

    // Starts the command thread and fills the HTTP client's need-login hook.
    bool Open();
    // Forgets the listeners, ends the command thread (within about a second) and the QR workers.
    // Queued commands are dropped; messages posted already still reach windows that exist. Safe on
    // the listeners' own thread.
    void Close();
    bool IsOpen();

    // Listener windows, in registration order.
    void AddListener(vl::HWND wnd);
    void RemoveListener(vl::HWND wnd);

    // Each queues a command and returns true, or logs why not and returns false.
    bool RequestPhoneCode(const std::string& phone);
    bool LoginPhone(const std::string& phone, const std::string& code);
    bool LoginWechat();
    bool LoginQQ();
    bool LoginToken(const std::string& token);
    bool Logout(const std::string& reason);
    bool Update();

    // Requests "/user/info" with `token` and stores the answer as the current account. An empty
    // token signs out without a request. On failure `err` holds the text to show, or is left as
    // it was.
    bool GetUserInfo(const std::string& token, LoginType type, std::u16string& err);
    // The reading half of GetUserInfo: a "/user/info" answer into `info` (which a failure may
    // leave partly written). On a refusal other than 10505, `err` gets the back-end's message.
    static bool ReadUserInfoAnswer(const std::string& response, UserInfo& info,
                                   std::u16string& err);
    // A copy of the current account.
    UserInfo GetUser();
    // Refreshes the account on the caller's thread and returns it; no message is sent.
    UserInfo UpdateSync();

    // Reports a finished translation to the back-end ("/trans/save-nums" when ok, then
    // "/trans/report"); returns at once.
    void TranslateEnd(const TranslateOutcome& outcome);
    // The same, with the inputs taken from a finished task.
    void TranslateEnd(bool ok, const TranslateTask& task, const std::vector<TranslateLine>& lines);

    // Command-thread steps, public for the tests that drive them directly.
    void ProcessIdle();
    void ProcessCmdTranslateSaveNum(const UserManagerCommandHttpPost& cmd);
    void ProcessCmdTranslateReport(const UserManagerCommandHttpPost& cmd);

    static constexpr std::chrono::milliseconds kIdleStep{1000};
    static constexpr std::int32_t kUserInfoTimeoutMs = 2000;

private:
    friend class vl::Singleton<UserManager>;
    UserManager();

    bool Push(UserManagerCommandType type, std::unique_ptr<UserManagerCommandPayload> payload);
    void CmdTh();
    void Dispatch(const UserManagerCommand& cmd);
    void ProcessCmdLogout(const UserManagerCommandLogout& cmd);
    void ProcessCmdRequestPhoneCode(const UserManagerCommandRequestPhoneCode& cmd);
    void ProcessCmdLoginPhone(const UserManagerCommandLoginPhone& cmd);
    void ProcessCmdLoginToken(const UserManagerCommandLoginToken& cmd);
    void ProcessCmdUpdate();
    // Posts `msg` with wParam 1 and the account, or wParam 0 and `err` as narrow text.
    void PostAccount(vl::UINT msg, bool ok, const std::u16string& err);
    // Posts `msg` to every listener, each with its own copy of `payload`.
    template <class T>
    void PostToListeners(vl::UINT msg, vl::WPARAM wParam, const T& payload);
    void PostToListeners(vl::UINT msg);
    std::vector<vl::HWND> Listeners();

    std::atomic<bool> stop_{false};  // written under queueMutex_
    std::thread cmdThread_;          // guarded by queueMutex_; exists while open
    std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<UserManagerCommand> queue_;
    std::recursive_mutex listenerMutex_;
    std::vector<vl::HWND> listeners_;
    std::recursive_mutex infoMutex_;
    UserInfo info_;
    UserPhone& phone_;
    UserWechat& wechat_;
    UserQQ& qq_;
};

// Start-up: signs in with the token stored in the settings, when there is one. True when a
// login was queued; the answer arrives as WM_USER_MANAGER_LOGIN.
bool AutoLoginWithToken(const std::string& token);
