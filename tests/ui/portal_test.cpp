// The desktop portal's screenshot and shortcuts, against a stand-in portal on a private session
// bus of the test's own.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QtTest/QTest>
#include <csignal>
#include <filesystem>

#include "platform/portal.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/ui_test_util.h"
#include "ui/posted_msgbox.h"
#include "ui/session_notice.h"

namespace {

using namespace std::chrono_literals;

// A session bus for this process and its children, started before anything asks for one. It
// starts no services on demand: a call must never wake the machine's real portal here.
// A helper process ends with the test even when the test is killed (a sanitizer halting it).
void EndWithTheTest(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

class PrivateBus : public ::testing::Environment {
public:
    void SetUp() override {
        dir_.Write("bus.conf",
                   "<busconfig><type>session</type><listen>unix:tmpdir=" + dir_.Path().string() +
                       "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow "
                       "eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>");
        EndWithTheTest(daemon_);
        daemon_.start("dbus-daemon",
                      {"--config-file=" + QString::fromStdString(dir_.File("bus.conf")), "--nofork",
                       "--print-address=1"});
        QByteArray address = "unix:path=/nonexistent";  // never the user's own bus
        if (daemon_.waitForStarted(5000) && daemon_.waitForReadyRead(10000)) {
            address = daemon_.readLine().trimmed();
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }
    void TearDown() override {
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }

private:
    vl::test::TempDir dir_;
    QProcess daemon_;
};
::testing::Environment* const g_bus = ::testing::AddGlobalTestEnvironment(new PrivateBus);

// The stand-in portal in one of its modes, for the life of the object.
class FakePortal {
public:
    FakePortal(const std::string& mode, const std::string& picture) {
        EndWithTheTest(process_);
        process_.start("/usr/bin/python3",
                       {QStringLiteral(VELMORA_FAKE_PORTAL), QString::fromStdString(mode),
                        QString::fromStdString(picture)});
        ready_ = process_.waitForStarted(5000) && process_.waitForReadyRead(10000) &&
                 process_.readAll().contains("ready");
    }
    ~FakePortal() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    bool Ready() const { return ready_; }

private:
    QProcess process_;
    bool ready_ = false;
};

int LeftoverScreenshots() {
    return static_cast<int>(
        QDir(QDir::tempPath()).entryList({"velmora-fake-portal-*.png"}, QDir::Files).size());
}

TEST(Portal, ScreenshotAnswersBecomePicturesOrOneClearLine) {
    vl::test::TempDir dir;
    QImage known(64, 32, QImage::Format_RGB32);
    known.fill(QColor(0x12, 0x34, 0x56));
    known.setPixelColor(63, 31, QColor(0xFE, 0x01, 0x80));
    const std::string picture = dir.File("screen.png");
    ASSERT_TRUE(known.save(QString::fromStdString(picture)));
    const vl::platform::PortalWaits quick{1500ms, 1500ms};
    const int before = LeftoverScreenshots();

    for (const std::string mode : {"success", "refuse-quietly"}) {
        SCOPED_TRACE(mode);
        FakePortal portal(mode, picture);
        ASSERT_TRUE(portal.Ready());
        vl::platform::ScreenCapture shot;
        std::string error;
        ASSERT_TRUE(vl::platform::CapturePortal(&shot, &error, quick)) << error;
        ASSERT_EQ(shot.width, 64);
        ASSERT_EQ(shot.height, 32);
        ASSERT_EQ(shot.rgb.size(), 64u * 32u * 3u);
        EXPECT_EQ(shot.rgb.substr(0, 3), std::string("\x12\x34\x56"));
        EXPECT_EQ(shot.rgb.substr(shot.rgb.size() - 3), std::string("\xFE\x01\x80"));
        EXPECT_EQ(shot.picture.pixelColor(63, 31), QColor(0xFE, 0x01, 0x80));
        EXPECT_EQ(LeftoverScreenshots(), before) << "the portal's file of ours is removed";
    }

    const struct {
        const char* mode;
        std::string line;
    } failures[] = {
        {"cancel", "屏幕截图已取消"},
        {"other", "屏幕截图门户拒绝了请求"},
        {"silent", "屏幕截图门户没有回答"},
        {"no-screenshot", vl::platform::MissingScreenshotPortalText()},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.mode);
        FakePortal portal(f.mode, picture);
        ASSERT_TRUE(portal.Ready());
        vl::platform::ScreenCapture shot;
        shot.rgb = "old";
        std::string error;
        EXPECT_FALSE(vl::platform::CapturePortal(&shot, &error, quick));
        EXPECT_EQ(error.rfind(f.line, 0), 0u) << error;
        EXPECT_TRUE(shot.rgb.empty());
        EXPECT_TRUE(shot.picture.isNull());
    }
}

TEST(Portal, BoundShortcutsReportTheirActivation) {
    FakePortal portal("success", "/dev/null");
    ASSERT_TRUE(portal.Ready());
    QString activated;
    vl::platform::PortalShortcuts shortcuts([&](const QString& id) { activated = id; });
    std::string error;
    ASSERT_TRUE(shortcuts.Start(&error, 3s)) << error;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !activated.isEmpty(); }, 5000));
    EXPECT_EQ(activated, "translate");
}

TEST(Portal, MissingShortcutsPortalIsAFailureNotAHang) {
    vl::platform::PortalShortcuts shortcuts([](const QString&) {});
    std::string error;
    EXPECT_FALSE(shortcuts.Start(&error, 1s));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(shortcuts.Active());
}

// On a Wayland session the box about what works comes on the first start and when that changes,
// never twice for the same.
TEST(Portal, SessionNoticeIsShownOncePerState) {
    vl::test::TempDir dir;
    vl::test::RecordingWnd owner("common/msgbox.xml");
    ASSERT_NE(owner.Create(nullptr, u"owner", skin::WS_POPUP, 0), nullptr);
    const QByteArray type = qgetenv("XDG_SESSION_TYPE"), display = qgetenv("WAYLAND_DISPLAY");
    qputenv("XDG_SESSION_TYPE", "wayland");
    const auto boxes = [&](bool shortcuts) {
        owner.Clear();
        NoticeSessionAbilities(owner.GetHWND(), shortcuts, dir.File("wayland-notice"));
        vl::test::ProcessEvents();
        return owner.Received({WM_POSTED_MSGBOX}).size();
    };
    {
        FakePortal portal("success", "/dev/null");
        ASSERT_TRUE(portal.Ready());
        EXPECT_EQ(boxes(false), 1u);
        EXPECT_EQ(boxes(false), 0u) << "the same state again";
        EXPECT_EQ(boxes(true), 1u) << "shortcuts came";
    }
    EXPECT_EQ(boxes(true), 1u) << "the Screenshot portal went";
    qputenv("XDG_SESSION_TYPE", "x11");
    qunsetenv("WAYLAND_DISPLAY");
    EXPECT_EQ(boxes(false), 0u) << "nothing on other sessions";
    qputenv("XDG_SESSION_TYPE", type);
    if (!display.isEmpty())
        qputenv("WAYLAND_DISPLAY", display);
    EXPECT_NE(SessionNoticeText({false, false}).find(u"xdg-desktop-portal"), std::u16string::npos);
}

}  // namespace
