// Lines and rectangles with see-through colours blend over what lies under them, whatever the
// object drawn before them left the renderer doing.
#include "GuiApiFixture.h"

using namespace ove;
using namespace guiapitest;
using ovetest::Hex;

namespace {

// Source-over of one channel (the source's alpha a), as the renderer's alpha blending does it.
int Over(std::uint32_t src, std::uint32_t dst, int shift, int a) {
    const int s = int(src >> shift & 0xFF), d = int(dst >> shift & 0xFF);
    return (s * a + d * (255 - a)) / 255;
}

void ExpectBlended(std::uint32_t pixel, std::uint32_t src, std::uint32_t dst, int alpha, const char* where) {
    for (int shift : {16, 8, 0})
        EXPECT_NEAR(int(pixel >> shift & 0xFF), Over(src, dst, shift, alpha), 2)
            << where << ", channel at bit " << shift << ": " << Hex(pixel);
}

}  // namespace

TEST_F(GuiApiTest, TranslucentShapesBlendAfterAnOpaqueSprite) {
    Start();
    // The sprite (opaque green cels, drawn without blending) comes right before the shapes.
    ASSERT_EQ(Run("SetBackdrop(0x204080);"
                  "s = new Sprite(); s.view = 'btn'; s.x = 100; s.y = 100; s.priority = 2;"
                  "r = new Rectangle(); r.x1 = 10; r.y1 = 10; r.x2 = 40; r.y2 = 40; r.border = 0;"
                  "r.fill = RGBA8(255, 0, 0, 160); r.priority = 5;"
                  "l = new Line(); l.x1 = 50; l.y1 = 20; l.x2 = 90; l.y2 = 20;"
                  "l.stroke = RGBA8(255, 255, 255, 96); l.priority = 6;"),
              "");
    auto image = Render();
    ASSERT_TRUE(image);
    const std::uint32_t back = PixelAt(*image, 5, 5);
    EXPECT_EQ(Hex(back & 0xFFFFFFu), Hex(0x204080u)) << "the backdrop";
    EXPECT_NE(Hex(PixelAt(*image, 100, 96) & 0xFFFFFFu), Hex(0x204080u)) << "the sprite is drawn";
    ExpectBlended(PixelAt(*image, 20, 20), 0xFF0000u, back, 160, "the rectangle");
    ExpectBlended(PixelAt(*image, 70, 20), 0xFFFFFFu, back, 96, "the line");
}
