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

// A "data" member with every required value; `extra` adds or overrides members.
std::string Data(const std::string& extra) {
    nlohmann::json data = nlohmann::json::parse(
        R"({"nickname":"Mia","avatar":"http://a/1.png","vipEnd":"2024-05-01 08:00:00",)"
        R"("vipNums":1,"freeTimeEnd":"2023-01-02 03:04:05","freeNums":2,"nums":3})");
    data.update(nlohmann::json::parse("{" + extra + "}"));
    return data.dump();
}

}  // namespace

TEST(DateTime, ReadsTheBackendFormatLikeScanf) {
    DateTime expected;
    expected.year = 2024;
    expected.month = 5;
    expected.day = 1;
    expected.hour = 8;
    EXPECT_EQ(Date("2024-05-01 08:00:00"), expected);  // the six other fields stay zero
    EXPECT_EQ(Date(" 2024-5-1\t\t8:0:0"), expected);

    // Reading stops at the first mismatch; later fields keep what they held.
    DateTime partial;
    partial.day = 77;
    EXPECT_EQ(partial.Parse("2024-05T01"), 2);
    EXPECT_EQ(partial.month, 5);
    EXPECT_EQ(partial.day, 77);

    // Numbers beyond 32 bits clamp instead of overflowing.
    EXPECT_EQ(Date("99999999999999999999-1-1 0:0:0").year, std::numeric_limits<int>::max());
}

TEST(DateTime, EpochNanosecondsAreLocalTime) {
    DateTime d = Date("2024-05-01 08:00:00");
    d.millisecond = 1;
    d.microsecond = 2;
    d.nanosecond = 3;
    {
        ZoneGuard utc("UTC0");
        EXPECT_EQ(ToEpochNanoseconds(d), 1714550400'001'002'003LL);
    }
    {
        ZoneGuard beijing("CST-8");
        EXPECT_EQ(ToEpochNanoseconds(d), 1714521600'001'002'003LL);
    }
    EXPECT_EQ(ToEpochNanoseconds(DateTime{}), 0);  // no year is no instant
}

TEST(DateTime, FarFutureDatesSaturateInsteadOfWrapping) {
    ZoneGuard utc("UTC0");
    DateTime last = Date("2262-04-11 23:47:16");
    last.millisecond = 854;
    last.microsecond = 775;
    last.nanosecond = 808;  // one past the last instant a signed 64-bit count holds
    EXPECT_EQ(ToEpochNanoseconds(last), kMaxNanos);
    // A lifetime membership ends in 9999: later than any real date, never negative.
    EXPECT_EQ(ToEpochNanoseconds(Date("9999-12-31 23:59:59")), kMaxNanos);
    DateTime absurd;
    absurd.year = std::numeric_limits<std::int32_t>::max();
    absurd.month = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(ToEpochNanoseconds(absurd), kMaxNanos);
}

TEST(UserData, FieldsAreConvertedFromTheAnswer) {
    UserInfo info = Read(Data(R"("userId":123,"vipLevel":3,"freeGift":0,"config":{"delay":9})"));
    EXPECT_EQ(info.userId, "123");
    EXPECT_EQ(info.nickname, "Mia");
    EXPECT_TRUE(info.isVip);
    EXPECT_EQ(info.vipEnd, Date("2024-05-01 08:00:00"));
    EXPECT_EQ(info.nums, 3);
    EXPECT_TRUE(info.freeGift);
    EXPECT_EQ(info.delay, 9);
    EXPECT_FALSE(Read(Data(R"("userId":"u","vipLevel":"3")")).isVip);
    EXPECT_FALSE(Read(Data(R"("userId":"u","freeGift":false)")).freeGift);

    // Huge counts clamp instead of overflowing.
    const UserInfo big = Read(Data(R"("userId":"u","vipNums":1e300,"nums":18446744073709551615)"));
    EXPECT_EQ(big.vipNums, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(big.nums, std::numeric_limits<std::int32_t>::max());
}

TEST(UserData, DelayAndVipPeriodsFollowTheAnswer) {
    UserInfo previous;
    previous.delay = 42;
    previous.vips.resize(3);
    // No "delay" keeps the earlier one; the periods are replaced, never appended to.
    EXPECT_EQ(Read(Data(R"("userId":"u","config":{"other":1})"), previous).delay, 42);
    EXPECT_TRUE(Read(Data(R"("userId":"u")"), previous).vips.empty());
    const std::string vips =
        R"("userId":"u","vips":[)"
        R"({"goodsId":11,"unlimitedNums":1,"start":"2024-01-01 00:00:00","end":"9999-12-31 23:59:59"},)"
        R"({"goodsId":12,"unlimitedNums":false,"start":"","end":""}])";
    const UserInfo once = Read(Data(vips), previous);
    ASSERT_EQ(once.vips.size(), 2u);
    EXPECT_TRUE(once.vips[0].unlimited);
    EXPECT_EQ(once.vips[0].end.year, 9999);
    EXPECT_FALSE(once.vips[1].unlimited);
    EXPECT_EQ(Read(Data(vips), once).vips, once.vips);

    UserInfo broken;
    EXPECT_ANY_THROW(Read(Data(R"("userId":"u","vips":[{"goodsId":1}])")));
}
