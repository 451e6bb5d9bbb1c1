#include "logic/user_qr.h"

#include <pthread.h>

#include <nlohmann/json.hpp>

#include "logic/user_json.h"
#include "utils/vl_browser.h"
#include "utils/vl_curl.h"
#include "utils/vl_http.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

UserQr::UserQr(const Paths& paths) : paths_(paths) {}

UserQr::~UserQr() {
    Stop();
}

void UserQr::Login() {
    std::lock_guard control(controlMutex_);
    {
        std::lock_guard lock(providerMutex_);
        if (!token_.empty()) {
            VL_INFO("already login");
            return;
        }
    }
    // The old worker stores its result under the provider lock, so it is joined without it.
    StopLocked();
    {
        std::lock_guard lock(providerMutex_);
        token_.clear();
        stop_ = false;
    }
    try {
        worker_ = std::thread(&UserQr::Worker, this);
    } catch (const std::system_error& e) {
        VL_ERROR("start worker failed, {}", e.what());
        stop_ = true;
    }
}

void UserQr::Stop() {
    std::lock_guard control(controlMutex_);
    StopLocked();
}

void UserQr::StopLocked() {
    {
        std::lock_guard lock(workerMutex_);
        stop_ = true;
        wake_.notify_all();
    }
    if (!worker_.joinable()) {
        return;
    }
    if (worker_.get_id() == std::this_thread::get_id()) {
        VL_ERROR("worker cannot stop itself");
        return;
    }
    worker_.join();
}

void UserQr::Cancel() {
    std::lock_guard lock(providerMutex_);
    {
        std::lock_guard wakeLock(workerMutex_);
        stop_ = true;
        wake_.notify_all();
    }
    token_.clear();
}

bool UserQr::HasToken() {
    {
        std::lock_guard lock(providerMutex_);
        if (token_.empty()) {
            return false;
        }
    }
    Stop();  // the worker has normally ended already
    std::lock_guard lock(providerMutex_);
    return !token_.empty();
}

std::string UserQr::GetToken() {
    std::lock_guard lock(providerMutex_);
    return token_;
}

void UserQr::SetPollInterval(std::chrono::milliseconds interval) {
    pollIntervalMs_ = interval.count();
}

void UserQr::Worker() {
    pthread_setname_np(pthread_self(), paths_.threadName);
    VL_INFO("worker in");
    const std::string token = Run();
    std::lock_guard lock(providerMutex_);
    // A stop that came while the last poll was under way wins: a logout must not be undone.
    if (!token.empty() && !stop_) {
        token_ = token;
    }
}

bool UserQr::Stopped(const char* what) {
    if (!stop_) {
        return false;
    }
    VL_INFO("{}", what);
    return true;
}

std::string UserQr::Run() {
    if (Stopped("worker stopped")) {
        return {};
    }
    vl::Http* http = vl::Http::Instance();
    vl::Http::Result answer = http->Sync({.url = vl::ServiceUrl(paths_.qrInfo.path),
                                          .headers = {{"Access-Token", ""}},
                                          .timeout = kRequestTimeoutMs});
    if (!answer.ok) {
        VL_WARN("request qr failed");
        return {};
    }
    if (Stopped("worker stopped")) {
        return {};
    }
    std::string state, url;
    if (!ParseQrUrl(answer.response, state, url)) {
        VL_WARN("ParseQrUrl failed, response is \r\n{}", vl::json::Excerpt(answer.response));
        return {};
    }
    if (Stopped("worker stopped")) {
        return {};
    }
    // The address comes from the back-end; the opener takes nothing but http and https.
    if (!vl::OpenUrlWithDefaultBrowser(url)) {
        VL_WARN("open url failed, url {}", url);
        return {};
    }
    if (Stopped("worker stopped")) {
        return {};
    }
    VL_INFO("open url {} ok", url);

    const vl::Http::Request poll{
        .verb = vl::net::Verb::Post,
        .url = vl::ServiceUrl(paths_.poll.path),
        .headers = {{"Access-Token", ""}, {"Content-Type", "application/json"}},
        .body = user_json::Dump({{"state", state}}),
        .timeout = kRequestTimeoutMs};
    for (;;) {
        {
            std::unique_lock lock(workerMutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(pollIntervalMs_.load()),
                           [this] { return stop_.load(); });
            if (Stopped("need stop")) {
                return {};
            }
        }
        answer = http->Sync(poll);
        if (!answer.ok) {
            VL_WARN("request result failed");
            continue;
        }
        std::string token;
        if (ParseAccessToken(answer.response, token)) {
            VL_INFO("get token ok");
            return token;
        }
    }
}

bool UserQr::ParseQrUrl(const std::string& response, std::string& state, std::string& url) {
    if (response.empty()) {
        VL_WARN("json is empty");
        return false;
    }
    try {
        const nlohmann::json root = vl::json::Parse(response);
        const user_json::Envelope envelope = user_json::ReadEnvelope(root);
        if (envelope.code != 0) {
            VL_WARN("parse qr state and url failed, code {}, msg {}", envelope.code,
                    vl::ToUnicode(envelope.msg));
            return false;
        }
        const nlohmann::json& data = root.at("data");
        state = data.at("state").get<std::string>();
        if (state.empty()) {
            VL_WARN("state is invalid");
            return false;
        }
        url = data.at("url").get<std::string>();
        if (url.empty()) {
            VL_WARN("qr url is invalid, {}", vl::json::Excerpt(response));
            return false;
        }
        return true;
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, response);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(response);
    }
    return false;
}

bool UserQr::ParseAccessToken(const std::string& response, std::string& token) {
    if (response.empty()) {
        VL_WARN("json is empty");
        return false;
    }
    try {
        const nlohmann::json root = vl::json::Parse(response);
        const user_json::Envelope envelope = user_json::ReadEnvelope(root);
        if (envelope.code != 0) {
            // The usual answer until the code has been scanned.
            VL_INFO("parse access token failed, code {}, msg {}", envelope.code,
                    vl::ToUnicode(envelope.msg));
            return false;
        }
        std::string received = root.at("data").at("accessToken").get<std::string>();
        if (!vl::curl::IsHeaderSafe(received)) {
            // It goes into a header of every later request.
            VL_WARN("access token has a control character, refused");
            return false;
        }
        token = std::move(received);
        return !token.empty();
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, response);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(response);
    }
    return false;
}
