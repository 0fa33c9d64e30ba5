// Drawing into 32-bit pictures: clipping, the set-or-blend rule and the outline.
#include <gtest/gtest.h>

#include <climits>

#include "image/Bitmap.h"
#include "image/ImageDraw.h"

using namespace ove;

namespace {

// Makes b a w x h Rgba8888 picture filled with one colour.
void Picture(CBitmapBuffer& b, u32 w, u32 h, u32 argb) {
    ASSERT_TRUE(b.Create(w, h, PixelFormat::Rgba8888));
    ImageClear(b, argb);
}

// Which pixels differ from `background`, as rows of '.' and '#', top row first.
std::string Map(const CBitmapInterface& b, u32 background) {
    std::string out;
    for (i32 y = 0; y < i32(b.Height()); ++y) {
        for (i32 x = 0; x < i32(b.Width()); ++x) out += ImageGetPixel(b, x, y) == background ? '.' : '#';
        out += '\n';
    }
    return out;
}

}  // namespace

TEST(ImageDraw, BlendTableAndBlendRule) {
    const CBlendTable& t = GetBlendTable();
    EXPECT_EQ(t(255, 200), 200);
    EXPECT_EQ(t(0, 200), 0);
    EXPECT_EQ(t(128, 255), 128);
    EXPECT_EQ(t(127, 255), 127);
    EXPECT_EQ(t(100, 100), 39);  // 10000 / 255 rounded down

    // Half-transparent black over opaque white: 127 in each channel, alpha 127 + 128.
    CBitmapBuffer b;
    Picture(b, 1, 1, 0xFFFFFFFFu);
    ASSERT_TRUE(ImageFillRect(b, 0, 0, 1, 1, 0x80000000u));
    EXPECT_EQ(ImageGetPixel(b, 0, 0), 0xFF7F7F7Fu);

    // Over transparent black the colour keeps its alpha; over an opaque pixel the alpha is full.
    Picture(b, 2, 1, 0x00000000u);
    ImageSetPixel(b, 1, 0, 0xFF102030u);
    ImageFillRect(b, 0, 0, 2, 1, 0xC8FF0000u);
    EXPECT_EQ(ImageGetPixel(b, 0, 0), 0xC8C80000u);  // red T[200][255] = 200
    // Over (0x10, 0x20, 0x30): red T[55][16] + 200 = 3 + 200, green T[55][32] = 6, blue T[55][48] = 10.
    EXPECT_EQ(ImageGetPixel(b, 1, 0), 0xFFCB060Au);
}

TEST(ImageDraw, FillRectModesAndClipping) {
    const u32 bg = 0xFF000000u;
    CBitmapBuffer b;
    Picture(b, 8, 8, bg);
    // Negative corner: only the 5 x 5 square at the top-left is filled.
    EXPECT_TRUE(ImageFillRect(b, -5, -5, 10, 10, 0xFFFFFFFFu));
    EXPECT_EQ(Map(b, bg), "#####...\n#####...\n#####...\n#####...\n#####...\n........\n........\n........\n");

    // Alpha 0 draws nothing; empty, negative and far-away rectangles are nothing either.
    Picture(b, 4, 4, bg);
    EXPECT_FALSE(ImageFillRect(b, 0, 0, 4, 4, 0x00FFFFFFu));
    EXPECT_FALSE(ImageFillRect(b, 1, 1, 0, 3, 0xFFFFFFFFu));
    EXPECT_FALSE(ImageFillRect(b, 1, 1, -3, 3, 0xFFFFFFFFu));
    EXPECT_FALSE(ImageFillRect(b, 4, 0, 1, 1, 0xFFFFFFFFu));
    // Sizes whose end does not fit 32 bits must not wrap into the picture.
    EXPECT_FALSE(ImageFillRect(b, INT_MAX - 1, 0, INT_MAX, 4, 0xFFFFFFFFu));
    EXPECT_TRUE(ImageFillRect(b, 2, 3, INT_MAX, INT_MAX, 0xFFFFFFFFu));
    EXPECT_EQ(Map(b, bg), "....\n....\n....\n..##\n");

    // Alpha 255 sets exactly, also the alpha byte.
    Picture(b, 1, 1, 0x80123456u);
    ImageFillRect(b, 0, 0, 1, 1, 0xFFABCDEFu);
    EXPECT_EQ(ImageGetPixel(b, 0, 0), 0xFFABCDEFu);

    // Clear never blends.
    ImageClear(b, 0x40102030u);
    EXPECT_EQ(ImageGetPixel(b, 0, 0), 0x40102030u);
}

TEST(ImageDraw, RowsCountFromTheTop) {
    CBitmapBuffer b;
    Picture(b, 2, 3, 0);
    ImageSetPixel(b, 1, 0, 0xFF0000FFu);
    // Picture row 0 is the last memory row.
    const u8* top = b.Row(2) + 4;
    EXPECT_EQ(top[0], 0xFF);
    EXPECT_EQ(top[3], 0xFF);
    EXPECT_EQ(b.Row(0)[4], 0);
    EXPECT_FALSE(ImageSetPixel(b, -1, 0, 0xFFFFFFFFu));
    EXPECT_FALSE(ImageSetPixel(b, 2, 0, 0xFFFFFFFFu));
    EXPECT_FALSE(ImageSetPixel(b, 0, 3, 0xFFFFFFFFu));
    EXPECT_EQ(ImageGetPixel(b, -1, 0), 0u);
    EXPECT_EQ(ImageGetPixel(b, 0, 3), 0u);
}

TEST(ImageDraw, DrawRectOutline) {
    const u32 bg = 0xFF000000u;
    CBitmapBuffer b;
    Picture(b, 6, 5, bg);
    // Corners in any order, both included.
    EXPECT_TRUE(ImageDrawRect(b, 4, 3, 1, 1, 0xFFFFFFFFu));
    EXPECT_EQ(Map(b, bg), "......\n.####.\n.#..#.\n.####.\n......\n");

    // Edges outside the picture are left out, the others clipped.
    Picture(b, 4, 4, bg);
    EXPECT_TRUE(ImageDrawRect(b, -2, 1, 2, 9, 0xFFFFFFFFu));
    EXPECT_EQ(Map(b, bg), "....\n###.\n..#.\n..#.\n");

    // Wholly outside, or alpha 0: nothing.
    Picture(b, 4, 4, bg);
    EXPECT_FALSE(ImageDrawRect(b, -5, -5, -1, 3, 0xFFFFFFFFu));
    EXPECT_FALSE(ImageDrawRect(b, 4, 0, 9, 3, 0xFFFFFFFFu));
    EXPECT_FALSE(ImageDrawRect(b, 0, 0, 3, 3, 0x00FFFFFFu));
    // A rectangle around the whole picture draws nothing inside it.
    EXPECT_FALSE(ImageDrawRect(b, -1, -1, 4, 4, 0xFFFFFFFFu));
    EXPECT_EQ(Map(b, bg), "....\n....\n....\n....\n");

    // Blending: every outline pixel, corners included, is blended once.
    Picture(b, 3, 3, 0xFFFFFFFFu);
    ImageDrawRect(b, 0, 0, 2, 2, 0x80000000u);
    for (i32 y = 0; y < 3; ++y)
        for (i32 x = 0; x < 3; ++x)
            EXPECT_EQ(ImageGetPixel(b, x, y), x == 1 && y == 1 ? 0xFFFFFFFFu : 0xFF7F7F7Fu) << x << "," << y;

    // A single row and a single pixel.
    Picture(b, 3, 2, bg);
    ImageDrawRect(b, 0, 1, 2, 1, 0xFFFFFFFFu);
    ImageDrawRect(b, 1, 0, 1, 0, 0xFFFFFFFFu);
    EXPECT_EQ(Map(b, bg), ".#.\n###\n");
}
