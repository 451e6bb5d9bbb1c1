// The Youdao OCR engine: one signed form POST with the Base64 image, lines read per region.
#include <cctype>
#include <limits>
#include <nlohmann/json.hpp>

#include "logic/translator.h"
#include "logic/youdao_common.h"
#include "utils/vl_base64.h"
#include "utils/vl_curl.h"
#include "utils/vl_http.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"
#include "utils/vl_string.h"
#include "utils/vl_uuid.h"

namespace {

std::int32_t Clamp32(std::int64_t v) {
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// atol's reading: leading white space, an optional sign, digits up to the first non-digit; 0 when
// there are none. Saturates instead of overflowing.
std::int32_t LeadingNumber(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = (s[i] == '-');
        ++i;
    }
    std::int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (value <= std::numeric_limits<std::int32_t>::max()) {
            value = value * 10 + (s[i] - '0');
        }
    }
    return Clamp32(negative ? -value : value);
}

std::string CodeText(const nlohmann::json& root) {
    if (!root.is_object()) {
        return "null";
    }
    const auto it = root.find("errorCode");
    if (it == root.end()) {
        return "null";
    }
    return vl::json::Excerpt(it->is_string() ? it->get<std::string>() : it->dump());
}

// Error codes of a refused application: invalid key, no service for it, invalid developer
// account, bad signature (a wrong secret), account in arrears.
bool KeysRefused(const std::string& body) {
    try {
        const nlohmann::json root = vl::json::Parse(body);
        const auto code = root.is_object() ? root.find("errorCode") : root.end();
        if (code == root.end() || !code->is_string()) {
            return false;
        }
        const std::string& c = code->get_ref<const std::string&>();
        return c == "108" || c == "110" || c == "111" || c == "202" || c == "401";
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

bool Translator::ParseOCROnceYoudao(const nlohmann::json& line, TranslateLine& out) {
    if (!line.is_object()) {
        return false;
    }
    const auto text = line.find("text");
    const auto box = line.find("boundingBox");
    if (text == line.end() || !text->is_string() || box == line.end() || !box->is_string()) {
        return false;
    }
    std::vector<std::string> pieces;
    vl::Split(box->get_ref<const std::string&>(), ",", pieces);
    if (pieces.size() < 8) {
        return false;
    }
    std::int32_t v[8];
    for (int i = 0; i < 8; ++i) {
        v[i] = LeadingNumber(pieces[i]);
    }
    out.text = text->get<std::string>();
    for (int k = 0; k < 4; ++k) {
        out.points[k] = {v[2 * k], v[2 * k + 1]};
    }
    // From the top-left to the bottom-right corner, 2 pixels in on every side.
    out.rect = {Clamp32(std::int64_t{v[0]} + 2), Clamp32(std::int64_t{v[1]} + 2),
                Clamp32(std::int64_t{v[4]} - 2), Clamp32(std::int64_t{v[5]} - 2)};
    return true;
}

std::string Translator::BuildOCRFormYoudao(const std::string& image, const std::string& langType,
                                           const std::string& appKey, const std::string& appSecret,
                                           const std::string& salt, const std::string& curtime) {
    const std::string img = vl::ToBase64(image);
    const std::string sign =
        vl::youdao::Sign(appKey, vl::youdao::SignInput(img), salt, curtime, appSecret);
    std::string body = "img=";
    body.reserve(img.size() * 3 / 2 + 256);
    body.append(vl::UrlEncode(img));
    body.append("&langType=").append(langType);
    body.append("&detectType=10012&imageType=1&appKey=").append(appKey);
    body.append("&salt=").append(salt);
    body.append("&signType=v3&sign=").append(sign);
    body.append("&docType=json&curtime=").append(curtime);
    return body;
}

bool Translator::ReadOCRAnswerYoudao(const std::string& body, TranslateTask& task,
                                     std::vector<TranslateLine>& lines) {
    nlohmann::json root;
    try {
        root = vl::json::Parse(body);
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, body);
        return false;
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(body);
        return false;
    }
    const auto code = root.is_object() ? root.find("errorCode") : root.end();
    if (code == root.end() || !code->is_string() || code->get_ref<const std::string&>() != "0") {
        VL_ERROR("request ocr youdao failed, code {}", CodeText(root));
        return false;
    }
    auto wrongType = [&body] {
        VL_LOG_JSON_READ_ERROR(body);
        return false;
    };
    try {
        const auto result = root.find("Result");
        if (result == root.end()) {
            return true;
        }
        if (!result->is_object()) {
            return wrongType();
        }
        const auto regions = result->find("regions");
        if (regions == result->end()) {
            return true;
        }
        if (!regions->is_array()) {
            return wrongType();
        }
        for (const nlohmann::json& region : *regions) {
            if (!region.is_object()) {
                return wrongType();
            }
            const auto dir = region.find("dir");
            const bool vertical = dir != region.end() && *dir == "v";
            LanguageId lang = 0;
            if (const auto langCode = region.find("lang"); langCode != region.end()) {
                if (!langCode->is_string()) {
                    return wrongType();
                }
                lang = vl::youdao::LangIdFromCode(langCode->get_ref<const std::string&>());
            }
            const auto regionLines = region.find("lines");
            if (regionLines == region.end()) {
                continue;
            }
            if (!regionLines->is_array()) {
                return wrongType();
            }
            for (const nlohmann::json& line : *regionLines) {
                if (!line.is_object()) {
                    return wrongType();
                }
                TranslateLine out;
                if (!ParseOCROnceYoudao(line, out)) {
                    const std::string text = vl::json::Excerpt(line.dump());
                    VL_ERROR("ParseOCROnceYoudao failed, \r\n{}", text);
                    task.ocrErrInfo = "parse line failed, " + text;
                    continue;
                }
                out.vertical = vertical;
                out.lang = lang;
                out.dstLang = task.dstLang;
                lines.push_back(std::move(out));
            }
        }
    } catch (const std::exception&) {
        return wrongType();
    }
    return true;
}

bool Translator::OCRYoudao(TranslateTask& task, std::vector<TranslateLine>& lines) {
    std::string langType;
    if (!vl::youdao::LangCode(task.srcLang, langType)) {
        VL_ERROR("src lang {} is not supported", task.srcLang);
        return false;
    }
    std::string salt;
    if (!vl::UuidGenWithoutDash(salt)) {
        VL_ERROR("UuidGenWithoutDash failed");
        return false;
    }
    const vl::ServiceConfig::YoudaoOcr service = vl::Services().youdaoOcr;
    const std::string body =
        BuildOCRFormYoudao(task.image, langType, service.appKey, service.appSecret, salt,
                           vl::youdao::CurrentTimeSeconds());
    std::string error;
    std::int32_t httpCode = 0;
    std::string response;
    if (!vl::Singleton<vl::Http>::Instance()->PostSync(
            error, httpCode, response, service.url,
            {{"Content-Type", "application/x-www-form-urlencoded"}}, body, -1, false,
            vl::curl::kMaxOcrAnswerBytes)) {
        VL_ERROR("request ocr youdao failed, msg {}, code {}, resp {}", error, httpCode,
                 vl::json::Excerpt(response));
        onlineFailure_ = httpCode == 0                        ? OnlineFailure::Transport
                         : httpCode == 401 || httpCode == 403 ? OnlineFailure::Keys
                                                              : OnlineFailure::Other;
        return false;
    }
    if (!ReadOCRAnswerYoudao(response, task, lines)) {
        onlineFailure_ = KeysRefused(response) ? OnlineFailure::Keys : OnlineFailure::Other;
        return false;
    }
    return true;
}
