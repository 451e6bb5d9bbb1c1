#include "utils/vl_transfer.h"

#include "utils/vl_log.h"

namespace vl::net {

namespace {

Result Failed(Failure failure, std::string error, int curlCode) {
    Result r;
    r.failure = failure;
    r.error = std::move(error);
    r.curlCode = curlCode;
    return r;
}

}  // namespace

Result Send(const Request& request) {
    curl::Easy handle(curl_easy_init());
    if (!handle) {
        VL_ERROR("curl_easy_init failed");
        return Failed(Failure::Prepare, "curl_easy_init failed", CURLE_FAILED_INIT);
    }
    CURL* h = handle.get();
    std::string error;
    curl::Slist headerList;
    if (!curl::BuildHeaderList(request.headers, headerList, error)) {
        VL_ERROR("{}", error);
        return Failed(Failure::Prepare, error, CURLE_BAD_FUNCTION_ARGUMENT);
    }

    Result result;
    curl::Sink sink{&result.body, request.maxAnswerBytes};
    const bool post = request.verb == Verb::Post;
    using curl::SetOpt;
    bool set =
        SetOpt(h, CURLOPT_URL, request.url.c_str(), "CURLOPT_URL, " + request.url) &&
        SetOpt(h, CURLOPT_POST, post ? 1L : 0L, std::string("CURLOPT_POST, ") + (post ? "1" : "0"));
    if (set && post) {
        set = SetOpt(h, CURLOPT_POSTFIELDS, request.body.data(), "CURLOPT_POSTFIELDS, ...") &&
              SetOpt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()),
                     "CURLOPT_POSTFIELDSIZE, " + std::to_string(request.body.size()));
    }
    set = set && curl::SetCommonOptions(h, sink, request.connectTimeoutMs, request.timeoutMs);
    if (set && headerList) {
        set = SetOpt(h, CURLOPT_HTTPHEADER, headerList.get(), "CURLOPT_HTTPHEADER, ...");
    }
    if (set && request.verbose) {
        set = SetOpt(h, CURLOPT_VERBOSE, 1L, "CURLOPT_VERBOSE, 1");
    }
    if (!set) {
        return Failed(Failure::Prepare, "generate request failed", CURLE_FAILED_INIT);
    }

    const CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        const std::string text = curl::TransferError(rc, sink);
        VL_ERROR("curl_easy_perform failed with {}, {}", static_cast<int>(rc), text);
        return Failed(sink.overflow ? Failure::TooLarge : Failure::Transfer, text,
                      static_cast<int>(rc));
    }
    const CURLcode info = curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.httpCode);
    if (info != CURLE_OK) {
        VL_ERROR("curl_easy_getinfo failed with {}, {}", static_cast<int>(info),
                 curl_easy_strerror(info));
        return Failed(Failure::Status, curl_easy_strerror(info), static_cast<int>(info));
    }
    result.ok = true;
    return result;
}

}  // namespace vl::net
