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

// Messages sent to the listener windows. Pointers in lParam are valid only while the message is
// handled; a listener copies what it keeps.
//
// wParam 1 success, 0 failure; lParam on failure: const std::u16string* (text to show).
inline constexpr vl::UINT WM_USER_MANAGER_REQUEST_PHONE_CODE = vl::WM_USER + 100;
// wParam 1: lParam is const UserInfo* (the new account); 0: const std::string* (text to show).
inline constexpr vl::UINT WM_USER_MANAGER_LOGIN = vl::WM_USER + 101;
// wParam 0; lParam is const std::string* (the reason given to Logout).
inline constexpr vl::UINT WM_USER_MANAGER_LOGOUT = vl::WM_USER + 102;
// As WM_USER_MANAGER_LOGIN, for the answer to Update.
inline constexpr vl::UINT WM_USER_MANAGER_UPDATE = vl::WM_USER + 103;
// After a translation was charged: wParam 1, the account's counts changed; 0, the account has no
// translations left (that one was not counted). lParam is const UserInfo* (the account).
inline constexpr vl::UINT WM_USER_MANAGER_COUNTS = vl::WM_USER + 104;
// wParam 0, lParam 0: the back-end no longer accepts the token (code 10505).
inline constexpr vl::UINT WM_USER_MANAGER_NEED_LOGIN = vl::WM_USER + 200;

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
    // Abandons deliveries in flight, ends the command thread (within about a second) and the QR
    // workers, and forgets the listeners. Queued commands are dropped. Safe on the listeners'
    // own thread while the command thread is delivering to it.
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

    // Delivers a message synchronously to every listener (any thread).
    void PostMessageToListeners(vl::UINT msg, vl::WPARAM wParam, vl::LPARAM lParam);

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
    // "/trans/report"); returns at once. `lines` maps each source text to its translation.
    void TranslateEnd(bool ok, const std::string& logId, const std::string& errInfo,
                      const std::string& fromLang, const std::string& toLang,
                      const std::map<std::string, std::string>& lines, const std::string& ocrVendor,
                      std::int64_t ocrTime, const std::string& transVendor, std::int64_t transTime);
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
    // Sends `msg` with wParam 1 and the account, or wParam 0 and `err` as narrow text.
    void SendResult(vl::UINT msg, bool ok, const std::u16string& err);

    std::atomic<bool> stop_{false};  // written under queueMutex_
    std::thread cmdThread_;          // guarded by queueMutex_; exists while open
    std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<UserManagerCommand> queue_;
    std::recursive_mutex listenerMutex_;
    std::vector<vl::HWND> listeners_;
    // Lets Close cut short a delivery whose receiver will not run it (the receiver is the thread
    // calling Close).
    vl::SendGate gate_;
    std::recursive_mutex infoMutex_;
    UserInfo info_;
    UserPhone& phone_;
    UserWechat& wechat_;
    UserQQ& qq_;
};

// Start-up: signs in with the token stored in the settings, when there is one. True when a
// login was queued; the answer arrives as WM_USER_MANAGER_LOGIN.
bool AutoLoginWithToken(const std::string& token);
