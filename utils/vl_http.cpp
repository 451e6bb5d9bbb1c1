#include "utils/vl_http.h"

#include <pthread.h>

#include "utils/vl_curl.h"
#include "utils/vl_log.h"

namespace vl {

namespace {

static_assert(Http::kMaxResponseBytes == curl::kMaxAnswerBytes);

std::mutex g_checkMutex;
Http::AnswerCheck g_answerCheck;

}  // namespace

Http::~Http() {
    Uninit();
}

bool Http::Init() {
    std::lock_guard lifecycle(lifecycleMutex_);
    if (reqThread_.joinable()) {
        VL_INFO("already inited");
        return true;
    }
    const CURLcode rc = curl_global_init(CURL_GLOBAL_ALL);
    if (rc != CURLE_OK) {
        VL_ERROR("curl_global_init failed with {}, {}", static_cast<int>(rc),
                 curl_easy_strerror(rc));
        return false;
    }
    {
        std::scoped_lock lock(requests_.mutex, responses_.mutex);
        stop_ = false;
        requestThreadDone_ = false;
    }
    try {
        respThread_ = std::thread(&Http::RespTh, this);
        reqThread_ = std::thread(&Http::ReqTh, this);
    } catch (const std::system_error& e) {
        VL_ERROR("start http threads failed, {}", e.what());
        StopThreads();
        curl_global_cleanup();
        return false;
    }
    return true;
}

void Http::StopThreads() {
    {
        std::scoped_lock lock(requests_.mutex, responses_.mutex);
        stop_ = true;
        requests_.cv.notify_all();
        responses_.cv.notify_all();
    }
    if (reqThread_.joinable())
        reqThread_.join();
    {
        // A response thread without a request thread must not wait for one.
        std::lock_guard lock(responses_.mutex);
        requestThreadDone_ = true;
        responses_.cv.notify_all();
    }
    if (respThread_.joinable())
        respThread_.join();
}

void Http::Uninit() {
    std::lock_guard lifecycle(lifecycleMutex_);
    if (!reqThread_.joinable() && !respThread_.joinable()) {
        return;
    }
    StopThreads();
    curl_global_cleanup();
}

bool Http::checkRequest(const Request& r, std::string& error) {
    if (r.url.empty()) {
        VL_WARN("param is invalid");
        error = "request is invalid";
        return false;
    }
    curl::Slist lines;
    if (!curl::BuildHeaderList(r.headers, lines, error)) {
        VL_WARN("{}", error);
        return false;
    }
    return true;
}

Http::Result Http::Sync(const Request& request) {
    Result result;
    if (!checkRequest(request, result.error)) {
        VL_WARN("request is invalid");
        return result;
    }
    result = RequestOnce(request);
    if (!result.ok) {
        VL_WARN("RequestOnce failed");
    }
    return result;
}

bool Http::Async(Request request, Callback callback) {
    std::string error;
    if (!checkRequest(request, error)) {
        VL_WARN("request is invalid");
        return false;  // the callback is destroyed here, never called
    }
    PushTo(requests_, Job{std::move(request), std::move(callback), {}});
    return true;
}

void Http::PushTo(Queue& queue, Job job) {
    std::lock_guard lock(queue.mutex);
    queue.cv.notify_all();
    queue.items.push_back(std::move(job));
}

Http::Result Http::RequestOnce(const Request& r) {
    net::Request request;
    request.verb = r.verb;
    request.url = r.url;
    request.headers = r.headers;
    request.body = r.body;
    request.connectTimeoutMs = request.timeoutMs = r.timeout > 0 ? r.timeout : kDefaultTimeoutMs;
    request.maxAnswerBytes = r.maxResponseBytes;
    net::Result sent = net::Send(request);

    Result result;
    if (!sent.ok) {
        switch (sent.failure) {
            case net::Failure::Transfer:
                result.error = "perform request failed";
                break;
            case net::Failure::Status:
                result.error = "get response code failed";
                break;
            default:  // the request's own fault, or the answer's size
                result.error = std::move(sent.error);
                break;
        }
        return result;
    }
    result.httpCode = static_cast<std::int32_t>(sent.httpCode);
    result.response = std::move(sent.body);
    if (sent.httpCode != 200) {
        VL_ERROR("http request failed with response code {}", sent.httpCode);
        result.error = "response error";
        return result;
    }
    result.ok = true;
    if (r.checkLogin) {
        AnswerCheck check;
        {
            std::lock_guard lock(g_checkMutex);
            check = g_answerCheck;
        }
        if (check) {
            check(result.response);
        }
    }
    return result;
}

void Http::SetAnswerCheck(AnswerCheck check) {
    std::lock_guard lock(g_checkMutex);
    g_answerCheck = std::move(check);
}

void Http::ReqTh() {
    pthread_setname_np(pthread_self(), "http-request");
    VL_INFO("request thread in");
    for (;;) {
        Job job;
        {
            std::unique_lock lock(requests_.mutex);
            // Sleeps until there is work or the client stops; the queue is drained first.
            requests_.cv.wait(lock, [this] { return stop_ || !requests_.items.empty(); });
            if (requests_.items.empty()) {
                break;
            }
            job = std::move(requests_.items.front());
            requests_.items.pop_front();
        }
        job.result = RequestOnce(job.request);
        if (!job.result.ok) {
            VL_WARN("request once failed");
        }
        PushTo(responses_, std::move(job));
    }
    VL_INFO("request thread out");
}

void Http::RespTh() {
    pthread_setname_np(pthread_self(), "http-response");
    VL_INFO("response thread in");
    for (;;) {
        Job job;
        {
            std::unique_lock lock(responses_.mutex);
            // Leaves only when stopping, with nothing queued and nothing more to come.
            responses_.cv.wait(lock, [this] {
                return !responses_.items.empty() || (stop_ && requestThreadDone_);
            });
            if (responses_.items.empty()) {
                break;
            }
            job = std::move(responses_.items.front());
            responses_.items.pop_front();
        }
        if (job.callback) {
            job.callback(job.result);
        }
    }
    VL_INFO("response thread out");
}

}  // namespace vl
