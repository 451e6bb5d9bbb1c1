// The arithmetic of a translation run: label places, clipping and encoding, the ball's click rule.
#include <gtest/gtest.h>
#include <stb/stb_image.h>

#include "ui/capture_geometry.h"

using capture::LabelBox;

// Labels: horizontal ones grow to the text, vertical ones stack cells, neither overflows; the
// ball's click: under 300 ms and under 6 pixels.
TEST(CaptureGeometry, LabelPlacesAndTheBallsClickRule) {
    const skin::Rect region{300, 200, 900, 500};
    EXPECT_EQ(capture::HorizontalLabel({0, 0, 100, 20}, 96, region, 4),
              (LabelBox{299, 199, 100, 22, 20}));
    EXPECT_EQ(capture::HorizontalLabel({0, 0, 100, 20}, 96, region, 6).width, 128);
    EXPECT_EQ(capture::HorizontalLabel({0, 50, 100, 20}, 96, region, 3).fontSize, 0);
    EXPECT_EQ(capture::VerticalLabel({0, 0, 30, 60}, 96, region, 5),
              (LabelBox{300, 200, 30, 160, 30}));
    EXPECT_EQ(capture::HorizontalLabel({-2147483647, 0, 2147483647, 5}, 96, region, 1).width,
              2147483647);
    EXPECT_EQ(capture::ScaleRect({300, 150, 900, 450}, 96, 144), (skin::Rect{200, 100, 600, 300}));
    EXPECT_EQ(capture::ScaleRect({100, 50, 500, 250}, 120, 96), (skin::Rect{125, 62, 625, 312}));
    EXPECT_EQ(capture::VeilInsets({10, 20, 110, 220}, 1920, 1080), (skin::Rect{10, 20, 1810, 860}));
    EXPECT_TRUE(capture::IsQuickClick(299, 5));
    EXPECT_FALSE(capture::IsQuickClick(300, 0));
    EXPECT_FALSE(capture::IsQuickClick(0, 6));
    EXPECT_EQ(capture::Travel(10, 10, 13, 14), 5);
    EXPECT_EQ(capture::Travel(0, 0, -4, -4), 5);  // 5.66, truncated
}

// Clips outside the image or without area and failed writes are refused; rows are cut at the
// image's stride.
TEST(ClipImage, BoundsWritesAndStride) {
    const std::string tiny(4 * 3 * 3, '\x7f');
    const skin::Rect image{0, 0, 4, 3};
    std::string jpeg;
    for (const skin::Rect& clip : {skin::Rect{0, 0, 5, 3}, skin::Rect{-1, 0, 2, 2},
                                   skin::Rect{3, 0, 1, 2}, skin::Rect{0, 2, 4, 1}}) {
        EXPECT_FALSE(capture::ClipImage(tiny, image, clip, &jpeg))
            << clip.left << "," << clip.right;
    }
    EXPECT_FALSE(capture::ClipImage(tiny.substr(1), image, image, &jpeg)) << "short buffer";
    ASSERT_TRUE(capture::ClipImage(tiny, image, image, &jpeg));
    capture::JpegSink sink;  // a piece the writer could not hand over fails the whole encoding
    capture::ClipImageWriteJpgCb(&sink, nullptr, 5);
    EXPECT_TRUE(sink.failed);

    // 1366 pixels: rows of 4098 bytes, not a multiple of 4. Red left of x = 1050, blue from
    // there; a wrong stride would slant the border across the rows.
    const int w = 1366, h = 100;
    std::string rgb(std::size_t(w) * h * 3, '\0');
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        rgb[i + (int(i / 3 % w) < 1050 ? 0 : 2)] = '\xff';
    ASSERT_TRUE(capture::ClipImage(rgb, {0, 0, w, h}, {1000, 10, 1100, 90}, &jpeg));
    int cw = 0, ch = 0, n = 0;
    stbi_uc* px = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(jpeg.data()),
                                        int(jpeg.size()), &cw, &ch, &n, 3);
    ASSERT_TRUE(px != nullptr && cw == 100 && ch == 80) << cw << "x" << ch;
    for (int y : {0, 40, 79})
        EXPECT_TRUE(px[(y * cw + 40) * 3] > 200 && px[(y * cw + 60) * 3 + 2] > 200) << "row " << y;
    stbi_image_free(px);
}
