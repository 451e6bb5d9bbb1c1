// The Baidu OCR engine: "general" recognition with positions, read element by element.
#include <array>
#include <string_view>

#include "logic/baidu_ocr_client.h"
#include "logic/translator.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"

namespace {

constexpr std::array<std::string_view, vl::kLanguageCount> kLanguageTypes = {
    "CHN_ENG", "CHN_ENG", "CHN_ENG", "JAP", "KOR", "POR", "SPA", "FRE", "RUS"};

// An integer member of an object already known to hold it.
bool ReadInt(const Json::Value& object, const char* key, std::int32_t& out) {
    const Json::Value& v = object[key];
    if (!v.isInt()) {
        return false;
    }
    out = v.asInt();
    return true;
}

// Error codes of a refused application: no permission, authentication failed, access token
// invalid or expired.
bool KeysRefused(const Json::Value& answer) {
    if (!answer.isObject() || !answer.isMember("error_code") || !answer["error_code"].isInt()) {
        return false;
    }
    const int code = answer["error_code"].asInt();
    return code == 6 || code == 14 || code == 110 || code == 111;
}

}  // namespace

bool Translator::ParseOCROnceBaidu(const Json::Value& item, TranslateLine& out) {
    if (!item.isObject()) {
        VL_ERROR("item is not an object");
        return false;
    }
    if (!item.isMember("words")) {
        VL_ERROR("no \"words\"");
        return false;
    }
    if (!item.isMember("location")) {
        VL_ERROR("no \"location\"");
        return false;
    }
    if (!item.isMember("vertexes_location")) {
        VL_ERROR("no \"vertexes_location\"");
        return false;
    }
    const Json::Value& words = item["words"];
    const Json::Value& location = item["location"];
    const Json::Value& vertexes = item["vertexes_location"];
    if (!words.isString()) {
        VL_ERROR("\"words\" is not a string");
        return false;
    }
    if (!location.isObject()) {
        VL_ERROR("\"location\" is not an object");
        return false;
    }
    if (!vertexes.isArray()) {
        VL_ERROR("\"vertexes_location\" is not an array");
        return false;
    }
    out.text = words.asString();

    std::int32_t box[4] = {};
    const char* names[4] = {"left", "top", "width", "height"};
    for (int i = 0; i < 4; ++i) {
        if (!location.isMember(names[i])) {
            VL_ERROR("no \"{}\"", names[i]);
            return false;
        }
    }
    for (int i = 0; i < 4; ++i) {
        if (!ReadInt(location, names[i], box[i])) {
            VL_ERROR("\"{}\" is not an integer", names[i]);
            return false;
        }
    }
    const auto sum = [](std::int32_t a, std::int32_t b) {
        return static_cast<std::int32_t>(std::int64_t{a} + b);  // wraps instead of overflowing
    };
    out.rect = {box[0], box[1], sum(box[0], box[2]), sum(box[1], box[3])};

    if (vertexes.size() != 4) {
        VL_ERROR("\"vertexex_location\" size not equal 4");
        return false;
    }
    for (Json::ArrayIndex k = 0; k < 4; ++k) {
        const Json::Value& vertex = vertexes[k];
        if (!vertex.isObject()) {
            VL_ERROR("index {} is not an object", k);
            return false;
        }
        if (!vertex.isMember("x")) {
            VL_ERROR("index {} has no member \"x\"", k);
            return false;
        }
        if (!vertex.isMember("y")) {
            VL_ERROR("index {} has no member \"y\"", k);
            return false;
        }
        TranslatePoint point;
        if (!ReadInt(vertex, "x", point.x) || !ReadInt(vertex, "y", point.y)) {
            VL_ERROR("index {} has a coordinate that is not an integer", k);
            return false;
        }
        out.points[k] = point;
    }
    return true;
}

bool Translator::ReadOCRAnswerBaidu(const Json::Value& answer, TranslateTask& task,
                                    std::vector<TranslateLine>& lines) {
    const std::string styled = vl::json::Excerpt(answer.toStyledString());
    if (!answer.isObject() || !answer.isMember("log_id")) {
        VL_ERROR("result json is invalid, no \"log_id\"");
        VL_ERROR("{}", styled);
        task.ocrErrInfo = "ocr : result json is invalid, no \"log_id\", " + styled;
        return false;
    }
    const Json::Value& logId = answer["log_id"];
    if (logId.isString()) {
        task.logId = logId.asString();
    } else if (logId.type() == Json::intValue) {
        task.logId = std::to_string(logId.asInt64());
    } else if (logId.type() == Json::uintValue) {
        task.logId = std::to_string(logId.asUInt64());
    }
    if (!answer.isMember("words_result")) {
        VL_ERROR("result json is invalid, no \"words_result\"");
        VL_ERROR("{}", styled);
        task.ocrErrInfo = "ocr : result json is invalid, no \"words_result\", " + styled;
        return false;
    }
    const Json::Value& results = answer["words_result"];
    if (!results.isArray()) {
        VL_ERROR("result json is invalid, \"words_result\" is not an array, ");
        VL_ERROR("{}", styled);
        task.ocrErrInfo =
            "ocr : result json is invalid, \"words_result\" is not an array, " + styled;
        return false;
    }
    bool failed = false;
    for (Json::ArrayIndex i = 0; i < results.size(); ++i) {
        const Json::Value& item = results[i];
        if (!item.isObject()) {
            VL_ERROR("index {} is not an object", i);
            task.ocrErrInfo = "ocr : index " + std::to_string(i) + " is not an object";
            failed = true;
            break;
        }
        TranslateLine line;
        if (!ParseOCROnceBaidu(item, line)) {
            VL_ERROR("parse result with index {} failed, json is {}", i,
                     vl::json::Excerpt(item.toStyledString()));
            if (task.ocrErrInfo.empty()) {
                task.ocrErrInfo = "ocr : parse result with index " + std::to_string(i) + " failed";
            }
            failed = true;
            continue;
        }
        line.lang = task.srcLang;
        line.dstLang = task.dstLang;
        line.vertical = false;
        line.translation.clear();
        lines.push_back(std::move(line));
    }
    if (failed) {
        VL_ERROR("{}", styled);
        task.ocrErrInfo += ", " + styled;
        return false;
    }
    return true;
}

bool Translator::OCRBaidu(TranslateTask& task, std::vector<TranslateLine>& lines) {
    if (task.srcLang >= kLanguageTypes.size()) {
        VL_ERROR("src lang {} is not supported", task.srcLang);
        return false;
    }
    const BaiduOcrClient::Params options = {
        {"language_type", std::string(kLanguageTypes[task.srcLang])},
        {"recognize_granularity", "big"},
        {"detect_direction", "true"},
        {"detect_language", "false"},
        {"vertexes_location", "true"},
        {"probability", "true"},
        {"paragraph", "true"},
    };
    const vl::ServiceConfig::BaiduOcr service = vl::Services().baiduOcr;
    try {
        BaiduOcrClient client(service.appId, service.apiKey, service.secretKey, service.tokenUrl,
                              service.generalUrl);
        const Json::Value answer = client.General(task.image, options);
        if (!client.TransferError().empty()) {
            VL_ERROR("request ocr baidu failed, {}", client.TransferError());
            task.ocrErrInfo = "ocr : request failed, " + client.TransferError();
            onlineFailure_ = OnlineFailure::Transport;
            return false;
        }
        if (!ReadOCRAnswerBaidu(answer, task, lines)) {
            onlineFailure_ = KeysRefused(answer) ? OnlineFailure::Keys : OnlineFailure::Other;
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        // jsoncpp asserts by throwing; every access is checked, so this is a safety net.
        VL_ERROR("read baidu ocr answer failed with exception, {}", e.what());
        onlineFailure_ = OnlineFailure::Other;
        return false;
    }
}
