#include "ui/pay_good.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>

#include "utils/vl_json.h"
#include "utils/vl_log.h"
#include "utils/vl_string.h"

namespace {

// A price is a number or, from some catalogues, the number's text.
double ReadPrice(const nlohmann::json& value) {
    if (value.is_string()) {
        return std::atof(value.get_ref<const std::string&>().c_str());
    }
    return value.get<double>();  // type_error for anything but a number
}

bool ReadFeature(const nlohmann::json& entry, GoodFeature& feature) {
    feature.enable = vl::json::ToInt32(entry.at("enable")) == 1;
    std::istringstream title(entry.at("title").get<std::string>());
    auto nextLine = [&title](std::string& line) {
        if (!std::getline(title, line)) {
            return false;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return true;
    };
    if (!nextLine(feature.key)) {
        VL_ERROR("read key failed");
        return false;
    }
    if (!nextLine(feature.value)) {
        VL_WARN("read value failed");
        feature.value.clear();
    }
    feature.code = entry.at("code").get<std::string>();
    feature.icon = entry.at("icon").get<std::string>();
    return true;
}

}  // namespace

std::string CompactJson(const nlohmann::json& value) {
    return vl::json::Excerpt(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

bool Good::update(const nlohmann::json& good) {
    if (good.is_discarded()) {
        VL_ERROR("json is invalid, json is \r\n{}", CompactJson(good));
        return false;
    }
    if (!good.is_object()) {
        return false;
    }
    try {
        goodsId = vl::json::ToInt32(good.at("goodsId"));
        goodsName = vl::ToUnicode(good.at("goodsName").get<std::string>());
        goodsDesc = vl::ToUnicode(good.at("goodsDesc").get<std::string>());
        goodsCategory = vl::json::ToInt32(good.at("goodsCategory"));
        goodsGroup = vl::json::ToInt32(good.at("goodsGroup"));
        goodsTabId = vl::json::ToInt32(good.at("goodsTabId"));
        oriPrice = ReadPrice(good.at("oriPrice"));
        price = ReadPrice(good.at("price"));
        unitPrice = ReadPrice(good.at("unitPrice"));
        unitTime = vl::ToUnicode(good.at("unitTime").get<std::string>());
        unlimitedNums = vl::json::ToInt32(good.at("unlimitedNums")) == 1;
        transNums = vl::json::ToInt32(good.at("transNums"));
        badge = vl::ToUnicode(good.at("badge").get<std::string>());
        const auto& list = good.at("features");
        if (!list.is_array()) {
            VL_LOG_JSON_READ_ERROR(CompactJson(good));
            return false;
        }
        features.clear();
        for (const auto& entry : list) {
            GoodFeature feature;
            if (!ReadFeature(entry, feature)) {
                return false;
            }
            features.push_back(std::move(feature));
        }
        return true;
    } catch (const std::exception&) {
        VL_LOG_JSON_READ_ERROR(CompactJson(good));
    }
    return false;
}

std::u16string FormatPrice(double yuan) {
    // Beyond this the cents no longer fit a double exactly; no good costs that much.
    constexpr double kMaxYuan = 1e12;
    if (!std::isfinite(yuan) || yuan < 0 || yuan > kMaxYuan) {
        return u"--";
    }
    const auto cents = static_cast<std::int64_t>(std::llround(yuan * 100));
    std::string text = std::to_string(cents / 100);
    if (const auto rest = cents % 100; rest != 0) {
        text += '.';
        text += static_cast<char>('0' + rest / 10);
        if (rest % 10 != 0) {
            text += static_cast<char>('0' + rest % 10);
        }
    }
    return vl::ToUnicodeW(text);
}
