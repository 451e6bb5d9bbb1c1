#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "utils/vl_env.h"  // vl::ServiceUrl
#include "utils/vl_singleton.h"

namespace vl {

// The one HTTP client of the process: blocking GET/POST on the caller's thread, and queued
// GET/POST run one at a time on a request thread with completions on a response thread.
class Http : public Singleton<Http> {
public:
    using Headers = std::map<std::string, std::string>;
    // ok, error, httpCode, response, then the request's url, body and timeout.
    using Callback = std::function<void(bool ok, const std::string& error, std::int32_t httpCode,
                                        const std::string& response, const std::string& url,
                                        const std::string& body, std::int32_t timeout)>;

    static constexpr std::int32_t kDefaultTimeoutMs = 3000;
    // A larger answer fails the request ("response is larger than N bytes").
    static constexpr std::size_t kMaxResponseBytes = std::size_t{4} << 20;

    struct Request {
        bool isPost = false;
        std::string url;
        Headers headers;
        std::string body;
        std::int32_t timeout = 0;
        bool checkLogin = true;
        std::size_t maxResponseBytes = kMaxResponseBytes;
        Callback callback;
        bool ok = false;
        std::string error;
        std::int32_t httpCode = 0;
        std::string response;
    };

    Http() = default;
    ~Http();

    bool Init();
    void Uninit();

    // `timeout` of 0 or less means the default. The need-login rule applies. A header name or
    // value with a control character refuses the request.
    bool GetSync(std::string& error, std::int32_t& httpCode, std::string& response,
                 const std::string& url, const Headers& headers, std::int32_t timeout);
    bool PostSync(std::string& error, std::int32_t& httpCode, std::string& response,
                  const std::string& url, const Headers& headers, const std::string& body,
                  std::int32_t timeout, bool checkLogin,
                  std::size_t maxResponseBytes = kMaxResponseBytes);
    // True when queued; a refused request's callback is destroyed without being called.
    bool GetAsync(Callback callback, const std::string& url, const Headers& headers);
    bool PostAsync(Callback callback, const std::string& url, const Headers& headers,
                   const std::string& body);

    // Opens an absolute http:// or https:// address in the user's browser; anything else is
    // refused. False when the opener fails (xdg-open exits with an error: no browser); waits at
    // most a few seconds for it, so a browser that stays in front does not hold the caller.
    static bool OpenUrlWithDefaultBrowser(const std::string& url);
    // Replaces the browser launcher (tests); an empty function restores xdg-open.
    using UrlOpener = std::function<bool(const std::string& url)>;
    static void SetUrlOpener(UrlOpener opener);

    // Called (on the thread that ran the request) when a 200 answer carries code 10505. The user
    // manager fills it; until then the rule only logs.
    using NeedLoginHook = std::function<void()>;
    static void SetNeedLoginHook(NeedLoginHook hook);
    // The rule itself: a JSON object whose top-level "code" is 10505 (a number or its text).
    static bool IsNeedLoginAnswer(const std::string& response);

private:
    struct Queue {
        std::mutex mutex;
        std::condition_variable cv;
        std::deque<Request> items;
    };

    void ReqTh();
    void RespTh();
    void StopThreads();
    static bool RequestOnce(Request& r);
    static bool checkRequest(const std::string& url, const Headers& headers, std::string& error);
    static void checkNeedLogin(const std::string& response);
    static bool Sync(std::string& error, std::int32_t& httpCode, std::string& response, bool isPost,
                     const std::string& url, const Headers& headers, const std::string& body,
                     std::int32_t timeout, bool checkLogin, std::size_t maxResponseBytes);
    bool Async(Callback callback, bool isPost, const std::string& url, const Headers& headers,
               const std::string& body);

    std::mutex lifecycleMutex_;  // Init and Uninit
    // Written under both queue locks, read under either.
    bool stop_ = false;
    bool requestThreadDone_ = false;
    std::thread reqThread_;
    Queue requests_;
    std::thread respThread_;
    Queue responses_;
};

}  // namespace vl
