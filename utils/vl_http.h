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
#include "utils/vl_transfer.h"

namespace vl {

// The back-end's client: blocking requests on the caller's thread, and queued requests run one at
// a time on a request thread with completions on a response thread. Transfers go through
// vl::net::Send; only a 200 answer counts as success here.
class Http : public Singleton<Http> {
public:
    using Headers = std::map<std::string, std::string>;

    static constexpr std::int32_t kDefaultTimeoutMs = 3000;
    // A larger answer fails the request ("response is larger than N bytes").
    static constexpr std::size_t kMaxResponseBytes = std::size_t{4} << 20;

    struct Request {
        net::Verb verb = net::Verb::Get;
        std::string url{};
        Headers headers{};
        std::string body{};  // Post only
        // 0 or less means kDefaultTimeoutMs; it bounds the connection and the whole transfer.
        std::int32_t timeout = 0;
        // Runs the answer check (the account's need-login rule) on a 200 answer.
        bool checkLogin = true;
        std::size_t maxResponseBytes = kMaxResponseBytes;
    };

    struct Result {
        bool ok = false;  // a 200 answer
        // Without `ok`: "request is invalid", a header's fault, "perform request failed",
        // "response is larger than N bytes", "response error" (another status)…
        std::string error;
        std::int32_t httpCode = 0;
        std::string response;
    };

    using Callback = std::function<void(const Result& result)>;

    Http() = default;
    ~Http();

    bool Init();
    void Uninit();

    // A header name or value with a control character refuses the request.
    Result Sync(const Request& request);
    // True when queued; a refused request's callback is destroyed without being called.
    bool Async(Request request, Callback callback);

    // Called on the thread that ran the request with every 200 answer of a request that has
    // `checkLogin`, before its completion. The account logic installs its need-login rule here;
    // an empty function removes it.
    using AnswerCheck = std::function<void(const std::string& response)>;
    static void SetAnswerCheck(AnswerCheck check);

private:
    struct Job {
        Request request;
        Callback callback;
        Result result;
    };
    struct Queue {
        std::mutex mutex;
        std::condition_variable cv;
        std::deque<Job> items;
    };

    void ReqTh();
    void RespTh();
    void StopThreads();
    static Result RequestOnce(const Request& r);
    static bool checkRequest(const Request& r, std::string& error);
    static void PushTo(Queue& queue, Job job);

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
