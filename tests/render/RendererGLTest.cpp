// Frames rendered headless on real OpenGL (Mesa through EGL) and read back with RenderToImage.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "image/RunMask.h"
#include "render/Renderer.h"
#include "support/RenderFixture.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace ovetest;

namespace {

// Distinct opaque colour per coordinate.
std::uint32_t Pattern(int x, int y) {
    return 0xFF000000u | std::uint32_t(x & 0x3FF) << 12 | std::uint32_t(y & 0x3FF) << 2 | 1;
}

// A depth mask of w x h whose pixels inside [x1, x2) x [y1, y2) have `level`, 0 elsewhere.
CRunMask RectMask(int w, int h, int x1, int y1, int x2, int y2, std::uint8_t level) {
    std::vector<std::uint8_t> values(std::size_t(w) * h, 0);
    for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x) values[std::size_t(y) * w + x] = level;
    return CRunMask::Encode(values.data(), std::uint32_t(values.size()));
}

class CLevelLog : public CLevelLayers {
public:
    explicit CLevelLog(std::vector<std::string>& log) : log(log) {}
    void Draw(CRenderer&, int level) override { log.push_back("L" + std::to_string(level)); }
    std::vector<std::string>& log;
};

// "L0" .. "L<last>".
std::vector<std::string> Levels(int first, int last) {
    std::vector<std::string> out;
    for (int i = first; i <= last; ++i) out.push_back("L" + std::to_string(i));
    return out;
}

// Renders a captured frame and saves it as a BMP screenshot at `path`; the file's pixels (bottom
// row first) after the header checks.
std::vector<std::uint8_t> Screenshot(CRenderer& r, const std::filesystem::path& path, std::uint32_t w,
                                     std::uint32_t h) {
    r.EnableFrameCapture(true);
    r.RenderFrame();
    EXPECT_TRUE(r.SaveScreenshot(path.string()));
    auto bytes = ovetest::ReadFileBytes(path);
    EXPECT_EQ(bytes.size(), 54u + w * h * 4);
    if (bytes.size() != 54u + w * h * 4) return {};
    auto u32at = [&](std::size_t o) {
        return std::uint32_t(bytes[o]) | std::uint32_t(bytes[o + 1]) << 8 | std::uint32_t(bytes[o + 2]) << 16 |
               std::uint32_t(bytes[o + 3]) << 24;
    };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 2), "BM");
    EXPECT_EQ(u32at(18), w);
    EXPECT_EQ(u32at(22), h);
    EXPECT_EQ(bytes[28], 32);
    return {bytes.begin() + 54, bytes.end()};
}

}  // namespace

TEST_F(GLRenderTest, InitialiseTakesTheSizeAndCreateTheDevice) {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "SDL video: " << SDL_GetError();
    CRenderer::PrepareWindowAttributes();
    window = SDL_CreateWindow("render test", 0, 0, 32, 24, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) GTEST_SKIP() << "no OpenGL window: " << SDL_GetError();
    renderer = std::make_unique<CRenderer>();
    ASSERT_TRUE(renderer->Initialise(window));
    EXPECT_EQ(renderer->GetBackBufferWidth(), 32);
    EXPECT_EQ(renderer->GetBackBufferHeight(), 24);
    EXPECT_EQ(renderer->GetWidth(), 32);
    EXPECT_FALSE(renderer->HasDevice()) << "the device waits for Create, after the game size";
    EXPECT_EQ(GetRenderer(), nullptr);
    renderer->SetGameSize(16, 12);
    EXPECT_FLOAT_EQ(renderer->GetScaleX(), 2.0f);
    if (!renderer->Create()) GTEST_SKIP() << "no OpenGL 3.3 context: " << renderer->GetErrorMessage();
    EXPECT_EQ(renderer->GetLastError(), 0);
    EXPECT_TRUE(renderer->HasDevice());
    EXPECT_EQ(GetRenderer(), renderer.get());
    EXPECT_GE(renderer->GetMaxTextureWidth(), 1024);
    renderer->SetMaxTextureSize(256, 128);
    EXPECT_EQ(renderer->GetMaxTextureWidth(), 256);
    EXPECT_EQ(renderer->GetMaxTextureHeight(), 128);
}

// Small scenes, one drawable each over a backdrop colour, checked pixel for pixel.
TEST_F(GLRenderTest, ScenesCoverExactlyTheirPixels) {
    Open(20, 16);
    CBitmap white(2, 2, PixelFormat::Rgba8888);
    Fill(white, 0xFFFFFFFF);
    CBitmap black(2, 2, PixelFormat::Rgba8888);
    Fill(black, 0xFF000000);
    SCel cel = WholeCel(renderer->CreateTexture(&white), 2, 2);
    TextureHandle dark = renderer->CreateTexture(&black);
    ASSERT_NE(cel.texture, nullptr);
    auto box = [](int x, int y, int x1, int y1, int x2, int y2) { return x >= x1 && x < x2 && y >= y1 && y < y2; };
    const struct {
        const char* what;
        std::uint32_t backdrop;
        bool gui;
        std::function<void(CRenderer&)> draw;
        std::function<std::uint32_t(int, int)> want;
    } cases[] = {
        {"a colour backdrop fills the frame", 0xFF336699, false, [](CRenderer&) {},
         [](int, int) { return 0xFF336699u; }},
        {"clip rectangles unite through the stencil; a reset ends them", 0xFF000000, true,
         [](CRenderer& r) {
             r.SetClipRect(2, 1, 6, 4);
             r.SetClipRect(10, 5, 12, 10);
             r.FillRect(0, 0, 20, 16, 0xFFFFFF00, 0.0f);
             r.ResetClip();
             r.FillRect(19, 0, 20, 1, 0xFF0000FF, 0.0f);
         },
         [&](int x, int y) {
             if (x == 19 && y == 0) return 0xFF0000FFu;
             return box(x, y, 2, 1, 6, 4) || box(x, y, 10, 5, 12, 10) ? 0xFFFFFF00u : 0xFF000000u;
         }},
        {"the tint modulates; a scaled cel keeps its centre", 0xFF000000, false,
         [&](CRenderer& r) {
             r.SetBlendMode(kBlendOpaque);
             // Centred at (8, 8) and scaled 3: 6 x 6 from 8 - 3 to 8 + 3.
             r.DrawCelScaled(cel, kAlignCentre, kAlignMiddle, 8, 8, 0.5f, 3.0f, 0xFF80FF40);
         },
         [&](int x, int y) { return box(x, y, 5, 5, 11, 11) ? 0xFF80FF40u : 0xFF000000u; }},
        {"a fill after texture work is untextured", 0xFF000000, false,
         [&](CRenderer& r) {
             r.SetBlendMode(kBlendOpaque);
             r.SetTexture(dark);
             // Creating a texture mid-frame (a view loaded by a script) must not leave a stale binding.
             TextureHandle b = r.CreateTexture(&black);
             r.FillRect(0, 0, 8, 8, 0xFF4080C0, 0.5f);
             r.ReleaseTexture(b);
         },
         [&](int x, int y) { return box(x, y, 0, 0, 8, 8) ? 0xFF4080C0u : 0xFF000000u; }},
        {"stretched and sized cels cover their rectangles", 0xFF000000, false,
         [&](CRenderer& r) {
             SCel moved = cel;
             moved.xOffset = 1;  // the hot spot moves sized cels, never stretched ones
             r.SetBlendMode(kBlendOpaque);
             // Inclusive corners: columns 2..5, rows 1..3.
             r.DrawCelStretched(moved, 2, 1, 5, 3, 0.5f, 0xFFFF0000);
             // Forced 3 x 2, right and bottom aligned on (13, 10): left 13 + 1 - 2 = 12, top 10 - 1 = 9.
             r.DrawCelSized(moved, kAlignRight, kAlignBottom, 13, 10, 3, 2, 0.5f, 0xFF00FF00);
         },
         [&](int x, int y) {
             if (box(x, y, 2, 1, 6, 4)) return 0xFFFF0000u;
             return box(x, y, 12, 9, 15, 11) ? 0xFF00FF00u : 0xFF000000u;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        renderer->SetBackdropColour(c.backdrop);
        CTestDrawable d(c.gui ? 0.0f : 0.5f, true, c.draw);
        ASSERT_TRUE(c.gui ? renderer->AddGUIElement(&d) : renderer->AddObject(&d));
        auto img = Capture();
        ASSERT_EQ(img->Width(), 20u);
        ASSERT_EQ(img->Height(), 16u);
        ExpectImage(*img, c.want);
        c.gui ? renderer->RemoveGUIElement(&d) : renderer->RemoveObject(&d);
    }
    renderer->ReleaseTexture(cel.texture);
    renderer->ReleaseTexture(dark);
}

TEST_F(GLRenderTest, BackdropIsScaledAndOffset) {
    Open(20, 16);
    renderer->SetBackdropColour(0xFF000000);
    CBitmap picture(4, 4, PixelFormat::Rgba8888);
    Paint(picture, Pattern);
    renderer->SetBackdropWithPriority(&picture, nullptr);
    renderer->SetBackdropTransform(2.0f, 2.0f, 3.0f, 2.0f);
    ExpectImage(*Capture(), [](int x, int y) {
        const int bx = x - 3, by = y - 2;
        return bx >= 0 && by >= 0 && bx < 8 && by < 8 ? Pattern(bx / 2, by / 2) : 0xFF000000u;
    });
}

TEST_F(GLRenderTest, LargeBackdropIsTiledAtTheForcedMaximum) {
    Open(600, 300);
    renderer->SetMaxTextureSize(256, 256);
    // 24-bit on purpose: the texture path converts it.
    CBitmap picture(600, 300, PixelFormat::Rgb888);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 600; ++x) {
            std::uint8_t* p = picture.TopRow(std::uint32_t(y)) + x * 3;
            const std::uint32_t c = Pattern(x, y);
            p[0] = std::uint8_t(c);
            p[1] = std::uint8_t(c >> 8);
            p[2] = std::uint8_t(c >> 16);
        }
    renderer->SetBackdropWithPriority(&picture, nullptr);
    // Columns 256, 256, 128; rows 256, 64.
    EXPECT_EQ(renderer->GetBackdropTileCount(), 6u);
    ExpectImage(*Capture(), Pattern);
}

TEST_F(GLRenderTest, PriorityMapHidesDepthTestedObjectsBehindIt) {
    Open(40, 30);
    CBitmap picture(40, 30, PixelFormat::Rgba8888);
    Fill(picture, 0xFF202020);
    // Level 10 in the box (10..20) x (5..15).
    CRunMask mask = RectMask(40, 30, 10, 5, 20, 15, 10);
    renderer->SetBackdropWithPriority(&picture, &mask);
    EXPECT_GT(renderer->GetPriorityTileCount(), 0u);
    EXPECT_EQ(renderer->GetBackdropTileCount(), 1u);

    auto behind = Filler(9, false, 0, 0, 40, 30, 0xFFFF0000);
    renderer->AddObject(behind.get());
    ExpectPixels(*Capture(), {{15, 10, 0xFF202020, "priority 9 is behind level 10"},
                              {9, 10, 0xFFFF0000},
                              {20, 10, 0xFFFF0000},
                              {15, 4, 0xFFFF0000},
                              {15, 15, 0xFFFF0000}});
    // A non-corporeal object of low priority is never hidden.
    renderer->RemoveObject(behind.get());
    auto ghost = Filler(2, true, 0, 0, 40, 30, 0xFF00FF00);
    renderer->AddObject(ghost.get());
    ExpectPixels(*Capture(), {{15, 10, 0xFF00FF00}});

    // Colour mode (no picture): the clear colour shows where the map hides the sprite.
    renderer->RemoveObject(ghost.get());
    renderer->SetBackdropColour(0xFF000080);
    CRunMask left = RectMask(40, 30, 0, 0, 20, 30, 5);
    renderer->SetBackdropWithPriority(nullptr, &left, 40, 30);
    auto sprite = Filler(3, false, 0, 0, 40, 30, 0xFFFFFFFF);
    renderer->AddObject(sprite.get());
    ExpectPixels(*Capture(), {{10, 8, 0xFF000080}, {30, 8, 0xFFFFFFFF}});
}

TEST_F(GLRenderTest, PriorityMapHoldsEveryLevelAtItsOwnDepth) {
    // Fifteen columns of 4 pixels, column k - 1 at level k, and a gap of level 0 at the right.
    Open(64, 8);
    CBitmap picture(64, 8, PixelFormat::Rgba8888);
    Fill(picture, 0xFF101010);
    std::vector<std::uint8_t> values(64 * 8, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 60; ++x) values[std::size_t(y) * 64 + x] = std::uint8_t(x / 4 + 1);
    CRunMask mask = CRunMask::Encode(values.data(), std::uint32_t(values.size()));
    renderer->SetBackdropWithPriority(&picture, &mask);
    // Rows 0..3: one object per level at that level's priority (a tie: in front, since the depth
    // test is less-or-equal and the map writes no colour). Rows 4..7: one priority lower (behind).
    // Both fill their column only.
    std::vector<std::unique_ptr<CTestDrawable>> objects;
    for (int k = 1; k <= 15; ++k) {
        const float x = float((k - 1) * 4);
        objects.push_back(Filler(k, false, x, 0, x + 4, 4, 0xFF00FF00));
        objects.push_back(Filler(k - 1, false, x, 4, x + 4, 8, 0xFFFF0000));
    }
    objects.push_back(Filler(0, false, 60, 0, 64, 8, 0xFF0000FF));
    for (auto& o : objects) renderer->AddObject(o.get());
    auto img = Capture();
    for (int x = 0; x < 64; ++x) {
        const bool gap = x >= 60;
        EXPECT_EQ(Hex(PixelAt(*img, x, 1)), Hex(gap ? 0xFF0000FF : 0xFF00FF00)) << "column " << x;
        EXPECT_EQ(Hex(PixelAt(*img, x, 6)), Hex(gap ? 0xFF0000FF : 0xFF101010)) << "column " << x;
    }

    // Filtered, the map is sampled 0.7 pixel right of each pixel: a level reaches one pixel
    // further left and up, where the next texel still weighs in.
    CRunMask box = RectMask(64, 8, 20, 2, 30, 6, 9);
    renderer->SetBackdropWithPriority(&picture, &box);
    for (auto& o : objects) renderer->RemoveObject(o.get());
    auto behind = Filler(8, false, 0, 0, 64, 8, 0xFFFF0000);
    renderer->AddObject(behind.get());
    ExpectPixels(*Capture(), {{19, 3, 0xFFFF0000}, {20, 3, 0xFF101010}, {29, 5, 0xFF101010}});
    renderer->SetFiltering(true);
    ExpectPixels(*Capture(), {{19, 3, 0xFF101010, "filtered: one pixel further left"},
                              {20, 1, 0xFF101010, "filtered: one pixel further up"},
                              {29, 5, 0xFF101010},
                              {30, 3, 0xFFFF0000},
                              {18, 3, 0xFFFF0000}});
    renderer->SetFiltering(false);
    ExpectPixels(*Capture(), {{19, 3, 0xFFFF0000, "unfiltered again"}});
}

TEST_F(GLRenderTest, DepthTestedObjectsLookTheSameWhetherOrNotTheTestRuns) {
    // Overlapping objects in a scrambled queue order, two of them at the same depth, one nearer
    // than level 30 (below depth 0), a soft-edged blended one, a GUI element over all of them and
    // a painter's-order one between. Drawn once as objects that promise to draw at their own
    // depth (no depth test needed) and once as objects that do not (tested): the same pixels.
    Open(48, 32);
    CBitmap soft(8, 8, PixelFormat::Rgba8888);
    Paint(soft, [](int x, int) { return x < 2 ? 0x00000000u : x < 4 ? 0x80FF00FFu : 0xFFFF00FFu; });
    const SCel cel = WholeCel(renderer->CreateTexture(&soft), 8, 8);
    ASSERT_NE(cel.texture, nullptr);
    std::vector<std::unique_ptr<CTestDrawable>> objects;
    objects.push_back(Filler(3, false, 4, 4, 30, 20, 0xFF00FF00));
    objects.push_back(Filler(1, false, 0, 0, 20, 12, 0xFFFF0000));
    objects.push_back(Filler(40, false, 26, 0, 34, 32, 0xFFFFFF00));
    objects.push_back(Filler(3, false, 10, 10, 40, 28, 0xFF0000FF));
    objects.push_back(Filler(2, true, 16, 2, 24, 30, 0xFF00FFFF));
    objects.push_back(std::make_unique<CTestDrawable>(CRenderer::PriorityDepth(5), false, [&cel](CRenderer& r) {
        r.SetBlendMode(kBlendAlpha);
        r.DrawCel(cel, kAlignLeft, kAlignTop, 12.0f, 14.0f, CRenderer::PriorityDepth(5), 0xFFFFFFFFu);
    }));
    auto gui = Filler(0, false, 30, 8, 44, 16, 0xFF808080);
    gui->depth = 0.0f;
    for (auto& o : objects) renderer->AddObject(o.get());
    renderer->AddGUIElement(gui.get());

    auto tested = Capture();
    for (auto& o : objects) o->ownDepth = true;
    auto untested = Capture();
    ExpectSameImage(*untested, *tested);
    ExpectPixels(*untested, {{2, 2, 0xFFFF0000},
                             {12, 6, 0xFF00FF00, "priority 3 over 1"},
                             {12, 11, 0xFF0000FF, "equal depth: the later one"},
                             {18, 2, 0xFF00FFFF, "painter's order, over priority 1"},
                             {18, 24, 0xFF0000FF},
                             {17, 16, 0xFFFF00FF, "blended cel, opaque part"},
                             {12, 16, 0xFF0000FF, "blended cel, clear part"},
                             {28, 20, 0xFFFFFF00, "priority 40 over all"},
                             {31, 12, 0xFF808080, "the GUI over priority 40"}});
}

TEST_F(GLRenderTest, FrameOrderInterleavesLevelsObjectsAndGUI) {
    Open(8, 8);
    std::vector<std::string> log;
    CLevelLog layers(log);
    renderer->SetTileLayers(&layers);

    // Nothing queued: every level once, in order.
    Capture();
    EXPECT_EQ(log, Levels(0, 16));

    auto named = [&](const char* name, int priority, bool noncorporeal) {
        return std::make_unique<CTestDrawable>(CRenderer::PriorityDepth(priority), noncorporeal,
                                               [&log, name](CRenderer&) { log.push_back(name); });
    };
    auto sprite = named("sprite5", 5, false);
    auto below = named("elem4", 4, true);
    auto equal = named("elem5", 5, true);
    auto above = named("elem6", 6, true);
    auto tooNear = named("elem17", 17, true);
    auto onTop = named("ontop", 5, false);
    onTop->onTop = true;
    auto cursor = named("cursor", 1, false);
    auto gui = named("gui", 0, true);
    auto guiTop = named("guiTop", 0, true);
    guiTop->onTop = true;
    guiTop->translucent = true;
    guiTop->draw = [&log](CRenderer& r) { log.push_back("guiTop(" + std::to_string(r.GetBlendMode()) + ")"); };
    for (auto* o : {sprite.get(), below.get(), equal.get(), above.get(), tooNear.get(), onTop.get(), cursor.get()})
        ASSERT_TRUE(renderer->AddObject(o));
    ASSERT_TRUE(renderer->SetCursor(cursor.get()));
    ASSERT_TRUE(renderer->AddGUIElement(guiTop.get()));
    ASSERT_TRUE(renderer->AddGUIElement(gui.get()));

    log.clear();
    Capture();
    // The sprite at 5 has the float depth 0.8333333, so 30 - 30d = 5.0000006 and T = 5: levels 1..6
    // come before it. Painter's elements strictly farther come first; the equal and the nearer one
    // follow as soon as the remaining levels reach their depth (at once here); 17 is never reached.
    const std::vector<std::string> want{"L0",    "elem4", "L1",  "L2",  "L3",    "L4",        "L5",    "L6",  "sprite5",
                                        "elem5", "elem6", "L7",  "L8",  "L9",    "L10",       "L11",   "L12", "L13",
                                        "L14",   "L15",   "L16", "gui", "ontop", "guiTop(1)", "cursor"};
    EXPECT_EQ(log, want);

    // Priority 2^31 - 1: 30 - 30d is beyond the int range; T is still at most 15, so levels 1..16
    // all come before the object.
    for (auto* o : {sprite.get(), below.get(), equal.get(), above.get(), tooNear.get(), onTop.get(), cursor.get()})
        ASSERT_TRUE(renderer->RemoveObject(o));
    renderer->RemoveGUIElement(guiTop.get());
    renderer->RemoveGUIElement(gui.get());
    auto nearest = named("nearest", 2147483647, false);
    ASSERT_TRUE(renderer->AddObject(nearest.get()));
    log.clear();
    Capture();
    auto levels = Levels(0, 16);
    levels.push_back("nearest");
    EXPECT_EQ(log, levels);
}

TEST_F(GLRenderTest, BlendModes) {
    Open(12, 4);
    renderer->SetBackdropColour(0xFF646464);  // 100, 100, 100
    auto opaque = Filler(1, true, 0, 0, 3, 4, 0x40C80000, kBlendOpaque);
    auto alpha = Filler(1, true, 3, 0, 6, 4, 0x80C80000, kBlendAlpha);
    auto add = Filler(1, true, 6, 0, 9, 4, 0xFF323C46, kBlendAdditive);
    auto invisible = Filler(1, true, 9, 0, 12, 4, 0x00FFFFFF, kBlendOpaque);
    for (auto* o : {opaque.get(), alpha.get(), add.get(), invisible.get()}) renderer->AddObject(o);
    auto img = Capture();
    ExpectPixels(*img, {{1, 1, 0xFFC80000, "opaque replaces the colour"},
                        {7, 1, 0xFF96A0AA, "additive: 100 + (50, 60, 70)"},
                        {10, 1, 0xFF646464, "alpha 0 fails the alpha test"}});
    const std::uint32_t a = PixelAt(*img, 4, 1);
    const double k = 128.0 / 255.0;
    EXPECT_NEAR(double((a >> 16) & 0xFF), 200 * k + 100 * (1 - k), 1.0);
    EXPECT_NEAR(double((a >> 8) & 0xFF), 100 * (1 - k), 1.0);
    EXPECT_NEAR(double(a & 0xFF), 100 * (1 - k), 1.0);
}

TEST_F(GLRenderTest, CelLandsTexelForPixel) {
    Open(24, 16);
    renderer->SetBackdropColour(0xFF000000);
    // An 8 x 8 sheet with a 5 x 3 cel at (2, 3), texture coordinates as views compute them.
    CBitmap sheet(8, 8, PixelFormat::Rgba8888);
    Paint(sheet, [](int x, int y) { return Pattern(x + 1, y + 1); });
    TextureHandle tex = renderer->CreateTexture(&sheet);
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(CRenderer::TextureWidth(tex), 8);
    SCel cel = WholeCel(tex, 5, 3);
    cel.x = 2;
    cel.y = 3;
    cel.xOffset = -1;
    cel.yOffset = 2;
    const float e = 0.0001f, W = 8, H = 8;
    cel.uLeft = (cel.x + e) * (1 / W);
    cel.vTop = (cel.y - e) * (1 / H);
    cel.uRight = (1 / W) * (cel.x + 5 + e);
    cel.vBottom = (1 / H) * (cel.y + 3 - e);

    CTestDrawable plain(0.5f, true, [&](CRenderer& r) {
        r.SetBlendMode(kBlendAlpha);
        r.SetFiltering(false);
        r.DrawCel(cel, kAlignLeft, kAlignTop, 7, 4, 0.5f, 0xFFFFFFFF);
        r.DrawCel(cel, kAlignRight, kAlignBottom, 20, 12, 0.5f, 0xFFFFFFFF);
    });
    renderer->AddObject(&plain);
    // Top-left aligned: origin (7 - 1, 4 + 2). Right/bottom aligned: the last column and row land
    // on (20, 12) moved by the offset (-1, 2), so the origin is (15, 12).
    ExpectImage(*Capture(), [](int x, int y) {
        for (auto [ox, oy] : {std::pair{6, 6}, std::pair{15, 12}})
            if (x >= ox && x < ox + 5 && y >= oy && y < oy + 3) return Pattern(2 + x - ox + 1, 3 + y - oy + 1);
        return 0xFF000000u;
    });
    renderer->ReleaseTexture(tex);
}

TEST_F(GLRenderTest, RenderToImageUsesTheLogicalSizeAndStretches) {
    // Game 16 x 8 on a 64 x 32 back buffer: the capture is still logical pixels.
    Open(64, 32, 16, 8);
    EXPECT_FLOAT_EQ(renderer->GetScaleX(), 4.0f);
    renderer->SetBackdropColour(0xFF000000);
    auto box = Filler(1, true, 4, 2, 8, 6, 0xFFFFFFFF);
    renderer->AddObject(box.get());
    auto img = Capture();
    ASSERT_EQ(img->Width(), 16u);
    ASSERT_EQ(img->Height(), 8u);
    ExpectBox(*img, 4, 2, 8, 6, 0xFFFFFFFF, 0xFF000000);
    EXPECT_FLOAT_EQ(renderer->GetScaleX(), 4.0f) << "scales are restored";

    auto half = renderer->RenderToImage(8, 4);
    ASSERT_EQ(half->Width(), 8u);
    ASSERT_EQ(half->Height(), 4u);
    ExpectPixels(*half, {{2, 1, 0xFFFFFFFF}, {5, 1, 0xFF000000}});
    EXPECT_THROW(renderer->RenderToImage(0, 4), std::runtime_error);
}

TEST_F(GLRenderTest, LetterboxedViewportAndScreenshot) {
    // Window 100 x 50; a 25 x 25 game letter-boxed into the middle 50 x 50.
    Open(100, 50, 25, 25);
    renderer->SetViewportRect(25, 0, 50, 50);
    EXPECT_FLOAT_EQ(renderer->GetScaleX(), 2.0f);
    renderer->SetBackdropColour(0xFF00A000);
    auto box = Filler(1, true, 0, 0, 5, 25, 0xFFA00000);
    renderer->AddObject(box.get());
    ovetest::TempDir dir;
    const auto path = dir / "shot.bmp";
    const auto pixels = Screenshot(*renderer, path, 25, 25);
    ASSERT_FALSE(pixels.empty());
    // No black margin may leak in.
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x) {
            const std::uint8_t* p = &pixels[(std::size_t(y) * 25 + x) * 4];
            const std::uint32_t px = std::uint32_t(p[0]) | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
            ASSERT_EQ(Hex(px), Hex(x < 5 ? 0xFFA00000u : 0xFF00A000u)) << x << "," << y;
        }
    if (ovetest::HaveProgram("identify")) {
        EXPECT_EQ(ovetest::Run("identify " + path.string() + " > /dev/null 2>&1"), 0)
            << "ImageMagick reads the screenshot";
    }
}

TEST_F(GLRenderTest, ImageLayerDrawsAtItsLevelOverTheWholeFrame) {
    Open(8, 8);
    renderer->SetBackdropColour(0xFF000000);
    auto proxy = std::make_unique<CBitmapProxy>(std::make_unique<CBitmap>(8, 8, PixelFormat::Rgba8888));
    Paint(*proxy, [](int x, int) { return x < 4 ? 0xFF0000FFu : 0x00000000u; });
    // A painter's object at level 4 is drawn after the layer, one at level 2 before it.
    auto over = Filler(4, true, 0, 0, 8, 2, 0xFFFF0000);
    auto under = Filler(2, true, 0, 6, 8, 8, 0xFF00FF00);
    renderer->AddObject(over.get());
    renderer->AddObject(under.get());
    ASSERT_TRUE(renderer->AddOverlay(proxy.get()));
    // Image layers live on levels 1..16; level 0 belongs to the tile layers alone.
    ASSERT_EQ(proxy->level, 0u);
    ExpectPixels(*Capture(), {{1, 4, 0xFF000000, "level 0 is never drawn"}});
    proxy->level = 3;
    ExpectPixels(*Capture(), {{1, 4, 0xFF0000FF},
                              {6, 4, 0xFF000000, "transparent layer pixels"},
                              {1, 0, 0xFFFF0000},
                              {1, 7, 0xFF0000FF},
                              {6, 7, 0xFF00FF00}});

    // Pixels drawn into the image reach the screen after the upload flag is set.
    SetPixel(*proxy, 6, 4, 0xFFFFFFFF);
    proxy->needsUpload = true;
    ExpectPixels(*Capture(), {{6, 4, 0xFFFFFFFF}});
    EXPECT_FALSE(proxy->needsUpload);
    renderer->RemoveOverlay(proxy.get());
    proxy.reset();  // hands its texture back to the renderer
    ExpectPixels(*Capture(), {{1, 4, 0xFF000000}});
}

TEST_F(GLRenderTest, TrianglesAreScaledLikeEveryOtherPrimitive) {
    // Game 8 x 4 on a 16 x 8 back buffer; the frame is captured as presented and saved at 8 x 4.
    Open(16, 8, 8, 4);
    renderer->SetBackdropColour(0xFF000000);
    CTestDrawable d(0.5f, true, [](CRenderer& r) {
        r.SetBlendMode(kBlendOpaque);
        r.SetTexture(nullptr);
        const std::uint32_t c = 0xFF10E020;
        const SVertex v[6] = {{2, 1, 0.5f, 1, c, 0, 0}, {6, 1, 0.5f, 1, c, 0, 0}, {6, 3, 0.5f, 1, c, 0, 0},
                              {2, 1, 0.5f, 1, c, 0, 0}, {6, 3, 0.5f, 1, c, 0, 0}, {2, 3, 0.5f, 1, c, 0, 0}};
        r.DrawTriangles(v, 6);
    });
    renderer->AddObject(&d);
    ovetest::TempDir dir;
    const auto pixels = Screenshot(*renderer, dir / "t.bmp", 8, 4);
    ASSERT_FALSE(pixels.empty());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool in = x >= 2 && x < 6 && y >= 1 && y < 3;
            EXPECT_EQ(pixels[(std::size_t(3 - y) * 8 + x) * 4 + 1], in ? 0xE0 : 0x00) << x << "," << y;
        }
}

TEST_F(GLRenderTest, DepthClearBeforeOnTopObjectsKeepsDepthWritesAsSet) {
    Open(4, 4);
    renderer->SetBackdropColour(0xFF000000);
    // The GUI leaves additive blending on, hence depth writes off; the depth clear before the
    // on-top objects must not switch them back on behind the cache's back.
    CTestDrawable gui(0.0f, true, [](CRenderer& r) { r.SetBlendMode(kBlendAdditive); });
    // Sorted farthest first: the near fill comes first; with depth writes off the far one still adds.
    CTestDrawable nearFill(0.9f, false, [](CRenderer& r) { r.FillRect(0, 0, 4, 4, 0xFF400000, 0.2f); });
    CTestDrawable farFill(0.8f, false, [](CRenderer& r) { r.FillRect(0, 0, 4, 4, 0xFF004000, 0.5f); });
    nearFill.onTop = farFill.onTop = true;
    ASSERT_TRUE(renderer->AddGUIElement(&gui));
    ASSERT_TRUE(renderer->AddObject(&nearFill));
    ASSERT_TRUE(renderer->AddObject(&farFill));
    ExpectPixels(*Capture(), {{2, 2, 0xFF404000}});
}

TEST_F(GLRenderTest, RenderTargetBeyondTheDeviceFailsWithItsMessage) {
    Open(8, 8);
    renderer->SetBackdropColour(0xFF102030);
    renderer->SetGameSize(1 << 20, 8);
    try {
        renderer->RenderToImage(8, 8);
        ADD_FAILURE() << "a render target of 2^20 pixels across cannot exist";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Unable to create render target");
    }
    // The renderer draws on afterwards.
    renderer->SetGameSize(8, 8);
    ExpectPixels(*Capture(), {{3, 3, 0xFF102030}});
}

TEST_F(GLRenderTest, TheObjectQueueItselfIsSortedSoTiesKeepTheLastFrameOrder) {
    Open(4, 4);
    std::vector<std::string> log;
    auto named = [&](const char* name) {
        return std::make_unique<CTestDrawable>(CRenderer::PriorityDepth(3), true,
                                               [&log, name](CRenderer&) { log.push_back(name); });
    };
    auto frame = [&] {
        log.clear();
        Capture();
        return log;
    };
    using Log = std::vector<std::string>;
    auto a = named("a"), b = named("b");
    ASSERT_TRUE(renderer->AddObject(a.get()));
    ASSERT_TRUE(renderer->AddObject(b.get()));
    EXPECT_EQ(frame(), (Log{"a", "b"}));
    // b moves behind a, then back to a's depth: the tie keeps the order the queue now has.
    b->depth = CRenderer::PriorityDepth(2);
    EXPECT_EQ(frame(), (Log{"b", "a"}));
    b->depth = CRenderer::PriorityDepth(3);
    EXPECT_EQ(frame(), (Log{"b", "a"}));
    // New objects join at the end of the sorted queue.
    auto c = named("c");
    ASSERT_TRUE(renderer->AddObject(c.get()));
    EXPECT_EQ(frame(), (Log{"b", "a", "c"}));
}
