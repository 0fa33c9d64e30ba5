// Text drawn headless on real GL: alignment, wrapping, clipping and the effects, pixel by pixel.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/RenderFixture.h"
#include "support/TestFont.h"
#include "text/Text.h"

using namespace ove;
using ovetest::Hex;
using ovetest::PixelAt;

namespace {

constexpr std::uint32_t kBack = 0xFF204060u;
constexpr std::uint32_t kRed = 0xFFFF0000u;
constexpr std::uint32_t kBlue = 0xFF0000FFu;

class TextDraw : public ovetest::GLRenderTest {
protected:
    void SetUp() override {
        Open(64, 32);
        if (!renderer || !renderer->HasDevice()) return;
        renderer->SetBackdropColour(kBack);
        font.Reset(texttest::MakeFont(renderer.get()));
    }
    void TearDown() override {
        font.Reset();
        ovetest::GLRenderTest::TearDown();
    }
    // Renders one text in the client rectangle (10, 10, w, h) and captures the frame.
    std::unique_ptr<CBitmap> Render(const char* text, STextStyle style, int w = 20, int h = 8) {
        ovetest::CTestDrawable d(0.0f, true, [&](CRenderer& r) {
            DrawText(r, font.Get(), text, STextRect{10, 10, w, h}, style);
        });
        renderer->AddGUIElement(&d);
        auto image = Capture();
        renderer->RemoveGUIElement(&d);
        return image;
    }
    // Columns of row y (from x0, n pixels) as a string: '#' text colour, 'e' effect colour, '.'
    // backdrop, '?' anything else.
    static std::string Row(const CBitmap& b, int y, int x0, int n, std::uint32_t text = kRed,
                           std::uint32_t effect = kBlue) {
        std::string s;
        for (int x = x0; x < x0 + n; ++x) {
            std::uint32_t p = PixelAt(b, x, y);
            s += p == text ? '#' : p == effect ? 'e' : p == kBack ? '.' : '?';
        }
        return s;
    }
    TResourceRef<CFont> font;
};

}  // namespace

TEST_F(TextDraw, AlignmentAndClipping) {
    STextStyle s;
    s.colour = kRed;
    auto img = Render("AA", s);
    EXPECT_EQ(Row(*img, 10, 8, 10), "..##.##...") << "left: from the client's left edge";
    EXPECT_EQ(Row(*img, 14, 8, 10), "..##.##...");
    EXPECT_EQ(Row(*img, 15, 8, 10), "..........") << "one font height tall";
    s.alignment = kTextAlignCentre;
    EXPECT_EQ(Row(*Render("AA", s), 12, 15, 10), "..##.##...") << "slack 14: starts 7 right";
    s.alignment = kTextAlignRight;
    EXPECT_EQ(Row(*Render("AA", s), 12, 22, 10), "..##.##...") << "ends at the client's right edge";

    // Centred text wider than the client area starts left of it (by half the excess, 27 - 20 = 7,
    // shifted: -4), and is clipped to the client rectangle.
    s.alignment = kTextAlignCentre;
    img = Render("AAAAAAAAA", s);
    EXPECT_EQ(Row(*img, 12, 5, 10), ".....#.##.") << "glyphs at 6, 9, 12: only what is inside shows";
    EXPECT_EQ(Row(*img, 12, 26, 6), ".##...") << "the glyph at 30 lies right of the client area";

    s.alignment = kTextAlignLeft;
    img = Render("AAAA", s, 20, 3);
    EXPECT_EQ(Row(*img, 12, 10, 3), "##.");
    EXPECT_EQ(Row(*img, 13, 10, 3), "...") << "clipped at the client's bottom";
}

TEST_F(TextDraw, WrappingAndLineFeeds) {
    STextStyle s;
    s.colour = kRed;
    auto img = Render("A\nA", s);
    EXPECT_EQ(Row(*img, 10, 10, 12), "##.###.##...") << "unwrapped: the line feed is a glyph";
    EXPECT_EQ(Row(*img, 15, 10, 4), "....");
    s.wrapping = true;
    img = Render("A\nA", s);
    EXPECT_EQ(Row(*img, 10, 10, 6), "##....");
    EXPECT_EQ(Row(*img, 15, 10, 6), "##....") << "a line feed starts a line one glyph height lower";

    img = Render("AAAA", s, 8, 8);
    EXPECT_EQ(Row(*img, 10, 10, 9), "##.##....") << "the third glyph would pass the right edge";
    EXPECT_EQ(Row(*img, 15, 10, 9), "##.##....");
    EXPECT_EQ(Row(*Render("AAAA", s, 8, 2), 16, 10, 3), "##.") << "wrapped text is not clipped";

    s.wrapping = false;
    s.alignment = kTextAlignRight;
    img = Render("AA\nA", s, 20, 8);
    // Aligned by the width up to the line feed (6): the rest runs on to the right and is clipped.
    EXPECT_EQ(Row(*img, 12, 17, 13), ".......##.##.");
}

TEST_F(TextDraw, EffectsAndTheirAlpha) {
    STextStyle s;
    s.colour = kRed;
    s.effectColour = kBlue;
    s.effect = kEffectOutline;
    auto img = Render("A", s);
    EXPECT_EQ(Row(*img, 9, 8, 6), ".eeee.");
    EXPECT_EQ(Row(*img, 10, 8, 6), ".e##e.");
    EXPECT_EQ(Row(*img, 14, 8, 6), ".e##e.");
    EXPECT_EQ(Row(*img, 15, 8, 6), ".eeee.");
    EXPECT_EQ(Row(*img, 16, 8, 6), "......");

    s.effect = kEffectRaised;
    img = Render("A", s);
    EXPECT_EQ(Row(*img, 9, 8, 6), ".eeee.");
    EXPECT_EQ(Row(*img, 14, 8, 6), ".e##e.");
    EXPECT_EQ(Row(*img, 16, 8, 6), ".eeee.") << "the raised copies two rows below";
    EXPECT_EQ(Row(*img, 17, 8, 6), "......");

    // The shadow is stored half transparent, whatever alpha it was given.
    s.effect = kEffectShadow;
    s.effectColour = EffectColourFor(kEffectShadow, kBlue);
    img = Render("A", s);
    EXPECT_EQ(Row(*img, 10, 9, 5), ".##..");
    const std::uint32_t p = PixelAt(*img, 12, 11);
    const int blue = p & 0xFF, green = (p >> 8) & 0xFF;
    EXPECT_NEAR(blue, (0xFF * 128 + 0x60 * 127) / 255, 2) << Hex(p);
    EXPECT_NEAR(green, 0x40 * 127 / 255, 2) << Hex(p);
    EXPECT_EQ(Row(*img, 15, 9, 5), "..??.") << "one pixel right and down";

    s.effect = kEffectOutline;
    s.effectColour = EffectColourFor(kEffectOutline, 0x400000FFu);
    EXPECT_EQ(Row(*Render("A", s), 9, 8, 6), ".eeee.") << "an outline is drawn opaque";
}
