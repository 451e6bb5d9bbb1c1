#include "logic/window_answers.h"

#include <stb/stb_image.h>

#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "utils/vl_base64.h"
#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace answers {

namespace {

constexpr std::size_t kMaxOrderNo = 64;

// A member that holds something: present, not null, not an empty object or array.
bool Holds(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) {
        return false;
    }
    const auto it = object.find(key);
    return it != object.end() && !it->is_null() &&
           !((it->is_object() || it->is_array()) && it->empty());
}

// Parses `text` into `answer`; false (logged) when its "code" is not 0. Throws for a text that
// is no answer.
bool Accepted(const std::string& text, nlohmann::json& answer, const char* refusedLog) {
    answer = vl::json::Parse(text);
    const std::int32_t code = vl::json::ToInt32(answer.at("code"));
    if (code != 0) {
        const auto msg = answer.find("msg");
        const std::string said = msg == answer.end() ? std::string()
                                 : msg->is_string()  ? msg->get<std::string>()
                                                     : msg->dump();
        VL_WARN(fmt::runtime(refusedLog), code, vl::ToUnicode(said));
        return false;
    }
    return true;
}

// A JSON number or a text of decimal digits (with an optional minus) as a signed 64-bit value;
// throws std::invalid_argument for anything else.
std::int64_t VersionCode(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() >
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::numeric_limits<std::int64_t>::max();
        }
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (d >= 9.2e18 || d <= -9.2e18 || d != d) {
            throw std::invalid_argument("versionCode is out of range");
        }
        return static_cast<std::int64_t>(d);
    }
    if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        std::int64_t code = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
        if (ec == std::errc() && end == text.data() + text.size()) {
            return code;
        }
    }
    throw std::invalid_argument("versionCode is neither an integer nor its decimal text");
}

}  // namespace

bool IsUsableOrderNo(const std::string& orderNo) {
    if (orderNo.empty() || orderNo.size() > kMaxOrderNo) {
        return false;
    }
    for (const char c : orderNo) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!plain) {
            return false;
        }
    }
    return true;
}

bool ReadOrder(const std::string& text, const char* payField, const char* missingLog,
               std::string* orderNo, std::string* payment) {
    try {
        nlohmann::json answer;
        if (!Accepted(text, answer, "parse version info failed, code {}, msg {}")) {
            return false;
        }
        const auto& data = answer.at("data");
        if (!Holds(data, "orderNo") || !Holds(data, "appPayParams") ||
            !Holds(data.at("appPayParams"), payField)) {
            VL_ERROR(fmt::runtime(missingLog), vl::json::Excerpt(text));
            return false;
        }
        std::string number = data.at("orderNo").get<std::string>();
        std::string pay = data.at("appPayParams").at(payField).get<std::string>();
        if (!IsUsableOrderNo(number)) {
            VL_ERROR("order number is not usable, json is \r\n{}", vl::json::Excerpt(text));
            return false;
        }
        *orderNo = std::move(number);
        *payment = std::move(pay);
        return true;
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, text);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(text);
    }
    return false;
}

OrderState ReadOrderState(const std::string& text) {
    try {
        nlohmann::json answer;
        if (!Accepted(text, answer, "parse version info failed, code {}, msg {}")) {
            return OrderState::Unreadable;
        }
        const auto& data = answer.at("data");
        const bool paid = Holds(data, "status") && data.at("status").is_number() &&
                          data.at("status").get<double>() == 2;
        return paid ? OrderState::Paid : OrderState::Unpaid;
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, text);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(text);
    }
    return OrderState::Unreadable;
}

bool ReadGift(const std::string& text, std::string* content) {
    try {
        nlohmann::json answer;
        if (!Accepted(text, answer, "get gift failed, code {}, msg {}")) {
            return false;
        }
        *content = answer.at("data").at("content").get<std::string>();
        return true;
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, text);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(text);
    }
    return false;
}

bool ReadVersion(const std::string& text, Version* version) {
    try {
        nlohmann::json answer;
        if (!Accepted(text, answer, "parse version info failed, code {}, msg {}")) {
            return false;
        }
        const nlohmann::json& data = answer.at("data");
        Version read;
        read.name = data.at("versionName").get<std::string>();
        read.code = VersionCode(data.at("versionCode"));
        read.desc = data.at("desc").get<std::string>();
        read.downloadUrl = data.at("downloadUrl").get<std::string>();
        *version = std::move(read);
        return true;
    } catch (const nlohmann::json::parse_error& e) {
        VL_LOG_JSON_PARSE_ERROR(e, text);
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(text);
    }
    return false;
}

bool DecodeQrPng(const std::string& base64, std::string* png) {
    std::string bytes = vl::FromBase64(base64);
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    const int size = bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())
                         ? 0
                         : static_cast<int>(bytes.size());
    int width = 0, height = 0, channels = 0;
    // The header first: a huge picture is refused before anything is decoded.
    if (size == 0 || !stbi_info_from_memory(data, size, &width, &height, &channels)) {
        VL_ERROR("qr image is no picture, {} bytes", bytes.size());
        return false;
    }
    if (width < 1 || height < 1 || width > kMaxQrSide || height > kMaxQrSide) {
        VL_ERROR("qr image of {}x{} pixels is refused", width, height);
        return false;
    }
    stbi_uc* pixels = stbi_load_from_memory(data, size, &width, &height, &channels, 1);
    if (pixels == nullptr) {
        VL_ERROR("qr image cannot be decoded, {}", stbi_failure_reason());
        return false;
    }
    stbi_image_free(pixels);
    *png = std::move(bytes);
    return true;
}

}  // namespace answers
