// One program per user and display, and a main window that a desktop without a tray never loses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/desktop_session.h"
#include "tests/support/loopback_server.h"
#include "tests/support/process.h"

using namespace std::chrono_literals;
using vl::test::XdoTool;

namespace {

constexpr char kMain[] = "Velmora翻译-主窗口";

std::string WmState(const std::string& display) {
    const std::string id = XdoTool(display, {"search", "--name", kMain});
    return vl::test::RunProcess({"/usr/bin/env", "DISPLAY=" + display, "xprop", "-id",
                                 id.substr(0, id.find('\n')), "WM_STATE"},
                                "", 10000)
        .out;
}

}  // namespace

// A window manager but no tray host: the close button minimises the main window (the task bar
// gives it back); a second start brings it forward and ends with 0, touching none of its files,
// while the first keeps running with its hotkeys held; "--region" reaches it the same way.
TEST(SingleInstance, WithoutATrayCloseMinimisesAndASecondStartBringsTheFirstForward) {
    vl::test::XServer x("1280x800x24", true, false);
    if (!x.Ready())
        GTEST_SKIP() << "Xvfb could not be started";
    const std::string d = x.Display();
    vl::test::ProgramRun first;
    first.UseUnreachableBackend();
    ASSERT_TRUE(first.Start(d));
    ASSERT_TRUE(first.WaitForLog("instance socket ok", 60s)) << first.Stderr();
    ASSERT_TRUE(
        vl::test::WaitUntil([&] { return WmState(d).find("Normal") != std::string::npos; }));

    const std::string geometry =
        XdoTool(d, {"search", "--name", kMain, "getwindowgeometry", "--shell"});
    const auto value = [&](const std::string& key) {
        return std::stoi(geometry.substr(geometry.find(key + "=") + key.size() + 1));
    };
    XdoTool(d, {"mousemove", std::to_string(value("X") + value("WIDTH") - 22),
                std::to_string(value("Y") + 20), "click", "1"});
    ASSERT_TRUE(vl::test::WaitUntil([&] { return WmState(d).find("Iconic") != std::string::npos; }))
        << "closed without a tray, the main window is not minimised";

    vl::test::ProgramRun second;
    ASSERT_TRUE(second.Start(d));
    EXPECT_EQ(second.WaitExit(30s), 0) << second.Stderr();
    EXPECT_TRUE(
        vl::test::WaitUntil([&] { return WmState(d).find("Normal") != std::string::npos; }));
    EXPECT_FALSE(std::filesystem::exists(second.Dir().Path() / "log"));
    EXPECT_FALSE(std::filesystem::exists(second.Dir().Path() / "velmora.xml"));

    // "--region" through the running start opens its region selection and ends with 0.
    vl::test::ProgramRun region;
    ASSERT_TRUE(region.Start(d, {}, {"--region"}));
    EXPECT_EQ(region.WaitExit(30s), 0) << region.Stderr();
    EXPECT_TRUE(vl::test::WaitUntil([&] {
        return XdoTool(d, {"search", "--onlyvisible", "--name", "Velmora翻译-区域"}).size() > 1;
    })) << "no region selection after --region";
    XdoTool(d, {"key", "Escape"});

    vl::test::ProbeRun grab(d, "hotkey");
    EXPECT_EQ(grab.WaitForLine("refused", 30s), "refused, last error 1409") << grab.Output();

    first.Signal(SIGTERM);
    EXPECT_EQ(first.WaitExit(60s), 0);
    const auto log = first.LogMessages();
    for (const char* once : {"system tray not available", "instance command \"show\" received",
                             "instance command \"region\" received"})
        EXPECT_EQ(std::count(log.begin(), log.end(), once), 1) << once;
}
