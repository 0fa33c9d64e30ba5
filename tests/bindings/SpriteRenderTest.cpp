// Sprites drawn by the real renderer (headless GL) through the game host: the priority map,
// mirrored loops, scaling and tinting, compared pixel by pixel.
#include <initializer_list>

#include "GuiApiFixture.h"

using namespace ove;
using namespace scenetest;

namespace {

std::uint32_t Pixel(const CBitmapInterface& b, int x, int y) {
    const std::uint8_t* p = b.TopRow(static_cast<u32>(y)) + x * 4;
    return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | std::uint32_t(p[0]);  // 0xRRGGBB
}

struct SRgb {
    int x, y;
    std::uint32_t rgb;
    const char* why = "";
};
void ExpectRgb(const CBitmapInterface& frame, std::initializer_list<SRgb> want) {
    for (const SRgb& p : want)
        EXPECT_EQ(Pixel(frame, p.x, p.y), p.rgb) << std::hex << "at " << std::dec << p.x << "," << p.y << " " << p.why;
}

class SpriteRenderTest : public guiapitest::GuiApiTest {
protected:
    // A 64 x 48 game whose backdrop is black with priority level 10 on its right half.
    void Start() {
        m_dir.Write("DATA/room.OVP", PictureFile(64, 48, 0xFF000000u, nullptr,
                                                 [](int x, int) -> std::uint8_t { return x >= 32 ? 10 : 0; }));
        m_dir.Write("DATA/red.OVV", ViewFile(1, 1, 16, 16, 0xFFFF0000u));
        m_dir.Write("DATA/white.OVV", ViewFile(1, 1, 8, 8, 0xFFFFFFFFu));
        // Left half green, right half blue; loop 1 mirrors loop 0.
        m_dir.Write("DATA/halves.OVV", ViewFile(1, 1, 8, 8, 0xFF00FF00u, 1, 1, [](int, int, CBitmap& b) {
                        for (int y = 0; y < 8; ++y)
                            for (int x = 4; x < 8; ++x)
                                reinterpret_cast<std::uint32_t*>(b.TopRow(static_cast<u32>(y)))[x] = 0xFF0000FFu;
                    }));
        GuiApiTest::Start("function Init() { SetBackdrop('room'); } function Run() {} function Quit() {}",
                          "64\" height=\"48");
    }

    std::unique_ptr<CBitmap> Frame(const std::string& source) {
        EXPECT_EQ(Run(source), "");
        m_game->Display();  // queues the sprites and sets the backdrop transform
        return m_game->Renderer()->RenderToImage(64, 48);
    }
};

}  // namespace

// clang-format off
TEST_F(SpriteRenderTest, ThePriorityMapHidesFartherSpritesButNotNoncorporealOrNearerOnes) {
    Start();
    // Each red square spans columns 24..39 and the 16 rows above its anchor.
    auto frame = Frame(
        "far = new Sprite(); far.view = 'red'; far.x = 32; far.y = 15; far.priority = 5;"
        "ghost = new Sprite(); ghost.view = 'red'; ghost.x = 32; ghost.y = 31; ghost.priority = 5;"
        "ghost.noncorporeal = true;"
        "near = new Sprite(); near.view = 'red'; near.x = 32; near.y = 47; near.priority = 12;");
    ASSERT_TRUE(frame);
    ExpectRgb(*frame, {{26, 8, 0xFF0000u, "left of the mask"}, {36, 8, 0x000000u, "behind level 10"},
                       {36, 24, 0xFF0000u, "noncorporeal sprites ignore the map"},
                       {36, 40, 0xFF0000u, "priority 12 is nearer than level 10"}, {23, 8, 0}, {40, 40, 0}});
    // Hidden sprites leave the queue; shown again, they come back.
    ExpectRgb(*Frame("near.visible = false;"), {{26, 40, 0x000000u}});
    ExpectRgb(*Frame("near.visible = true; DestroySprite(far);"), {{26, 40, 0xFF0000u}, {26, 8, 0x000000u}});
}
// clang-format on

// clang-format off
TEST_F(SpriteRenderTest, MirroredLoopsAreDrawnFlipped) {
    Start();
    auto frame = Frame(
        "a = new Sprite(); a.view = 'halves'; a.xalign = a.yalign = 0; a.x = 4; a.y = 4;"
        "b = new Sprite(); b.view = 'halves'; b.xalign = b.yalign = 0; b.x = 4; b.y = 20; b.loop = 1;");
    ASSERT_TRUE(frame);
    ExpectRgb(*frame, {{4, 4, 0x00FF00u}, {11, 11, 0x0000FFu}, {4, 20, 0x0000FFu, "mirrored"}, {7, 27, 0x0000FFu},
                       {8, 20, 0x00FF00u}, {11, 27, 0x00FF00u}, {12, 20, 0x000000u}});
}
// clang-format on

// clang-format off
TEST_F(SpriteRenderTest, ScaledTintedAndTranslucentSprites) {
    Start();
    auto frame = Frame(
        "s = new Sprite(); s.view = 'white'; s.xalign = s.yalign = 0; s.x = 2; s.y = 2;"
        "s.scale = 2; s.tint = 0xFF0000;"
        "t = new Sprite(); t.view = 'white'; t.xalign = t.yalign = 0; t.x = 2; t.y = 30; t.opacity = 128;"
        "f = new Sprite(); f.view = 'white'; f.xalign = f.yalign = 0; f.x = 20; f.y = 2; f.ForceDisplaySize(3, 5);");
    ASSERT_TRUE(frame);
    ExpectRgb(*frame, {{2, 2, 0xFF0000u, "white modulated by the tint"}, {17, 17, 0xFF0000u, "twice the size"},
                       {18, 10, 0}, {10, 18, 0}, {22, 6, 0xFFFFFFu, "forced size 3 x 5"}, {23, 6, 0}, {22, 7, 0}});
    const std::uint32_t half = Pixel(*frame, 5, 33);
    EXPECT_EQ(half >> 16, half & 0xFF) << "grey";
    EXPECT_NEAR(static_cast<int>(half & 0xFF), 128, 2) << "half white over black";
    ExpectRgb(*Frame("s.opacity = 0;"), {{2, 2, 0x000000u, "fully transparent sprites are not drawn"}});
}
// clang-format on

TEST_F(SpriteRenderTest, OverlappingSpritesKeepPainterOrderWhenDrawnNearestFirst) {
    m_dir.Write("DATA/ring.OVV", ViewFile(1, 1, 8, 8, 0xFFFFFF00u, 1, 1, [](int, int, CBitmap& b) {
                    for (int y = 2; y < 6; ++y)
                        for (int x = 2; x < 6; ++x)
                            reinterpret_cast<std::uint32_t*>(b.TopRow(static_cast<u32>(y)))[x] = 0;
                }));
    Start();
    // Opaque sprites only, and no priority map: the renderer may draw them nearest first.
    const std::string scene =
        "SetBackdrop(BLACK);"
        "function put(v, x, y) { var s = new Sprite(); s.view = v; s.xalign = s.yalign = 0; s.x = x; s.y = y;"
        "  return s; }"
        "far = put('red', 0, 0); far.priority = 3;"
        "tie1 = put('halves', 8, 8); tie1.priority = 6; tie2 = put('white', 10, 10); tie2.priority = 6;"
        "ring = put('ring', 4, 4); ring.priority = 9;";
    auto nearestFirst = Frame(scene);
    ASSERT_TRUE(nearestFirst);
    ExpectRgb(*nearestFirst, {{5, 5, 0xFFFF00u, "the nearest sprite covers the farther one"},
                              {6, 6, 0xFF0000u, "through the ring's hole"},
                              {9, 9, 0x00FF00u, "through the hole, the first of a tie"},
                              {13, 13, 0xFFFFFFu, "the later of equal priorities wins"},
                              {13, 8, 0x0000FFu}});
    // A translucent sprite anywhere makes the renderer draw farthest first: the same picture.
    auto painter = Frame("glass = put('white', 40, 30); glass.opacity = 128; glass.priority = 1;");
    ASSERT_TRUE(painter);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_EQ(Pixel(*painter, x, y), Pixel(*nearestFirst, x, y)) << x << "," << y;
}
