#include "logic/baidu_ocr_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
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

namespace {

constexpr const char* kBceVersion = "1";
constexpr const char* kBceExpirationSeconds = "1800";
constexpr std::int64_t kTokenRefreshMarginSeconds = 86400;

std::string CurlUnescape(const std::string& s) {
    int length = 0;
    char* raw = curl_easy_unescape(nullptr, s.data(), static_cast<int>(s.size()), &length);
    if (raw == nullptr) {
        return {};
    }
    std::string out(raw, static_cast<std::size_t>(length));
    curl_free(raw);
    return out;
}

// Letters, digits and "-._~" stay, every other byte is %XX (upper-case): both libcurl's escaping
// of form fields and the BCE URI encoding (which may keep "/"). Written here because
// curl_easy_escape takes milliseconds for an image.
std::string UriEncode(const std::string& s, bool keepSlash) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    static constexpr auto kKeep = [] {
        std::array<bool, 256> keep{};
        for (int c = 0; c < 256; ++c) {
            keep[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '~';
        }
        return keep;
    }();
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (kKeep[c] || (keepSlash && c == '/')) {
            out.push_back(ch);
        } else {
            const char escaped[3] = {'%', kHex[c >> 4], kHex[c & 0x0F]};
            out.append(escaped, 3);
        }
    }
    return out;
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

// Text between "://" and the next "/" (or "?").
std::string HostOf(const std::string& url) {
    const auto scheme = url.find("://");
    const std::size_t begin = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t end = url.find_first_of("/?", begin);
    return url.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// The path of the URL, without its query; "/" when it has none.
std::string PathOf(const std::string& url) {
    const auto scheme = url.find("://");
    const std::size_t hostBegin = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t begin = url.find('/', hostBegin);
    if (begin == std::string::npos) {
        return "/";
    }
    const std::size_t end = url.find('?', begin);
    return url.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// Moves the URL's own query fields into `query`; returns the URL without them.
std::string MergeUrlQuery(const std::string& url, BaiduOcrClient::Params& query) {
    const auto mark = url.find('?');
    if (mark == std::string::npos) {
        return url;
    }
    std::size_t pos = mark + 1;
    while (pos < url.size()) {
        std::size_t end = url.find('&', pos);
        if (end == std::string::npos)
            end = url.size();
        const std::string pair = url.substr(pos, end - pos);
        if (!pair.empty()) {
            const auto eq = pair.find('=');
            const std::string key = CurlUnescape(pair.substr(0, eq));
            const std::string value =
                eq == std::string::npos ? std::string() : CurlUnescape(pair.substr(eq + 1));
            query.emplace(key, value);
        }
        pos = end + 1;
    }
    return url.substr(0, mark);
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
        out.append(UriEncode(key, false)).push_back('=');
        out.append(UriEncode(value, false)).push_back('&');
    }
    return out;
}

int BaiduOcrClient::Transfer(const std::string& url, const Params& headers, const std::string* body,
                             std::string& response, std::string& error) const {
    vl::curl::Easy h(curl_easy_init());
    if (!h) {
        VL_ERROR("curl_easy_init failed");
        error = "curl_easy_init failed";
        return CURLE_FAILED_INIT;
    }
    vl::curl::Slist list;
    if (!vl::curl::BuildHeaderList(headers, list, error)) {
        VL_ERROR("{}", error);
        return CURLE_BAD_FUNCTION_ARGUMENT;
    }
    CURL* c = h.get();
    vl::curl::Sink sink{&response, vl::curl::kMaxOcrAnswerBytes};
    using vl::curl::SetOpt;
    bool set = SetOpt(c, CURLOPT_URL, url.c_str(), "CURLOPT_URL, " + url);
    if (set && list) {
        set = SetOpt(c, CURLOPT_HTTPHEADER, list.get(), "CURLOPT_HTTPHEADER, ...");
    }
    if (set && body != nullptr) {
        set = SetOpt(c, CURLOPT_POST, 1L, "CURLOPT_POST, 1") &&
              SetOpt(c, CURLOPT_POSTFIELDS, body->data(), "CURLOPT_POSTFIELDS, ...") &&
              SetOpt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()),
                     "CURLOPT_POSTFIELDSIZE, " + std::to_string(body->size()));
    }
    set = set && vl::curl::SetCommonOptions(c, sink, connectTimeoutMs_, timeoutMs_) &&
          SetOpt(c, CURLOPT_VERBOSE, verbose_ ? 1L : 0L,
                 std::string("CURLOPT_VERBOSE, ") + (verbose_ ? "1" : "0"));
    if (!set) {
        error = "generate request failed";
        return CURLE_FAILED_INIT;
    }
    const CURLcode rc = curl_easy_perform(c);
    if (rc != CURLE_OK) {
        error = vl::curl::TransferError(rc, sink);
        VL_ERROR("curl_easy_perform failed with {}, {}", static_cast<int>(rc), error);
    }
    return rc;
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
    if (Transfer(AppendQuery(tokenUrl_, FormEncode(query)), {}, nullptr, response, error) !=
        CURLE_OK) {
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
    headers["Host"] = HostOf(url);
    const std::string timestamp = UtcTimestamp(std::time(nullptr));
    headers["x-bce-date"] = timestamp;

    const std::string prefix = std::string("bce-auth-v") + kBceVersion + "/" + apiKey_ + "/" +
                               timestamp + "/" + kBceExpirationSeconds;
    const std::string signingKey = vl::HmacSha256Hex(secretKey_, prefix);

    // Query and header entries are encoded first and sorted as encoded text.
    std::vector<std::string> canonicalQuery;
    for (const auto& [key, value] : query) {
        canonicalQuery.push_back(UriEncode(key, false) + "=" + UriEncode(value, false));
    }
    std::vector<std::string> canonicalHeaders;
    std::vector<std::string> signedHeaders;
    for (const auto& [name, value] : headers) {
        canonicalHeaders.push_back(UriEncode(Lower(name), false) + ":" + UriEncode(value, false));
        signedHeaders.push_back(Lower(name));
    }
    std::sort(canonicalQuery.begin(), canonicalQuery.end());
    std::sort(canonicalHeaders.begin(), canonicalHeaders.end());
    const std::string canonical = Upper(method) + "\n" + UriEncode(PathOf(url), true) + "\n" +
                                  Join(canonicalQuery, "&") + "\n" + Join(canonicalHeaders, "\n");
    const std::string signature = vl::HmacSha256Hex(signingKey, canonical);
    headers["authorization"] = prefix + "/" + Join(signedHeaders, ";") + "/" + signature;
}

Json::Value BaiduOcrClient::Request(const std::string& url, Params& query, Params& headers,
                                    const Params& body) {
    const std::string base = MergeUrlQuery(url, query);
    PrepareRequest(url, query, headers);
    const std::string form = FormEncode(body);
    std::string response;
    transferError_.clear();
    const int rc =
        Transfer(AppendQuery(base, FormEncode(query)), headers, &form, response, transferError_);
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
