#pragma once

#include <curl/curl.h>

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

// CURLOPT_WRITEFUNCTION that appends every chunk to the std::string given as CURLOPT_WRITEDATA.
// A missing string takes nothing, which aborts the transfer.
size_t AppendToString(char* data, size_t size, size_t count, void* userdata);

// Sets one option; on failure logs "curl_easy_setopt(..., <what>) failed with <code>, <text>",
// where `what` names the option and the value shown ("CURLOPT_URL, http://…").
template <class T>
bool SetOpt(CURL* h, CURLoption option, T value, const std::string& what);

// Peer and host-name verification against the system's CA store.
bool VerifyTls(CURL* h);

void LogSetOptFailure(const std::string& what, CURLcode rc);

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
