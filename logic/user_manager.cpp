#include "logic/user_manager.h"

#include <pthread.h>

#include <algorithm>
#include <new>
#include <nlohmann/json.hpp>

#include "logic/need_login.h"
#include "logic/user_json.h"
#include "logic/user_phone.h"
#include "logic/user_qq.h"
#include "logic/user_wechat.h"
#include "protocol/backend_protocol.h"
#include "utils/vl_env.h"
#include "utils/vl_http.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

// Windows' ERROR_INVALID_WINDOW_HANDLE: the listener is gone.
constexpr int kErrorInvalidWindowHandle = 1400;

template <class T>
std::unique_ptr<T> NewPayload() {
    return std::unique_ptr<T>(new (std::nothrow) T());
}

}  // namespace

UserManager::UserManager()
    : phone_(*UserPhone::Instance()), wechat_(*UserWechat::Instance()), qq_(*UserQQ::Instance()) {}

UserManager::~UserManager() {
    Close();
}

bool UserManager::Open() {
    std::lock_guard lock(queueMutex_);
    if (cmdThread_.joinable()) {
        VL_WARN("already open");
        return true;
    }
    stop_ = false;
    account::SetNeedLoginHook([this] { PostToListeners(WM_USER_MANAGER_NEED_LOGIN); });
    try {
        cmdThread_ = std::thread(&UserManager::CmdTh, this);
    } catch (const std::system_error& e) {
        VL_ERROR("start command thread failed, {}", e.what());
        stop_ = true;
        return false;
    }
    return true;
}

void UserManager::Close() {
    account::SetNeedLoginHook(nullptr);
    {
        std::lock_guard lock(listenerMutex_);
        listeners_.clear();
    }
    std::thread th;
    {
        std::lock_guard lock(queueMutex_);
        stop_ = true;
        queueCv_.notify_all();
        th = std::move(cmdThread_);
        queue_.clear();
    }
    if (th.joinable()) {
        if (th.get_id() == std::this_thread::get_id()) {
            VL_ERROR("close called on the command thread, cannot join it");
            th.detach();
        } else {
            th.join();
        }
    }
    // The QR workers use the HTTP client, which shuts down after this.
    wechat_.Stop();
    qq_.Stop();
    {
        std::lock_guard lock(listenerMutex_);
        listeners_.clear();
    }
    std::lock_guard lock(queueMutex_);
    queue_.clear();
}

bool UserManager::IsOpen() {
    std::lock_guard lock(queueMutex_);
    return cmdThread_.joinable() && !stop_;
}

void UserManager::AddListener(vl::HWND wnd) {
    if (wnd == nullptr) {
        VL_WARN("wnd is invalid");
        return;
    }
    std::lock_guard lock(listenerMutex_);
    if (std::find(listeners_.begin(), listeners_.end(), wnd) != listeners_.end()) {
        VL_WARN("wnd {} is already a listener", static_cast<const void*>(wnd));
        return;
    }
    listeners_.push_back(wnd);
}

void UserManager::RemoveListener(vl::HWND wnd) {
    if (wnd == nullptr) {
        VL_WARN("wnd is invalid");
        return;
    }
    std::lock_guard lock(listenerMutex_);
    const auto it = std::find(listeners_.begin(), listeners_.end(), wnd);
    if (it == listeners_.end()) {
        VL_WARN("wnd {} is not a listener", static_cast<const void*>(wnd));
        return;
    }
    listeners_.erase(it);
}

bool UserManager::Push(UserManagerCommandType type,
                       std::unique_ptr<UserManagerCommandPayload> payload) {
    std::lock_guard lock(queueMutex_);
    if (!cmdThread_.joinable() || stop_) {
        VL_WARN("not open");
        return false;
    }
    queueCv_.notify_all();
    queue_.push_back(UserManagerCommand{static_cast<std::uint32_t>(type), std::move(payload)});
    return true;
}

bool UserManager::RequestPhoneCode(const std::string& phone) {
    if (phone.empty()) {
        VL_WARN("phone is invalid");
        return false;
    }
    if (!IsOpen()) {
        VL_WARN("not open");
        return false;
    }
    auto cmd = NewPayload<UserManagerCommandRequestPhoneCode>();
    if (!cmd) {
        VL_CRITICAL("create UserManagerCommandRequestPhoneCode failed, no enough memory");
        return false;
    }
    cmd->phone = phone;
    return Push(UserManagerCommandType::RequestPhoneCode, std::move(cmd));
}

bool UserManager::LoginPhone(const std::string& phone, const std::string& code) {
    if (phone.empty() || code.empty()) {
        VL_WARN("phone or code is invalid");
        return false;
    }
    if (!IsOpen()) {
        VL_WARN("not open");
        return false;
    }
    auto cmd = NewPayload<UserManagerCommandLoginPhone>();
    if (!cmd) {
        VL_CRITICAL("create UserManagerCommandLoginPhone failed, no enough memory");
        return false;
    }
    cmd->phone = phone;
    cmd->code = code;
    return Push(UserManagerCommandType::LoginPhone, std::move(cmd));
}

bool UserManager::LoginWechat() {
    return Push(UserManagerCommandType::LoginWechat, nullptr);
}

bool UserManager::LoginQQ() {
    return Push(UserManagerCommandType::LoginQQ, nullptr);
}

bool UserManager::LoginToken(const std::string& token) {
    if (token.empty()) {
        VL_WARN("token is invalid");
        return false;
    }
    if (!IsOpen()) {
        VL_WARN("not open");
        return false;
    }
    auto cmd = NewPayload<UserManagerCommandLoginToken>();
    if (!cmd) {
        VL_CRITICAL("create UserManagerCommandLoginToken failed, no enough memory");
        return false;
    }
    cmd->token = token;
    return Push(UserManagerCommandType::LoginToken, std::move(cmd));
}

bool UserManager::Logout(const std::string& reason) {
    if (!IsOpen()) {
        VL_WARN("not open");
        return false;
    }
    auto cmd = NewPayload<UserManagerCommandLogout>();
    if (!cmd) {
        VL_ERROR("create UserManagerCommandLogout failed, no enough memory");
        return false;
    }
    cmd->reason = reason;
    return Push(UserManagerCommandType::Logout, std::move(cmd));
}

bool UserManager::Update() {
    return Push(UserManagerCommandType::Update, nullptr);
}

void UserManager::CmdTh() {
    pthread_setname_np(pthread_self(), "user-manager");
    VL_INFO("command thread in");
    while (!stop_) {
        UserManagerCommand cmd;
        {
            std::unique_lock lock(queueMutex_);
            if (queue_.empty()) {
                queueCv_.wait_for(lock, kIdleStep, [this] { return stop_ || !queue_.empty(); });
            }
            if (stop_) {
                break;
            }
            if (queue_.empty()) {
                lock.unlock();
                ProcessIdle();
                continue;
            }
            cmd = std::move(queue_.front());
            queue_.pop_front();
        }
        Dispatch(cmd);
    }
    VL_INFO("command thread out");
}

void UserManager::Dispatch(const UserManagerCommand& cmd) {
    // Records come only from the issuing operations and the report completions, which always
    // attach the payload their type needs.
    const UserManagerCommandPayload* payload = cmd.payload.get();
    switch (static_cast<UserManagerCommandType>(cmd.type)) {
        case UserManagerCommandType::Logout:
            ProcessCmdLogout(static_cast<const UserManagerCommandLogout&>(*payload));
            break;
        case UserManagerCommandType::RequestPhoneCode:
            ProcessCmdRequestPhoneCode(
                static_cast<const UserManagerCommandRequestPhoneCode&>(*payload));
            break;
        case UserManagerCommandType::LoginPhone:
            ProcessCmdLoginPhone(static_cast<const UserManagerCommandLoginPhone&>(*payload));
            break;
        case UserManagerCommandType::LoginWechat:
            wechat_.Login();
            break;
        case UserManagerCommandType::LoginQQ:
            qq_.Login();
            break;
        case UserManagerCommandType::LoginToken:
            ProcessCmdLoginToken(static_cast<const UserManagerCommandLoginToken&>(*payload));
            break;
        case UserManagerCommandType::Update:
            ProcessCmdUpdate();
            break;
        case UserManagerCommandType::TranslateSaveNum:
            ProcessCmdTranslateSaveNum(static_cast<const UserManagerCommandHttpPost&>(*payload));
            break;
        case UserManagerCommandType::TranslateReport:
            ProcessCmdTranslateReport(static_cast<const UserManagerCommandHttpPost&>(*payload));
            break;
        default:
            VL_ERROR("unsupported cmd type {}, not impl ?", cmd.type);
            break;
    }
}

void UserManager::PostAccount(vl::UINT msg, bool ok, const std::u16string& err) {
    UserManagerAccountAnswer answer;
    if (ok) {
        answer.user = GetUser();
    } else {
        answer.error = vl::ToString(err);
    }
    PostToListeners(msg, ok ? 1 : 0, answer);
}

void UserManager::ProcessCmdLogout(const UserManagerCommandLogout& cmd) {
    phone_.ClearToken();
    wechat_.Cancel();
    qq_.Cancel();
    {
        std::lock_guard lock(infoMutex_);
        info_ = UserInfo{};
    }
    PostToListeners(WM_USER_MANAGER_LOGOUT, 0, UserManagerLogoutNotice{cmd.reason});
}

void UserManager::ProcessCmdRequestPhoneCode(const UserManagerCommandRequestPhoneCode& cmd) {
    std::u16string err;
    if (phone_.RequestCode(cmd.phone, err)) {
        PostToListeners(WM_USER_MANAGER_REQUEST_PHONE_CODE, 1, UserManagerPhoneCodeAnswer{});
        return;
    }
    VL_WARN("request code for phone {} failed", cmd.phone);
    PostToListeners(WM_USER_MANAGER_REQUEST_PHONE_CODE, 0, UserManagerPhoneCodeAnswer{err});
}

void UserManager::ProcessCmdLoginPhone(const UserManagerCommandLoginPhone& cmd) {
    std::u16string err;
    if (!phone_.Login(cmd.phone, cmd.code, err)) {
        VL_WARN("phone login failed, phone {}, code {}", cmd.phone, cmd.code);
        PostAccount(WM_USER_MANAGER_LOGIN, false, err);
        return;
    }
    if (GetUserInfo(phone_.GetToken(), LoginType::Phone, err)) {
        PostAccount(WM_USER_MANAGER_LOGIN, true, err);
        return;
    }
    VL_WARN("GetUserInfo failed");
    phone_.ClearToken();
    PostAccount(WM_USER_MANAGER_LOGIN, false, u"无法获取用户信息，请稍后再试");
}

void UserManager::ProcessCmdLoginToken(const UserManagerCommandLoginToken& cmd) {
    std::u16string err;
    if (GetUserInfo(cmd.token, LoginType::Token, err)) {
        PostAccount(WM_USER_MANAGER_LOGIN, true, err);
        return;
    }
    VL_WARN("GetUserInfo failed");
    qq_.Cancel();
    PostAccount(WM_USER_MANAGER_LOGIN, false, err);
}

void UserManager::ProcessCmdUpdate() {
    std::string token;
    LoginType type = LoginType::None;
    {
        std::lock_guard lock(infoMutex_);
        token = info_.token;
        type = info_.loginType;
    }
    std::u16string err;
    const bool ok = GetUserInfo(token, type, err);
    if (!ok) {
        VL_WARN("GetUserInfo failed");
    }
    PostAccount(WM_USER_MANAGER_UPDATE, ok, err);
}

void UserManager::ProcessIdle() {
    {
        std::lock_guard lock(infoMutex_);
        if (!info_.userId.empty()) {
            return;
        }
    }
    std::string token;
    LoginType type = LoginType::None;
    UserQr* other = nullptr;
    if (wechat_.HasToken()) {
        VL_INFO("wechat login ok");
        token = wechat_.GetToken();
        type = LoginType::Wechat;
        other = &qq_;
    } else if (qq_.HasToken()) {
        VL_INFO("qq login ok");
        token = qq_.GetToken();
        type = LoginType::QQ;
        other = &wechat_;
    } else {
        return;
    }
    phone_.ClearToken();
    other->Cancel();
    std::u16string err;
    const bool ok = GetUserInfo(token, type, err);
    if (!ok) {
        // The provider keeps its token: the next idle step tries it again.
        VL_WARN("GetUserInfo failed");
    }
    PostAccount(WM_USER_MANAGER_LOGIN, ok, err);
}

std::vector<vl::HWND> UserManager::Listeners() {
    std::lock_guard lock(listenerMutex_);
    return listeners_;
}

template <class T>
void UserManager::PostToListeners(vl::UINT msg, vl::WPARAM wParam, const T& payload) {
    for (const vl::HWND wnd : Listeners()) {
        auto copy = NewPayload<T>();
        if (!copy) {
            VL_ERROR("create message payload failed, no enough memory");
            continue;
        }
        *copy = payload;
        if (!vl::PostOwned(wnd, msg, wParam, std::move(copy))) {
            VL_ERROR("PostMessage failed, last error {}",
                     vl::IsWindow(wnd) ? 0 : kErrorInvalidWindowHandle);
        }
    }
}

void UserManager::PostToListeners(vl::UINT msg) {
    for (const vl::HWND wnd : Listeners()) {
        if (!vl::PostMessage(wnd, msg, 0, 0)) {
            VL_ERROR("PostMessage failed, last error {}",
                     vl::IsWindow(wnd) ? 0 : kErrorInvalidWindowHandle);
        }
    }
}

bool UserManager::GetUserInfo(const std::string& token, LoginType type, std::u16string& err) {
    if (token.empty()) {
        VL_INFO("token is empty");
        std::lock_guard lock(infoMutex_);
        info_ = UserInfo{};
        return true;
    }
    const vl::Http::Result answer =
        vl::Http::Instance()->Sync({.url = vl::ServiceUrl(velmora::protocol::kUserInfo.path),
                                    .headers = {{"Access-Token", token}},
                                    .timeout = kUserInfoTimeoutMs});
    if (!answer.ok) {
        VL_WARN("request user info failed");
        return false;
    }
    const std::string& response = answer.response;
    std::lock_guard lock(infoMutex_);
    // Read into a copy: an answer that breaks off half-way must not leave a half-updated
    // account (a user id without its token would pass for signed in).
    UserInfo updated = info_;
    if (!ReadUserInfoAnswer(response, updated, err)) {
        return false;
    }
    updated.token = token;
    updated.loginType = type;
    info_ = std::move(updated);
    return true;
}

bool UserManager::ReadUserInfoAnswer(const std::string& response, UserInfo& info,
                                     std::u16string& err) {
    try {
        const nlohmann::json root = vl::json::Parse(response);
        const user_json::Envelope envelope = user_json::ReadEnvelope(root);
        if (envelope.code != 0) {
            VL_WARN("request user info failed, code {}, msg {}", envelope.code, envelope.msg);
            // For 10505 the HTTP client has told the listeners already.
            if (envelope.code != velmora::protocol::kNeedLoginCode) {
                err = vl::ToWString(vl::ToUnicode(envelope.msg));
            }
            return false;
        }
        ReadUserData(root.at("data"), info);
        return true;
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, response);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(response);
    }
    return false;
}

UserInfo UserManager::GetUser() {
    std::lock_guard lock(infoMutex_);
    return info_;
}

UserInfo UserManager::UpdateSync() {
    UserInfo r = GetUser();
    std::u16string err;
    if (GetUserInfo(r.token, r.loginType, err)) {
        return GetUser();
    }
    VL_WARN("GetUserInfo failed");
    return r;
}

void UserManager::TranslateEnd(const TranslateOutcome& outcome) {
    nlohmann::json body = {
        {"logId", outcome.logId},
        {"image", ""},
        {"fromLang", outcome.fromLang},
        {"toLang", outcome.toLang},
        {"ocrVendor", outcome.ocrVendor},
        {"ocrTime", outcome.ocrTime},
        {"transType", 2},
        {"transVendor", outcome.transVendor},
        {"transTime", outcome.transTime},
        {"totalTime", outcome.ocrTime + outcome.transTime},
        {"transText", ""},
        {"brandModel", vl::ToUtf8(vl::HardwareSummary())},
        {"osVersion", vl::OsDescription()},
    };
    std::string token;
    {
        std::lock_guard lock(infoMutex_);
        token = info_.token;
    }
    const vl::Http::Headers headers{{"Content-Type", "application/json"}, {"Access-Token", token}};
    auto completion = [this](UserManagerCommandType type) {
        return [this, type](const vl::Http::Result& result) {
            auto cmd = NewPayload<UserManagerCommandHttpPost>();
            if (!cmd) {
                VL_ERROR("create UserManagerCommandHttpPost failed, no enough memory");
                return;
            }
            cmd->ok = result.ok;
            cmd->response = result.response;
            Push(type, std::move(cmd));
        };
    };
    vl::Http* http = vl::Http::Instance();
    if (outcome.ok) {
        body["errInfo"] = outcome.errInfo;
        body["gameId"] = 0;
        body["totalLines"] = 10;
        body["cacheLines"] = 5;
        body["packageId"] = "";
        if (!http->Async({.verb = vl::net::Verb::Post,
                          .url = vl::ServiceUrl(velmora::protocol::kTransSaveNums.path),
                          .headers = headers,
                          .body = user_json::Dump(body)},
                         completion(UserManagerCommandType::TranslateSaveNum))) {
            VL_WARN("report save num failed");
        }
    }
    body["status"] = outcome.ok ? 1 : 0;
    body["platform"] = "windows";
    nlohmann::json entries;  // stays null, written "null", when nothing was recognised
    for (const auto& [words, trans] : outcome.lines) {
        entries.push_back({{"words", words}, {"trans", trans}, {"cache", 0}});
    }
    body["transText"] = user_json::Dump(entries);
    http->Async({.verb = vl::net::Verb::Post,
                 .url = vl::ServiceUrl(velmora::protocol::kTransReport.path),
                 .headers = headers,
                 .body = user_json::Dump(body)},
                completion(UserManagerCommandType::TranslateReport));
}

void UserManager::TranslateEnd(bool ok, const TranslateTask& task,
                               const std::vector<TranslateLine>& lines) {
    TranslateOutcome outcome;
    outcome.ok = ok;
    outcome.logId = task.logId;
    outcome.errInfo = task.ocrErrInfo.empty() ? task.transErrInfo : task.ocrErrInfo;
    outcome.fromLang = vl::LangIdToCode(task.srcLang);
    outcome.toLang = vl::LangIdToCode(task.dstLang);
    for (const TranslateLine& line : lines) {
        outcome.lines[line.text] = vl::ToUtf8(line.translation);  // the later of equal texts wins
    }
    outcome.ocrVendor = task.ocrVendor;
    outcome.ocrTime = task.ocrTime;
    outcome.transVendor = task.transVendor;
    outcome.transTime = task.transTime;
    TranslateEnd(outcome);
}

void UserManager::ProcessCmdTranslateSaveNum(const UserManagerCommandHttpPost& cmd) {
    if (!cmd.ok) {
        VL_WARN("translate report failed, {}", vl::json::Excerpt(cmd.response));
        return;
    }
    try {
        const nlohmann::json root = vl::json::Parse(cmd.response);
        const user_json::Envelope envelope = user_json::ReadEnvelope(root);
        if (envelope.code == static_cast<int>(velmora::protocol::Code::QuotaUsedUp)) {
            VL_WARN("translations used up, msg {}", vl::ToUnicode(envelope.msg));
            UserManagerCountsNotice counts;
            {
                std::lock_guard lock(infoMutex_);
                info_.freeNums = info_.vipNums = info_.nums = 0;
                counts.user = info_;
            }
            PostToListeners(WM_USER_MANAGER_COUNTS, 0, counts);
            return;
        }
        if (envelope.code != 0) {
            VL_WARN("parse translate save num failed, code {}, msg {}", envelope.code,
                    vl::ToUnicode(envelope.msg));
            return;
        }
        const nlohmann::json& data = root.at("data");
        if (data.at("unlimited").get<bool>()) {
            return;  // not counted
        }
        const auto optional = [&data](const char* key) {
            const auto it = data.find(key);
            return it == data.end() || it->is_null() ? 0 : user_json::ToInt32(*it);
        };
        const std::int32_t freeNums = optional("freeNums");
        const std::int32_t vipNums = optional("vipNums");
        const std::int32_t nums = user_json::ToInt32(data.at("nums"));
        UserManagerCountsNotice counts;
        {
            std::lock_guard lock(infoMutex_);
            info_.freeNums = freeNums;
            info_.vipNums = vipNums;
            info_.nums = nums;
            counts.user = info_;
        }
        PostToListeners(WM_USER_MANAGER_COUNTS, 1, counts);
    } catch (const nlohmann::json::parse_error& e) {
        VL_ERROR("parse json failed with exception, byte {}, id {}, {}, {}", e.byte, e.id, e.what(),
                 vl::json::Excerpt(cmd.response));
    } catch (const std::exception&) {
        VL_ERROR("parse json failed with exception, {}", vl::json::Excerpt(cmd.response));
    }
}

void UserManager::ProcessCmdTranslateReport(const UserManagerCommandHttpPost& cmd) {
    if (!cmd.ok) {
        VL_WARN("translate report failed, {}", vl::json::Excerpt(cmd.response));
    }
}

bool AutoLoginWithToken(const std::string& token) {
    if (token.empty()) {
        VL_INFO("no token, do not auto login");
        return false;
    }
    if (!UserManager::Instance()->LoginToken(token)) {
        VL_WARN("login with token failed");
        return false;
    }
    return true;
}
