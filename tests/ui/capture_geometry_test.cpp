// The arithmetic of a translation run: clipping and encoding, label places, the ball's click rule.
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include "tests/support/log_capture.h"
#include "tests/ui/ui_test_util.h"
#include "ui/capture_geometry.h"
#include "ui/skin/result_zlabel.h"

using capture::LabelBox;
using vl::test::LogCapture;

TEST(LabelGeometry, HorizontalGrowsToTheTextAndVerticalStacksCells) {
    const skin::Rect region{300, 200, 900, 500};
    EXPECT_EQ(capture::HorizontalLabel({0, 0, 100, 20}, 96, region, 4),
              (LabelBox{299, 199, 100, 22, 20}));
    EXPECT_EQ(capture::HorizontalLabel({0, 0, 100, 20}, 96, region, 6).width, 128);
    EXPECT_EQ(capture::HorizontalLabel({0, 0, 100, 20}, 96, region, 0).width, 100);
    // At 144 dpi the box is scaled down first: (20, 40, 220, 80), 40 high.
    EXPECT_EQ(capture::HorizontalLabel({30, 60, 330, 120}, 144, region, 9),
              (LabelBox{319, 239, 371, 42, 40}));
    EXPECT_EQ(capture::HorizontalLabel({0, 50, 100, 20}, 96, region, 3).fontSize, 0);
    EXPECT_EQ(capture::VerticalLabel({0, 0, 30, 60}, 96, region, 5),
              (LabelBox{300, 200, 30, 160, 30}));
    EXPECT_EQ(capture::VerticalLabel({0, 0, 30, 600}, 96, region, 5).height, 600);
    // A box no service should send neither wraps around nor overflows.
    const LabelBox huge = capture::HorizontalLabel({-2147483647, 0, 2147483647, 5}, 96, region, 1);
    EXPECT_EQ(huge.width, 2147483647);
    EXPECT_EQ(capture::ScaleRect({300, 150, 900, 450}, 96, 144), (skin::Rect{200, 100, 600, 300}));
    EXPECT_EQ(capture::ScaleRect({100, 50, 500, 250}, 120, 96), (skin::Rect{125, 62, 625, 312}));
    EXPECT_EQ(capture::VeilInsets({10, 20, 110, 220}, 1920, 1080), (skin::Rect{10, 20, 1810, 860}));
}

// Five characters in a 30-wide column: one in each 32-high cell, nothing below the fifth.
TEST(LabelGeometry, VerticalLabelPaintsOneCharacterPerCell) {
    ResultZlabel label;
    label.setGeometry(0, 0, 30, 200);
    label.setFont(QFont("Noto Sans CJK SC"));
    label.SetTextColor(0xFFFFFFFF);
    label.SetEnabledEffect(true);
    label.SetText(u"一二三四五");
    const QImage shot = vl::test::Render(&label);
    for (int cell = 0; cell < 6; ++cell) {
        bool ink = false;
        for (int y = cell * 32; y < std::min(cell * 32 + 32, 200); ++y)
            for (int x = 0; x < 30; ++x)
                ink = ink || qAlpha(shot.pixel(x, y)) > 128;
        EXPECT_EQ(ink, cell < 5) << "cell " << cell;
    }
}

TEST(ClipImage, RejectsClipsOutsideTheImageOrWithoutArea) {
    const std::string rgb(4 * 3 * 3, '\x7f');
    const skin::Rect image{0, 0, 4, 3};
    std::string jpeg;
    for (const skin::Rect& clip :
         {skin::Rect{0, 0, 5, 3}, skin::Rect{-1, 0, 2, 2}, skin::Rect{3, 0, 1, 2},
          skin::Rect{0, 2, 4, 1}, skin::Rect{2, 1, 2, 3}}) {
        LogCapture::Get()->Clear();
        EXPECT_FALSE(capture::ClipImage(rgb, image, clip, &jpeg)) << clip.left << "," << clip.right;
        EXPECT_TRUE(LogCapture::Get()->Contains("param is invalid"));
    }
    EXPECT_FALSE(capture::ClipImage(rgb.substr(1), image, image, &jpeg)) << "short buffer";
    ASSERT_TRUE(capture::ClipImage(rgb, image, image, &jpeg));
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    // A piece the writer could not hand over makes the whole encoding fail.
    capture::JpegSink sink;
    capture::ClipImageWriteJpgCb(&sink, nullptr, 5);
    EXPECT_TRUE(sink.failed);
}

// 1366 pixels: rows of 4098 bytes, not a multiple of 4. Red left of x = 1050, blue from there;
// a wrong stride would slant the border across the rows.
TEST(ClipImage, CutsRowsAtTheImageStrideWithoutShear) {
    const int w = 1366, h = 100;
    std::string rgb(std::size_t(w) * h * 3, '\0');
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            rgb[(std::size_t(y) * w + x) * 3 + (x < 1050 ? 0 : 2)] = '\xff';
    std::string jpeg;
    ASSERT_TRUE(capture::ClipImage(rgb, {0, 0, w, h}, {1000, 10, 1100, 90}, &jpeg));
    int cw = 0, ch = 0, n = 0;
    stbi_uc* px = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(jpeg.data()),
                                        int(jpeg.size()), &cw, &ch, &n, 3);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(cw, 100);
    EXPECT_EQ(ch, 80);
    for (int y : {0, 40, 79}) {
        EXPECT_GT(px[(y * cw + 40) * 3], 200) << "red at row " << y;
        EXPECT_GT(px[(y * cw + 60) * 3 + 2], 200) << "blue at row " << y;
    }
    stbi_image_free(px);
}

TEST(FloatClick, QuickMeansUnder300MsAndUnder6Pixels) {
    EXPECT_TRUE(capture::IsQuickClick(299, 5));
    EXPECT_FALSE(capture::IsQuickClick(300, 0));
    EXPECT_FALSE(capture::IsQuickClick(0, 6));
    EXPECT_EQ(capture::Travel(10, 10, 13, 14), 5);
    EXPECT_EQ(capture::Travel(0, 0, -4, -4), 5);  // 5.66, truncated
}
