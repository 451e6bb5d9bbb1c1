#include <gtest/gtest.h>

#include "tests/support/loopback_server.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using vl::test::LoopbackServer;
using vl::test::RunProcess;

namespace {

// The tool as a user runs it: a copy with its own velmora-services.json pointing at a loopback
// stand-in for the translation service.
class CliTranslateTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.Post("/api", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            lastQuery_ = req.get_param_value("q");
            res.status = status_;
            res.set_content(answer_, "application/json");
        });
        server_.Start();
        cli_ = vl::test::CopyCli(dir_.Path().string());
        dir_.Write("velmora-services.json", R"({"youdao_translate":{"url":")" +
                                                server_.Url("/api") + R"(","app_key":"k"}})");
    }

    vl::test::TempDir dir_;
    std::string cli_;
    void Answer(int status, std::string body) {
        std::lock_guard lock(mutex_);
        status_ = status;
        answer_ = std::move(body);
    }
    std::string LastQuery() {
        std::lock_guard lock(mutex_);
        return lastQuery_;
    }

    // The server's thread and the test meet only through the tool's process, which the race
    // detector cannot see: the fixture's state is locked.
    std::mutex mutex_;
    int status_ = 200;
    std::string answer_ = R"({"errorCode":"0","translation":["早上好\n晚上好"]})";
    std::string lastQuery_;
    LoopbackServer server_;  // last: stopped before the state its handler reads goes away
};

}  // namespace

TEST_F(CliTranslateTest, TranslatesStandardInputLinesInOneRequest) {
    const auto r =
        RunProcess({cli_, "translate", "--from", "jap", "--to", "chs"}, "おはよう\r\nこんばんは\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "早上好\n晚上好\n");
    EXPECT_EQ(LastQuery(), "おはよう\nこんばんは\n");
    EXPECT_EQ(server_.RequestCount(), 1u);
    EXPECT_EQ(r.err, "");  // the log stays out of the way unless asked for
}

TEST_F(CliTranslateTest, ReportsServiceFailuresAndBadArguments) {
    Answer(500, "busy");
    auto r = RunProcess({cli_, "translate", "--from", "eng", "--to", "chs", "hello"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "translate request failed response code 500, busy\n");

    r = RunProcess({cli_, "translate", "--from", "xx", "--to", "chs", "hello"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown source language \"xx\""), std::string::npos);
    r = RunProcess({cli_});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(server_.RequestCount(), 1u);
}

TEST_F(CliTranslateTest, VerboseWritesTheLogToStandardError) {
    const auto r = RunProcess({cli_, "-v", "translate", "--from", "jap", "--to", "chs", "x"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("service config \""), std::string::npos) << r.err;
}

TEST(CliEnv, PrintsOneLinePerFact) {
    vl::test::TempDir dir;
    const std::string cli = vl::test::CopyCli(dir.Path().string());
    dir.Write("velmora-services.json", R"({"backend":{"url":"http://127.0.0.1:9"}})");
    const auto r = RunProcess({cli, "env"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("version: 1.0.0\n"), std::string::npos);
    EXPECT_NE(r.out.find("exe_dir: " + dir.Path().string() + "\n"), std::string::npos);
    EXPECT_NE(
        r.out.find("service_url: http://127.0.0.1:9/config/get?version=1000000&channel=default&u="),
        std::string::npos);
}
