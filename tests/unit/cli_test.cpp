#include <gtest/gtest.h>

#include "tests/support/loopback_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using vl::test::RunProcess;

// The tool as a user runs it: a copy with its own velmora-services.json pointing at a loopback
// stand-in for the translation service.
TEST(Cli, TranslatesStandardInputLinesInOneRequestAndReportsFailures) {
    vl::test::VendorServices services;
    services.Set("/api", 200, R"({"errorCode":"0","translation":["早上好\n晚上好"]})");
    vl::test::TempDir dir;
    const std::string cli = vl::test::CopyCli(dir.Path().string());
    dir.Write("velmora-services.json", R"({"backend":{"url":"http://127.0.0.1:9"},)"
                                       R"("youdao_translate":{"url":")" +
                                           services.Url("/api") + R"("}})");
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

    r = RunProcess({cli, "env"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("exe_dir: " + dir.Path().string() + "\n"), std::string::npos);
    EXPECT_NE(
        r.out.find("service_url: http://127.0.0.1:9/config/get?version=1000000&channel=default&u="),
        std::string::npos);
}
