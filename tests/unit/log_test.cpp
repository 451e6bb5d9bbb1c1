#include <gtest/gtest.h>

#include <regex>

#include "tests/support/log_capture.h"
#include "utils/vl_log.h"

using vl::test::LogCapture;

namespace {

struct Widget {
    void Act() { VL_INFO("widget acted {}", 7); }
};

}  // namespace

TEST(Log, LineCarriesCallSiteAndEndsWithCrLf) {
    LogCapture::Get()->Clear();
    Widget().Act();
    const auto entries = LogCapture::Get()->Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].message, "widget acted 7");
    EXPECT_EQ(entries[0].function, "{anonymous}::Widget::Act");
    // [I][12/06/26 17:53:57.123][tid][    0][log_test.cpp:16][{anonymous}::Widget::Act] text
    const std::regex shape(
        R"(\[I\]\[\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}\]\[\d+\]\[ *\d+\]\[log_test\.cpp:\d+\])"
        R"(\[\{anonymous\}::Widget::Act\] widget acted 7\r\n)");
    EXPECT_TRUE(std::regex_match(entries[0].formatted, shape)) << entries[0].formatted;
}

TEST(Log, ProcessLoggerIsTheNamedDefaultAtDebug) {
    auto logger = spdlog::default_logger();
    EXPECT_EQ(logger->name(), "velmora translator");
    EXPECT_EQ(spdlog::get("velmora translator"), logger);
    EXPECT_EQ(logger->level(), spdlog::level::debug);
    EXPECT_EQ(logger->flush_level(), spdlog::level::info);
    LogCapture::Get()->Clear();
    VL_DEBUG("debug is written");
    EXPECT_TRUE(LogCapture::Get()->Has("debug is written"));
}

TEST(Log, FunctionNamesAreQualifiedWithoutSignature) {
    EXPECT_STREQ(vl::log::FunctionName("void Translator::TaskTh()").c_str(), "Translator::TaskTh");
    EXPECT_STREQ(vl::log::FunctionName("bool vl::Http::RequestOnce(vl::Http::Request&)").c_str(),
                 "vl::Http::RequestOnce");
    EXPECT_STREQ(vl::log::FunctionName("vl::Http::Http()").c_str(), "vl::Http::Http");
    EXPECT_STREQ(vl::log::FunctionName("std::vector<int> a::B<c, d>::F(int)").c_str(),
                 "a::B<c, d>::F");
    EXPECT_STREQ(vl::log::FunctionName("void X::Y()::<lambda()>").c_str(), "X::Y");
    EXPECT_STREQ(vl::log::FunctionName("bool S::operator()(int) const").c_str(), "S::operator()");
}
