// Lines and rectangles on real OpenGL, batching of primitives, and the memory of long headless runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "render/Renderer.h"
#include "scene/DrawingElement.h"
#include "support/RenderFixture.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace ovetest;

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u, kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

long ResidentKB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

TEST_F(GLRenderTest, RectangleDrawsItsFillInsideTheBorderAndItsStrokeOnIt) {
    Open(40, 40);
    renderer->SetBackdropColour(kBlack);
    C2DRectangle rect;
    rect.x1 = 10, rect.y1 = 10, rect.x2 = 30, rect.y2 = 34;
    renderer->AddObject(&rect);
    ExpectBox(*Capture(), 0, 0, 0, 0, kBlack, kBlack);  // a new rectangle has no colour yet
    const struct {
        std::uint32_t fill, stroke;
        int border;
        std::uint32_t inner, band;  // inside the border, on it
    } cases[] = {
        {0x0000FF00u, 0x00FFFFFFu, 3, kBlack, kBlack},  // colours without alpha: still nothing
        {kRed, 0x00FFFFFFu, 0, kRed, kRed},
        {kGreen, kBlue, 3, kGreen, kBlue},
        {0, kBlue, 3, kBlack, kBlue},    // only the stroke: the middle shows the backdrop
        {kGreen, 0, 3, kGreen, kBlack},  // a border but no stroke colour: only the fill, inside the border
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.fill) + " " + Hex(c.stroke) + " border " + std::to_string(c.border));
        rect.fill = c.fill;
        rect.stroke = c.stroke;
        rect.border = c.border;
        const int b = c.border;
        ExpectImage(*Capture(), [&](int x, int y) {
            if (x >= 10 + b && x < 30 - b && y >= 10 + b && y < 34 - b) return c.inner;
            return x >= 10 && x < 30 && y >= 10 && y < 34 ? c.band : kBlack;
        });
    }
}

TEST_F(GLRenderTest, RectangleCornersBelongToTheSideBands) {
    // A translucent stroke blended over the backdrop shows any overlap of the bands as a darker
    // or lighter pixel: every band pixel must be blended exactly once.
    Open(24, 24);
    renderer->SetBackdropColour(kBlack);
    C2DRectangle rect;
    rect.x1 = 4, rect.y1 = 4, rect.x2 = 20, rect.y2 = 20;
    rect.border = 2;
    rect.stroke = 0x80FFFFFFu;
    CTestDrawable blend(1.0f, true, [](CRenderer& r) { r.SetBlendMode(kBlendAlpha); });
    renderer->AddObject(&blend);
    renderer->AddObject(&rect);
    auto img = Capture();
    const std::uint32_t once = PixelAt(*img, 10, 4);
    EXPECT_NE(Hex(once), Hex(kBlack));
    ExpectImage(*img, [once](int x, int y) {
        const bool inside = x >= 4 && x < 20 && y >= 4 && y < 20;
        return inside && (x < 6 || x >= 18 || y < 6 || y >= 18) ? once : kBlack;
    });
}

TEST_F(GLRenderTest, LineIsOnePixelWideWhateverItsWidth) {
    Open(32, 32);
    renderer->SetBackdropColour(kBlack);
    C2DLine line;
    line.x1 = 4, line.y1 = 10, line.x2 = 24, line.y2 = 10;
    line.width = 5;
    renderer->AddObject(&line);
    ExpectBox(*Capture(), 0, 0, 0, 0, kBlack, kBlack);  // no stroke colour yet
    line.stroke = kRed;
    ExpectBox(*Capture(), 4, 10, 24, 11, kRed, kBlack);
    line.x2 = 4;  // zero length: nothing
    ExpectBox(*Capture(), 0, 0, 0, 0, kBlack, kBlack);
}

TEST_F(GLRenderTest, RectangleComesAfterDepthTestedObjectsOfItsPriorityAndBeforeNearerOnes) {
    Open(30, 10);
    renderer->SetBackdropColour(kBlack);
    // Depth-tested fillers at priorities 4, 5 and 6 each cover their own third; the rectangle
    // (priority 5) covers everything.
    auto p4 = Filler(4, false, 0, 0, 10, 10, kGreen);
    auto p5 = Filler(5, false, 10, 0, 20, 10, kGreen);
    auto p6 = Filler(6, false, 20, 0, 30, 10, kBlue);
    C2DRectangle rect;
    rect.x1 = 0, rect.y1 = 0, rect.x2 = 30, rect.y2 = 10;
    rect.border = 0;
    rect.fill = kRed;
    rect.SetPriority(5);
    EXPECT_FLOAT_EQ(rect.GetDepth(), CRenderer::PriorityDepth(5));
    for (CSpriteBase* o : {static_cast<CSpriteBase*>(&rect), static_cast<CSpriteBase*>(p6.get()),
                           static_cast<CSpriteBase*>(p5.get()), static_cast<CSpriteBase*>(p4.get())})
        renderer->AddObject(o);
    ExpectPixels(*Capture(), {{5, 5, kRed, "priority 4 went first"},
                              {15, 5, kRed, "priority 5 too: only farther ones wait"},
                              {25, 5, kBlue, "priority 6 came after"}});
}

TEST_F(GLRenderTest, TranslucentColourIsAlphaStrictlyBetweenTheEnds) {
    C2DLine line;
    EXPECT_FALSE(line.HasTranslucentColour());
    line.stroke = 0xFF123456u;
    line.fill = 0x00FFFFFFu;
    EXPECT_FALSE(line.HasTranslucentColour());
    line.fill = 0xFE000000u;
    EXPECT_TRUE(line.HasTranslucentColour());
    line.fill = 0;
    line.stroke = 0x01000000u;
    EXPECT_TRUE(line.HasTranslucentColour());
}

TEST_F(GLRenderTest, BatchedCelsDrawTheSamePixelsWithFewerCalls) {
    Open(64, 48);
    renderer->SetBackdropColour(kBlack);
    // Two textures with the same pixels: alternating them forces a flush between every cel, which
    // is how every cel was drawn before batching.
    CBitmap sheet(8, 8, PixelFormat::Rgba8888);
    Paint(sheet, [](int x, int y) {
        return std::uint32_t(0x90 + x * 8) << 24 | std::uint32_t(x * 30) << 16 | std::uint32_t(y * 30) << 8 | 0x40;
    });
    TextureHandle a = renderer->CreateTexture(&sheet), b = renderer->CreateTexture(&sheet);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    constexpr int kCels = 60;
    bool alternate = false;
    CTestDrawable cels(0.5f, false, [&](CRenderer& r) {
        r.SetBlendMode(kBlendAlpha);
        for (int i = 0; i < kCels; ++i) {
            const SCel cel = WholeCel(alternate && (i & 1) ? b : a, 8, 8);
            // Overlapping, translucent and tinted: any change of order shows.
            const std::uint32_t tint = 0xFF000000u | std::uint32_t(i * 4) << 16 | 0xFF00u | std::uint32_t(255 - i * 4);
            r.DrawCel(cel, kAlignLeft, kAlignTop, float((i * 7) % 56), float((i * 5) % 40), 0.5f, tint);
        }
    });
    renderer->AddObject(&cels);

    auto calls = [&] {
        const std::uint64_t before = renderer->DrawCallCount();
        renderer->RenderFrame();
        return renderer->DrawCallCount() - before;
    };
    alternate = true;
    const std::uint64_t unbatched = calls();
    auto expected = Capture();
    alternate = false;
    const std::uint64_t batched = calls();
    EXPECT_GE(unbatched, std::uint64_t(kCels));
    EXPECT_LE(batched, 2u);
    ExpectSameImage(*Capture(), *expected);
    renderer->ReleaseTexture(a);
    renderer->ReleaseTexture(b);
}

TEST_F(GLRenderTest, HeadlessFramesKeepMemoryFlat) {
    // A still backdrop and many moving cels, presented through the swap as the engine does. Frames
    // that software GL never drew used to pile up by tens of kilobytes each.
    if (ovetest::kSanitized) GTEST_SKIP() << "the sanitizer's quarantine keeps freed memory resident";
    Open(320, 240);
    CBitmap backdrop(320, 240, PixelFormat::Rgba8888);
    Paint(backdrop, [](int x, int y) { return 0xFF000000u | std::uint32_t(x) << 8 | std::uint32_t(y); });
    renderer->SetBackdropWithPriority(&backdrop, nullptr);
    CBitmap sprite(16, 24, PixelFormat::Rgba8888);
    Paint(sprite, [](int x, int) { return 0xC0FF8000u | std::uint32_t(x * 16); });
    TextureHandle tex = renderer->CreateTexture(&sprite);
    ASSERT_NE(tex, nullptr);
    int frame = 0;
    CTestDrawable movers(0.5f, false, [&](CRenderer& r) {
        r.SetBlendMode(kBlendAlpha);
        const SCel cel = WholeCel(tex, 16, 24);
        for (int i = 0; i < 200; ++i)
            r.DrawCel(cel, kAlignLeft, kAlignTop, float((i * 37 + frame) % 304), float((i * 11 + frame) % 216), 0.5f,
                      0xFFFFFFFFu);
    });
    renderer->AddObject(&movers);
    long first = 0;
    for (; frame < 1500; ++frame) {
        if (frame == 300) first = ResidentKB();
        renderer->RenderFrame();
    }
    const long growth = ResidentKB() - first;
    EXPECT_LT(growth, 2048) << "resident memory grew by " << growth << " KB over 1,200 frames";
    renderer->ReleaseTexture(tex);
}
