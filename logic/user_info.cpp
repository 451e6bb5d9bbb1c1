#include "logic/user_info.h"

#include <cctype>
#include <cerrno>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "logic/user_json.h"
#include "utils/vl_string.h"

// Dates up to the year 9999 and beyond need more than 32 bits of seconds.
static_assert(sizeof(std::time_t) == 8, "a 64-bit time_t is required");

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kNanosMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kNanosMin = std::numeric_limits<std::int64_t>::min();

int ClampToInt(std::int64_t v) {
    return static_cast<int>(v < kInt32Min ? kInt32Min : (v > kInt32Max ? kInt32Max : v));
}

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// One "%d": optional white space, an optional sign, at least one digit. Out-of-range values clamp.
bool ScanInt(const std::string& s, std::size_t& pos, std::int32_t& out) {
    std::size_t p = pos;
    while (p < s.size() && IsSpace(s[p]))
        ++p;
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
        negative = s[p] == '-';
        ++p;
    }
    if (p >= s.size() || !std::isdigit(static_cast<unsigned char>(s[p])))
        return false;
    std::int64_t value = 0;
    for (; p < s.size() && std::isdigit(static_cast<unsigned char>(s[p])); ++p) {
        if (value <= kInt32Max + 1)
            value = value * 10 + (s[p] - '0');
    }
    out = ClampToInt(negative ? -value : value);
    pos = p;
    return true;
}

}  // namespace

int DateTime::Parse(const std::string& text) {
    std::int32_t* const fields[] = {&year, &month, &day, &hour, &minute, &second};
    // The separator in front of each field after the first; ' ' matches any white space.
    const char separators[] = {'-', '-', ' ', ':', ':'};
    std::size_t pos = 0;
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            const char sep = separators[i - 1];
            if (sep == ' ') {
                while (pos < text.size() && IsSpace(text[pos]))
                    ++pos;
            } else if (pos < text.size() && text[pos] == sep) {
                ++pos;
            } else {
                return i;
            }
        }
        if (!ScanInt(text, pos, *fields[i]))
            return i;
    }
    return 6;
}

std::int64_t ToEpochNanoseconds(const DateTime& t) {
    const std::int64_t years = std::int64_t{t.year} - 1900;
    if (years < 1)
        return 0;
    std::tm tm{};
    tm.tm_year = ClampToInt(years);
    tm.tm_mon = ClampToInt(std::int64_t{t.month} - 1);
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = t.isDst;
    tm.tm_yday = t.dayOfYear;
    tm.tm_wday = t.dayOfWeek;
    errno = 0;
    const std::time_t seconds = std::mktime(&tm);
    if (seconds == static_cast<std::time_t>(-1) && errno != 0) {
        // Beyond what the calendar arithmetic can hold: with a year after 1900 that is the future.
        return kNanosMax;
    }
    std::int64_t nanos = 0;
    if (__builtin_mul_overflow(static_cast<std::int64_t>(seconds), std::int64_t{1000000000},
                               &nanos)) {
        return seconds > 0 ? kNanosMax : kNanosMin;
    }
    const std::int64_t fraction =
        (std::int64_t{t.millisecond} * 1000 + t.microsecond) * 1000 + t.nanosecond;
    std::int64_t result = 0;
    if (__builtin_add_overflow(nanos, fraction, &result)) {
        return fraction > 0 ? kNanosMax : kNanosMin;
    }
    return result;
}

namespace {

DateTime ReadDate(const nlohmann::json& value) {
    DateTime d;
    d.Parse(value.get<std::string>());
    return d;
}

VipPeriod ReadVipPeriod(const nlohmann::json& entry) {
    VipPeriod v;
    v.goodsId = user_json::ToInt32(entry.at("goodsId"));
    // A count of unlimited translations, or a flag; anything else is not unlimited.
    const auto unlimited = entry.find("unlimitedNums");
    if (unlimited != entry.end()) {
        v.unlimited = unlimited->is_boolean() ? unlimited->get<bool>()
                                              : unlimited->is_number() && *unlimited != 0;
    }
    v.start = ReadDate(entry.at("start"));
    v.end = ReadDate(entry.at("end"));
    return v;
}

}  // namespace

void ReadUserData(const nlohmann::json& data, UserInfo& info) {
    const nlohmann::json& userId = data.at("userId");
    info.userId = userId.is_number() ? userId.dump() : userId.get<std::string>();
    info.nickname = vl::ToUnicode(data.at("nickname").get<std::string>());
    info.avatar = data.at("avatar").get<std::string>();
    const auto vipLevel = data.find("vipLevel");
    if (vipLevel == data.end()) {
        info.isVip = false;
    } else if (vipLevel->is_boolean()) {
        info.isVip = vipLevel->get<bool>();
    } else {
        info.isVip = vipLevel->is_number() && *vipLevel != 0;
    }
    info.vipEnd = ReadDate(data.at("vipEnd"));
    info.vipNums = user_json::ToInt32(data.at("vipNums"));
    info.freeTimeEnd = ReadDate(data.at("freeTimeEnd"));
    info.freeNums = user_json::ToInt32(data.at("freeNums"));
    info.nums = user_json::ToInt32(data.at("nums"));
    const auto freeGift = data.find("freeGift");
    info.freeGift = freeGift != data.end() && freeGift->is_number() && *freeGift == 0;
    const auto config = data.find("config");
    if (config != data.end() && config->is_object() && config->contains("delay")) {
        info.delay = user_json::ToInt32(config->at("delay"));
    }
    std::vector<VipPeriod> vips;
    const auto list = data.find("vips");
    if (list != data.end() && !list->is_null()) {
        if (!list->is_array()) {
            throw std::runtime_error("vips is not an array");
        }
        for (const nlohmann::json& entry : *list) {
            vips.push_back(ReadVipPeriod(entry));
        }
    }
    info.vips = std::move(vips);
}
