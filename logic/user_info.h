#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

// The signed-in account as the client knows it.

// How the access token was obtained.
enum class LoginType : std::uint32_t {
    None = 0,
    Phone = 1,   // phone number and SMS code
    Wechat = 2,  // WeChat QR code
    QQ = 3,      // QQ QR code
    Token = 4,   // the token stored in the settings
};

// A calendar date and time as the back-end sends it; all twelve fields are zero when new.
struct DateTime {
    std::int32_t year = 0;
    std::int32_t month = 0;  // 1-12
    std::int32_t day = 0;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    std::int32_t millisecond = 0;
    std::int32_t microsecond = 0;
    std::int32_t nanosecond = 0;
    std::int32_t isDst = 0;
    std::int32_t dayOfYear = 0;
    std::int32_t dayOfWeek = 0;

    // Reads text of the form "%d-%d-%d %d:%d:%d" (year-month-day hour:minute:second) into the
    // first six fields, as scanf would: reading stops at the first mismatch and the fields after
    // it keep their values. Returns the number of fields read.
    int Parse(const std::string& text);

    bool operator==(const DateTime&) const = default;
};

// The instant of a local date and time, in nanoseconds since 1970-01-01 UTC. 0 for years before
// 1901. Dates past the last representable instant (2262-04-11 23:47:16.854775807 UTC; a lifetime
// membership may end in 9999) give that instant instead of a wrapped-around value.
std::int64_t ToEpochNanoseconds(const DateTime& t);

// One VIP purchase.
struct VipPeriod {
    std::int32_t goodsId = 0;
    bool unlimited = false;  // the translations of the period are not counted
    DateTime start;
    DateTime end;

    bool operator==(const VipPeriod&) const = default;
};

struct UserInfo {
    std::string token;  // sent as "Access-Token"
    LoginType loginType = LoginType::None;
    std::string userId;  // empty: not signed in
    std::string nickname;
    std::string avatar;
    bool isVip = false;
    DateTime vipEnd;
    std::int32_t vipNums = 0;
    DateTime freeTimeEnd;
    std::int32_t freeNums = 0;
    std::int32_t nums = 0;
    bool freeGift = false;
    std::int32_t delay = 0;
    std::vector<VipPeriod> vips;

    bool operator==(const UserInfo&) const = default;
};

// Stores the "data" of a "/user/info" answer into `info` (token and login type aside). Throws
// nlohmann's exceptions for a missing or mistyped value; `info` may then be partly written, so
// callers read into a copy.
void ReadUserData(const nlohmann::json& data, UserInfo& info);
