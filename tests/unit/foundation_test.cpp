#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <thread>

#include "platform/core/launch.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "utils/vl_base64.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"
#include "utils/vl_singleton.h"
#include "utils/vl_string.h"
#include "utils/vl_uuid.h"

using namespace std::chrono_literals;
using vl::test::LogCapture;
using vl::test::TempDir;

namespace {

struct Counted : vl::Singleton<Counted> {
    Counted() { ++constructions; }
    static inline std::atomic<int> constructions{0};
};

struct Widget {
    void Act() { VL_INFO("widget acted {}", 7); }
};

// An executable script in `dir`.
std::string Script(const TempDir& dir, const std::string& name, const std::string& body) {
    dir.Write(name, "#!/bin/sh\n" + body);
    ::chmod(dir.File(name).c_str(), 0755);
    return dir.File(name);
}

}  // namespace

TEST(Singleton, ConcurrentFirstCallsConstructOnce) {
    std::vector<std::thread> threads;
    std::vector<Counted*> seen(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&seen, i] { seen[i] = Counted::Instance(); });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(Counted::constructions.load(), 1);
    for (Counted* p : seen)
        EXPECT_EQ(p, seen[0]);
}

TEST(ServiceConfig, FileOverridesFieldByFieldAndBadContentKeepsDefaults) {
    TempDir dir;
    const vl::ServiceConfig d;
    dir.Write("s.json", R"({"backend":{"url":"http://127.0.0.1:9"},"youdao_ocr":{"url":5}})");
    const vl::ServiceConfig c = vl::LoadServiceConfig(dir.File("s.json"));
    EXPECT_EQ(c.backend.url, "http://127.0.0.1:9");
    EXPECT_EQ(c.youdaoOcr.url, d.youdaoOcr.url);
    EXPECT_TRUE(LogCapture::Get()->Contains("\"youdao_ocr.url\" is not a string"));

    // A number no double holds once escaped the reader and ended the program at its first use.
    dir.Write("huge.json", R"({"backend":{"url":1e400}})");
    EXPECT_EQ(vl::LoadServiceConfig(dir.File("huge.json")).backend.url, d.backend.url);
    EXPECT_TRUE(LogCapture::Get()->Contains("parse service config failed"));

    // A file that exists but cannot be read is no missing file: it is logged.
    std::filesystem::create_directory(dir.Path() / "folder.json");
    LogCapture::Get()->Clear();
    EXPECT_EQ(vl::LoadServiceConfig(dir.File("folder.json")).backend.url, d.backend.url);
    EXPECT_TRUE(LogCapture::Get()->Contains("service config cannot be read"));
    LogCapture::Get()->Clear();
    vl::LoadServiceConfig(dir.File("missing.json"));
    EXPECT_TRUE(LogCapture::Get()->Entries().empty());
}

TEST(Log, LineCarriesCallSiteAndEndsWithCrLf) {
    LogCapture::Get()->Clear();
    Widget().Act();
    const auto entries = LogCapture::Get()->Entries();
    ASSERT_EQ(entries.size(), 1u);
    // [I][12/06/26 17:53:57.123][tid][    0][foundation_test.cpp:16][{anonymous}::Widget::Act]
    const std::regex shape(
        R"(\[I\]\[\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}\]\[\d+\]\[ *\d+\]\[foundation_test\.cpp:\d+\])"
        R"(\[\{anonymous\}::Widget::Act\] widget acted 7\r\n)");
    EXPECT_TRUE(std::regex_match(entries[0].formatted, shape)) << entries[0].formatted;
    EXPECT_STREQ(vl::log::FunctionName("std::vector<int> a::B<c, d>::F(int)").c_str(),
                 "a::B<c, d>::F");
    EXPECT_STREQ(vl::log::FunctionName("bool S::operator()(int) const").c_str(), "S::operator()");
}

TEST(Text, MalformedSequencesBecomeOneReplacementEach) {
    const char16_t R = 0xFFFD;
    const std::string utf8 = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";
    EXPECT_EQ(vl::ToUnicodeW(utf8), (std::u16string{u'a', 0x00E9, 0x4E2D, 0xD83D, 0xDE00, u'z'}));
    EXPECT_EQ(vl::ToUnicodeW("\xC0\xAF"), (std::u16string{R, R}));
    EXPECT_EQ(vl::ToUnicodeW("x\xF0\x9F\x98"), (std::u16string{u'x', R}));
    EXPECT_EQ(vl::ToUtf8(std::u16string{0xD83D, u'a'}),
              "\xEF\xBF\xBD"
              "a");
    EXPECT_EQ(vl::UrlEncode(std::string("a b~\0+", 6)), "a+b%7E%00%2B");
}

TEST(Text, Base64KeepsToTheAlphabetAndDecodesNothingPartially) {
    EXPECT_EQ(vl::ToBase64(std::string("\xFB\xFF", 2)), "+/8=");
    EXPECT_EQ(vl::FromBase64("Zm9vYg=="), "foob");
    for (const char* invalid : {"Zg", "Zm9-", "Z===", "Zg==Zm9v", "Zm=v"}) {
        LogCapture::Get()->Clear();
        EXPECT_EQ(vl::FromBase64(invalid), "") << invalid;
        EXPECT_TRUE(LogCapture::Get()->Has("base64_decode failed")) << invalid;
    }
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string id;
        ASSERT_TRUE(vl::UuidGenWithoutDash(id));
        EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{12}4[0-9a-f]{3}[89ab][0-9a-f]{15}")));
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 100u);
}

TEST(Launch, PassesTheAddressAsOneArgumentWithoutAShell) {
    TempDir dir;
    const std::string opener =
        Script(dir, "opener",
               "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"" + dir.File("args") + "\"\n");
    std::string error;
    const std::string url = "https://example.com/a b?x=$(touch " + dir.File("pwned") + ")&y=`id`";
    ASSERT_TRUE(vl::platform::Launch(opener, {url}, 5s, error)) << error;
    EXPECT_EQ(dir.Read("args"), "[" + url + "]");  // the opener has ended: its output is there
    EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
}

// An opener that fails (no browser) is a failure; one that stays open does not hold the caller.
TEST(Launch, ReportsHowTheProgramEnded) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(vl::platform::Launch("velmora-no-such-program", {}, 5s, error));
    EXPECT_EQ(error, "velmora-no-such-program not found");
    EXPECT_FALSE(vl::platform::Launch(Script(dir, "broken", "exit 3\n"), {}, 5s, error));
    EXPECT_EQ(error, dir.File("broken") + " exited with 3");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(vl::platform::Launch(Script(dir, "stays", "sleep 5\n"), {}, 200ms, error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}
