#include <gtest/gtest.h>

#include <future>

#include "ui/skin/attribute_list.h"
#include "platform/dpi_source.h"
#include "utils/vl_env.h"

TEST(SkinApp, XftDpiIsReadFromTheResourceDatabase) {
    EXPECT_EQ(vl::platform::ParseXftDpi("Xft.dpi:\t144\nXft.antialias:\t1\n"), 144u);
    EXPECT_EQ(vl::platform::ParseXftDpi("Xcursor.size:\t24\nXft.dpi:\t120.0"), 120u);
    EXPECT_EQ(vl::platform::ParseXftDpi("Xft.dpi: 96\r\n"), 96u);
    EXPECT_EQ(vl::platform::ParseXftDpi(""), 0u);
    EXPECT_EQ(vl::platform::ParseXftDpi("Xft.dpi:\tbig\n"), 0u);
    EXPECT_EQ(vl::platform::ParseXftDpi("Xft.dpi:\t-96\n"), 0u);
    EXPECT_EQ(vl::platform::ParseXftDpi("Xft.dpi:\t96px\n"), 0u);
    EXPECT_EQ(vl::platform::ParseXftDpi("Xft.dpis:\t96\nmy.Xft.dpi:\t96\n"), 0u);
}

TEST(SkinApp, SystemDpiComesFromTheScreenOnEveryThread) {
    // Offscreen: no X resources, device pixel ratio 1.
    EXPECT_EQ(vl::OSDpi(), 96u);
    auto other = std::async(std::launch::async, [] { return vl::OSDpi(); });
    EXPECT_EQ(other.get(), 96u);
}

TEST(SkinApp, LayoutColoursAndBandsRefuseWhatTheyCannotRead) {
    std::uint32_t argb = 0;
    EXPECT_TRUE(skin::ParseArgb("#D9000000", &argb));
    EXPECT_EQ(argb, 0xD9000000u);
    EXPECT_TRUE(skin::ParseArgb("#5b3301", &argb));
    EXPECT_EQ(argb, 0xFF5B3301u);
    EXPECT_FALSE(skin::ParseArgb("#GG000000", &argb));
    int v[4];
    EXPECT_TRUE(skin::ParseFourInts(" 1, 2,3 ,4", 0, v));
    EXPECT_EQ(v[3], 4);
    EXPECT_FALSE(skin::ParseFourInts("1,2,3", 0, v));
    EXPECT_FALSE(skin::ParseFourInts("1,2,3,-4", 0, v));
}
