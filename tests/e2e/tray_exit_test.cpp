#include <gtest/gtest.h>

#include "tests/e2e/desktop_session.h"
#include "tests/support/loopback_server.h"

using namespace std::chrono_literals;
using vl::test::XdoTool;

// With a tray host on the screen: the main window's own close button only hides it, a click on
// the tray icon brings it back, and "退出" in the icon's menu ends the program in order.
TEST(Tray, IconClickBringsTheHiddenMainWindowBackAndExitEndsTheProgramInOrder) {
    vl::test::XServer x("1280x800x24", false, true);
    if (!x.Ready())
        GTEST_SKIP() << "Xvfb could not be started";
    const std::string d = x.Display();
    vl::test::ProgramRun run;
    run.UseUnreachableBackend();
    ASSERT_TRUE(run.Start(d));
    ASSERT_TRUE(run.WaitForLog("msg loop begin", 60s)) << run.Stderr();
    const auto mainShown = [&] {
        return !XdoTool(d, {"search", "--onlyvisible", "--name", "Velmora翻译-主窗口"}).empty();
    };
    ASSERT_TRUE(vl::test::WaitUntil(mainShown));

    // The close button sits in the top right corner of the 420 pixels wide window.
    const std::string geometry =
        XdoTool(d, {"search", "--name", "Velmora翻译-主窗口", "getwindowgeometry", "--shell"});
    const auto value = [&](const std::string& key) {
        const auto at = geometry.find(key + "=");
        return std::stoi(geometry.substr(at + key.size() + 1));
    };
    XdoTool(d, {"mousemove", std::to_string(value("X") + value("WIDTH") - 22),
                std::to_string(value("Y") + 20), "click", "1"});
    ASSERT_TRUE(vl::test::WaitUntil([&] { return !mainShown(); }));

    XdoTool(d, {"mousemove", "1268", "12", "click", "1"});  // the only icon of the tray
    EXPECT_TRUE(vl::test::WaitUntil(mainShown));

    const std::size_t before = XdoTool(d, {"search", "--onlyvisible", "--class", "."}).size();
    XdoTool(d, {"mousemove", "1268", "12", "click", "3"});
    ASSERT_TRUE(vl::test::WaitUntil([&] {
        return XdoTool(d, {"search", "--onlyvisible", "--class", "."}).size() > before;
    })) << "the tray menu did not open";
    XdoTool(d, {"key", "Down", "Down", "Down", "Return"});  // "退出", after the two run entries
    EXPECT_EQ(run.WaitExit(60s), 0) << run.Stderr();
    std::string missing;
    EXPECT_TRUE(
        vl::test::InOrder(run.LogMessages(),
                          {"exit chosen from the tray", "msg loop end", "user manager uninit ok",
                           "dui uninit ok", "cur uninit ok", "log uninit ok"},
                          &missing))
        << missing;
}
