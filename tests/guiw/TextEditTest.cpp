// The editing rules of a text input without a widget around them.
#include <gtest/gtest.h>

#include <string>

#include "gui/TextEdit.h"

using namespace ove;

TEST(TextEdit, AcceptedSetAndFilter) {
    int count = 0;
    for (int c = -128; c < 256; ++c) count += IsAcceptedCharacter(c) ? 1 : 0;
    EXPECT_EQ(count, 95);
    EXPECT_TRUE(IsAcceptedCharacter(' '));
    EXPECT_TRUE(IsAcceptedCharacter('~'));
    EXPECT_FALSE(IsAcceptedCharacter(127));
    EXPECT_FALSE(IsAcceptedCharacter(-23));  // e acute as a signed byte
    EXPECT_EQ(FilterAccepted("a\tb\nc\xE9\x7F d"), "abc d");

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
    EXPECT_FALSE(ParseInteger("", &i));
    EXPECT_FALSE(ParseInteger("-", &i));
    EXPECT_FALSE(ParseInteger("12a", &i));
    EXPECT_TRUE(ParseInteger("99999999999999999999999", &i));
    EXPECT_EQ(i, INT64_MAX);

    double d = 0;
    EXPECT_TRUE(ParseFloat("1.5e3", &d));
    EXPECT_DOUBLE_EQ(d, 1500.0);
    EXPECT_TRUE(ParseFloat("-.5", &d));
    EXPECT_DOUBLE_EQ(d, -0.5);
    for (const char* bad : {"", ".", "-", "1e", "0x10", "inf", "nan", "1.2.3", "5 "})
        EXPECT_FALSE(ParseFloat(bad, &d)) << bad;

    EXPECT_EQ(FormatFloat(2.5), "2.5");
    EXPECT_EQ(FormatFloat(100.0), "100");
    EXPECT_EQ(FormatFloat(-0.125), "-0.125");
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

TEST(TextEdit, Validation) {
    STextRules ints;
    ints.type = kInputInt;
    CTextEdit e;
    e.SetText("007");
    EXPECT_TRUE(e.Validate(ints));
    EXPECT_EQ(e.Text(), "7");
    EXPECT_EQ(e.Caret(), 1);
    e.SetText("  000");
    EXPECT_TRUE(e.Validate(ints));
    EXPECT_EQ(e.Text(), "0");
    e.SetText("");
    EXPECT_TRUE(e.Validate(ints));
    EXPECT_EQ(e.Text(), "0");
    EXPECT_EQ(e.SelectedText(), "0");
    EXPECT_EQ(e.Caret(), 1);

    e.SetText("-");
    EXPECT_TRUE(e.Validate(ints));  // a sign alone while typing
    ints.intMinimum = 0;
    EXPECT_FALSE(e.Validate(ints));
    e.SetText("12x");
    EXPECT_FALSE(e.Validate(ints));
    ints.intMaximum = 50;
    e.SetText("123");
    EXPECT_TRUE(e.Validate(ints));
    EXPECT_EQ(e.Text(), "50");
    ints.intMinimum = 10;
    e.SetText("3");
    EXPECT_TRUE(e.Validate(ints));
    EXPECT_EQ(e.Text(), "10");

    STextRules floats;
    floats.type = kInputFloat;
    e.SetText("-");
    EXPECT_TRUE(e.Validate(floats));  // the default minimum is negative
    floats.floatMaximum = 2.5;
    e.SetText("3.75");
    EXPECT_TRUE(e.Validate(floats));
    EXPECT_EQ(e.Text(), "2.5");
    e.SetText("1e999");  // beyond a double: clamped, not garbage
    EXPECT_TRUE(e.Validate(floats));
    EXPECT_EQ(e.Text(), "2.5");
    e.SetText("0.");
    EXPECT_TRUE(e.Validate(floats));
    EXPECT_EQ(e.Text(), "0.");

    STextRules text;
    text.maxLength = 3;
    e.SetText("abcd");
    EXPECT_FALSE(e.Validate(text));
    e.SetText("abc");
    EXPECT_TRUE(e.Validate(text));
    e.SetText("");
    EXPECT_TRUE(e.Validate(text));
    EXPECT_EQ(e.Text(), "");
}
