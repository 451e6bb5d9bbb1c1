// Screen capture through the real desktop portal: a headless sway session shows a known picture
// full-screen, and the program's portal capture must return it. The session runs as an
// unprivileged user (sway refuses root); this binary runs again inside it.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/capture_source.h"
#include "platform/portal.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "utils/vl_session.h"

namespace {

namespace fs = std::filesystem;
constexpr int kWidth = 640, kHeight = 480;
// The picture: a blue square at the top left on a red left half and a green right half.
const QColor kBlue(0x20, 0x40, 0xE0), kRed(0xC0, 0x30, 0x30), kGreen(0x30, 0xA0, 0x50);
struct Sample {
    int x, y;
    QColor colour;
};
const Sample kSamples[] = {
    {50, 50, kBlue}, {200, 300, kRed}, {500, 300, kGreen}, {639, 479, kGreen}};

QImage Picture() {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    QPainter paint(&picture);
    paint.fillRect(0, 0, kWidth / 2, kHeight, kRed);
    paint.fillRect(kWidth / 2, 0, kWidth / 2, kHeight, kGreen);
    paint.fillRect(0, 0, 100, 100, kBlue);
    return picture;
}

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
           std::abs(a.blue() - b.blue()) <= 2;
}

}  // namespace

// Inside the session (started by the test below): the portal's picture is the screen.
TEST(WaylandInside, PortalCaptureIsTheScreen) {
    if (std::getenv("VELMORA_WAYLAND_INSIDE") == nullptr)
        GTEST_SKIP() << "runs inside the sway session of WaylandPortal.*";
    ASSERT_EQ(vl::DetectSession(), vl::SessionKind::Wayland);
    ASSERT_STREQ(vl::platform::DesktopCapture().Name(), "portal");
    vl::platform::ScreenCapture shot;
    std::string error;
    ASSERT_TRUE(vl::platform::DesktopCapture().Capture(&shot, &error)) << error;
    ASSERT_EQ(shot.width, kWidth);
    ASSERT_EQ(shot.height, kHeight);
    ASSERT_EQ(shot.rgb.size(), std::size_t(kWidth) * kHeight * 3);
    // The test's start-up gave this process a runtime folder of its own; grim needs sway's.
    const std::string dir = std::getenv("VELMORA_WAYLAND_DIR");
    const std::string grim = dir + "/grim.png";
    ASSERT_EQ(vl::test::RunProcess(
                  {"/usr/bin/env", "XDG_RUNTIME_DIR=" + dir + "/run", "/usr/bin/grim", grim})
                  .exitCode,
              0);
    const QImage screen(QString::fromStdString(grim));
    for (const Sample& s : kSamples) {
        const std::size_t at = (std::size_t(s.y) * kWidth + s.x) * 3;
        const QColor got(std::uint8_t(shot.rgb[at]), std::uint8_t(shot.rgb[at + 1]),
                         std::uint8_t(shot.rgb[at + 2]));
        EXPECT_TRUE(Near(got, s.colour)) << s.x << "," << s.y << " " << got.name().toStdString();
        EXPECT_TRUE(Near(shot.picture.pixelColor(s.x, s.y), s.colour)) << s.x << "," << s.y;
        EXPECT_TRUE(Near(screen.pixelColor(s.x, s.y), s.colour)) << "grim at " << s.x << "," << s.y;
    }
}

// Skips, saying why, where sway or the portal cannot run.
TEST(WaylandPortal, CaptureThroughTheRealPortalReturnsTheShownPicture) {
    for (const char* tool : {"/usr/bin/sway", "/usr/bin/pipewire", "/usr/bin/grim",
                             "/usr/bin/dbus-run-session", "/usr/libexec/xdg-desktop-portal",
                             "/usr/libexec/xdg-desktop-portal-wlr", "/usr/bin/python3"}) {
        if (!fs::exists(tool))
            GTEST_SKIP() << tool << " is not installed";
    }
    // xdg-desktop-portal-wlr always writes its picture to /tmp/out.png.
    struct stat left {};
    const bool root = ::geteuid() == 0;
    const passwd* nobody = ::getpwnam("nobody");
    if (root && nobody == nullptr)
        GTEST_SKIP() << "no unprivileged user to run sway as";
    const uid_t user = root ? nobody->pw_uid : ::geteuid();
    if (::lstat("/tmp/out.png", &left) == 0 && left.st_uid != user)
        GTEST_SKIP() << "/tmp/out.png belongs to someone else";

    vl::test::TempDir dir;
    const fs::path d = dir.Path();
    const fs::path source = fs::path(VELMORA_TEST_SOURCE_DIR);
    fs::create_directories(d / "portals");
    fs::copy_file("/usr/share/xdg-desktop-portal/portals/wlr.portal", d / "portals/wlr.portal");
    dir.Write("portals/velmoratest.portal",
              "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.velmoratest\n"
              "Interfaces=org.freedesktop.impl.portal.Access;\nUseIn=sway\n");
    fs::copy_file(source / "fake_access.py", d / "fake_access.py");
    fs::copy_file(source / "wayland_session.sh", d / "wayland_session.sh");
    ASSERT_TRUE(Picture().save(QString::fromStdString(dir.File("picture.png"))));
    dir.Write("sway.conf", "output HEADLESS-1 resolution " + std::to_string(kWidth) + "x" +
                               std::to_string(kHeight) + " position 0,0 bg " +
                               dir.File("picture.png") + " stretch\n");
    for (const auto& entry : fs::recursive_directory_iterator(d))
        fs::permissions(entry.path(), fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
    fs::permissions(d, fs::perms::all, fs::perm_options::add);

    std::vector<std::string> argv = {"/usr/bin/timeout", "-k", "5", "100"};
    if (root)
        argv.insert(argv.end(), {"/usr/sbin/runuser", "-u", "nobody", "--"});
    argv.insert(argv.end(), {"/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "HOME=" + d.string(),
                             "VELMORA_WAYLAND_INSIDE=1", "VELMORA_WAYLAND_DIR=" + d.string(), "sh",
                             dir.File("wayland_session.sh"), d.string(),
                             fs::canonical("/proc/self/exe"), "--gtest_filter=WaylandInside.*"});
    // A sanitizer build's options (suppressions) hold for the inner half too.
    const auto inner =
        std::find(argv.begin(), argv.end(), "VELMORA_WAYLAND_INSIDE=1") - argv.begin();
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            argv.insert(argv.begin() + inner, std::string(name) + "=" + value);
    const vl::test::ProcessResult run = vl::test::RunProcess(argv, "", 120000);
    if (run.exitCode == 77)
        GTEST_SKIP() << run.out << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[  PASSED  ] 1 test"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("SKIPPED"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists("/tmp/out.png")) << "the portal's picture is removed once read";
}
