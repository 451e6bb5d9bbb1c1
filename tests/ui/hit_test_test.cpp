#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <QWindow>

#include "tests/ui/ui_test_util.h"
#include "ui/skin/button.h"
#include "ui/skin/container.h"

using vl::test::RecordingWnd;

namespace {

// The message box layout (caption band: the top 40 pixels; title label, close button) at
// (200, 100), 360 × 196, with resize bands of 4 pixels.
struct BoxWindow {
    BoxWindow() : wnd("common/msgbox.xml") {
        EXPECT_NE(wnd.Create(nullptr, u"hit", skin::WS_POPUP, 0, 200, 100, 360, 196), nullptr);
        wnd.Manager().SetSizeBox(skin::Rect{4, 4, 4, 4});
        wnd.ShowWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(wnd.GetWidget()));
    }
    vl::LRESULT HitAt(int clientX, int clientY) {
        vl::LRESULT rc = 0;
        EXPECT_TRUE(vl::SendMessage(wnd.GetHWND(), vl::WM_NCHITTEST, 0,
                                    vl::MakeLParam(200 + clientX, 100 + clientY), &rc));
        return rc;
    }
    QPoint CentreOf(const std::string& name) {
        skin::Control* c = wnd.Manager().FindControl(name);
        const skin::Rect r = c->GetPos();
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    RecordingWnd wnd;
};

}  // namespace

TEST(HitTest, SizeBoxBandsAndTheirCorners) {
    BoxWindow b;
    struct Case {
        int x, y;
        vl::LRESULT expected;
    } cases[] = {
        {0, 0, vl::HTTOPLEFT},         {3, 3, vl::HTTOPLEFT},      {180, 0, vl::HTTOP},
        {180, 3, vl::HTTOP},           {359, 0, vl::HTTOPRIGHT},   {356, 3, vl::HTTOPRIGHT},
        {0, 100, vl::HTLEFT},          {3, 100, vl::HTLEFT},       {359, 100, vl::HTRIGHT},
        {356, 100, vl::HTRIGHT},       {0, 195, vl::HTBOTTOMLEFT}, {180, 192, vl::HTBOTTOM},
        {359, 195, vl::HTBOTTOMRIGHT}, {4, 100, vl::HTCLIENT},     {355, 100, vl::HTCLIENT},
        {180, 191, vl::HTCLIENT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(b.HitAt(c.x, c.y), c.expected) << c.x << "," << c.y;
    }
}

TEST(HitTest, CaptionBandExceptOverButtonsOptionsAndTexts) {
    BoxWindow b;
    EXPECT_EQ(b.HitAt(180, 4), vl::HTCAPTION);   // first row below the top band
    EXPECT_EQ(b.HitAt(180, 39), vl::HTCAPTION);  // last row of the caption
    EXPECT_EQ(b.HitAt(180, 40), vl::HTCLIENT);
    const QPoint title = b.CentreOf("title");  // a Label: still the caption
    EXPECT_EQ(b.HitAt(title.x(), title.y()), vl::HTCAPTION);
    const QPoint close = b.CentreOf("close");
    EXPECT_EQ(b.HitAt(close.x(), close.y()), vl::HTCLIENT);

    // Insets from the left and right edges shrink the band.
    b.wnd.Manager().SetCaptionRect(skin::Rect{50, 0, 60, 40});
    EXPECT_EQ(b.HitAt(49, 20), vl::HTCLIENT);
    EXPECT_EQ(b.HitAt(50, 20), vl::HTCAPTION);
    EXPECT_EQ(b.HitAt(299, 20), vl::HTCAPTION);
    EXPECT_EQ(b.HitAt(300, 20), vl::HTCLIENT);

    // A Text in the caption band is client area too.
    b.wnd.Manager().SetCaptionRect(skin::Rect{0, 0, 0, 196});
    const QPoint msg = b.CentreOf("msg");
    EXPECT_EQ(b.HitAt(msg.x(), msg.y()), vl::HTCLIENT);
}

TEST(HitTest, MaximisedWindowsHaveNoResizeBands) {
    BoxWindow b;
    b.wnd.GetWidget()->showMaximized();
    ASSERT_TRUE(vl::test::RunUntil(
        [&] { return b.wnd.IsMaximized() && b.wnd.GetWidget()->width() > 360; }));
    const QPoint topLeft = b.wnd.GetWidget()->geometry().topLeft();
    vl::LRESULT rc = 0;
    ASSERT_TRUE(vl::SendMessage(b.wnd.GetHWND(), vl::WM_NCHITTEST, 0,
                                vl::MakeLParam(topLeft.x() + 1, topLeft.y() + 1), &rc));
    EXPECT_EQ(rc, vl::HTCAPTION);
}

TEST(HitTest, PressInTheCaptionMovesTheWindowInsteadOfClicking) {
    BoxWindow b;
    QWindow* native = b.wnd.GetWidget()->windowHandle();
    const QPoint start = b.wnd.GetWidget()->pos();
    b.wnd.Clear();
    QTest::mousePress(native, Qt::LeftButton, {}, QPoint(100, 20));
    QTest::mouseMove(native, QPoint(130, 45));
    // The window followed the pointer, which is over the same point of it again.
    QTest::mouseRelease(native, Qt::LeftButton, {}, QPoint(100, 20));
    EXPECT_EQ(b.wnd.GetWidget()->pos(), start + QPoint(30, 25));
    EXPECT_TRUE(b.wnd.Received({vl::WM_LBUTTONDOWN, vl::WM_LBUTTONUP}).empty());

    // The close button in the same band is clicked, not dragged.
    const QPoint close = b.CentreOf("close");
    QTest::mouseClick(native, Qt::LeftButton, {}, close);
    EXPECT_EQ(b.wnd.Received({vl::WM_LBUTTONDOWN}).size(), 1u);
    ASSERT_EQ(b.wnd.Notifications().size(), 1u);
    EXPECT_EQ(b.wnd.Notifications()[0].senderName, "close");
}

TEST(HitTest, PressOnABandResizesTheWindow) {
    BoxWindow b;
    QWindow* native = b.wnd.GetWidget()->windowHandle();
    QTest::mousePress(native, Qt::LeftButton, {}, QPoint(358, 194));
    QTest::mouseMove(native, QPoint(338, 184));
    QTest::mouseRelease(native, Qt::LeftButton, {}, QPoint(338, 184));
    EXPECT_EQ(b.wnd.GetWidget()->geometry(), QRect(200, 100, 340, 186));

    // The left edge follows the pointer, which stays over the window's first column.
    QTest::mousePress(native, Qt::LeftButton, {}, QPoint(1, 100));
    QTest::mouseMove(native, QPoint(11, 100));
    QTest::mouseRelease(native, Qt::LeftButton, {}, QPoint(1, 100));
    EXPECT_EQ(b.wnd.GetWidget()->geometry(), QRect(210, 100, 330, 186));
    EXPECT_TRUE(b.wnd.Received({vl::WM_LBUTTONDOWN, vl::WM_LBUTTONUP}).empty());
}
