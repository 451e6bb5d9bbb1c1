#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>

// The libcurl pieces every client of the system shares.
namespace vl::curl {

struct EasyDeleter {
    void operator()(CURL* h) const noexcept { curl_easy_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const noexcept { curl_slist_free_all(l); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

// Answer sizes past which a transfer is abandoned: the back-end's and the translation service's
// answers are small; OCR answers list every line of a screen.
inline constexpr std::size_t kMaxAnswerBytes = std::size_t{4} << 20;
inline constexpr std::size_t kMaxOcrAnswerBytes = std::size_t{32} << 20;

// Where a transfer writes its body: at most `limit` bytes into `out`; one byte more aborts the
// transfer (CURLE_WRITE_ERROR) with `overflow` set.
struct Sink {
    std::string* out = nullptr;
    std::size_t limit = kMaxAnswerBytes;
    bool overflow = false;
};

// CURLOPT_WRITEFUNCTION for a Sink given as CURLOPT_WRITEDATA.
size_t WriteToSink(char* data, size_t size, size_t count, void* userdata);

// The text of a failed transfer: libcurl's own, or the size limit that stopped it.
std::string TransferError(CURLcode rc, const Sink& sink);

// True when `value` may stand in a header line: no control character (a CR or LF would start
// another header).
bool IsHeaderSafe(const std::string& value);

// The header lines of `headers` ("Name:value", "Name;" for an empty value, which libcurl would
// otherwise drop). False with `error` for an empty or unsafe name or value.
bool BuildHeaderList(const std::map<std::string, std::string>& headers, Slist& list,
                     std::string& error);

// Sets one option; on failure logs "curl_easy_setopt(..., <what>) failed with <code>, <text>",
// where `what` names the option and the value shown ("CURLOPT_URL, http://…").
template <class T>
bool SetOpt(CURL* h, CURLoption option, T value, const std::string& what);

// Peer and host-name verification against the system's CA store.
bool VerifyTls(CURL* h);

// The body's sink and the time-outs every client sets the same way.
bool SetCommonOptions(CURL* h, Sink& sink, long connectTimeoutMs, long timeoutMs);

void LogSetOptFailure(const std::string& what, CURLcode rc);

// A URL as libcurl reads it when it sends it.
struct UrlParts {
    std::string host;          // with ":port" when the URL names a port
    std::string path;          // "/" when the URL has none
    std::string query;         // without the '?'; empty when there is none
    std::string withoutQuery;  // the whole URL less its query
};
// False (parts left empty, path "/") for a URL libcurl cannot parse.
bool SplitUrl(const std::string& url, UrlParts& parts);

// %XX sequences decoded; "" when libcurl fails.
std::string Unescape(const std::string& text);

template <class T>
bool SetOpt(CURL* h, CURLoption option, T value, const std::string& what) {
    const CURLcode rc = curl_easy_setopt(h, option, value);
    if (rc != CURLE_OK) {
        LogSetOptFailure(what, rc);
        return false;
    }
    return true;
}

}  // namespace vl::curl
