// The translation step: all lines of a task in one signed Youdao text-translation request.
#include <json/json.h>

#include <charconv>
#include <memory>

#include "logic/translator.h"
#include "logic/youdao_common.h"
#include "utils/vl_curl.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"
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

bool Translator::TranslateYoudao(TranslateTask& task, std::vector<TranslateLine>& lines) {
    if (lines.empty()) {
        return true;
    }
    std::string query;
    for (const TranslateLine& line : lines) {
        query.append(line.text).push_back('\n');
    }
    std::string translation;
    if (!TranslateOnceYoudao(static_cast<std::int32_t>(lines.front().lang), query,
                             lines.front().dstLang, translation, task.transErrInfo)) {
        VL_ERROR("TranslateOnceYoudao failed for \"{}\"", query);
        return false;
    }
    // Pieces are positional: an empty piece still belongs to the line at its place.
    std::size_t start = 0;
    for (TranslateLine& line : lines) {
        if (start > translation.size()) {
            line.translation.clear();
            continue;
        }
        std::size_t end = translation.find('\n', start);
        if (end == std::string::npos) {
            end = translation.size();
        }
        line.translation = vl::ToUnicodeW(translation.substr(start, end - start));
        start = end + 1;
    }
    return true;
}

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

    std::string response;
    long status = 0;
    {
        vl::curl::Easy h(curl_easy_init());
        if (!h) {
            VL_ERROR("curl_easy_init failed");
            error = "curl_easy_init failed";
            return false;
        }
        vl::curl::Slist headers(
            curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded"));
        CURL* c = h.get();
        vl::curl::Sink sink{&response, vl::curl::kMaxAnswerBytes};
        using vl::curl::SetOpt;
        const bool set =
            SetOpt(c, CURLOPT_URL, service.url.c_str(), "CURLOPT_URL, " + service.url) &&
            SetOpt(c, CURLOPT_HTTPHEADER, headers.get(), "CURLOPT_HTTPHEADER, ...") &&
            SetOpt(c, CURLOPT_POST, 1L, "CURLOPT_POST, 1") &&
            SetOpt(c, CURLOPT_POSTFIELDS, body.data(), "CURLOPT_POSTFIELDS, ...") &&
            SetOpt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()),
                   "CURLOPT_POSTFIELDSIZE, " + std::to_string(body.size())) &&
            vl::curl::SetCommonOptions(c, sink, kTimeoutMs, kTimeoutMs);
        if (!set) {
            error = "generate request failed";
            return false;
        }
        const CURLcode rc = curl_easy_perform(c);
        if (rc != CURLE_OK) {
            const std::string text = vl::curl::TransferError(rc, sink);
            VL_ERROR("curl_easy_perform failed with {}, {}", static_cast<int>(rc), text);
            error = "curl_easy_perform failed with " + std::to_string(static_cast<int>(rc)) + ", " +
                    text;
            return false;
        }
        const CURLcode info = curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        if (info != CURLE_OK) {
            VL_ERROR("curl_easy_getinfo(..., {}, ...) failed with {}",
                     static_cast<int>(CURLINFO_RESPONSE_CODE), static_cast<int>(info));
            error = "curl_easy_getinfo(..., " +
                    std::to_string(static_cast<int>(CURLINFO_RESPONSE_CODE)) +
                    ", ...) failed with " + std::to_string(static_cast<int>(info));
            return false;
        }
    }  // handle and header list are released before the body is examined
    return ReadTranslationYoudao(status, response, translation, error);
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
