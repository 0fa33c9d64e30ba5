// Frame styles and widget states drawn headless on real GL, checked pixel by pixel.
#include <gtest/gtest.h>

#include <vector>

#include "gui/GUIButton.h"
#include "gui/GUICheckbox.h"
#include "gui/GUIWindow.h"
#include "platform/SystemColours.h"
#include "support/RenderFixture.h"
#include "support/TestFont.h"

using namespace ove;
using ovetest::Hex;
using ovetest::PixelAt;

namespace {

constexpr std::uint32_t kBack = 0xFF406080u;

// A border shade: each channel mixed toward white or black by t / 255.
std::uint32_t Shade(std::uint32_t b, bool white, int t) {
    std::uint32_t out = b & 0xFF000000u;
    for (int s = 0; s <= 16; s += 8) {
        std::uint32_t c = (b >> s) & 0xFF;
        out |= ((c * (255 - t) + (white ? 255u : 0u) * t) / 255) << s;
    }
    return out;
}

class GUIDraw : public ovetest::GLRenderTest {
protected:
    void SetUp() override {
        Open(40, 28);
        if (!renderer || !renderer->HasDevice()) return;
        renderer->SetBackdropColour(kBack);
        font.Reset(texttest::MakeFont(renderer.get(), 12));
    }
    void TearDown() override {
        font.Reset();
        ovetest::GLRenderTest::TearDown();
    }
    std::unique_ptr<CBitmap> Render(CGUIElement& e) {
        renderer->AddGUIElement(&e);
        auto image = Capture();
        renderer->RemoveGUIElement(&e);
        return image;
    }
    void Expect(const CBitmap& img, std::initializer_list<ovetest::SPixel> probes, const char* what) {
        SCOPED_TRACE(what);
        ovetest::ExpectPixels(img, probes);
    }
    TResourceRef<CFont> font;
};

}  // namespace

// clang-format off
TEST_F(GUIDraw, FrameStyles) {
    CTextLabel e(nullptr);
    e.x1 = 4, e.y1 = 4, e.x2 = 23, e.y2 = 15;
    const std::uint32_t grey = 0xFF9C9C9Cu;
    const std::uint32_t l1 = Shade(grey, true, 165), l2 = Shade(grey, true, 83);
    const std::uint32_t d1 = Shade(grey, false, 52), d2 = Shade(grey, false, 104);
    ASSERT_EQ(Hex(l1), "FFDCDCDC");  // the shades worked out by hand
    ASSERT_EQ(Hex(d2), "FF5C5C5C");

    e.SetStyle(kStyle3DRaised);
    EXPECT_EQ(e.frameLeft, 3);
    Expect(*Render(e),
           {{4, 4, l2}, {10, 4, l1}, {10, 6, l1}, {5, 5, l2}, {6, 13, l2}, {7, 10, grey}, {23, 4, d1}, {21, 10, d1},
            {20, 10, grey}, {10, 13, d2}, {10, 15, d2}, {5, 15, d2}, {24, 10, kBack}, {10, 16, kBack}},
           "3D raised");
    e.SetStyle(kStyle3DInset);
    Expect(*Render(e), {{10, 4, d2}, {4, 10, d1}, {23, 10, l2}, {10, 15, l1}, {10, 10, 0xFF000000u}}, "3D inset");
    e.SetStyle(kStyleRaised);
    e.background = 0xFF00FF00u;
    Expect(*Render(e), {{4, 4, l1}, {23, 4, l1}, {4, 5, l2}, {23, 5, d1}, {4, 15, d2}, {5, 5, 0xFF00FF00u}}, "raised");
    e.SetStyle(kStyleInset);
    Expect(*Render(e), {{4, 4, d2}, {4, 5, d1}, {23, 5, l2}, {4, 15, l1}, {22, 14, 0xFF00FF00u}}, "inset");
    e.SetStyle(kStyleSolid);
    Expect(*Render(e), {{4, 4, 0xFF000000u}, {23, 10, 0xFF000000u}, {10, 15, 0xFF000000u}, {5, 5, 0xFF00FF00u}}, "solid");
    e.SetStyle(kStyleFlat);
    Expect(*Render(e), {{4, 4, 0xFF00FF00u}, {23, 15, 0xFF00FF00u}, {24, 15, kBack}}, "flat");
    e.SetStyle(kStyleClassic);
    EXPECT_EQ(e.frameLeft, 10);
    Expect(*Render(e),
           {{5, 10, 0xFFFFFFFFu}, {6, 10, 0xFFC00000u}, {7, 10, 0xFFC00000u}, {8, 10, 0xFFFFFFFFu}, {10, 4, 0xFFFFFFFFu},
            {10, 5, 0xFFC00000u}, {10, 6, 0xFFFFFFFFu}, {19, 10, 0xFFFFFFFFu}, {21, 10, 0xFFC00000u}, {22, 10, 0xFFFFFFFFu}},
           "classic");
    e.SetStyle(kStyleNone);
    Expect(*Render(e), {{4, 4, kBack}, {10, 10, kBack}}, "none");
}
// clang-format on

TEST_F(GUIDraw, ShadowStyles) {
    CTextLabel e(nullptr);
    e.x1 = 4, e.y1 = 4, e.x2 = 23, e.y2 = 15;
    e.SetStyle(kStyle3DShadow);
    auto img = Render(e);
    const std::uint32_t half = PixelAt(*img, 24, 10);  // half-black shadow over the backdrop
    EXPECT_NEAR(int(half & 0xFF), 0x80 * 127 / 255, 2) << Hex(half);
    EXPECT_EQ(PixelAt(*img, 25, 17), half);
    EXPECT_EQ(PixelAt(*img, 24, 6), kBack) << "the shadow starts three rows down";
    EXPECT_EQ(PixelAt(*img, 26, 10), kBack);

    e.SetStyle(kStyleSolidShadow);
    e.border = 0xFFFF0000u;
    e.background = 0xFF00FF00u;
    Expect(*Render(e),
           {{4, 4, 0xFFFF0000u}, {23, 10, 0xFFFF0000u}, {24, 10, 0xFF000000u}, {24, 4, kBack}, {10, 16, 0xFF000000u}},
           "solid shadow");
    e.background = e.shadow;  // same colour: a two-pixel border instead of a shadow
    Expect(*Render(e), {{24, 10, 0xFFFF0000u}, {10, 16, 0xFFFF0000u}, {23, 10, 0xFFFF0000u}, {10, 10, 0xFF000000u}},
           "solid shadow, background = shadow");
}

// clang-format off
TEST_F(GUIDraw, ButtonStatesInTheSystemLook) {
    CGUIButton b(nullptr);
    b.SetFont(font.Get());
    b.SetStyle(kStyleOS);
    b.x1 = 2, b.y1 = 2, b.x2 = 29, b.y2 = 19;
    b.SetText("A");
    const std::uint32_t face = GetSystemColour(kSysButtonFace);
    // Client 2+1+4 = 7 .. 29-5 = 24 (width 18): the centred glyph starts at 7 + (18 - 3) / 2 = 14.
    Expect(*Render(b),
           {{2, 2, Shade(face, true, 165)}, {29, 10, Shade(face, false, 52)}, {10, 10, face},
            {14, 4, GetSystemColour(kSysButtonText)}, {16, 4, face}},
           "normal");
    b.state = kButtonDown;
    Expect(*Render(b), {{2, 2, Shade(face, false, 104)}, {2, 19, Shade(face, true, 165)}}, "down: inset");
    b.state = kButtonDisabled;
    b.disabled = 1;
    Expect(*Render(b), {{2, 2, Shade(face, true, 165)}, {14, 4, GetSystemColour(kSysGrayText)}}, "disabled");
}
// clang-format on

// clang-format off
TEST_F(GUIDraw, CheckBoxesAndWindows) {
    CGUICheckbox c(nullptr);
    c.SetFont(font.Get());
    c.SetStyle(kStyleSolid);
    c.border = 0xFF000000u;
    c.background = 0xFFFFFFFFu;
    c.colour = 0xFFFF0000u;
    c.x1 = 2, c.y1 = 2, c.x2 = 30, c.y2 = 20;
    EXPECT_EQ(c.boxWidth, 12);
    // Box (2, 2)-(13, 13); the tick's first column is x = 4, from bottom - 5 to bottom - 2 with
    // bottom = 12.
    Expect(*Render(c), {{2, 2, 0xFF000000u}, {13, 13, 0xFF000000u}, {4, 9, 0xFFFFFFFFu}, {14, 9, kBack}}, "unchecked");
    c.SetChecked(true);
    Expect(*Render(c), {{4, 9, 0xFFFF0000u}, {5, 10, 0xFFFF0000u}, {2, 2, 0xFF000000u}}, "checked");

    c.SetStyle(kStyle3DRaised);
    EXPECT_EQ(Hex(c.background), "009C9C9C");
    // Outer raised frame at (2, 2), the inner one a pixel inside it, inset when checked.
    Expect(*Render(c), {{2, 2, Shade(0xFF9C9C9Cu, true, 165)}, {3, 3, Shade(0xFF9C9C9Cu, false, 104)}, {4, 9, kBack}},
           "3D checked");

    c.SetStyle(kStyleClassic);
    ASSERT_NE(c.CheckMark(), nullptr);
    EXPECT_STREQ(c.CheckMark()->GetText(), "[X]");
    EXPECT_EQ(c.boxWidth, 9);
    c.SetChecked(false);
    EXPECT_STREQ(c.CheckMark()->GetText(), "[ ]");
    c.SetStyle(kStyleSolid);
    EXPECT_EQ(c.CheckMark(), nullptr);

    CGUIWindow w(nullptr);
    w.SetFont(font.Get());
    w.SetStyle(kStyleSolid);
    w.background = 0xFF00FF00u;
    w.titleBackground = 0xFF0000FFu;
    w.titleColour = 0xFFFFFF00u;
    w.x1 = 2, w.y1 = 2, w.x2 = 33, w.y2 = 25;
    w.SetText("A");
    EXPECT_EQ(w.TitleBarHeight(), 15);
    EXPECT_EQ(w.GetTopInset(), 1 + 4 + 15);
    // Title bar from (3, 3): 14 rows of title background, then one row of title colour; the
    // title centred: (32 - 3 + 3) / 2 = 16, one row down.
    Expect(*Render(w),
           {{3, 3, 0xFF0000FFu}, {32, 16, 0xFF0000FFu}, {10, 17, 0xFFFFFF00u}, {10, 18, 0xFF00FF00u},
            {16, 4, 0xFFFFFF00u}, {18, 4, 0xFF0000FFu}, {16, 3, 0xFF0000FFu}, {2, 2, 0xFF000000u}},
           "window");
}
// clang-format on

#include "platform/NativeWindow.h"

// Titles from scripts and settings.xml are UTF-8: shown as written; other bytes are code page 1252.
TEST_F(GUIDraw, WindowTitlesShowAsWritten) {
    SetNativeWindowTitle(window, "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_STREQ(SDL_GetWindowTitle(window), "caf\xC3\xA9 \xE2\x82\xAC");
    SetNativeWindowTitle(window, "caf\xE9 \x80");
    EXPECT_STREQ(SDL_GetWindowTitle(window), "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST_F(GUIDraw, GraphicButtonShowsThePictureOfItsState) {
    // One loop of four solid 6 x 4 cels, a colour each; every state shows its own cel, centred in
    // the 20 x 12 button and not stretched.
    const std::uint32_t colours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
    CViewWriter writer("VIEW", 32);
    writer.AddLoop();
    for (std::uint32_t c : colours) writer.AddCel(*texttest::Cel(6, 4, [c](int, int) { return c; }), 0, 0);
    TResourceRef<CView> view(texttest::Load<CView>(writer, "states", renderer.get()));

    CGraphicButton b(nullptr);
    b.SetStyle(kStyleNone);
    b.alignment = kTextAlignCentre;
    b.x1 = 4, b.y1 = 4, b.x2 = 23, b.y2 = 15;
    b.SetView(0, view.Get());  // every state
    const int states[4] = {kButtonNormal, kButtonDisabled, kButtonOver, kButtonDown};
    for (int i = 0; i < 4; ++i) b.SetCel(states[i], i);
    for (int i = 0; i < 4; ++i) {
        b.state = states[i];
        // Centred: x from (23 - 6 + 4) >> 1 = 10 to 15, y from (15 - 4 + 4) >> 1 = 7 to 10.
        Expect(*Render(b), {{10, 7, colours[i]}, {15, 10, colours[i]}, {9, 7, kBack}, {16, 10, kBack}, {10, 11, kBack}},
               "graphic button state");
    }
}
