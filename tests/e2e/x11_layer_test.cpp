// The desktop layer's X11 services on a real X server: hotkeys, screen capture, overlays, DPI.
#include <gtest/gtest.h>

#include "tests/e2e/desktop_session.h"
#include "tests/support/process.h"

using namespace std::chrono_literals;
using vl::test::ProbeRun;

static std::string OnDisplay(const std::string& display, std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/usr/bin/env", "DISPLAY=" + display});
    return vl::test::RunProcess(argv, "", 15000).out;
}

#define START_X(x, ...)                              \
    vl::test::XServer x{__VA_ARGS__};                \
    if (!x.Ready()) {                                \
        GTEST_SKIP() << "Xvfb could not be started"; \
    }

// Ctrl+Alt+T fires with NumLock off and on; while held, a second client is refused, and its retry
// costs no request to the server.
TEST(X11Hotkey, FiresWithNumLockOffAndOnAndIsRefusedToASecondClient) {
    START_X(x);
    ProbeRun probe(x.Display(), "hotkey");
    EXPECT_EQ(probe.WaitForLine("registered", 30s), "registered, same id again 0, last error 1409");
    vl::test::XdoTool(x.Display(), {"key", "ctrl+alt+t"});
    ASSERT_NE(probe.WaitForLine("hotkey 3333 1", 10s), "") << probe.Output();

    vl::test::XdoTool(x.Display(), {"key", "Num_Lock"});
    ASSERT_NE(OnDisplay(x.Display(), {"xset", "q"}).find("Num Lock:    on"), std::string::npos);
    vl::test::XdoTool(x.Display(), {"key", "ctrl+alt+t"});
    EXPECT_NE(probe.WaitForLine("hotkey 3333 2", 10s), "") << "with NumLock on: " << probe.Output();

    ProbeRun second(x.Display(), "hotkey");
    EXPECT_EQ(second.WaitForLine("refused", 30s), "refused, last error 1409");
    EXPECT_EQ(second.WaitForLine("again", 10s), "again 0, last error 1409, requests 0");
}

// A root window with a distinct colour in each corner, at a width whose rows are not a multiple
// of 4 bytes; the probe's own full-screen window is hidden just before the capture.
struct CaptureCase {
    std::string name;
    std::map<std::string, std::string> env;
    std::string xftDpi;
    std::string logicalSize;
    std::string dpi;  // what the logic converts with
    std::string ratio;
    bool windowManager = false;  // the hidden window is a managed one, framed by the manager
    bool shm = true;             // the server offers shared memory (else GetImage is used)
};
void PrintTo(const CaptureCase& c, std::ostream* os) {
    *os << c.name;
}

class X11Capture : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(X11Capture, GivesRgbRowsAndAPictureThatAgreeWithTheDpi) {
    const CaptureCase& c = GetParam();
    START_X(x, "1366x768x24", c.windowManager, false,
            c.shm ? std::vector<std::string>{} : std::vector<std::string>{"MIT-SHM"});
    ASSERT_EQ(OnDisplay(x.Display(), {"xdpyinfo", "-queryExtensions"}).find("MIT-SHM") !=
                  std::string::npos,
              c.shm);
    vl::test::TempDir dir;
    const std::string picture = dir.File("corners.png");
    OnDisplay(x.Display(), {"convert", "-size", "1366x768", "xc:#FF0000", "-fill", "#00FF00",
                            "-draw", "point 1365,0", "-fill", "#0000FF", "-draw", "point 0,767",
                            "-fill", "#FFFF00", "-draw", "point 1365,767", picture});
    OnDisplay(x.Display(), {"display", "-window", "root", picture});  // exits 1, harmlessly
    vl::test::RunProcess({"/usr/bin/env", "DISPLAY=" + x.Display(), "xrdb", "-merge"},
                         "Xft.dpi: " + c.xftDpi + "\n");

    ProbeRun probe(x.Display(), "capture", c.env);
    EXPECT_EQ(probe.WaitExit(60s), 0) << probe.Output();
    EXPECT_EQ(probe.WaitForLine("covered", 0ms), "covered ffffff, ball 0000ff")
        << "the window never showed, or it hid the floating window shown before";
    EXPECT_EQ(probe.WaitForLine("capture", 0ms),
              "capture 1366x768 stride 4098 corners ff0000 00ff00 0000ff ffff00, picture " +
                  c.logicalSize + " ratio " + c.ratio + " corner ffff00, desktop " + c.logicalSize +
                  " dpi " + c.dpi);
    EXPECT_EQ(probe.Output().find("Xft.dpi is " + c.xftDpi) != std::string::npos, c.xftDpi != c.dpi)
        << "a differing Xft.dpi is warned about: " << probe.Output();
}

INSTANTIATE_TEST_SUITE_P(
    Scales, X11Capture,
    ::testing::Values(
        CaptureCase{"One", {}, "96", "1366x768", "96", "1"},
        CaptureCase{"Two", {{"QT_SCALE_FACTOR", "2"}}, "96", "683x384", "192", "2"},
        CaptureCase{"Off", {{"QT_ENABLE_HIGHDPI_SCALING", "0"}}, "192", "1366x768", "96", "1"},
        CaptureCase{"Managed", {{"VELMORA_PROBE_MANAGED", "1"}}, "96", "1366x768", "96", "1", true},
        CaptureCase{"WithoutSharedMemory", {}, "96", "1366x768", "96", "1", false, false}),
    [](const auto& info) { return info.param.name; });

// The overlay covers the screen and gets Escape even when the X focus is elsewhere (none at all).
TEST(X11Overlay, CoversTheScreenAndTakesTheKeyboard) {
    START_X(x);
    ProbeRun probe(x.Display(), "overlay");
    ASSERT_NE(probe.WaitForLine("shown", 30s), "");
    const std::string geometry = vl::test::XdoTool(
        x.Display(), {"search", "--sync", "--name", "velmora probe overlay", "getwindowgeometry"});
    EXPECT_NE(geometry.find("Position: 0,0 (screen: 0)\n  Geometry: 1280x800"), std::string::npos)
        << geometry;
    vl::test::XdoTool(x.Display(), {"windowfocus", "--sync", "0", "key", "Escape"});
    EXPECT_EQ(probe.WaitExit(10s), 0);
    EXPECT_NE(probe.Output().find("keyup 1b"), std::string::npos) << probe.Output();
}
