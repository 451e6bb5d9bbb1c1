// One signed Youdao text-translation request (the Youdao engine sends all lines of a run in one).
#include <json/json.h>

#include <charconv>
#include <memory>

#include "logic/translator.h"
#include "logic/youdao_common.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"
#include "utils/vl_transfer.h"
#include "utils/vl_uuid.h"

namespace {

constexpr long kTimeoutMs = 3000;

// Strict decimal integer: the whole text must be the number.
bool ParseDecimal(const std::string& s, long long& value) {
    if (s.empty()) {
        return false;
    }
    const char* end = s.data() + s.size();
    const auto r = std::from_chars(s.data(), end, value);
    return r.ec == std::errc() && r.ptr == end;
}

}  // namespace

bool Translator::TranslateOnceYoudao(std::int32_t srcLang, const std::string& text,
                                     std::uint32_t dstLang, std::string& translation,
                                     std::string& error) {
    return TranslateOnceYoudao(vl::Services().youdaoTranslate, srcLang, text, dstLang, translation,
                               error);
}

bool Translator::TranslateOnceYoudao(const vl::ServiceConfig::YoudaoTranslate& service,
                                     std::int32_t srcLang, const std::string& text,
                                     std::uint32_t dstLang, std::string& translation,
                                     std::string& error) {
    translation.clear();
    if (text.empty()) {
        VL_WARN("source string is empty");
        return true;
    }
    std::string from;
    if (srcLang < 0 || !vl::youdao::LangCode(static_cast<LanguageId>(srcLang), from)) {
        VL_ERROR("src lang {} is not supported", srcLang);
        error = "src lang " + std::to_string(srcLang) + " is not supported";
        return false;
    }
    std::string to;
    if (!vl::youdao::LangCode(dstLang, to)) {
        VL_ERROR("dst lang {} is not supported", dstLang);
        error = "dst lang " + std::to_string(dstLang) + " is not supported";
        return false;
    }

    std::string salt;
    if (!vl::UuidGenWithoutDash(salt)) {
        VL_ERROR("UuidGenWithoutDash failed");
        error = "UuidGenWithoutDash failed";
        return false;
    }
    const std::string curtime = vl::youdao::CurrentTimeSeconds();
    const std::string sign = vl::youdao::Sign(service.appKey, vl::youdao::SignInput(text), salt,
                                              curtime, service.appSecret);
    const std::string body = "q=" + vl::UrlEncode(text) + "&from=" + from + "&to=" + to +
                             "&appKey=" + service.appKey + "&salt=" + salt +
                             "&signType=v3&sign=" + sign + "&curtime=" + curtime;

    const vl::net::Result result =
        vl::net::Send({.verb = vl::net::Verb::Post,
                       .url = service.url,
                       .headers = {{"Content-Type", "application/x-www-form-urlencoded"}},
                       .body = body,
                       .connectTimeoutMs = kTimeoutMs,
                       .timeoutMs = kTimeoutMs});
    switch (result.failure) {
        case vl::net::Failure::None:
            break;
        case vl::net::Failure::Prepare:
            error = result.error;
            return false;
        case vl::net::Failure::Status: {
            const std::string what = "curl_easy_getinfo(..., " +
                                     std::to_string(static_cast<int>(CURLINFO_RESPONSE_CODE)) +
                                     ", ...) failed with " + std::to_string(result.curlCode);
            VL_ERROR("{}", what);
            error = what;
            return false;
        }
        default:  // the transfer broke off, or the answer passed its cap
            error = "curl_easy_perform failed with " + std::to_string(result.curlCode) + ", " +
                    result.error;
            return false;
    }
    return ReadTranslationYoudao(result.httpCode, result.body, translation, error);
}

bool Translator::ReadTranslationYoudao(long status, const std::string& response,
                                       std::string& translation, std::string& error) {
    translation.clear();
    const std::string excerpt = vl::json::Excerpt(response);
    if (status != 200) {
        VL_ERROR("translate request failed response code {}, response msg {}", status, excerpt);
        error = "translate request failed response code " + std::to_string(status) + ", " + excerpt;
        return false;
    }
    Json::Value root;
    std::string readerError;
    bool parsed = false;
    if (!vl::json::DepthWithin(response)) {
        readerError = "nesting deeper than " + std::to_string(vl::json::kMaxDepth);
    } else {
        try {
            const std::unique_ptr<Json::CharReader> reader(
                Json::CharReaderBuilder().newCharReader());
            parsed = reader->parse(response.data(), response.data() + response.size(), &root,
                                   &readerError);
        } catch (const std::exception& e) {
            readerError = e.what();
        }
    }
    if (!parsed) {
        VL_ERROR("parse json failed, error {}, json : \n{}", readerError, excerpt);
        error = "parse json failed, error " + readerError + ", " + excerpt;
        return false;
    }
    if (!root.isObject() || !root.isMember("errorCode") || !root.isMember("translation")) {
        VL_ERROR("response do not contains \"errorCode\" or \"translation\", json : \n{}", excerpt);
        error = "response do not contains \"errorCode\" or \"translation\", " + excerpt;
        return false;
    }
    const Json::Value& errorCode = root["errorCode"];
    if (!errorCode.isString()) {
        VL_ERROR("response \"errorCode\" is not a string, json : \n{}", excerpt);
        error = "response \"errorCode\" is not a string, " + excerpt;
        return false;
    }
    long long code = 0;
    if (!ParseDecimal(errorCode.asString(), code) || code != 0) {
        const std::string codeText = vl::json::Excerpt(errorCode.asString());
        VL_ERROR("response failed with {}, json : \n{}", codeText, excerpt);
        error = "response failed with " + codeText + ", " + excerpt;
        return false;
    }
    const Json::Value& list = root["translation"];
    if (!list.isArray() || list.empty()) {
        VL_ERROR("response \"translation\" is not an array, json : \n{}", excerpt);
        error = "response \"translation\" is not an array, " + excerpt;
        return false;
    }
    if (!list[0].isString()) {
        VL_ERROR("response \"translation\" index 0 is not a string, json : \n{}", excerpt);
        error = "response \"translation\" index 0 is not a string, " + excerpt;
        return false;
    }
    translation = list[0].asString();
    return true;
}
