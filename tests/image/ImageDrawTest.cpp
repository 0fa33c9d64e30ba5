// Drawing into 32-bit pictures: clipping, the set-or-blend rule and the outline.
#include <gtest/gtest.h>

#include <climits>

#include "image/ImageDraw.h"

using namespace ove;

namespace {

// Which pixels differ from `background`, as rows of '.' and '#', top row first.
std::string Map(const CBitmapInterface& b, u32 background) {
    std::string out;
    for (i32 y = 0; y < i32(b.Height()); ++y, out += '\n')
        for (i32 x = 0; x < i32(b.Width()); ++x) out += ImageGetPixel(b, x, y) == background ? '.' : '#';
    return out;
}

}  // namespace

TEST(ImageDraw, FillClipsAndBlends) {
    const u32 bg = 0xFF000000u;
    CBitmapBuffer b(6, 6, PixelFormat::Rgba8888);
    ImageClear(b, bg);
    EXPECT_TRUE(ImageFillRect(b, -5, -5, 10, 10, 0xFFFFFFFFu));               // the 5 x 5 corner only
    EXPECT_FALSE(ImageFillRect(b, 0, 0, 6, 6, 0x00FFFFFFu));                  // alpha 0: nothing
    EXPECT_FALSE(ImageFillRect(b, INT_MAX - 1, 0, INT_MAX, 6, 0xFFFFFFFFu));  // no wrap-around
    EXPECT_EQ(Map(b, bg), "#####.\n#####.\n#####.\n#####.\n#####.\n......\n");
    // Half-transparent black over opaque white: T[127][255] + T[128][0] = 127; alpha 127 + 128.
    ImageFillRect(b, 0, 0, 1, 1, 0x80000000u);
    EXPECT_EQ(ImageGetPixel(b, 0, 0), 0xFF7F7F7Fu);
    // Over transparent black the colour keeps its own alpha: red T[200][255] = 200.
    ImageSetPixel(b, 5, 5, 0);
    ImageFillRect(b, 5, 5, 1, 1, 0xC8FF0000u);
    EXPECT_EQ(ImageGetPixel(b, 5, 5), 0xC8C80000u);
    // Clear and SetPixel never blend; row 0 is the last memory row.
    ImageSetPixel(b, 1, 0, 0x40102030u);
    EXPECT_EQ(ImageGetPixel(b, 1, 0), 0x40102030u);
    EXPECT_EQ(b.Row(5)[4], 0x30);
    EXPECT_EQ(ImageGetPixel(b, -1, 0), 0u);
}

TEST(ImageDraw, OutlineClipsAndBlendsEachPixelOnce) {
    const u32 bg = 0xFF000000u;
    CBitmapBuffer b(5, 4, PixelFormat::Rgba8888);
    ImageClear(b, bg);
    EXPECT_TRUE(ImageDrawRect(b, 3, 2, 1, 0, 0xFFFFFFFFu));     // corners in any order
    EXPECT_TRUE(ImageDrawRect(b, -2, 3, 0, 9, 0xFFFFFFFFu));    // left and bottom edges left out
    EXPECT_FALSE(ImageDrawRect(b, -1, -1, 5, 4, 0xFFFFFFFFu));  // all four edges outside
    EXPECT_EQ(Map(b, bg), ".###.\n.#.#.\n.###.\n#....\n");
    ImageClear(b, 0xFFFFFFFFu);
    ImageDrawRect(b, 0, 0, 2, 2, 0x80000000u);
    for (i32 y = 0; y < 3; ++y)
        for (i32 x = 0; x < 3; ++x)
            EXPECT_EQ(ImageGetPixel(b, x, y), x == 1 && y == 1 ? 0xFFFFFFFFu : 0xFF7F7F7Fu) << x << "," << y;
}
