#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>

#include "logic/user_info.h"

namespace {

constexpr std::int64_t kMaxNanos = std::numeric_limits<std::int64_t>::max();

// Local time is the process's; these tests pin it with POSIX zone strings (no zone files needed).
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_)
            old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (hadOld_) {
            ::setenv("TZ", old_.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

DateTime Date(const std::string& text) {
    DateTime d;
    d.Parse(text);
    return d;
}

UserInfo Read(const std::string& data, UserInfo info = {}) {
    ReadUserData(nlohmann::json::parse(data), info);
    return info;
}

const char* kBaseData =
    R"("nickname":"Mia","avatar":"http://a/1.png","vipEnd":"2024-05-01 08:00:00",)"
    R"("vipNums":1,"freeTimeEnd":"2023-01-02 03:04:05","freeNums":2,"nums":3)";

std::string Data(const std::string& extra) {
    return std::string("{") + kBaseData + "," + extra + "}";
}

}  // namespace

TEST(DateTime, ReadsTheBackendFormatLikeScanf) {
    const DateTime d = Date("2024-05-01 08:00:00");
    EXPECT_EQ(d.year, 2024);
    EXPECT_EQ(d.month, 5);
    EXPECT_EQ(d.day, 1);
    EXPECT_EQ(d.hour, 8);
    EXPECT_EQ(d.minute, 0);
    EXPECT_EQ(d.second, 0);
    DateTime expected;
    expected.year = 2024;
    expected.month = 5;
    expected.day = 1;
    expected.hour = 8;
    EXPECT_EQ(d, expected);  // the six other fields stay zero

    // White space before a number and between date and time is free; signs are read.
    EXPECT_EQ(Date(" 2024-5-1\t\t8:9:10"), Date("2024-05-01 08:09:10"));
    EXPECT_EQ(Date("2024--5-01 00:00:00").month, -5);

    // Reading stops at the first mismatch; later fields keep what they held.
    DateTime partial;
    partial.day = 77;
    partial.second = 88;
    EXPECT_EQ(partial.Parse("2024-05T01"), 2);
    EXPECT_EQ(partial.year, 2024);
    EXPECT_EQ(partial.month, 5);
    EXPECT_EQ(partial.day, 77);
    EXPECT_EQ(partial.Parse("2025-06-07T08:09:10"), 3);
    EXPECT_EQ(partial.day, 7);
    EXPECT_EQ(partial.second, 88);
    DateTime untouched;
    untouched.year = 1;
    EXPECT_EQ(untouched.Parse(""), 0);
    EXPECT_EQ(untouched.Parse("abc"), 0);
    EXPECT_EQ(untouched.Parse("2024 -05-01"), 1);
    EXPECT_EQ(untouched.year, 2024);

    // Numbers beyond 32 bits clamp instead of overflowing.
    EXPECT_EQ(Date("99999999999999999999-1-1 0:0:0").year, std::numeric_limits<int>::max());
    EXPECT_EQ(Date("-99999999999-1-1 0:0:0").year, std::numeric_limits<int>::min());
}

TEST(DateTime, EpochNanosecondsAreLocalTime) {
    DateTime d = Date("2024-05-01 08:00:00");
    d.millisecond = 1;
    d.microsecond = 2;
    d.nanosecond = 3;
    {
        ZoneGuard utc("UTC0");
        EXPECT_EQ(ToEpochNanoseconds(d), 1714550400'001'002'003LL);
        EXPECT_EQ(ToEpochNanoseconds(Date("1970-01-01 00:00:00")), 0);
        EXPECT_EQ(ToEpochNanoseconds(Date("1901-01-01 00:00:00")), -2177452800'000'000'000LL);
        // Fields out of range are normalised as mktime does: 2024-02-30 is 2024-03-01.
        EXPECT_EQ(ToEpochNanoseconds(Date("2024-02-30 00:00:00")),
                  ToEpochNanoseconds(Date("2024-03-01 00:00:00")));
    }
    {
        ZoneGuard beijing("CST-8");
        EXPECT_EQ(ToEpochNanoseconds(d), 1714521600'001'002'003LL);
    }
    // No year, or the year 1900, is no instant at all.
    EXPECT_EQ(ToEpochNanoseconds(DateTime{}), 0);
    EXPECT_EQ(ToEpochNanoseconds(Date("1900-06-01 00:00:00")), 0);
    EXPECT_EQ(ToEpochNanoseconds(Date("-5-06-01 00:00:00")), 0);
}

TEST(DateTime, FarFutureDatesSaturateInsteadOfWrapping) {
    ZoneGuard utc("UTC0");
    // The last instant a signed 64-bit count of nanoseconds holds.
    DateTime last = Date("2262-04-11 23:47:16");
    EXPECT_EQ(ToEpochNanoseconds(last), 9223372036'000'000'000LL);
    last.millisecond = 854;
    last.microsecond = 775;
    last.nanosecond = 807;
    EXPECT_EQ(ToEpochNanoseconds(last), kMaxNanos);
    last.nanosecond = 808;
    EXPECT_EQ(ToEpochNanoseconds(last), kMaxNanos);
    EXPECT_EQ(ToEpochNanoseconds(Date("2262-04-11 23:47:17")), kMaxNanos);

    // A lifetime membership ends in 9999: later than any real date, never negative.
    const std::int64_t lifetime = ToEpochNanoseconds(Date("9999-12-31 23:59:59"));
    EXPECT_EQ(lifetime, kMaxNanos);
    EXPECT_GT(lifetime, ToEpochNanoseconds(Date("2099-12-31 23:59:59")));
    DateTime absurd;
    absurd.year = std::numeric_limits<std::int32_t>::max();
    absurd.month = std::numeric_limits<std::int32_t>::min();
    absurd.day = 1;
    EXPECT_EQ(ToEpochNanoseconds(absurd), kMaxNanos);
}

TEST(UserData, FieldsAreConvertedFromTheAnswer) {
    UserInfo info = Read(Data(R"("userId":123,"vipLevel":3,"freeGift":0,"config":{"delay":9})"));
    EXPECT_EQ(info.userId, "123");
    EXPECT_EQ(info.nickname, "Mia");
    EXPECT_EQ(info.avatar, "http://a/1.png");
    EXPECT_TRUE(info.isVip);
    EXPECT_EQ(info.vipEnd, Date("2024-05-01 08:00:00"));
    EXPECT_EQ(info.freeTimeEnd, Date("2023-01-02 03:04:05"));
    EXPECT_EQ(info.vipNums, 1);
    EXPECT_EQ(info.freeNums, 2);
    EXPECT_EQ(info.nums, 3);
    EXPECT_TRUE(info.freeGift);
    EXPECT_EQ(info.delay, 9);
    EXPECT_TRUE(info.vips.empty());

    EXPECT_EQ(Read(Data(R"("userId":"u-7")")).userId, "u-7");
    // "vipLevel": a flag as is, a number when not 0, anything else (or nothing) false.
    EXPECT_FALSE(Read(Data(R"("userId":"u","vipLevel":0)")).isVip);
    EXPECT_TRUE(Read(Data(R"("userId":"u","vipLevel":true)")).isVip);
    EXPECT_FALSE(Read(Data(R"("userId":"u","vipLevel":false)")).isVip);
    EXPECT_FALSE(Read(Data(R"("userId":"u","vipLevel":"3")")).isVip);
    EXPECT_TRUE(Read(Data(R"("userId":"u","vipLevel":0.5)")).isVip);
    EXPECT_FALSE(Read(Data(R"("userId":"u")")).isVip);
    // "freeGift" is true only for the number 0.
    EXPECT_FALSE(Read(Data(R"("userId":"u","freeGift":1)")).freeGift);
    EXPECT_FALSE(Read(Data(R"("userId":"u","freeGift":false)")).freeGift);
    EXPECT_FALSE(Read(Data(R"("userId":"u")")).freeGift);

    // Huge counts clamp instead of overflowing.
    const UserInfo big = Read(std::string(R"({"userId":"u","nickname":"","avatar":"",)") +
                              R"("vipEnd":"","vipNums":1e300,"freeTimeEnd":"",)" +
                              R"("freeNums":-99999999999,"nums":18446744073709551615})");
    EXPECT_EQ(big.vipNums, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(big.freeNums, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(big.nums, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(big.vipEnd, DateTime{});

    // A nickname that is not UTF-8 is repaired, not passed on.
    UserInfo repaired;
    ReadUserData(nlohmann::json{{"userId", "u"},
                                {"nickname", std::string("a\xff"
                                                         "b")},
                                {"avatar", ""},
                                {"vipEnd", ""},
                                {"vipNums", 0},
                                {"freeTimeEnd", ""},
                                {"freeNums", 0},
                                {"nums", 0}},
                 repaired);
    EXPECT_EQ(repaired.nickname,
              "a\xEF\xBF\xBD"
              "b");
}

TEST(UserData, DelayAndVipPeriodsFollowTheAnswer) {
    UserInfo previous;
    previous.delay = 42;
    previous.vips.resize(3);
    // No "config", or one without "delay", keeps the earlier delay; the periods are replaced.
    EXPECT_EQ(Read(Data(R"("userId":"u")"), previous).delay, 42);
    EXPECT_EQ(Read(Data(R"("userId":"u","config":{"other":1})"), previous).delay, 42);
    EXPECT_EQ(Read(Data(R"("userId":"u","config":[1])"), previous).delay, 42);
    EXPECT_EQ(Read(Data(R"("userId":"u","config":{"delay":0})"), previous).delay, 0);
    EXPECT_TRUE(Read(Data(R"("userId":"u")"), previous).vips.empty());
    EXPECT_TRUE(Read(Data(R"("userId":"u","vips":null)"), previous).vips.empty());

    const std::string vips =
        R"("userId":"u","vips":[)"
        R"({"goodsId":11,"unlimitedNums":1,"start":"2024-01-01 00:00:00","end":"9999-12-31 23:59:59"},)"
        R"({"goodsId":12,"unlimitedNums":0,"start":"2024-02-01 00:00:00","end":"2024-03-01 00:00:00"},)"
        R"({"goodsId":13,"unlimitedNums":true,"start":"","end":""},)"
        R"({"goodsId":14,"unlimitedNums":false,"start":"","end":""},)"
        R"({"goodsId":15,"start":"","end":""}])";
    const UserInfo once = Read(Data(vips), previous);
    ASSERT_EQ(once.vips.size(), 5u);
    EXPECT_EQ(once.vips[0].goodsId, 11);
    EXPECT_TRUE(once.vips[0].unlimited);
    EXPECT_EQ(once.vips[0].start, Date("2024-01-01 00:00:00"));
    EXPECT_EQ(once.vips[0].end.year, 9999);
    EXPECT_FALSE(once.vips[1].unlimited);
    EXPECT_EQ(once.vips[1].end, Date("2024-03-01 00:00:00"));
    EXPECT_TRUE(once.vips[2].unlimited);
    EXPECT_FALSE(once.vips[3].unlimited);
    EXPECT_FALSE(once.vips[4].unlimited);
    EXPECT_EQ(once.vips[2].start, DateTime{});
    // Reading the same answer again gives the same list, not a longer one.
    EXPECT_EQ(Read(Data(vips), once).vips, once.vips);
}

TEST(UserData, MissingOrMistypedValuesThrowForTheCallerToCatch) {
    const char* broken[] = {
        R"({"nickname":"","avatar":"","vipEnd":"","vipNums":0,"freeTimeEnd":"","freeNums":0,"nums":0})",
        R"({"userId":"u","nickname":"","avatar":"","vipEnd":"","vipNums":0,"freeTimeEnd":"","freeNums":0})",
        R"({"userId":"u","nickname":"","avatar":"","vipEnd":"","vipNums":"1","freeTimeEnd":"","freeNums":0,"nums":0})",
        R"({"userId":"u","nickname":"","avatar":"","vipEnd":"","vipNums":0,"freeTimeEnd":"","freeNums":0,"nums":0,"vips":{"a":1}})",
        R"({"userId":"u","nickname":"","avatar":"","vipEnd":"","vipNums":0,"freeTimeEnd":"","freeNums":0,"nums":0,"vips":[{"goodsId":1}]})",
        R"([1,2])",
    };
    for (const char* text : broken) {
        UserInfo info;
        EXPECT_ANY_THROW(ReadUserData(nlohmann::json::parse(text), info)) << text;
    }
}
