#include "utils/vl_json.h"

#include <cmath>
#include <limits>

namespace vl::json {

namespace {

constexpr std::size_t kExcerptBytes = 1024;

}  // namespace

bool DepthWithin(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return false;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return true;
}

std::string Excerpt(std::string_view text) {
    if (text.size() <= kExcerptBytes) {
        return std::string(text);
    }
    return std::string(text.substr(0, kExcerptBytes)) + "... (" + std::to_string(text.size()) +
           " bytes)";
}

nlohmann::json Parse(const std::string& text) {
    if (!DepthWithin(text)) {
        throw TooDeep();
    }
    return nlohmann::json::parse(text);
}

std::int32_t ToInt32(const nlohmann::json& value) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (std::isnan(d))
            return 0;
        if (d <= kMin)
            return kMin;
        if (d >= kMax)
            return kMax;
        return static_cast<std::int32_t>(d);
    }
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        return u > static_cast<std::uint64_t>(kMax) ? kMax : static_cast<std::int32_t>(u);
    }
    const auto i = value.get<std::int64_t>();  // throws type_error for non-numbers
    if (i < kMin)
        return kMin;
    if (i > kMax)
        return kMax;
    return static_cast<std::int32_t>(i);
}

}  // namespace vl::json
