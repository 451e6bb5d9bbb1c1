#include "utils/vl_curl.h"

#include <algorithm>

#include "utils/vl_log.h"

namespace vl::curl {

size_t WriteToSink(char* data, size_t size, size_t count, void* userdata) {
    auto* sink = static_cast<Sink*>(userdata);
    if (sink == nullptr || sink->out == nullptr) {
        VL_WARN("user ptr is invalid, bug ?");
        return 0;
    }
    if (data == nullptr) {
        return 0;
    }
    const std::size_t n = size * count;
    if (n > sink->limit - std::min(sink->limit, sink->out->size())) {
        sink->overflow = true;
        return 0;
    }
    sink->out->append(data, n);
    return n;
}

std::string TransferError(CURLcode rc, const Sink& sink) {
    if (sink.overflow) {
        return "response is larger than " + std::to_string(sink.limit) + " bytes";
    }
    return curl_easy_strerror(rc);
}

bool IsHeaderSafe(const std::string& value) {
    for (const char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return false;
        }
    }
    return true;
}

bool BuildHeaderList(const std::map<std::string, std::string>& headers, Slist& list,
                     std::string& error) {
    for (const auto& [name, value] : headers) {
        if (name.empty()) {
            error = "header name is empty";
            return false;
        }
        if (!IsHeaderSafe(name) || !IsHeaderSafe(value) || name.find(':') != std::string::npos) {
            error = "header \"" + (IsHeaderSafe(name) ? name : std::string("?")) +
                    "\" has a control character";
            return false;
        }
        const std::string line = value.empty() ? name + ";" : name + ":" + value;
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (grown == nullptr) {
            error = "curl_slist_append failed";
            return false;
        }
        list.release();
        list.reset(grown);
    }
    return true;
}

void LogSetOptFailure(const std::string& what, CURLcode rc) {
    VL_ERROR("curl_easy_setopt(..., {}) failed with {}, {}", what, static_cast<int>(rc),
             curl_easy_strerror(rc));
}

namespace {

struct UrlDeleter {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
};

// False when the URL lacks the part.
bool GetPart(CURLU* url, CURLUPart part, std::string& out) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) {
        out.clear();
        return false;
    }
    out = text;
    curl_free(text);
    return true;
}

}  // namespace

bool SplitUrl(const std::string& url, UrlParts& parts) {
    parts = UrlParts{};
    parts.path = "/";
    const std::unique_ptr<CURLU, UrlDeleter> u(curl_url());
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), CURLU_GUESS_SCHEME) != CURLUE_OK) {
        return false;
    }
    GetPart(u.get(), CURLUPART_HOST, parts.host);
    if (std::string port; GetPart(u.get(), CURLUPART_PORT, port)) {
        parts.host += ":" + port;
    }
    if (!GetPart(u.get(), CURLUPART_PATH, parts.path) || parts.path.empty()) {
        parts.path = "/";
    }
    GetPart(u.get(), CURLUPART_QUERY, parts.query);
    return curl_url_set(u.get(), CURLUPART_QUERY, nullptr, 0) == CURLUE_OK &&
           GetPart(u.get(), CURLUPART_URL, parts.withoutQuery);
}

std::string Unescape(const std::string& text) {
    int length = 0;
    char* raw = curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length);
    if (raw == nullptr) {
        return {};
    }
    std::string out(raw, static_cast<std::size_t>(length));
    curl_free(raw);
    return out;
}

bool VerifyTls(CURL* h) {
    return SetOpt(h, CURLOPT_SSL_VERIFYPEER, 1L, "CURLOPT_SSL_VERIFYPEER, 1") &&
           SetOpt(h, CURLOPT_SSL_VERIFYHOST, 2L, "CURLOPT_SSL_VERIFYHOST, 2");
}

bool SetCommonOptions(CURL* h, Sink& sink, long connectTimeoutMs, long timeoutMs) {
    return SetOpt(h, CURLOPT_WRITEFUNCTION, &WriteToSink, "CURLOPT_WRITEFUNCTION, ...") &&
           SetOpt(h, CURLOPT_WRITEDATA, &sink, "CURLOPT_WRITEDATA, ...") &&
           SetOpt(h, CURLOPT_NOSIGNAL, 1L, "CURLOPT_NOSIGNAL, 1") &&
           SetOpt(h, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs,
                  "CURLOPT_CONNECTTIMEOUT_MS, " + std::to_string(connectTimeoutMs)) &&
           SetOpt(h, CURLOPT_TIMEOUT_MS, timeoutMs,
                  "CURLOPT_TIMEOUT_MS, " + std::to_string(timeoutMs)) &&
           VerifyTls(h);
}

}  // namespace vl::curl
