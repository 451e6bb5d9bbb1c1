#include "logic/user_json.h"

#include <cmath>
#include <limits>

namespace user_json {

Envelope ReadEnvelope(const nlohmann::json& root) {
    Envelope e;
    e.code = ToInt32(root.at("code"));
    e.msg = root.at("msg").get<std::string>();
    return e;
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

std::string Dump(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace user_json
