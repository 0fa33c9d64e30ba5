// Image layers and screen captures on real OpenGL (headless): layers sit at their level between
// depth-tested objects, touched pixels reach the screen, and RenderToImage hides the cursor.
#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "image/Bitmap.h"
#include "render/Renderer.h"
#include "support/RenderFixture.h"
#include "support/ScriptFixture.h"

using namespace ove;
using ovetest::CTestDrawable;
using ovetest::Hex;
using ovetest::PixelAt;

namespace {

constexpr int kW = 8, kH = 4;

class ImageLayerGLTest : public ovetest::ScriptTest {
protected:
    static void SetUpTestSuite() { ovetest::InitHeadlessVideo(); }

    void SetUp() override {
        ScriptTest::SetUp();
        std::unique_ptr<CRenderer> renderer;
        const std::string why = ovetest::OpenRenderer(m_window, renderer, kW, kH, kW, kH);
        if (!why.empty()) GTEST_SKIP() << why;
        renderer->SetBackdropColour(0xFF000000u);
        m_renderer = renderer.get();
        m_game->Install(std::move(renderer));
    }

    void TearDown() override {
        // The images go with the script host while the renderer still has its device.
        ScriptTest::TearDown();
        m_objects.clear();
        if (m_window) SDL_DestroyWindow(m_window);
        m_window = nullptr;
    }

    // A depth-tested object at a priority filling columns x1..x2-1 of every row.
    void Object(int priority, float x1, float x2, std::uint32_t colour) {
        m_objects.push_back(ovetest::Filler(priority, false, x1, 0.0f, x2, float(kH), colour));
        m_renderer->AddObject(m_objects.back().get());
    }

    std::unique_ptr<CBitmap> Capture() {
        auto shot = m_renderer->RenderToImage(kW, kH);
        EXPECT_TRUE(shot);
        return shot ? std::move(shot) : std::make_unique<CBitmap>(u32(kW), u32(kH), 32u);
    }

    SDL_Window* m_window = nullptr;
    CRenderer* m_renderer = nullptr;  // the game's
    std::vector<std::unique_ptr<CTestDrawable>> m_objects;
};

constexpr std::uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu, kYellow = 0xFFFFFF55u, kWhite = 0xFFFFFFFFu,
                        kCyan = 0xFF55FFFFu, kBlack = 0xFF000000u;

}  // namespace

TEST_F(ImageLayerGLTest, LayersSitAtTheirLevels) {
    // Priority 3 covers the screen in red, priority 8 the right half in blue. Levels up to 3 are
    // drawn before the first, 5..7 between the two, 9 and up after both; 0 and 17 never (the
    // named colours YELLOW and CYAN are 0xFFFF55 and 0x55FFFF).
    Object(3, 0.0f, float(kW), kRed);
    Object(8, 4.0f, float(kW), kBlue);
    // The images are kept: a dropped one would leave the screen.
    Run("var kept = []; function Layer(level, x, y, c) { var i = new Image(8, 4); i.priority = level;"
        "  i.SetPixel(x, y, c); RegisterImageLayer(i); kept.push(i); return i; }"
        "Layer(2, 0, 0, GREEN); Layer(6, 1, 0, YELLOW).SetPixel(6, 0, YELLOW); Layer(12, 7, 0, WHITE);"
        "Layer(12, 0, 2, RGBA8(0, 0, 0, 128)); Layer(16, 2, 1, CYAN); Layer(0, 3, 1, GREEN); Layer(17, 5, 1, GREEN);");
    auto shot = Capture();
    ovetest::ExpectPixels(*shot, {{0, 0, kRed},
                                  {1, 0, kYellow},
                                  {6, 0, kBlue},
                                  {7, 0, kWhite},
                                  {2, 1, kCyan},
                                  {3, 1, kRed, "level 0 is never drawn"},
                                  {5, 1, kBlue, "level 17 is never drawn"}});
    const std::uint32_t half = PixelAt(*shot, 0, 2);  // half-transparent black over red
    EXPECT_NEAR(int((half >> 16) & 0xFF), 127, 2) << Hex(half);
    EXPECT_EQ(half & 0xFFFF, 0u) << Hex(half);
}

TEST_F(ImageLayerGLTest, LayerPixelsLandOnTheirScreenPixelsAndAreUploadedWhenTouched) {
    Run("var img = new Image(8, 4); img.priority = 10; RegisterImageLayer(img);"
        "for (var y = 0; y < 4; ++y) for (var x = 0; x < 8; ++x) img.SetPixel(x, y, RGBA8(x * 30, y * 60 + 10, 0, "
        "255));");
    // The edge rows and columns included.
    ovetest::ExpectImage(*Capture(), [](int x, int y) {
        return 0xFF000000u | std::uint32_t(x * 30) << 16 | std::uint32_t(y * 60 + 10) << 8;
    });
    Run("img.FillRect(0, 0, 2, 1, RGBA8(255, 0, 0, 255));");
    EXPECT_EQ(Hex(PixelAt(*Capture(), 1, 0)), Hex(kRed));
    Run("DestroyImage(img);");
    EXPECT_EQ(Hex(PixelAt(*Capture(), 1, 0)), Hex(kBlack));
}

TEST_F(ImageLayerGLTest, ScriptCaptureHidesTheCursor) {
    Object(5, 0.0f, float(kW), kRed);
    // The cursor paints the top-left pixel while it is visible.
    CTestDrawable cursor(0.0f, true, nullptr);
    cursor.draw = [&cursor](CRenderer& r) {
        if (cursor.visible) r.FillRect(0.0f, 0.0f, 1.0f, 1.0f, kWhite, 0.0f);
    };
    m_renderer->AddObject(&cursor);
    ASSERT_TRUE(m_renderer->SetCursor(&cursor));
    cursor.visibilityChanged = 0;
    EXPECT_EQ(Hex(PixelAt(*Capture(), 0, 0)), Hex(kWhite)) << "the cursor shows in a plain capture";

    Run("var shot = RenderToImage(8, 4), small = RenderToImage(4, 2);");
    EXPECT_EQ(Eval("[shot.width, shot.height, shot.GetPixel(0, 0).rgba, small.width, small.GetPixel(0, 0).rgba]"),
              "8,4," + std::to_string(kRed) + ",4," + std::to_string(kRed));
    EXPECT_EQ(cursor.visible, 1);
    EXPECT_EQ(cursor.visibilityChanged, 1) << "restored and marked changed";
    cursor.visible = 0;
    Run("RenderToImage(8, 4);");
    EXPECT_EQ(cursor.visible, 0) << "a hidden cursor stays hidden";
    EXPECT_EQ(Thrown("RenderToImage(0, 4)"), "Error: Unable to create temporary surface");
    m_renderer->RemoveObject(&cursor);
}
