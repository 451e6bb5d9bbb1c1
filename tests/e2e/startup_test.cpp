#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include "tests/e2e/desktop_session.h"

using namespace std::chrono_literals;
using vl::test::InOrder;
using vl::test::ProgramRun;
using vl::test::XServer;

namespace {

const std::vector<std::string> kStartAndShutdown = {
    "log init ok",          "curl init ok",   "config manager init ok", "dui init ok",
    "user manager init ok", "msg loop begin", "msg loop end",           "user manager uninit ok",
    "dui uninit ok",        "cur uninit ok",  "log uninit ok"};

class StartupTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (!x_.Ready())
            GTEST_SKIP() << "Xvfb could not be started";
    }
    XServer x_;
};

}  // namespace

// A clean run ended by a signal: every step in order, the windows up, exit code 0.
TEST_P(StartupTest, SignalEndsACleanRunInOrder) {
    ProgramRun run;
    run.UseUnreachableBackend();
    ASSERT_TRUE(run.Start(x_.Display()));
    ASSERT_TRUE(run.WaitForLog("msg loop begin", 60s)) << run.Stderr();
    const std::string windows = vl::test::XdoTool(
        x_.Display(), {"search", "--onlyvisible", "--name", "Velmora翻译-主窗口"});
    EXPECT_FALSE(windows.empty()) << "the main window is not shown";

    run.Signal(GetParam());
    EXPECT_EQ(run.WaitExit(60s), 0) << run.Stderr();
    const auto log = run.LogMessages();
    std::string missing;
    EXPECT_TRUE(InOrder(log, kStartAndShutdown, &missing))
        << "missing or out of order: " << missing;
    EXPECT_TRUE(InOrder(
        log, {"config manager init ok", "no token, do not auto login", "user manager init ok"},
        &missing))
        << missing;
    EXPECT_TRUE(std::filesystem::is_regular_file(run.Dir().Path() / "velmora.xml"));
}

INSTANTIATE_TEST_SUITE_P(QuitSignals, StartupTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) {
                             return info.param == SIGTERM  ? std::string("Term")
                                    : info.param == SIGINT ? std::string("Int")
                                                           : std::string("Hup");
                         });

TEST(StartupFailure, SettingsThatCanBeNeitherReadNorWrittenEndStartUpInOrder) {
    XServer x;
    if (!x.Ready())
        GTEST_SKIP() << "Xvfb could not be started";
    ProgramRun run;
    run.UseUnreachableBackend();
    // A folder where the settings file belongs: not readable as a file, not replaceable.
    std::filesystem::create_directory(run.Dir().Path() / "velmora.xml");
    run.Dir().Write("velmora.xml/mine", "keep");
    ASSERT_TRUE(run.Start(x.Display()));
    EXPECT_EQ(run.WaitExit(60s), 0) << run.Stderr();
    const auto log = run.LogMessages();
    std::string missing;
    EXPECT_TRUE(
        InOrder(log,
                {"log init ok", "curl init ok", "init config manager failed",
                 "user manager uninit ok", "dui uninit ok", "cur uninit ok", "log uninit ok"},
                &missing))
        << missing;
    for (const char* never : {"config manager init ok", "dui init ok", "msg loop begin"}) {
        EXPECT_EQ(std::count(log.begin(), log.end(), never), 0) << never;
    }
    EXPECT_EQ(run.Dir().Read("velmora.xml/mine"), "keep");
    EXPECT_FALSE(std::filesystem::exists(run.Dir().Path() / "velmora.xml.bad"));
}

TEST(StartupFailure, StoredTokenSignsInAutomatically) {
    XServer x;
    if (!x.Ready())
        GTEST_SKIP() << "Xvfb could not be started";
    ProgramRun run;
    run.UseUnreachableBackend();
    run.Dir().Write("velmora.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<velmora><user><token>stored-token</token></user>
<conf><lang><src>eng</src><dst>chs</dst></lang><region><left>0</left><top>0</top><right>0</right><bottom>0</bottom></region>
<engine>horizontal</engine><effect>cover</effect><shortcut><translate>ctrl+alt+t</translate><region>ctrl+alt+r</region></shortcut><tip>false</tip></conf></velmora>)");
    ASSERT_TRUE(run.Start(x.Display()));
    ASSERT_TRUE(run.WaitForLog("request user info failed", 60s)) << run.Stderr();
    run.Signal(SIGTERM);
    EXPECT_EQ(run.WaitExit(60s), 0);
    const auto log = run.LogMessages();
    EXPECT_EQ(std::count(log.begin(), log.end(), "no token, do not auto login"), 0);
    std::string missing;
    EXPECT_TRUE(InOrder(
        log, {"user manager init ok", "msg loop begin", "msg loop end", "log uninit ok"}, &missing))
        << missing;
    // The token stays stored: a failed sign-in does not clear it.
    EXPECT_NE(run.Dir().Read("velmora.xml").find("<token>stored-token</token>"), std::string::npos);
}

TEST(StartupFailure, WithoutADisplayItSaysSoAndExitsNonZero) {
    ProgramRun run;
    ASSERT_TRUE(run.Start(""));
    EXPECT_NE(run.WaitExit(30s), 0);
    EXPECT_NE(run.Stderr().find("needs a graphical desktop: no X display: DISPLAY is not set"),
              std::string::npos)
        << run.Stderr();
    EXPECT_FALSE(std::filesystem::exists(run.Dir().Path() / "velmora.xml"));
}
