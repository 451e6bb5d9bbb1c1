#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QWindow>

#include "tests/ui/ui_test_util.h"
#include "ui/result_float_wnd.h"
#include "ui/skin/edit.h"
#include "ui/skin/input_messages.h"

using vl::test::RecordingWnd;
using vl::test::RunUntil;

namespace {

// A shown window of 400 × 300 at (100, 50) whose layout has no caption band.
struct ShownWindow {
    ShownWindow() : wnd("result/ui.xml") {
        EXPECT_NE(wnd.Create(nullptr, u"messages", skin::WS_POPUP, 0, 100, 50, 400, 300), nullptr);
        wnd.ShowWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(wnd.GetWidget()));
        wnd.Clear();
    }
    QWindow* Native() { return wnd.GetWidget()->windowHandle(); }
    RecordingWnd wnd;
};

std::vector<vl::UINT> Numbers(const std::vector<RecordingWnd::Message>& messages) {
    std::vector<vl::UINT> out;
    for (const auto& m : messages)
        out.push_back(m.msg);
    return out;
}

}  // namespace

TEST(WindowMessages, MouseInputArrivesInClientCoordinatesWithButtonState) {
    ShownWindow s;
    const std::vector<vl::UINT> mouse = {vl::WM_LBUTTONDOWN, vl::WM_LBUTTONUP, vl::WM_RBUTTONDOWN,
                                         vl::WM_RBUTTONUP, vl::WM_MOUSEMOVE};
    QTest::mousePress(s.Native(), Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 40));
    QTest::mouseMove(s.Native(), QPoint(35, 260));
    QTest::mouseRelease(s.Native(), Qt::LeftButton, {}, QPoint(35, 260));
    QTest::mouseClick(s.Native(), Qt::RightButton, {}, QPoint(399, 0));

    // Moves without the left button held (the pointer on its way) are left out.
    std::vector<RecordingWnd::Message> got;
    for (const auto& m : s.wnd.Received(mouse)) {
        if (m.msg != vl::WM_MOUSEMOVE || (m.wParam & skin::MK_LBUTTON) != 0)
            got.push_back(m);
    }
    ASSERT_EQ(Numbers(got),
              (std::vector<vl::UINT>{vl::WM_LBUTTONDOWN, vl::WM_MOUSEMOVE, vl::WM_LBUTTONUP,
                                     vl::WM_RBUTTONDOWN, vl::WM_RBUTTONUP}));
    EXPECT_EQ(got[0].lParam, vl::MakeLParam(30, 40));
    EXPECT_EQ(got[0].wParam, skin::MK_LBUTTON | skin::MK_SHIFT);
    EXPECT_EQ(got[1].lParam, vl::MakeLParam(35, 260));
    EXPECT_EQ(got[1].wParam, skin::MK_LBUTTON);
    EXPECT_EQ(got[2].wParam, 0u);
    EXPECT_EQ(got[3].lParam, vl::MakeLParam(399, 0));
    EXPECT_EQ(got[3].wParam, skin::MK_RBUTTON);
}

TEST(WindowMessages, ASecondQuickPressIsAPressToo) {
    ShownWindow s;
    QTest::mouseDClick(s.Native(), Qt::LeftButton, {}, QPoint(10, 10));
    const auto got = s.wnd.Received({vl::WM_LBUTTONDOWN, vl::WM_LBUTTONUP});
    EXPECT_EQ(Numbers(got), (std::vector<vl::UINT>{vl::WM_LBUTTONDOWN, vl::WM_LBUTTONUP,
                                                   vl::WM_LBUTTONDOWN, vl::WM_LBUTTONUP}));
}

TEST(WindowMessages, KeysArriveAsVirtualKeyCodes) {
    ShownWindow s;
    const std::pair<Qt::Key, vl::WPARAM> keys[] = {
        {Qt::Key_Enter, vl::VK_RETURN}, {Qt::Key_Escape, vl::VK_ESCAPE}, {Qt::Key_T, 'T'}};
    for (const auto& [key, vk] : keys) {
        s.wnd.Clear();
        QTest::keyClick(s.Native(), key);
        const auto got = s.wnd.Received({vl::WM_KEYDOWN, vl::WM_KEYUP});
        ASSERT_EQ(Numbers(got), (std::vector<vl::UINT>{vl::WM_KEYDOWN, vl::WM_KEYUP})) << vk;
        EXPECT_EQ(got[0].wParam, vk);
        EXPECT_EQ(got[1].wParam, vk);
        EXPECT_EQ(static_cast<std::uint32_t>(got[1].lParam) >> 30, 3u) << "release bits";
        EXPECT_EQ(static_cast<std::uint32_t>(got[0].lParam) >> 30, 0u);
    }
}

// A key the window answers itself goes no further; one left to the default handling reaches the
// focused control (Space clicks a button).
TEST(WindowMessages, AKeyTheWindowAnswersIsSwallowed) {
    RecordingWnd w("common/msgbox.xml");
    ASSERT_NE(w.Create(nullptr, u"keys", skin::WS_POPUP, 0), nullptr);
    w.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.GetWidget()));
    w.Manager().FindControl("ok")->GetWidget()->setFocus();
    auto clicks = [&w] {
        const auto all = w.Notifications();
        return std::count_if(all.begin(), all.end(),
                             [](const auto& n) { return n.type == "click"; });
    };
    QTest::keyClick(w.GetWidget()->windowHandle(), Qt::Key_Space);
    EXPECT_EQ(clicks(), 1);
    w.onMessage = [](vl::UINT msg, vl::WPARAM, vl::LPARAM) {
        return msg == vl::WM_KEYDOWN || msg == vl::WM_KEYUP ? 1 : 0;
    };
    w.Clear();
    QTest::keyClick(w.GetWidget()->windowHandle(), Qt::Key_Space);
    EXPECT_EQ(w.Received({vl::WM_KEYDOWN, vl::WM_KEYUP}).size(), 2u);
    EXPECT_EQ(clicks(), 0) << "the swallowed Space clicked the button";
}

TEST(WindowMessages, KeysTypedIntoAnEditStayWithTheEdit) {
    RecordingWnd w("login/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"login", skin::WS_POPUP, 0), nullptr);
    w.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.GetWidget()));
    auto* phone = w.Manager().FindControl<skin::Edit>("phone");
    ASSERT_NE(phone, nullptr);
    phone->setFocus();
    w.Clear();
    QTest::keyClick(w.GetWidget()->windowHandle(), Qt::Key_1);
    EXPECT_EQ(phone->GetText(), u"1");
    EXPECT_TRUE(w.Received({vl::WM_KEYDOWN, vl::WM_KEYUP}).empty());
}

TEST(WindowMessages, TimersDeliverTheirIdsUntilKilled) {
    ShownWindow s;
    ASSERT_TRUE(s.wnd.SetTimer(1, 5));
    ASSERT_TRUE(s.wnd.SetTimer(0x3333, 8));
    ASSERT_TRUE(s.wnd.SetTimer(1, 5));  // replaces the first, no second timer of id 1
    auto count = [&](vl::WPARAM id) {
        int n = 0;
        for (const auto& m : s.wnd.Received({vl::WM_TIMER}))
            n += m.wParam == id ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(RunUntil([&] { return count(1) >= 3 && count(0x3333) >= 2; }));
    EXPECT_TRUE(s.wnd.KillTimer(1));
    EXPECT_FALSE(s.wnd.KillTimer(1));
    EXPECT_FALSE(s.wnd.KillTimer(99));
    const int before = count(1);
    const int other = count(0x3333);
    ASSERT_TRUE(RunUntil([&] { return count(0x3333) >= other + 3; }));
    EXPECT_EQ(count(1), before);
}

TEST(WindowMessages, ShowWindowComesBeforeTheChange) {
    RecordingWnd w("result/ui.xml");
    ASSERT_NE(w.Create(nullptr, u"show", skin::WS_POPUP, 0, 0, 0, 200, 100), nullptr);
    std::vector<std::pair<vl::WPARAM, bool>> seen;  // wParam, visible at that moment
    w.onMessage = [&](vl::UINT msg, vl::WPARAM wParam, vl::LPARAM) -> vl::LRESULT {
        if (msg == vl::WM_SHOWWINDOW)
            seen.emplace_back(wParam, w.GetWidget()->isVisible());
        return 0;
    };
    w.ShowWindow();
    w.ShowWindow();  // already shown: nothing
    w.ShowWindow(false);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(vl::WPARAM{1}, false));
    EXPECT_EQ(seen[1], std::make_pair(vl::WPARAM{0}, true));
}

TEST(WindowMessages, WindowManagerCloseEndsAModalRunWithoutAResult) {
    RecordingWnd w("common/msgbox.xml");
    ASSERT_NE(w.Create(nullptr, u"modal", skin::WS_POPUP, 0), nullptr);
    QTimer::singleShot(0, [&] { w.GetWidget()->close(); });
    EXPECT_EQ(w.ShowModal(), skin::kModalAborted);
    EXPECT_EQ(w.GetHWND(), nullptr);
    EXPECT_EQ(w.ShowModal(), skin::kModalAborted);  // gone
}

TEST(WindowMessages, OwnedWindowsStayAboveAndGoWithTheirOwner) {
    auto owner = std::make_unique<RecordingWnd>("common/msgbox.xml");
    ASSERT_NE(owner->Create(nullptr, u"owner", skin::WS_POPUP, 0), nullptr);
    RecordingWnd owned("common/msgbox.xml");
    ASSERT_NE(owned.Create(owner->GetHWND(), u"owned", skin::WS_POPUP, skin::WS_EX_TOOLWINDOW),
              nullptr);
    EXPECT_EQ(owned.GetWidget()->parentWidget(), owner->GetWidget());
    EXPECT_TRUE(owned.GetWidget()->isWindow());
    const vl::HWND ownedHandle = owned.GetHWND();
    owner->Close();
    vl::test::ProcessEvents();  // the owner's widget goes, and the owned window with it
    EXPECT_FALSE(vl::IsWindow(ownedHandle));
    EXPECT_EQ(owned.Received({vl::WM_DESTROY}).size(), 1u);
}

TEST(WindowMessages, LayoutSizeUnlessASizeIsGivenAndCentring) {
    RecordingWnd byLayout("common/msgbox.xml");
    ASSERT_NE(byLayout.Create(nullptr, u"a", skin::WS_POPUP, 0), nullptr);
    EXPECT_EQ(byLayout.GetWidget()->size(), QSize(360, 196));
    RecordingWnd sized("common/msgbox.xml");
    ASSERT_NE(sized.Create(nullptr, u"b", skin::WS_POPUP, 0, 10, 20, 500, 300), nullptr);
    skin::Rect r;
    ASSERT_TRUE(sized.GetWindowRect(&r));
    EXPECT_EQ(r, (skin::Rect{10, 20, 510, 320}));
    sized.CenterWindow();
    ASSERT_TRUE(sized.GetWindowRect(&r));
    const QRect work = sized.GetWidget()->screen()->availableGeometry();
    EXPECT_NEAR((r.left + r.right) / 2.0, work.left() + work.width() / 2.0, 1.0);
    EXPECT_NEAR((r.top + r.bottom) / 2.0, work.top() + work.height() / 2.0, 1.0);
}

// A Wayland compositor places windows itself: the overlay asks to be full-screen, the ball is an
// ordinary window that neither bypasses the compositor nor is kept above by us.
TEST(WindowMessages, OnWaylandTheOverlayIsFullScreenAndTheBallAnOrdinaryWindow) {
    const QByteArray type = qgetenv("XDG_SESSION_TYPE");
    qputenv("XDG_SESSION_TYPE", "wayland");
    RecordingWnd overlay("result/ui.xml");
    RecordingWnd ball("result/float.xml");
    ASSERT_NE(overlay.Create(nullptr, u"overlay", skin::WS_POPUP,
                             skin::WS_EX_TOOLWINDOW | skin::WS_EX_OVERLAY),
              nullptr);
    ASSERT_NE(ball.Create(nullptr, u"ball", skin::WS_POPUP,
                          skin::WS_EX_TOOLWINDOW | skin::kFloating | skin::WS_EX_LAYERED),
              nullptr);
    qputenv("XDG_SESSION_TYPE", type);
    overlay.ShowWindow(true, true);
    EXPECT_TRUE(overlay.GetWidget()->windowState() & Qt::WindowFullScreen);
    for (RecordingWnd* w : {&overlay, &ball})
        EXPECT_FALSE(w->GetWidget()->windowFlags() & Qt::BypassWindowManagerHint);
    overlay.ShowWindow(false);
}

// The ball follows a left drag by the point where it was grabbed, and a drag is no click.
TEST(FloatingBall, DragMovesItByThePointerAndLandsWhereReleased) {
    ResultFloatWnd ball;
    ASSERT_NE(ball.Create(nullptr, u"Velmora翻译-悬浮窗", skin::WS_POPUP, 0), nullptr);
    skin::Rect at, size;
    ASSERT_TRUE(ball.GetWindowRect(&size) &&
                ball.MoveWindow(200, 100, size.Width(), size.Height()));
    const auto send = [&](vl::UINT msg, int x, int y) {
        vl::SendMessage(ball.GetHWND(), msg, 0, vl::MakeLParam(x, y));
        ball.GetWindowRect(&at);
        return std::tuple(at.left, at.top, at.Width(), at.Height());
    };
    send(vl::WM_LBUTTONDOWN, 10, 12);
    EXPECT_EQ(send(vl::WM_MOUSEMOVE, 60, 42), std::tuple(250, 130, size.Width(), size.Height()));
    send(vl::WM_LBUTTONUP, 10, 12);  // over the new place: 10, 12 into the ball again
    EXPECT_EQ(send(vl::WM_MOUSEMOVE, 40, 40), std::tuple(250, 130, size.Width(), size.Height()));
    ball.Close();
}
