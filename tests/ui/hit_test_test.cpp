#include <gtest/gtest.h>

#include <QTest>
#include <QWindow>

#include "tests/ui/ui_test_util.h"

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
    QPoint CentreOf(const char* name) {
        return vl::test::CentreOf(wnd.Manager().FindControl(name));
    }
    vl::LRESULT HitOver(const char* name) { return HitAt(CentreOf(name).x(), CentreOf(name).y()); }
    RecordingWnd wnd;
};

}  // namespace

TEST(HitTest, SizeBoxBandsAndTheirCorners) {
    BoxWindow b;
    // Each band is 4 pixels wide: its last pixel inside, the next one out.
    EXPECT_EQ(b.HitAt(3, 3), vl::HTTOPLEFT);
    EXPECT_EQ(b.HitAt(359, 0), vl::HTTOPRIGHT);
    EXPECT_EQ(b.HitAt(3, 100), vl::HTLEFT);
    EXPECT_EQ(b.HitAt(180, 192), vl::HTBOTTOM);
    EXPECT_EQ(b.HitAt(359, 195), vl::HTBOTTOMRIGHT);
    EXPECT_EQ(b.HitAt(355, 100), vl::HTCLIENT);
    EXPECT_EQ(b.HitAt(180, 191), vl::HTCLIENT);
}

TEST(HitTest, CaptionBandExceptOverButtonsOptionsAndTexts) {
    BoxWindow b;
    EXPECT_EQ(b.HitAt(180, 4), vl::HTCAPTION);   // first row below the top band
    EXPECT_EQ(b.HitAt(180, 39), vl::HTCAPTION);  // last row of the caption
    EXPECT_EQ(b.HitAt(180, 40), vl::HTCLIENT);
    EXPECT_EQ(b.HitOver("title"), vl::HTCAPTION);  // a Label: still the caption
    EXPECT_EQ(b.HitOver("close"), vl::HTCLIENT);

    // Insets from the left and right edges shrink the band.
    b.wnd.Manager().SetCaptionRect(skin::Rect{50, 0, 60, 40});
    EXPECT_EQ(b.HitAt(49, 20), vl::HTCLIENT);
    EXPECT_EQ(b.HitAt(50, 20), vl::HTCAPTION);
    EXPECT_EQ(b.HitAt(299, 20), vl::HTCAPTION);
    EXPECT_EQ(b.HitAt(300, 20), vl::HTCLIENT);

    // A Text in the caption band is client area too.
    b.wnd.Manager().SetCaptionRect(skin::Rect{0, 0, 0, 196});
    EXPECT_EQ(b.HitOver("msg"), vl::HTCLIENT);
}

TEST(HitTest, PressesInTheCaptionAndOnBandsMoveAndResizeInsteadOfClicking) {
    BoxWindow b;
    QWindow* native = b.wnd.GetWidget()->windowHandle();
    b.wnd.Clear();
    QTest::mousePress(native, Qt::LeftButton, {}, QPoint(100, 20));
    QTest::mouseMove(native, QPoint(130, 45));
    // The window followed the pointer, which is over the same point of it again.
    QTest::mouseRelease(native, Qt::LeftButton, {}, QPoint(100, 20));
    EXPECT_EQ(b.wnd.GetWidget()->geometry(), QRect(230, 125, 360, 196));

    QTest::mousePress(native, Qt::LeftButton, {}, QPoint(358, 194));
    QTest::mouseMove(native, QPoint(338, 184));
    QTest::mouseRelease(native, Qt::LeftButton, {}, QPoint(338, 184));
    EXPECT_EQ(b.wnd.GetWidget()->geometry(), QRect(230, 125, 340, 186));
    // The left edge follows the pointer, which stays over the window's first column.
    QTest::mousePress(native, Qt::LeftButton, {}, QPoint(1, 100));
    QTest::mouseMove(native, QPoint(11, 100));
    QTest::mouseRelease(native, Qt::LeftButton, {}, QPoint(1, 100));
    EXPECT_EQ(b.wnd.GetWidget()->geometry(), QRect(240, 125, 330, 186));
    EXPECT_TRUE(b.wnd.Received({vl::WM_LBUTTONDOWN, vl::WM_LBUTTONUP}).empty());

    // The close button in the caption band is clicked, not dragged.
    QTest::mouseClick(native, Qt::LeftButton, {}, b.CentreOf("close"));
    EXPECT_EQ(b.wnd.Received({vl::WM_LBUTTONDOWN}).size(), 1u);
    ASSERT_EQ(b.wnd.Notifications().size(), 1u);
    EXPECT_EQ(b.wnd.Notifications()[0].senderName, "close");
}
