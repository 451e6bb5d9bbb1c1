#include "logic/baidu_ocr_client.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <limits>
#include <memory>
#include <vector>

#include "utils/vl_base64.h"
#include "utils/vl_crypto.h"
#include "utils/vl_curl.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"
#include "utils/vl_transfer.h"

namespace {

constexpr const char* kBceVersion = "1";
constexpr const char* kBceExpirationSeconds = "1800";
constexpr std::int64_t kTokenRefreshMarginSeconds = 86400;

// Percent-encoding of form fields and of the BCE canonical request.
std::string Encode(const std::string& s) {
    return vl::UrlEncode(s, vl::UrlEncoding::Rfc3986);
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Moves the URL's own query fields into `query`; returns the URL without them.
std::string MergeUrlQuery(const std::string& url, BaiduOcrClient::Params& query) {
    vl::curl::UrlParts parts;
    if (url.find('?') == std::string::npos || !vl::curl::SplitUrl(url, parts)) {
        return url;
    }
    std::size_t pos = 0;
    while (pos < parts.query.size()) {
        std::size_t end = parts.query.find('&', pos);
        if (end == std::string::npos)
            end = parts.query.size();
        const std::string pair = parts.query.substr(pos, end - pos);
        if (!pair.empty()) {
            const auto eq = pair.find('=');
            const std::string key = vl::curl::Unescape(pair.substr(0, eq));
            const std::string value =
                eq == std::string::npos ? std::string() : vl::curl::Unescape(pair.substr(eq + 1));
            query.emplace(key, value);
        }
        pos = end + 1;
    }
    return parts.withoutQuery;
}

std::string AppendQuery(const std::string& url, const std::string& query) {
    if (query.empty()) {
        return url;
    }
    return url + (url.find('?') == std::string::npos ? "?" : "&") + query;
}

std::string UtcTimestamp(std::time_t now) {
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out.append(separator);
        out.append(parts[i]);
    }
    return out;
}

const Json::Value& Member(const Json::Value& v, const char* key) {
    if (v.isObject() && v.isMember(key)) {
        return v[key];
    }
    return Json::Value::nullSingleton();
}

Json::Value CurlError(int code) {
    Json::Value v(Json::objectValue);
    v["curl_error_code"] = code;
    return v;
}

}  // namespace

BaiduOcrClient::BaiduOcrClient(std::string appId, std::string apiKey, std::string secretKey,
                               std::string tokenUrl, std::string generalUrl)
    : appId_(std::move(appId)),
      apiKey_(std::move(apiKey)),
      secretKey_(std::move(secretKey)),
      tokenUrl_(std::move(tokenUrl)),
      generalUrl_(std::move(generalUrl)) {}

std::string BaiduOcrClient::FormEncode(const Params& fields) {
    std::string out;
    for (const auto& [key, value] : fields) {
        out.append(Encode(key)).push_back('=');
        out.append(Encode(value)).push_back('&');
    }
    return out;
}

int BaiduOcrClient::Transfer(vl::net::Request request, std::string& response,
                             std::string& error) const {
    request.connectTimeoutMs = connectTimeoutMs_;
    request.timeoutMs = timeoutMs_;
    request.maxAnswerBytes = vl::curl::kMaxOcrAnswerBytes;
    request.verbose = verbose_;
    vl::net::Result result = vl::net::Send(request);
    if (!result.ok) {
        error = std::move(result.error);
        return result.curlCode;
    }
    response = std::move(result.body);
    return CURLE_OK;
}

bool BaiduOcrClient::ParseAnswer(const std::string& body, Json::Value& root, std::string& errors) {
    if (!vl::json::DepthWithin(body)) {
        errors = "nesting deeper than " + std::to_string(vl::json::kMaxDepth);
        return false;
    }
    try {
        const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
        return reader->parse(body.data(), body.data() + body.size(), &root, &errors);
    } catch (const std::exception& e) {
        errors = e.what();
        return false;
    }
}

BaiduOcrClient::Token BaiduOcrClient::ReadTokenAnswer(const std::string& body, std::int64_t now) {
    Json::Value root;
    std::string errors;
    if (!ParseAnswer(body, root, errors)) {
        VL_WARN("token answer is not JSON, {}", errors);
        root = Json::Value();
    }
    const Json::Value& token = Member(root, "access_token");
    const Json::Value& expiresIn = Member(root, "expires_in");
    const Json::Value& scope = Member(root, "scope");
    Token t;
    t.accessToken = token.isString() ? token.asString() : std::string();
    std::int64_t seconds = 0;
    if (expiresIn.isInt64()) {
        seconds = expiresIn.asInt64();
    } else if (expiresIn.isUInt64()) {
        seconds = std::numeric_limits<std::int64_t>::max();
    }
    if (__builtin_add_overflow(now, seconds, &t.expiry)) {
        t.expiry = seconds > 0 ? std::numeric_limits<std::int64_t>::max()
                               : std::numeric_limits<std::int64_t>::min();
    }
    t.scope = scope.isString() ? scope.asString() : std::string();
    return t;
}

std::string BaiduOcrClient::GetAccessToken() {
    const std::int64_t now = std::time(nullptr);
    if (!accessToken_.empty() || now + kTokenRefreshMarginSeconds < tokenExpiry_) {
        return accessToken_;
    }
    const Params query = {{"client_id", apiKey_},
                          {"client_secret", secretKey_},
                          {"grant_type", "client_credentials"}};
    std::string response;
    std::string error;
    if (Transfer({.url = AppendQuery(tokenUrl_, FormEncode(query))}, response, error) != CURLE_OK) {
        return {};  // signed requests need no token
    }
    const Token token = ReadTokenAnswer(response, now);
    accessToken_ = token.accessToken;
    tokenExpiry_ = token.expiry;
    tokenScope_ = token.scope;
    return accessToken_;
}

void BaiduOcrClient::PrepareRequest(const std::string& url, Params& query, Params& headers) {
    query["aipSdk"] = "C";
    query["aipSdkVersion"] = "0.3.3";
    if (!authDecided_) {
        // The token alone is accepted only for applications whose scope includes the AI APIs.
        const std::string token = GetAccessToken();
        useBce_ = token.empty() || tokenScope_.find("brain_all_scope") == std::string::npos;
        authDecided_ = true;
    }
    if (useBce_) {
        SignBce("POST", url, query, headers);
    } else {
        query["access_token"] = accessToken_;
    }
}

void BaiduOcrClient::SignBce(const std::string& method, const std::string& url, Params& query,
                             Params& headers) const {
    MergeUrlQuery(url, query);
    vl::curl::UrlParts parts;
    vl::curl::SplitUrl(url, parts);
    headers["Host"] = parts.host;
    const std::string timestamp = UtcTimestamp(std::time(nullptr));
    headers["x-bce-date"] = timestamp;

    const std::string prefix = std::string("bce-auth-v") + kBceVersion + "/" + apiKey_ + "/" +
                               timestamp + "/" + kBceExpirationSeconds;
    const std::string signingKey = vl::HmacSha256Hex(secretKey_, prefix);

    // Query and header entries are encoded first and sorted as encoded text.
    std::vector<std::string> canonicalQuery;
    for (const auto& [key, value] : query) {
        canonicalQuery.push_back(Encode(key) + "=" + Encode(value));
    }
    std::vector<std::string> canonicalHeaders;
    std::vector<std::string> signedHeaders;
    for (const auto& [name, value] : headers) {
        canonicalHeaders.push_back(Encode(Lower(name)) + ":" + Encode(value));
        signedHeaders.push_back(Lower(name));
    }
    std::sort(canonicalQuery.begin(), canonicalQuery.end());
    std::sort(canonicalHeaders.begin(), canonicalHeaders.end());
    const std::string canonical = Upper(method) + "\n" +
                                  vl::UrlEncode(parts.path, vl::UrlEncoding::Path) + "\n" +
                                  Join(canonicalQuery, "&") + "\n" + Join(canonicalHeaders, "\n");
    const std::string signature = vl::HmacSha256Hex(signingKey, canonical);
    headers["authorization"] = prefix + "/" + Join(signedHeaders, ";") + "/" + signature;
}

Json::Value BaiduOcrClient::Request(const std::string& url, Params& query, Params& headers,
                                    const Params& body) {
    const std::string base = MergeUrlQuery(url, query);
    PrepareRequest(url, query, headers);
    std::string response;
    transferError_.clear();
    const int rc = Transfer({.verb = vl::net::Verb::Post,
                             .url = AppendQuery(base, FormEncode(query)),
                             .headers = headers,
                             .body = FormEncode(body)},
                            response, transferError_);
    if (rc != CURLE_OK) {
        return CurlError(rc);
    }
    Json::Value root;
    std::string errors;
    if (!ParseAnswer(response, root, errors)) {
        VL_WARN("recognition answer is not JSON, {}", errors);
        return Json::Value();
    }
    return root;
}

Json::Value BaiduOcrClient::General(const std::string& image, const Params& options) {
    Params body = options;
    body["image"] = vl::ToBase64(image);
    Params query;
    Params headers;
    return Request(generalUrl_, query, headers, body);
}
