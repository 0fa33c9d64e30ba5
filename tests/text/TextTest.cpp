// Measuring, reflow and the conversion of script text to the code page (no rendering).
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/CodePage.h"
#include "support/TestFont.h"
#include "text/Text.h"

using namespace ove;

TEST(Text, MeasuresLinesAndBlocks) {
    texttest::FontHolder f;
    std::int32_t w = -1, h = -1, lines = -1;
    EXPECT_EQ(MeasureLine(f.font, "AW i", &w, &h), 4);
    EXPECT_EQ(w, 3 + 6 + 2 + 2);
    EXPECT_EQ(h, 5);
    EXPECT_EQ(MeasureLine(f.font, "A\nA", &w, nullptr), 3) << "a line feed is a character here";
    EXPECT_EQ(w, 3 + 4 + 3);
    // Width, height and lines of a block.
    MeasureBlock(f.font, "AA\nWWW\n", &w, &h, &lines);
    EXPECT_EQ(std::make_tuple(w, h, lines), std::make_tuple(18, 15, 3));
    MeasureBlock(f.font, "", &w, &h, &lines);
    EXPECT_EQ(std::make_tuple(w, h, lines), std::make_tuple(0, 5, 1));

    texttest::FontHolder small(5, 66);  // glyphs 0..65: 'A' is the last, 'W' and 'i' have none
    MeasureLine(small.font, "AWi\xFF", &w, nullptr);
    EXPECT_EQ(w, 3) << "characters without a glyph take no width";
    EXPECT_EQ(GetFontHeight(nullptr), 0);
}

TEST(Text, EffectColourAlphaRule) {
    EXPECT_EQ(EffectColourFor(kEffectShadow, 0xFF112233u), 0x80112233u);
    EXPECT_EQ(EffectColourFor(kEffectOutline, 0x10112233u), 0xFF112233u);
    EXPECT_EQ(EffectColourFor(kEffectNone, 0x00000000u), 0xFF000000u);
}

TEST(Text, ReflowBreaksAtSpacesSplitsLongWordsAndDropsLinesBeyondTheHeight) {
    texttest::FontHolder f;
    const struct {
        const char* text;
        int maxWidth, maxHeight;
        const char* out;
        std::int32_t width, height;
        const char* why;
    } cases[] = {
        {"AA AA", 10, 100, "AA\nAA", 6, 10, "broken at the space"},
        {"AA AA", 14, 100, "AA AA", 14, 5, "fits: unchanged"},
        // A line feed goes before the first character that overflows; the closed line is
        // recorded with the width of the word including that character.
        {"AAAA", 7, 100, "AA\nAA", 9, 10, "a word longer than the line"},
        {"AA AA WW", 12, 10, "AA\nAA", 12, 10, "three lines, room for two: the third is dropped but measured"},
        {"AA AA AA", 6, 10, "AA\nAA", 6, 10, "the third line is dropped"},
        {"AA\nWWW", 100, 100, "AA\nWWW", 18, 10, "existing line feeds start lines"},
        {"WW", 4, 100, "W\nW", 12, 10, "a glyph wider than the line stays on its line"},
        {"  ", 1, 100, " \n", 4, 5, "a break at the very end starts no line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        std::string out;
        std::int32_t w = -1, h = -1;
        EXPECT_TRUE(ReflowText(f.font, c.text, c.maxWidth, c.maxHeight, out, w, h));
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
    }
    std::string out;
    std::int32_t w = 0, h = 0;
    EXPECT_FALSE(ReflowText(nullptr, "A", 10, 10, out, w, h));
}

TEST(Text, ScriptTextBecomesCodePageUnlessItIsBinary) {
    EXPECT_EQ(ScriptTextToCodePage("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
    EXPECT_EQ(ScriptTextToCodePage("\xE6\x97\xA5!"), "?!") << "outside the code page";
    EXPECT_EQ(ScriptTextToCodePage("caf\xE9"), "caf\xE9") << "not UTF-8: bytes kept";
    EXPECT_EQ(ScriptTextToCodePage("plain"), "plain");
    EXPECT_EQ(DisplayTextToUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(DisplayTextToUtf8("caf\xE9"), "caf\xC3\xA9");
}
