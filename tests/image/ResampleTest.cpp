#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "image/Bitmap.h"
#include "image/Resample.h"
#include "support/Pixels.h"

using namespace ove;
using ovetest::PixelAt;

namespace {

// A 32-bit bitmap holding the rows of colours, top row first.
std::unique_ptr<CBitmapBuffer> Picture(const std::vector<std::vector<u32>>& rows) {
    auto b = std::make_unique<CBitmapBuffer>(u32(rows[0].size()), u32(rows.size()), PixelFormat::Rgba8888);
    ovetest::Paint(*b, [&](int x, int y) { return rows[y][x]; });
    return b;
}

}  // namespace

TEST(Resample, HalvingAveragesEachTwoByTwoBlock) {
    // Left block: 0, 40, 80, 120 in red -> 60. Right block: blue 10, 20, 30, 41 -> 25.25 -> 25.
    auto src = Picture(
        {{0xFF000000, 0xFF280000, 0x0000000A, 0x00000014}, {0xFF500000, 0xFF780000, 0xFF00001E, 0xFF000029}});
    CBitmapBuffer dst(2, 1, PixelFormat::Rgba8888);
    ASSERT_TRUE(ResampleArea(*src, dst));
    EXPECT_EQ(PixelAt(dst, 0, 0), 0xFF3C0000u);
    EXPECT_EQ(PixelAt(dst, 1, 0), 0x80000019u) << "alpha is averaged like the colours: (0+0+255+255)/4";
}

TEST(Resample, FractionalCoverageWeightsByArea) {
    // 3 -> 2 columns: target 0 covers source [0, 1.5): 2/3 of pixel 0 and 1/3 of pixel 1.
    auto src = Picture({{0xFF000000 | 90, 0xFF000000 | 30, 0xFF000000 | 240}});
    CBitmapBuffer dst(2, 1, PixelFormat::Rgba8888);
    ASSERT_TRUE(ResampleArea(*src, dst));
    EXPECT_EQ(PixelAt(dst, 0, 0) & 0xFF, std::lround(90 * 2.0 / 3 + 30 / 3.0));
    EXPECT_EQ(PixelAt(dst, 1, 0) & 0xFF, std::lround(30 / 3.0 + 240 * 2.0 / 3));
}

TEST(Resample, EnlargingRepeatsPixelsAndKeepsFlatAreasExact) {
    auto src = Picture({{0xFF102030, 0xFF405060}, {0xFF708090, 0xFFA0B0C0}});
    CBitmapBuffer dst(6, 4, PixelFormat::Rgba8888);
    ASSERT_TRUE(ResampleArea(*src, dst));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(PixelAt(dst, x, y), PixelAt(*src, x / 3, y / 2)) << x << "," << y;
    // Only 32-bit bitmaps can be resampled.
    CBitmapBuffer rgb(2, 2, PixelFormat::Rgb888), empty;
    EXPECT_FALSE(ResampleArea(rgb, dst));
    EXPECT_FALSE(ResampleArea(empty, dst));
}
