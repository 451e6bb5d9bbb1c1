#include "utils/vl_http.h"

#include <pthread.h>

#include <nlohmann/json.hpp>

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>

#include "utils/vl_launch.h"
#include "utils/vl_curl.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace vl {

namespace {

static_assert(Http::kMaxResponseBytes == curl::kMaxAnswerBytes);

constexpr int kNeedLoginCode = 10505;
// Only the envelope's top-level "code" matters to the need-login rule: larger or deeper answers
// are not examined at all.
constexpr std::size_t kMaxCheckedBody = 1 << 20;
constexpr std::size_t kMaxCheckedDepth = json::kMaxDepth;
constexpr std::uint64_t kMaxExactInteger = std::uint64_t{1} << 53;

// xdg-open hands the address over and ends; one that is still running after this has started a
// browser in front of it.
constexpr std::chrono::milliseconds kOpenerWait{3000};

std::mutex g_hookMutex;
Http::NeedLoginHook g_needLoginHook;
Http::UrlOpener g_urlOpener;

// Reads the top-level "code" of a JSON text without building the document.
class EnvelopeCodeReader : public nlohmann::json_sax<nlohmann::json> {
public:
    enum class Kind { None, Number, Text, Other };

    explicit EnvelopeCodeReader(const std::string& body) : body_(body) {}

    Kind kind = Kind::None;
    std::int64_t number = 0;
    std::string text;
    bool rootIsObject = false;
    bool failed = false;
    bool tooDeep = false;

    bool null() override { return Value(Kind::Other); }
    bool boolean(bool) override { return Value(Kind::Other); }
    bool number_integer(number_integer_t v) override { return Number(v); }
    bool number_unsigned(number_unsigned_t v) override {
        return v <= kMaxExactInteger ? Number(static_cast<std::int64_t>(v)) : Value(Kind::Other);
    }
    // Only a whole number in range is a code; 10505.5 or 1e300 matches nothing.
    bool number_float(number_float_t v, const string_t&) override {
        if (!(v >= -static_cast<double>(kMaxExactInteger) &&
              v <= static_cast<double>(kMaxExactInteger)) ||
            v != std::trunc(v)) {
            return Value(Kind::Other);
        }
        return Number(static_cast<std::int64_t>(v));
    }
    bool string(string_t& v) override {
        if (AtCode()) {
            kind = Kind::Text;
            text = v;
        }
        codeNext_ = false;
        return true;
    }
    bool binary(binary_t&) override { return Value(Kind::Other); }
    bool start_object(std::size_t) override { return Open(true); }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return Open(false); }
    bool end_array() override { return Close(); }
    bool key(string_t& k) override {
        codeNext_ = depth_ == 1 && k == "code";
        return true;
    }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& e) override {
        failed = true;
        VL_ERROR("parse json failed with exception, byte {}, id {}, {}, json is \r\n {}", position,
                 e.id, e.what(), json::Excerpt(body_));
        return false;
    }

private:
    bool AtCode() const { return codeNext_ && depth_ == 1; }
    bool Value(Kind k) {
        if (AtCode())
            kind = k;
        codeNext_ = false;
        return true;
    }
    bool Number(std::int64_t v) {
        if (AtCode()) {
            kind = Kind::Number;
            number = v;
        }
        codeNext_ = false;
        return true;
    }
    bool Open(bool object) {
        if (depth_ == 0)
            rootIsObject = object;
        Value(Kind::Other);
        if (++depth_ > kMaxCheckedDepth) {
            tooDeep = true;
            return false;
        }
        return true;
    }
    bool Close() {
        --depth_;
        return true;
    }

    const std::string& body_;
    std::size_t depth_ = 0;
    bool codeNext_ = false;
};

// atoi's reading of a code sent as text (leading blanks, a sign, digits), without its undefined
// behaviour: a number that does not fit matches nothing.
bool LeadingNumberIs(const std::string& text, std::int64_t wanted) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && text[i] == '+')
        ++i;
    std::int64_t value = 0;
    const auto r = std::from_chars(text.data() + i, text.data() + text.size(), value);
    return r.ec == std::errc() && value == wanted;
}

void PushTo(std::mutex& mutex, std::condition_variable& cv, std::deque<Http::Request>& items,
            Http::Request r) {
    std::lock_guard lock(mutex);
    cv.notify_all();
    items.push_back(std::move(r));
}

bool IsWebAddress(const std::string& url) {
    std::string scheme;
    const auto sep = url.find("://");
    if (sep == std::string::npos)
        return false;
    for (std::size_t i = 0; i < sep; ++i) {
        scheme.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(url[i]))));
    }
    if (scheme != "http" && scheme != "https")
        return false;
    const std::size_t hostStart = sep + 3;
    if (hostStart >= url.size() || url[hostStart] == '/' || url[hostStart] == '?' ||
        url[hostStart] == '#') {
        return false;  // no host
    }
    for (const char c : url) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F)
            return false;  // spaces and control characters
    }
    return true;
}

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

bool Http::checkRequest(const std::string& url, const Headers& headers, std::string& error) {
    if (url.empty()) {
        VL_WARN("param is invalid");
        error = "request is invalid";
        return false;
    }
    curl::Slist lines;
    if (!curl::BuildHeaderList(headers, lines, error)) {
        VL_WARN("{}", error);
        return false;
    }
    return true;
}

bool Http::GetSync(std::string& error, std::int32_t& httpCode, std::string& response,
                   const std::string& url, const Headers& headers, std::int32_t timeout) {
    return Sync(error, httpCode, response, false, url, headers, std::string(), timeout, true,
                kMaxResponseBytes);
}

bool Http::PostSync(std::string& error, std::int32_t& httpCode, std::string& response,
                    const std::string& url, const Headers& headers, const std::string& body,
                    std::int32_t timeout, bool checkLogin, std::size_t maxResponseBytes) {
    return Sync(error, httpCode, response, true, url, headers, body, timeout, checkLogin,
                maxResponseBytes);
}

bool Http::Sync(std::string& error, std::int32_t& httpCode, std::string& response, bool isPost,
                const std::string& url, const Headers& headers, const std::string& body,
                std::int32_t timeout, bool checkLogin, std::size_t maxResponseBytes) {
    if (!checkRequest(url, headers, error)) {
        VL_WARN("request is invalid");
        return false;
    }
    Request r;
    r.isPost = isPost;
    r.url = url;
    r.headers = headers;
    r.body = body;
    r.timeout = timeout > 0 ? timeout : kDefaultTimeoutMs;
    r.checkLogin = checkLogin;
    r.maxResponseBytes = maxResponseBytes;
    if (!RequestOnce(r)) {
        VL_WARN("RequestOnce failed");
    }
    error = r.error;
    httpCode = r.httpCode;
    response = std::move(r.response);
    return r.ok;
}

bool Http::GetAsync(Callback callback, const std::string& url, const Headers& headers) {
    return Async(std::move(callback), false, url, headers, std::string());
}

bool Http::PostAsync(Callback callback, const std::string& url, const Headers& headers,
                     const std::string& body) {
    return Async(std::move(callback), true, url, headers, body);
}

bool Http::Async(Callback callback, bool isPost, const std::string& url, const Headers& headers,
                 const std::string& body) {
    std::string error;
    if (!checkRequest(url, headers, error)) {
        VL_WARN("request is invalid");
        return false;  // the callback is destroyed here, never called
    }
    Request r;
    r.isPost = isPost;
    r.url = url;
    r.headers = headers;
    r.body = body;
    r.timeout = kDefaultTimeoutMs;
    r.checkLogin = true;
    r.callback = std::move(callback);
    PushTo(requests_.mutex, requests_.cv, requests_.items, std::move(r));
    return true;
}

bool Http::RequestOnce(Request& r) {
    r.ok = false;
    curl::Easy handle(curl_easy_init());
    if (!handle) {
        r.error = "curl_easy_init failed";
        VL_ERROR("curl_easy_init failed");
        return false;
    }
    CURL* h = handle.get();
    curl::Slist headerList;
    if (!curl::BuildHeaderList(r.headers, headerList, r.error)) {
        VL_ERROR("{}", r.error);
        return false;
    }

    using curl::SetOpt;
    bool set = SetOpt(h, CURLOPT_URL, r.url.c_str(), "CURLOPT_URL, " + r.url) &&
               SetOpt(h, CURLOPT_POST, r.isPost ? 1L : 0L,
                      std::string("CURLOPT_POST, ") + (r.isPost ? "1" : "0"));
    if (set && r.isPost) {
        set = SetOpt(h, CURLOPT_POSTFIELDS, r.body.data(), "CURLOPT_POSTFIELDS, ...") &&
              SetOpt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()),
                     "CURLOPT_POSTFIELDSIZE, " + std::to_string(r.body.size()));
    }
    const long timeout = r.timeout;
    curl::Sink sink{&r.response, r.maxResponseBytes};
    set = set && curl::SetCommonOptions(h, sink, timeout, timeout);
    if (set && headerList) {
        set = SetOpt(h, CURLOPT_HTTPHEADER, headerList.get(), "CURLOPT_HTTPHEADER, ...");
    }
    if (!set) {
        r.error = "generate request failed";
        return false;
    }

    const CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        VL_ERROR("curl_easy_perform failed with {}, {}", static_cast<int>(rc),
                 curl::TransferError(rc, sink));
        r.error = sink.overflow ? curl::TransferError(rc, sink) : "perform request failed";
        return false;
    }
    long status = 0;
    const CURLcode info = curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (info != CURLE_OK) {
        VL_ERROR("curl_easy_getinfo failed with {}, {}", static_cast<int>(info),
                 curl_easy_strerror(info));
        r.error = "get response code failed";
        return false;
    }
    r.httpCode = static_cast<std::int32_t>(status);
    if (status != 200) {
        VL_ERROR("http request failed with response code {}", status);
        r.error = "response error";
        return false;
    }
    r.ok = true;
    if (r.checkLogin) {
        checkNeedLogin(r.response);
    }
    return true;
}

bool Http::IsNeedLoginAnswer(const std::string& response) {
    if (response.empty()) {
        return false;
    }
    if (response.size() > kMaxCheckedBody) {
        VL_WARN("response of {} bytes is not checked for need login", response.size());
        return false;
    }
    EnvelopeCodeReader reader(response);
    try {
        if (!nlohmann::json::sax_parse(response, &reader)) {
            if (reader.tooDeep) {
                VL_WARN("response nests deeper than {} levels, not checked for need login",
                        kMaxCheckedDepth);
            }
            return false;
        }
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(response);
        return false;
    }
    if (!reader.rootIsObject) {
        return false;
    }
    switch (reader.kind) {
        case EnvelopeCodeReader::Kind::Number:
            return reader.number == kNeedLoginCode;
        case EnvelopeCodeReader::Kind::Text:
            return LeadingNumberIs(reader.text, kNeedLoginCode);
        default:
            return false;
    }
}

void Http::checkNeedLogin(const std::string& response) {
    if (!IsNeedLoginAnswer(response)) {
        return;
    }
    NeedLoginHook hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_needLoginHook;
    }
    VL_WARN("need login, code {}", kNeedLoginCode);
    if (hook) {
        hook();
    }
}

void Http::SetNeedLoginHook(NeedLoginHook hook) {
    std::lock_guard lock(g_hookMutex);
    g_needLoginHook = std::move(hook);
}

void Http::ReqTh() {
    pthread_setname_np(pthread_self(), "http-request");
    VL_INFO("request thread in");
    for (;;) {
        Request r;
        {
            std::unique_lock lock(requests_.mutex);
            // Sleeps until there is work or the client stops; the queue is drained first.
            requests_.cv.wait(lock, [this] { return stop_ || !requests_.items.empty(); });
            if (requests_.items.empty()) {
                break;
            }
            r = std::move(requests_.items.front());
            requests_.items.pop_front();
        }
        if (!RequestOnce(r)) {
            VL_WARN("request once failed");
        }
        PushTo(responses_.mutex, responses_.cv, responses_.items, std::move(r));
    }
    VL_INFO("request thread out");
}

void Http::RespTh() {
    pthread_setname_np(pthread_self(), "http-response");
    VL_INFO("response thread in");
    for (;;) {
        Request r;
        {
            std::unique_lock lock(responses_.mutex);
            // Leaves only when stopping, with nothing queued and nothing more to come.
            responses_.cv.wait(lock, [this] {
                return !responses_.items.empty() || (stop_ && requestThreadDone_);
            });
            if (responses_.items.empty()) {
                break;
            }
            r = std::move(responses_.items.front());
            responses_.items.pop_front();
        }
        if (r.callback) {
            r.callback(r.ok, r.error, r.httpCode, r.response, r.url, r.body, r.timeout);
        }
    }
    VL_INFO("response thread out");
}

bool Http::OpenUrlWithDefaultBrowser(const std::string& url) {
    if (url.empty()) {
        VL_WARN("url is invalid");
        return false;
    }
    if (!IsWebAddress(url)) {
        VL_WARN("url {} is refused, only http and https addresses are opened", url);
        return false;
    }
    UrlOpener opener;
    {
        std::lock_guard lock(g_hookMutex);
        opener = g_urlOpener;
    }
    if (opener) {
        return opener(url);
    }
    std::string error;
    if (!Launch("xdg-open", {url}, kOpenerWait, error)) {
        VL_ERROR("ShellExecute failed with {}, url {}, last error {}", error, url, 0);
        return false;
    }
    return true;
}

void Http::SetUrlOpener(UrlOpener opener) {
    std::lock_guard lock(g_hookMutex);
    g_urlOpener = std::move(opener);
}

}  // namespace vl
