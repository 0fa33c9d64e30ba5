#include <gtest/gtest.h>

#include <cmath>

#include "image/Bitmap.h"
#include "image/Resample.h"
#include "support/Pixels.h"

using namespace ove;
using ovetest::PixelAt;
using ovetest::SetPixel;

TEST(Resample, HalvingAveragesEachTwoByTwoBlock) {
    CBitmapBuffer src(4, 2, PixelFormat::Rgba8888), dst(2, 1, PixelFormat::Rgba8888);
    // Left block: 0, 40, 80, 120 in red -> 60. Right block: blue 10, 20, 30, 41 -> 25.25 -> 25.
    SetPixel(src, 0, 0, 0xFF000000);
    SetPixel(src, 1, 0, 0xFF280000);
    SetPixel(src, 0, 1, 0xFF500000);
    SetPixel(src, 1, 1, 0xFF780000);
    SetPixel(src, 2, 0, 0x0000000A);
    SetPixel(src, 3, 0, 0x00000014);
    SetPixel(src, 2, 1, 0xFF00001E);
    SetPixel(src, 3, 1, 0xFF000029);
    ASSERT_TRUE(ResampleArea(src, dst));
    EXPECT_EQ(PixelAt(dst, 0, 0), 0xFF3C0000u);
    EXPECT_EQ(PixelAt(dst, 1, 0), 0x80000019u) << "alpha is averaged like the colours: (0+0+255+255)/4";
}

TEST(Resample, FractionalCoverageWeightsByArea) {
    // 3 -> 2 columns: target 0 covers source [0, 1.5): 2/3 of pixel 0 and 1/3 of pixel 1.
    CBitmapBuffer src(3, 1, PixelFormat::Rgba8888), dst(2, 1, PixelFormat::Rgba8888);
    SetPixel(src, 0, 0, 0xFF000000 | 90);
    SetPixel(src, 1, 0, 0xFF000000 | 30);
    SetPixel(src, 2, 0, 0xFF000000 | 240);
    ASSERT_TRUE(ResampleArea(src, dst));
    EXPECT_EQ(PixelAt(dst, 0, 0) & 0xFF, std::lround(90 * 2.0 / 3 + 30 / 3.0));
    EXPECT_EQ(PixelAt(dst, 1, 0) & 0xFF, std::lround(30 / 3.0 + 240 * 2.0 / 3));
}

TEST(Resample, EnlargingRepeatsPixelsAndKeepsFlatAreasExact) {
    CBitmapBuffer src(2, 2, PixelFormat::Rgba8888), dst(6, 4, PixelFormat::Rgba8888);
    SetPixel(src, 0, 0, 0xFF102030);
    SetPixel(src, 1, 0, 0xFF405060);
    SetPixel(src, 0, 1, 0xFF708090);
    SetPixel(src, 1, 1, 0xFFA0B0C0);
    ASSERT_TRUE(ResampleArea(src, dst));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(PixelAt(dst, x, y), PixelAt(src, x / 3, y / 2)) << x << "," << y;
}

TEST(Resample, RejectsNon32BitBitmaps) {
    CBitmapBuffer src(2, 2, PixelFormat::Rgb888), dst(1, 1, PixelFormat::Rgba8888);
    EXPECT_FALSE(ResampleArea(src, dst));
    CBitmapBuffer empty;
    EXPECT_FALSE(ResampleArea(empty, dst));
}
