#include "utils/vl_curl.h"

#include "utils/vl_log.h"

namespace vl::curl {

size_t AppendToString(char* data, size_t size, size_t count, void* userdata) {
    auto* out = static_cast<std::string*>(userdata);
    if (out == nullptr) {
        VL_WARN("user ptr is invalid, bug ?");
        return 0;
    }
    if (data == nullptr) {
        return 0;
    }
    out->append(data, size * count);
    return size * count;
}

void LogSetOptFailure(const std::string& what, CURLcode rc) {
    VL_ERROR("curl_easy_setopt(..., {}) failed with {}, {}", what, static_cast<int>(rc),
             curl_easy_strerror(rc));
}

bool VerifyTls(CURL* h) {
    return SetOpt(h, CURLOPT_SSL_VERIFYPEER, 1L, "CURLOPT_SSL_VERIFYPEER, 1") &&
           SetOpt(h, CURLOPT_SSL_VERIFYHOST, 2L, "CURLOPT_SSL_VERIFYHOST, 2");
}

}  // namespace vl::curl
