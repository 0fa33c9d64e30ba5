// The editing rules of a text input without a widget around them.
#include <gtest/gtest.h>

#include <string>

#include "gui/TextEdit.h"

using namespace ove;

TEST(TextEdit, AcceptedSetAndFilter) {
    int count = 0;
    for (int c = -128; c < 256; ++c) count += IsAcceptedCharacter(c) ? 1 : 0;
    EXPECT_EQ(count, 218);  // printable ASCII and the code page's 123 printable characters above it
    EXPECT_TRUE(IsAcceptedCharacter(' '));
    EXPECT_TRUE(IsAcceptedCharacter('~'));
    EXPECT_FALSE(IsAcceptedCharacter(127));
    EXPECT_TRUE(IsAcceptedCharacter(-23));    // e acute as a signed byte
    EXPECT_FALSE(IsAcceptedCharacter(-127));  // 0x81: no character in the code page
    EXPECT_EQ(FilterAccepted("a\tb\nc\xE9\x7F d"), "abc\xE9 d");

    CTextEdit e;
    e.SetText("x\ry");
    EXPECT_EQ(e.Text(), "xy");
    EXPECT_EQ(e.Caret(), 2);
    EXPECT_FALSE(e.HasSelection());
}

TEST(TextEdit, ParseAndFormat) {
    std::int64_t i = 0;
    EXPECT_TRUE(ParseInteger("-42", &i));
    EXPECT_EQ(i, -42);
    for (const char* bad : {"", "-", "12a"}) EXPECT_FALSE(ParseInteger(bad, &i)) << bad;
    EXPECT_TRUE(ParseInteger("99999999999999999999999", &i));
    EXPECT_EQ(i, INT64_MAX);

    double d = 0;
    EXPECT_TRUE(ParseFloat("1.5e3", &d));
    EXPECT_DOUBLE_EQ(d, 1500.0);
    EXPECT_TRUE(ParseFloat("-.5", &d));
    EXPECT_DOUBLE_EQ(d, -0.5);
    for (const char* bad : {"", ".", "-", "1e", "0x10", "inf", "nan", "1.2.3", "5 "})
        EXPECT_FALSE(ParseFloat(bad, &d)) << bad;

    for (auto [value, text] : {std::pair{2.5, "2.5"}, {100.0, "100"}, {-0.125, "-0.125"}}) EXPECT_EQ(FormatFloat(value), text);
    EXPECT_EQ(FormatInteger(-2147483648LL), "-2147483648");
}

TEST(TextEdit, CaretSelectionAndDeletion) {
    CTextEdit e;
    e.SetText("abcdef");
    e.MoveCaret(4, false);
    e.MoveCaret(2, true);  // anchor at the old caret
    EXPECT_EQ(e.Anchor(), 4);
    EXPECT_EQ(e.SelectedText(), "cd");
    e.MoveCaret(99, true);  // clamped to the end, same anchor
    EXPECT_EQ(e.Caret(), 6);
    EXPECT_EQ(e.SelectedText(), "ef");
    e.MoveCaret(1, false);
    EXPECT_FALSE(e.HasSelection());

    // Caret after the range moves back by the count; inside it, to the start; before it, stays.
    e.MoveCaret(5, false);
    e.DeleteRange(1, 3);
    EXPECT_EQ(e.Text(), "adef");
    EXPECT_EQ(e.Caret(), 3);
    e.MoveCaret(2, false);
    e.DeleteRange(1, 3);
    EXPECT_EQ(e.Caret(), 1);
    e.MoveCaret(0, false);
    e.DeleteRange(1, 2);
    EXPECT_EQ(e.Caret(), 0);
    EXPECT_EQ(e.Text(), "a");
    e.DeleteRange(-5, 50);  // clamped
    EXPECT_EQ(e.Text(), "");

    e.SetText("hello");
    e.Select(1, 4, 4);
    e.Truncate(2);
    EXPECT_EQ(e.Caret(), 2);
    EXPECT_EQ(e.SelectedText(), "e");
}

// Numbers lose leading zeros and take the nearest bound; an empty number becomes a selected 0; a
// lone sign passes while typing where negative values are allowed (floats' default minimum is).
TEST(TextEdit, Validation) {
    STextRules ints, bounded, floats, text;
    ints.type = bounded.type = kInputInt;
    bounded.intMinimum = 10;
    bounded.intMaximum = 50;
    floats.type = kInputFloat;
    STextRules cappedFloats = floats;
    cappedFloats.floatMaximum = 2.5;
    STextRules positive = ints;
    positive.intMinimum = 0;
    text.maxLength = 3;
    const struct {
        const STextRules& rules;
        const char* typed;
        bool ok;
        const char* text;
    } rows[] = {
        {ints, "007", true, "7"},          {ints, "  000", true, "0"},       {ints, "-", true, "-"},
        {positive, "-", false, ""},        {positive, "12x", false, ""},     {bounded, "123", true, "50"},
        {bounded, "3", true, "10"},        {floats, "-", true, "-"},         {cappedFloats, "3.75", true, "2.5"},
        {cappedFloats, "1e999", true, "2.5"},  // beyond a double: clamped, not garbage
        {cappedFloats, "0.", true, "0."},  {text, "abcd", false, ""},        {text, "abc", true, "abc"},
        {text, "", true, ""},
    };
    for (const auto& r : rows) {
        CTextEdit e;
        e.SetText(r.typed);
        EXPECT_EQ(e.Validate(r.rules), r.ok) << r.typed;
        if (r.ok) {
            EXPECT_EQ(e.Text(), r.text) << r.typed;
        }
    }
    CTextEdit e;
    e.SetText("007");
    EXPECT_TRUE(e.Validate(ints));
    EXPECT_EQ(e.Caret(), 1);
    e.SetText("");
    EXPECT_TRUE(e.Validate(ints));
    EXPECT_EQ(e.Text(), "0");
    EXPECT_EQ(e.SelectedText(), "0");
    EXPECT_EQ(e.Caret(), 1);
}
