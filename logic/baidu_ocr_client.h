#pragma once

#include <json/json.h>

#include <cstdint>
#include <map>
#include <string>

#include "utils/vl_transfer.h"

// A small client of the Baidu OCR service ("general" recognition with positions): an OAuth token
// request, then a form POST authenticated either with that token or, when the token's scope does
// not allow it, with a BCE signature. One object serves one OCR call.
class BaiduOcrClient {
public:
    using Params = std::map<std::string, std::string>;

    BaiduOcrClient(std::string appId, std::string apiKey, std::string secretKey,
                   std::string tokenUrl, std::string generalUrl);

    // Recognises the text of a JPEG. The answer is the service's JSON; {"curl_error_code": c}
    // when the transfer failed (TransferError then says why); null when the body was not JSON.
    Json::Value General(const std::string& image, const Params& options);
    // The text of the last failed transfer of General; empty when it got an answer.
    const std::string& TransferError() const { return transferError_; }

    // A service answer as JSON: false with `errors` for a body that is not JSON, nests too
    // deep, or makes the reader throw.
    static bool ParseAnswer(const std::string& body, Json::Value& root, std::string& errors);

    struct Token {
        std::string accessToken;
        std::int64_t expiry = 0;  // seconds since 1970, saturated
        std::string scope;
    };
    // The OAuth answer read at `now`; members missing or of the wrong type stay empty.
    static Token ReadTokenAnswer(const std::string& body, std::int64_t now);

    // Each entry as escaped key "=" escaped value "&", in key order (the final "&" is kept).
    static std::string FormEncode(const Params& fields);

    // BCE authentication string version 1 for a request to `url`: merges the URL's own query
    // into `query` and adds the "Host", "x-bce-date" and "authorization" headers.
    void SignBce(const std::string& method, const std::string& url, Params& query,
                 Params& headers) const;

private:
    std::string GetAccessToken();
    void PrepareRequest(const std::string& url, Params& query, Params& headers);
    Json::Value Request(const std::string& url, Params& query, Params& headers, const Params& body);
    // One transfer with this client's time-outs and answer cap. Returns the libcurl code, with
    // `error` set when it is not CURLE_OK.
    int Transfer(vl::net::Request request, std::string& response, std::string& error) const;

    std::string appId_;
    std::string apiKey_;
    std::string secretKey_;
    std::int64_t tokenExpiry_ = 0;  // seconds since 1970
    std::string tokenScope_;
    bool verbose_ = false;
    long connectTimeoutMs_ = 10000;
    long timeoutMs_ = 10000;
    std::string transferError_;
    std::string accessToken_;
    bool authDecided_ = false;
    bool useBce_ = false;
    std::string tokenUrl_;
    std::string generalUrl_;
};
