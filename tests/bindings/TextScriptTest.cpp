// The text API: the label pool behind DrawTextAt, the text settings, measuring, fonts, pictures of
// drawn text, and the substitution tables as scripts use them.
#include "GuiApiFixture.h"

#include "gui/TextLabel.h"

using namespace ove;
using namespace guiapitest;

namespace {

// The pool's labels: root labels without script objects, in creation order.
std::vector<CTextLabel*> PoolLabels(CGame& game) {
    std::vector<CTextLabel*> labels;
    for (CGUIElement* e : game.GUIRoots())
        if (auto* l = dynamic_cast<CTextLabel*>(e); l && !e->scriptObject) labels.push_back(l);
    return labels;
}

}  // namespace

TEST_F(GuiApiTest, DrawTextAtReusesItsLabels) {
    Start();
    ASSERT_EQ(Run("DrawTextAt(5, 7, 'Xi'); DrawTextAt(5, 20, 'Xi');"), "");
    auto labels = PoolLabels(*m_game);
    ASSERT_EQ(labels.size(), 2u) << "the same text twice takes two labels";
    EXPECT_EQ((std::vector<int>{labels[0]->x1, labels[0]->y1, labels[0]->x2, labels[0]->y2}),
              (std::vector<int>{5, 7, 11, 13}))
        << "one pixel more than the 6-pixel text";
    EXPECT_TRUE(labels[0]->noncorporeal);
    EXPECT_EQ(Eval("FindElementAt(6, 8)"), "null");

    ASSERT_EQ(Run("ClearText();"), "");
    EXPECT_FALSE(labels[0]->visible);
    EXPECT_FALSE(labels[1]->visible);
    ASSERT_EQ(Run("SetTextPriority(-5); DrawTextAt(0, 0, 'X'); SetTextPriority(99); DrawTextAt(1, 1, 'XX');"), "");
    EXPECT_EQ(PoolLabels(*m_game), labels) << "the next batch reuses both, none is destroyed";
    EXPECT_TRUE(labels[0]->visible);
    EXPECT_EQ(labels[0]->GetPriority(), 16);
    EXPECT_EQ(labels[1]->GetPriority(), 15);
    EXPECT_EQ(labels[1]->x2, 9);

    // A smaller batch: the label left over is destroyed at the next ClearText.
    ASSERT_EQ(Run("ClearText(); DrawTextAt(0, 0, 'X'); ClearText();"), "");
    EXPECT_EQ(PoolLabels(*m_game).size(), 1u);

    // The text font applies to new strings; ClearText keeps it.
    ASSERT_EQ(Run("SetTextFont('big'); ClearText(); DrawTextAt(3, 4, 'ab');"), "");
    labels = PoolLabels(*m_game);
    EXPECT_EQ(labels[0]->x2, 3 + 16);
    EXPECT_EQ(labels[0]->y2, 4 + 10);
    EXPECT_EQ(Error("SetTextFont('nope')"), "ReferenceError: Couldn't load font [nope]");
    ASSERT_EQ(Run("ClearText(); DrawTextAt(0, 0, 'ab');"), "");
    EXPECT_EQ(PoolLabels(*m_game)[0]->x2, 16) << "no text font: the label keeps the font it has";
}

TEST_F(GuiApiTest, FontsAndMeasuring) {
    Start();
    EXPECT_EQ(Eval("[FontExists('small'), FontExists('nope'), FontHeight('small'), FontHeight('big')]"),
              "true,false,6,10");
    EXPECT_EQ(Eval("JSON.stringify(MeasureText('small', 'Xi X'))"), "{\"w\":14,\"h\":6}");
    EXPECT_EQ(Eval("MeasureText('small', 'caf\\u00e9').w"), "17") << "e acute is one 5-pixel glyph";
    EXPECT_EQ(Eval("MeasureText('big', '\\u00e9').w"), "0") << "no glyph for 233 in a 128-glyph font";
    EXPECT_EQ(Error("FontHeight('nope')"), "ReferenceError: Couldn't load font [nope]");
    EXPECT_EQ(Error("MeasureText('nope', 'a')"), "ReferenceError: Couldn't load font [nope]");

    EXPECT_EQ(
        Eval("JSON.stringify([MeasuredText('small', 'abcdef', 0), MeasuredText('small', 'abcdef', 0, FROM_END)])"),
        "[\"\",\"\"]");
    EXPECT_EQ(Eval("[MeasuredText('small', 'Xiab', 6), MeasuredText('small', 'Xiab', 9), "
                   "MeasuredText('small', 'Xiab', 8, FROM_END), MeasuredText('small', 'Xiab', 99, FROM_END)]"),
              "Xi,Xi,ab,Xiab");
    EXPECT_EQ(Eval("MeasuredText('small', 'caf\\u00e9', 9, FROM_END) === 'f\\u00e9'"), "true");
    EXPECT_EQ(Error("MeasuredText('small', 'abc', '3')").substr(0, 9), "TypeError");
}

TEST_F(GuiApiTest, DrawnTextWithEffectsBackgroundAndTheCodePage) {
    Start();
    ASSERT_EQ(Run("SetBackdrop(0x000000);"
                  "SetTextColour(0xFF0000); SetTextEffect(EFFECT_OUTLINE, 0x0000FF); DrawTextAt(10, 10, 'X');"
                  "SetTextEffect(EFFECT_SHADOW, 0x00FF00); DrawTextAt(50, 10, 'X');"
                  "SetTextEffect(EFFECT_NONE); SetTextBackground(0x404040); DrawTextAt(90, 10, 'X');"
                  "SetTextBackground(TRANSPARENT); SetTextColour(0xFFFFFF); DrawTextAt(100, 50, 'caf\\u00e9');"),
              "");
    auto image = Render();
    ASSERT_TRUE(image);
    const auto rgb = [&](int x, int y) { return PixelAt(*image, x, y) & 0xFFFFFF; };
    // Outline: the glyph (10..13 x 10..15) in the text colour, a one-pixel ring in the effect
    // colour. Shadow: one pixel right and down, no outline. A background fills the label, one pixel
    // beyond the text on the right and at the bottom.
    const struct {
        int x, y;
        std::uint32_t rgb;
    } pixels[] = {{10, 10, 0xFF0000u}, {13, 15, 0xFF0000u}, {9, 9, 0x0000FFu}, {14, 16, 0x0000FFu},
                  {9, 12, 0x0000FFu},  {15, 12, 0u},        {8, 8, 0u},        {53, 15, 0xFF0000u},
                  {49, 9, 0u},         {94, 16, 0x404040u}, {95, 16, 0u},      {92, 12, 0xFF0000u}};
    for (const auto& p : pixels) EXPECT_EQ(rgb(p.x, p.y), p.rgb) << "at " << p.x << "," << p.y;
    // The shadow is at half opacity over the black backdrop.
    EXPECT_EQ(rgb(54, 16) & 0xFF00FF, 0u);
    EXPECT_NEAR(static_cast<int>((rgb(54, 16) >> 8) & 0xFF), 128, 2);
    // "cafe" with an acute accent: only the glyph of code 233, 12 pixels in and 5 wide, has ink.
    for (int x = 100; x < 118; ++x) EXPECT_EQ(rgb(x, 52), x >= 112 && x < 117 ? 0xFFFFFFu : 0u) << "x " << x;

    // After ClearText nothing is drawn.
    ASSERT_EQ(Run("ClearText();"), "");
    image = Render();
    EXPECT_EQ(rgb(10, 10), 0u);
    EXPECT_EQ(rgb(114, 52), 0u);
}

TEST_F(GuiApiTest, SubstitutionTablesFromScript) {
    m_dir.Write("DATA/words.tbl", std::string("caf\xE9=coffee\ntea = th\xE9\r\n"));
    m_dir.Write("DATA/loud.txt", "coffee~COFFEE\n");
    Start();
    EXPECT_EQ(Run("RegisterSubstitutionTable('words', 'words', 5); RegisterSubstitutionTable('none', 'missing');"), "");
    EXPECT_EQ(Eval("ApplySubstitutionTables('un caf\\u00e9 noir')"), "un coffee noir");
    EXPECT_EQ(Eval("ApplySubstitutionTables('tea') === 'th\\u00e9'"), "true");
    EXPECT_EQ(Eval("ApplySubstitutionTables('caf\\u00e9s') === 'caf\\u00e9s'"), "true") << "not the whole word";
    ASSERT_EQ(Run("RegisterSubstitutionTable('loud', 'loud.txt', 9);"), "");
    EXPECT_EQ(Eval("ApplySubstitutionTables('caf\\u00e9')"), "COFFEE");
    ASSERT_EQ(Run("RegisterSubstitutionTable('loud', 'loud.txt', 1);"), "");
    EXPECT_EQ(Eval("ApplySubstitutionTables('caf\\u00e9')"), "coffee") << "the loud table now runs first";
    EXPECT_EQ(Eval("ReloadSubstitutionTables()"), "2");
    ASSERT_EQ(Run("RemoveSubstitutionTable('loud'); RemoveSubstitutionTable('loud');"), "");
    EXPECT_EQ(Eval("ReloadSubstitutionTables()"), "1");
    EXPECT_EQ(Error("RegisterSubstitutionTable('x')").substr(0, 11), "SyntaxError");
    EXPECT_EQ(Error("RegisterSubstitutionTable('x', 'y', 1, 2)").substr(0, 11), "SyntaxError");
}
