// Image layers and screen captures on real OpenGL (headless): layers sit at their level between
// depth-tested objects, touched pixels reach the screen, and RenderToImage hides the cursor.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "image/Bitmap.h"
#include "render/Renderer.h"
#include "render/RenderFixture.h"
#include "script/ScriptFixture.h"
#include "script/bindings/JSImage.h"

using namespace ove;
using ovetest::CTestDrawable;
using ovetest::Hex;
using ovetest::PixelAt;

namespace {

constexpr int kW = 8, kH = 4;

class ImageLayerGLTest : public ovetest::ScriptTest {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (!SDL_WasInit(SDL_INIT_VIDEO)) SDL_InitSubSystem(SDL_INIT_VIDEO);
    }

    void SetUp() override {
        ScriptTest::SetUp();
        if (!SDL_WasInit(SDL_INIT_VIDEO)) GTEST_SKIP() << "SDL video: " << SDL_GetError();
        CRenderer::PrepareWindowAttributes();
        window_ = SDL_CreateWindow("image test", 0, 0, kW, kH, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window_) GTEST_SKIP() << "no OpenGL window: " << SDL_GetError();
        renderer_ = std::make_unique<CRenderer>();
        if (!renderer_->Initialise(window_)) GTEST_SKIP() << renderer_->GetErrorMessage();
        renderer_->SetGameSize(kW, kH);
        if (!renderer_->Create()) GTEST_SKIP() << "no OpenGL 3.3 context: " << renderer_->GetErrorMessage();
        renderer_->SetFiltering(false, true);
        renderer_->SetBackdropColour(0xFF000000u);
        game_->renderer = renderer_.get();
    }

    void TearDown() override {
        // The images go with the script host while the renderer still has its device; the test
        // owns the renderer, not the game.
        if (game_) game_->renderer = nullptr;
        ScriptTest::TearDown();
        objects_.clear();
        renderer_.reset();
        if (window_) SDL_DestroyWindow(window_);
        window_ = nullptr;
    }

    // A depth-tested object at a priority filling columns x1..x2-1 of every row.
    CTestDrawable* Object(int priority, float x1, float x2, std::uint32_t colour) {
        const float depth = CRenderer::PriorityDepth(priority);
        objects_.push_back(std::make_unique<CTestDrawable>(
            depth, false, [=](CRenderer& r) { r.FillRect(x1, 0.0f, x2, float(kH), colour, depth); }));
        renderer_->AddObject(objects_.back().get());
        return objects_.back().get();
    }

    std::unique_ptr<CBitmap> Capture() { return renderer_->RenderToImage(kW, kH); }

    SDL_Window* window_ = nullptr;
    std::unique_ptr<CRenderer> renderer_;
    std::vector<std::unique_ptr<CTestDrawable>> objects_;
};

constexpr std::uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu, kGreen = 0xFF00FF00u, kYellow = 0xFFFFFF00u,
                        kWhite = 0xFFFFFFFFu, kCyan = 0xFF00FFFFu, kBlack = 0xFF000000u;

}  // namespace

TEST_F(ImageLayerGLTest, LayersSitAtTheirLevels) {
    // Priority 3 covers the screen in red; priority 8 covers the right half in blue. Levels up to
    // 4 are drawn before the first, 5..8 between the two, the rest after both; 0 and 17 never.
    Object(3, 0.0f, float(kW), kRed);
    Object(8, 4.0f, float(kW), kBlue);
    Run("function Layer(level) { var i = new Image(8, 4); i.priority = level; RegisterImageLayer(i); return i; }"
        "var under = Layer(2), between = Layer(6), over = Layer(12), top = Layer(16), zero = Layer(0),"
        "    beyond = Layer(17);"
        "under.SetPixel(0, 0, RGBA8(0, 255, 0, 255));"
        "between.SetPixel(1, 0, RGBA8(255, 255, 0, 255)); between.SetPixel(6, 0, RGBA8(255, 255, 0, 255));"
        "over.SetPixel(7, 0, RGBA8(255, 255, 255, 255)); over.SetPixel(0, 2, RGBA8(0, 0, 0, 128));"
        "top.SetPixel(2, 1, RGBA8(0, 255, 255, 255));"
        "zero.SetPixel(3, 1, RGBA8(0, 255, 0, 255)); beyond.SetPixel(5, 1, RGBA8(0, 255, 0, 255));");
    auto shot = Capture();
    ASSERT_TRUE(shot);
    EXPECT_EQ(Hex(PixelAt(*shot, 0, 0)), Hex(kRed)) << "level 2 lies under priority 3";
    EXPECT_EQ(Hex(PixelAt(*shot, 1, 0)), Hex(kYellow)) << "level 6 lies over priority 3";
    EXPECT_EQ(Hex(PixelAt(*shot, 6, 0)), Hex(kBlue)) << "level 6 lies under priority 8";
    EXPECT_EQ(Hex(PixelAt(*shot, 7, 0)), Hex(kWhite)) << "level 12 lies over priority 8";
    EXPECT_EQ(Hex(PixelAt(*shot, 2, 1)), Hex(kCyan));
    EXPECT_EQ(Hex(PixelAt(*shot, 3, 1)), Hex(kRed)) << "level 0 is never drawn";
    EXPECT_EQ(Hex(PixelAt(*shot, 5, 1)), Hex(kBlue)) << "level 17 is never drawn";
    EXPECT_EQ(Hex(PixelAt(*shot, 4, 3)), Hex(kBlue)) << "transparent layer pixels show what is under them";
    // Half-transparent black over red: blended, about half the red.
    const std::uint32_t half = PixelAt(*shot, 0, 2);
    EXPECT_NEAR(int((half >> 16) & 0xFF), 127, 2) << Hex(half);
    EXPECT_EQ(half & 0xFFFF, 0u) << Hex(half);
}

TEST_F(ImageLayerGLTest, TouchedPixelsAreUploadedAgain) {
    Run("var img = new Image(8, 4); img.Clear(RGBA8(0, 255, 0, 255)); img.priority = 10;"
        "RegisterImageLayer(img);");
    auto shot = Capture();
    ASSERT_TRUE(shot);
    EXPECT_EQ(Hex(PixelAt(*shot, 3, 2)), Hex(kGreen));
    Run("img.SetPixel(3, 2, RGBA8(255, 0, 0, 255)); img.FillRect(0, 0, 2, 1, RGBA8(0, 0, 255, 255));");
    shot = Capture();
    EXPECT_EQ(Hex(PixelAt(*shot, 3, 2)), Hex(kRed));
    EXPECT_EQ(Hex(PixelAt(*shot, 1, 0)), Hex(kBlue));
    EXPECT_EQ(Hex(PixelAt(*shot, 2, 0)), Hex(kGreen));

    Run("UnregisterImageLayer(img);");
    EXPECT_EQ(Hex(PixelAt(*Capture(), 3, 2)), Hex(kBlack));
    // Destroying a registered image takes it off the screen.
    Run("RegisterImageLayer(img);");
    EXPECT_EQ(Hex(PixelAt(*Capture(), 3, 2)), Hex(kRed));
    CBitmapProxy* native = nullptr;
    duk_get_global_string(ctx(), "img");
    native = ImageFromScriptValue(ctx(), -1);
    duk_pop(ctx());
    Run("DestroyImage(img);");
    EXPECT_FALSE(renderer_->IsOverlayQueued(native));
    EXPECT_EQ(Hex(PixelAt(*Capture(), 3, 2)), Hex(kBlack));
}

TEST_F(ImageLayerGLTest, ScriptCaptureHidesTheCursor) {
    Object(5, 0.0f, float(kW), kRed);
    // The cursor paints the top-left pixel while it is visible.
    auto cursor = std::make_unique<CTestDrawable>(0.0f, true, nullptr);
    CTestDrawable* c = cursor.get();
    cursor->draw = [c](CRenderer& r) {
        if (c->visible) r.FillRect(0.0f, 0.0f, 1.0f, 1.0f, 0xFFFFFFFFu, 0.0f);
    };
    renderer_->AddObject(c);
    ASSERT_TRUE(renderer_->SetCursor(c));
    c->visibilityChanged = 0;
    EXPECT_EQ(Hex(PixelAt(*Capture(), 0, 0)), Hex(kWhite)) << "the cursor shows in a plain capture";

    Run("var shot = RenderToImage(8, 4);");
    EXPECT_EQ(Eval("[shot instanceof Image, shot.width, shot.height].join()"), "true,8,4");
    EXPECT_EQ(Eval("shot.GetPixel(0, 0).rgba"), std::to_string(kRed)) << "hidden while capturing";
    EXPECT_EQ(Eval("shot.GetPixel(7, 3).rgba"), std::to_string(kRed));
    EXPECT_EQ(c->visible, 1);
    EXPECT_EQ(c->visibilityChanged, 1) << "restored and marked changed";
    EXPECT_EQ(renderer_->GetCursor(), c);

    // A hidden cursor stays hidden afterwards.
    c->visible = 0;
    Run("shot = RenderToImage(8, 4);");
    EXPECT_EQ(c->visible, 0);

    // Another size is resampled: each target pixel averages a 2 x 2 block.
    Run("var small = RenderToImage(4, 2);");
    EXPECT_EQ(Eval("[small.width, small.height, small.GetPixel(3, 1).rgba].join()"),
              "4,2," + std::to_string(kRed));
    EXPECT_EQ(Thrown("RenderToImage(0, 4)"), "Error: Unable to create temporary surface");
    renderer_->RemoveObject(c);
}

TEST_F(ImageLayerGLTest, LayerPixelsLandOnTheirScreenPixels) {
    // Every screen pixel shows its own image pixel, the edge rows and columns included.
    Run("var img = new Image(8, 4); img.priority = 10; RegisterImageLayer(img);"
        "for (var y = 0; y < 4; ++y) for (var x = 0; x < 8; ++x)"
        "  img.SetPixel(x, y, RGBA8(x * 30, y * 60 + 10, 0, 255));");
    auto shot = Capture();
    ASSERT_TRUE(shot);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            EXPECT_EQ(Hex(PixelAt(*shot, x, y)), Hex(0xFF000000u | std::uint32_t(x * 30) << 16 | std::uint32_t(y * 60 + 10) << 8))
                << x << "," << y;
}
