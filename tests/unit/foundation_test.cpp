#include <fcntl.h>
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "logic/init_log.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "utils/vl_base64.h"
#include "utils/vl_env.h"
#include "utils/vl_host_facts.h"
#include "utils/vl_launch.h"
#include "utils/vl_log.h"
#include "utils/vl_services.h"
#include "utils/vl_singleton.h"
#include "utils/vl_string.h"
#include "utils/vl_uuid.h"

using namespace std::chrono_literals;
using vl::test::LogCapture;
using vl::test::RunProcess;
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

bool IsHex32(const std::string& s) {
    return std::regex_match(s, std::regex("[0-9a-f]{32}"));
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

TEST(ServiceConfig, LinksResolveAgainstTheBackendAddress) {
    vl::ServiceConfig c;
    ASSERT_TRUE(vl::ApplyServiceConfig(
        R"({"backend":{"url":"http://127.0.0.1:9/"},"links":{"privacy":"https://p.example/x"}})",
        c));
    const vl::ServiceConfig saved = vl::Services();
    vl::SetServices(c);
    EXPECT_EQ(vl::LinkUrl("help"), "http://127.0.0.1:9/pages/help");
    EXPECT_EQ(vl::LinkUrl("vip_agreement"), "http://127.0.0.1:9/pages/vip-agreement");
    EXPECT_EQ(vl::LinkUrl("privacy"), "https://p.example/x");
    EXPECT_EQ(vl::LinkUrl("/pages/qr-login"), "http://127.0.0.1:9/pages/qr-login");
    EXPECT_EQ(vl::LinkUrl("file:///etc/passwd"), "file:///etc/passwd");  // refused by the opener
    vl::SetServices(saved);
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
    // Signatures are computed over the percent forms: space, '~' and '/' differ by mode.
    EXPECT_EQ(vl::UrlEncode("a b~/\xFF", vl::UrlEncoding::Rfc3986), "a%20b~%2F%FF");
    EXPECT_EQ(vl::UrlEncode("a b~/\xFF", vl::UrlEncoding::Path), "a%20b~/%FF");
}

TEST(Text, Base64KeepsToTheAlphabetAndDecodesNothingPartially) {
    EXPECT_EQ(vl::ToBase64(std::string("\xFB\xFF", 2)), "+/8=");
    EXPECT_EQ(vl::FromBase64("Zm9vYg=="), "foob");
    for (const char* invalid : {"Zg", "Zm9-", "Z===", "Zg==Zm9v", "Zm=v"}) {
        LogCapture::Get()->Clear();
        EXPECT_EQ(vl::FromBase64(invalid), "") << invalid;
        EXPECT_TRUE(LogCapture::Get()->Has("base64_decode failed")) << invalid;
    }
    std::string a, b;
    ASSERT_TRUE(vl::UuidGenWithoutDash(a) && vl::UuidGenWithoutDash(b));
    EXPECT_TRUE(std::regex_match(a, std::regex("[0-9a-f]{12}4[0-9a-f]{3}[89ab][0-9a-f]{15}")));
    EXPECT_NE(a, b);
}

TEST(Launch, PassesTheAddressAsOneArgumentWithoutAShell) {
    TempDir dir;
    const std::string opener =
        Script(dir, "opener",
               "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"" + dir.File("args") + "\"\n");
    std::string error;
    const std::string url = "https://example.com/a b?x=$(touch " + dir.File("pwned") + ")&y=`id`";
    ASSERT_TRUE(vl::Launch(opener, {url}, 5s, error)) << error;
    EXPECT_EQ(dir.Read("args"), "[" + url + "]");  // the opener has ended: its output is there
    EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
}

// An opener that fails (no browser) is a failure; one that stays open does not hold the caller.
TEST(Launch, ReportsHowTheProgramEnded) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(vl::Launch("velmora-no-such-program", {}, 5s, error));
    EXPECT_EQ(error, "velmora-no-such-program not found");
    EXPECT_FALSE(vl::Launch(Script(dir, "broken", "exit 3\n"), {}, 5s, error));
    EXPECT_EQ(error, dir.File("broken") + " exited with 3");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(vl::Launch(Script(dir, "stays", "sleep 5\n"), {}, 200ms, error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(DeviceId, StoredValueIsKeptAndAnUnusableOneReplaced) {
    TempDir dir;
    const std::string path = dir.File("VelMora/device_id");
    const std::string first = vl::FindOrCreateDeviceId(path);
    EXPECT_TRUE(IsHex32(first)) << first;
    EXPECT_EQ(dir.Read("VelMora/device_id"), first);
    const std::string odd = "Δ-device&id=" + std::string(114, 'z');  // 127 bytes
    dir.Write("VelMora/device_id", odd);
    EXPECT_EQ(vl::FindOrCreateDeviceId(path), odd);

    // The store replaces a link planted at its place instead of writing where the link points.
    dir.Write("victim", "two\nlines");  // unusable as an identifier: it is replaced
    std::filesystem::remove(path);
    std::filesystem::create_symlink(dir.File("victim"), path);
    const std::string fresh = vl::FindOrCreateDeviceId(path);
    EXPECT_TRUE(IsHex32(fresh));
    EXPECT_EQ(dir.Read("victim"), "two\nlines");
    EXPECT_FALSE(std::filesystem::is_symlink(path));
    EXPECT_EQ(dir.Read("VelMora/device_id"), fresh);

    // A folder where the file belongs can be neither read nor replaced, even by root.
    std::filesystem::create_directories(dir.Path() / "other/device_id");
    EXPECT_TRUE(IsHex32(vl::FindOrCreateDeviceId(dir.File("other/device_id"))));
}

TEST(DeviceId, WithoutAHomeTheStoreIsAPrivateFolder) {
    const std::string xdg = std::getenv("XDG_CONFIG_HOME");
    EXPECT_EQ(vl::DeviceIdPath(), xdg + "/VelMora/device_id");
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    const std::string path = vl::DeviceIdPath();
    ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    if (home != nullptr)
        ::setenv("HOME", savedHome.c_str(), 1);
    const std::string folder = "/tmp/velmora-" + std::to_string(::getuid());
    EXPECT_EQ(path, folder + "/VelMora/device_id");
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_EQ(st.st_uid, ::getuid());
}

TEST(HostFacts, InventoryFromProcAndSys) {
    TempDir root;
    std::filesystem::create_directories(root.Path() / "proc");
    std::filesystem::create_directories(root.Path() / "sys/class/dmi/id");
    std::filesystem::create_directories(root.Path() / "sys/class/drm/card0/device");
    std::filesystem::create_directories(root.Path() / "sys/module/i915");
    root.Write("proc/cpuinfo",
               "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i7\n"
               "cpu cores\t: 4\n\nprocessor\t: 1\nmodel name\t: ignored\n");
    root.Write("sys/class/dmi/id/board_name", "B450M\n");
    root.Write("sys/class/drm/card0/device/uevent", "DRIVER=i915\nPCI_ID=8086:5917\n");
    root.Write("sys/module/i915/version", "2.1\n");
    const vl::HardwareInventory hw = vl::CollectHardware(root.Path().string());
    EXPECT_EQ(hw.logicalProcessors, 2u);
    EXPECT_EQ(vl::ToUtf8(vl::FormatHardwareSummary(hw)),
              "Intel(R) Core(TM) i7 + B450M + card0 i915 [8086:5917](2.1)");
}

// The log file is this start's own, in the process pattern, and no launched program inherits it.
TEST(InitLog, WritesThisStartsFileWithTheProcessPattern) {
    const std::string exe = vl::ToString(vl::ExeDir());
    EXPECT_TRUE(std::filesystem::exists(exe + "/foundation_test"));
    EXPECT_EQ(vl::ToString(vl::LogDir()), exe + "/log");
    std::set<std::string> old;
    for (const auto& e : std::filesystem::directory_iterator(vl::ToString(vl::LogDir())))
        old.insert(e.path().string());
    ASSERT_TRUE(InitLog());
    VL_INFO("log init ok");
    vl::log::FlushProcessLogger();
    std::string created;
    for (const auto& e : std::filesystem::directory_iterator(vl::ToString(vl::LogDir()))) {
        if (!old.count(e.path().string()))
            created = e.path().string();
    }
    int flags = -1;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(e.path(), ec).string() == created)
            flags = ::fcntl(std::stoi(e.path().filename().string()), F_GETFD);
    }
    vl::test::InstallTestLogger();  // back to the capture for the other tests
    ASSERT_FALSE(created.empty());
    EXPECT_NE(flags, -1);
    EXPECT_TRUE(flags & FD_CLOEXEC);
    std::ifstream in(created, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(std::regex_search(
        content,
        std::regex(
            R"(\[I\]\[[^\]]+\]\[\d+\]\[ *\d+\]\[foundation_test\.cpp:\d+\]\[InitLog_WritesThisStartsFileWithTheProcessPattern_Test::TestBody\] log init ok\r\n$)")))
        << content;
    std::filesystem::remove(created);
}

// The tool as a user runs it: a copy with its own velmora-services.json pointing at a loopback
// stand-in for the translation service.
TEST(Cli, TranslatesStandardInputLinesInOneRequestAndReportsFailures) {
    vl::test::VendorServices services;
    services.Set("/api", 200, R"({"errorCode":"0","translation":["早上好\n晚上好"]})");
    vl::test::TempDir dir;
    const std::string cli = vl::test::CopyCli(dir.Path().string());
    dir.Write("velmora-services.json",
              R"({"youdao_translate":{"url":")" + services.Url("/api") + R"("}})");
    auto r =
        RunProcess({cli, "translate", "--from", "jap", "--to", "chs"}, "おはよう\r\nこんばんは\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "早上好\n晚上好\n");
    EXPECT_EQ(r.err, "");  // the log stays out of the way unless asked for
    const auto sent = services.Requests("/api");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_NE(sent[0].body.find("q=%E3%81%8A%E3%81%AF%E3%82%88%E3%81%86%0A%E3%81%93"),
              std::string::npos);

    services.Set("/api", 500, "busy");
    r = RunProcess({cli, "translate", "--from", "eng", "--to", "chs", "hello"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "translate request failed response code 500, busy\n");
    r = RunProcess({cli, "translate", "--from", "xx", "--to", "chs", "hello"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown source language \"xx\""), std::string::npos);
}
