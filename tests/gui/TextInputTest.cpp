// Text input keys, clipboard and script events, driven through the element's key handler; and the
// editing rules without a widget around them.
#include <SDL.h>

#include <string>

#include "gui/TextEdit.h"
#include "gui/TextInput.h"
#include "platform/Clipboard.h"
#include "platform/Keys.h"
#include "support/WidgetTestUtil.h"

using namespace ove;
using namespace guiwtest;

namespace {

constexpr std::int32_t kHome = 0x4700, kEnd = 0x4F00, kLeft = 0x4B00, kRight = 0x4D00, kUp = 0x4800, kDown = 0x5000,
                       kInsert = 0x5200, kDelete = 0x5300;

class TextInputTest : public WidgetTest {
protected:
    void SetUp() override {
        WidgetTest::SetUp();
        input = new CTextInput(nullptr);
        input->scriptObject = 1;
    }
    void Type(const std::string& s) {
        for (char c : s) input->OnKey(static_cast<signed char>(c));
    }
    int Changes() {
        int n = 0;
        for (const SCall& c : host.TakeCalls()) n += c.name == "onChange" ? 1 : 0;
        return n;
    }
    CTestHost host;
    CTextInput* input = nullptr;  // owned by the host
};

}  // namespace

TEST_F(TextInputTest, IntegerTypingValidationAndSteps) {
    input->SetType(kInputInt);
    EXPECT_EQ(std::string(input->GetText()), "0");  // an empty numeric input shows a selected 0
    EXPECT_TRUE(input->Edit().HasSelection());
    Type("007");
    EXPECT_STREQ(input->GetText(), "7");
    EXPECT_EQ(Changes(), 3);

    EXPECT_TRUE(input->OnKey('x'));  // refused edit: consumed, undone, no event
    EXPECT_STREQ(input->GetText(), "7");
    EXPECT_EQ(Changes(), 0);

    input->OnKey(8);  // backspace to empty: a selected 0 that the next digit replaces
    EXPECT_STREQ(input->GetText(), "0");
    Type("5");
    EXPECT_STREQ(input->GetText(), "5");

    EXPECT_TRUE(input->OnKey(kUp));
    EXPECT_STREQ(input->GetText(), "6");
    input->SetText("-");
    EXPECT_TRUE(input->OnKey(kDown));  // a lone sign counts as 0
    EXPECT_STREQ(input->GetText(), "-1");
    EXPECT_EQ(Changes(), 4);

    input->SetIntMinimum(0);
    EXPECT_STREQ(input->GetText(), "0");  // the value beyond the new bound takes the bound
    input->SetText("");
    Type("-");
    EXPECT_STREQ(input->GetText(), "");  // no sign without negative values: the edit is undone
    input->SetIntMaximum(40);
    input->SetText("");
    Type("99");
    EXPECT_STREQ(input->GetText(), "40");

    input->SetType(kInputFloat);
    input->SetFloatMinimum(-1.0);
    input->SetText("");
    Type("-0.25");
    EXPECT_STREQ(input->GetText(), "-0.25");
    double d = 0;
    ASSERT_TRUE(input->GetFloatValue(&d));
    EXPECT_DOUBLE_EQ(d, -0.25);
    EXPECT_FALSE(input->OnKey(kUp));  // stepping is for integers only

    input->SetType(kInputText);
    input->SetText("abc");
    input->SetType(kInputInt);  // a text the type cannot hold starts over
    EXPECT_STREQ(input->GetText(), "0");
}

TEST_F(TextInputTest, CaretSelectionAndRefusals) {
    input->SetText("hello");
    EXPECT_TRUE(input->OnKey(kHome));
    HeldKeys().insert(kVkShift);
    input->OnKey(kRight);
    input->OnKey(kRight);
    EXPECT_EQ(input->Edit().SelectedText(), "he");
    HeldKeys().clear();
    input->OnKey(kRight);  // moving without Shift clears the selection
    EXPECT_FALSE(input->Edit().HasSelection());
    EXPECT_EQ(input->Edit().Caret(), 3);
    input->OnKey(kEnd);
    input->OnKey(kRight);  // cannot move: still clears
    EXPECT_EQ(input->Edit().Caret(), 5);

    input->OnKey(1);  // Ctrl+A selects all, caret at the start
    EXPECT_EQ(input->Edit().SelectedText(), "hello");
    EXPECT_EQ(input->Edit().Caret(), 0);
    Type("X");  // typing replaces the selection
    EXPECT_STREQ(input->GetText(), "X");
    input->OnKey(kHome);
    input->OnKey(kDelete);
    EXPECT_STREQ(input->GetText(), "");
    EXPECT_EQ(Changes(), 2);

    input->SetMaxLength(3);
    Type("abcd");
    EXPECT_STREQ(input->GetText(), "abc");
    EXPECT_EQ(Changes(), 3);  // the refused "d" reports nothing
    input->SetMaxLength(2);
    EXPECT_STREQ(input->GetText(), "ab");

    // Keys the input does not handle bubble up.
    for (std::int32_t k : {9, 13, 27, 267, 0x3B00, -127}) EXPECT_FALSE(input->OnKey(k)) << k;

    input->readOnly = 1;
    for (std::int32_t k : {std::int32_t('z'), 8, kDelete, 22}) EXPECT_FALSE(input->OnKey(k)) << k;
    EXPECT_TRUE(input->OnKey(kLeft));  // moving is still allowed
    EXPECT_STREQ(input->GetText(), "ab");

    input->readOnly = 0;
    input->disabled = 1;
    EXPECT_FALSE(input->CanFocus());
    for (std::int32_t k : {kLeft, std::int32_t('q')}) EXPECT_FALSE(input->OnKey(k)) << k;
    EXPECT_EQ(Changes(), 0);
}

TEST_F(TextInputTest, ClipboardThroughSDL) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) GTEST_SKIP() << SDL_GetError();

    input->SetText("abcdef");
    input->OnKey(kHome);
    input->OnKey(kRight);
    HeldKeys().insert(kVkShift);
    input->OnKey(kRight);
    input->OnKey(kRight);
    HeldKeys().clear();
    EXPECT_TRUE(input->OnKey(3));
    char* clip = SDL_GetClipboardText();
    EXPECT_STREQ(clip, "bc");
    SDL_free(clip);
    EXPECT_TRUE(input->OnKey(24));  // cut
    EXPECT_STREQ(input->GetText(), "adef");
    EXPECT_EQ(input->Edit().Caret(), 1);

    ASSERT_EQ(SDL_SetClipboardText("X\tY\xC3\xA9Z"), 0);  // the tab is dropped, the e acute kept
    EXPECT_TRUE(input->OnKey(22));
    EXPECT_STREQ(input->GetText(), "aXY\xE9Zdef");
    EXPECT_EQ(Changes(), 2);

    input->SetMaxLength(9);
    ASSERT_TRUE(SetClipboardText("12345"));
    HeldKeys().insert(kVkShift);
    EXPECT_TRUE(input->OnKey(kInsert));  // Shift+Insert pastes what fits
    HeldKeys().clear();
    EXPECT_STREQ(input->GetText(), "aXY\xE9Z1def");
    input->SetMaxLength(-1);

    input->SetType(kInputInt);  // text that does not parse is refused whole
    ASSERT_TRUE(SetClipboardText("12"));
    input->SetText("5");
    input->OnKey(22);
    EXPECT_STREQ(input->GetText(), "512");
    ASSERT_TRUE(SetClipboardText("1x"));
    input->OnKey(22);
    EXPECT_STREQ(input->GetText(), "512");
    input->SetType(kInputText);
    Changes();

    ASSERT_EQ(SDL_SetClipboardText(""), 0);  // nothing to paste: no change, no event
    input->OnKey(kHome);
    EXPECT_TRUE(input->OnKey(22));
    EXPECT_STREQ(input->GetText(), "512");
    EXPECT_EQ(Changes(), 0);

    input->OnKey(kEnd);
    EXPECT_TRUE(input->OnKey(3));  // Ctrl+C without a selection clears, without an event
    EXPECT_STREQ(input->GetText(), "");
    EXPECT_EQ(Changes(), 0);
    input->readOnly = 1;
    EXPECT_FALSE(input->OnKey(3));
}

TEST_F(TextInputTest, LongTexts) {
    std::string big(200000, 'w');
    big[1000] = '\n';
    input->SetText(big.c_str());
    EXPECT_EQ(input->Edit().Length(), 199999);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_WasInit(SDL_INIT_VIDEO) || SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
        ASSERT_TRUE(SetClipboardText(std::string(70000, 'k')));
        input->OnKey(kHome);
        input->OnKey(22);
        EXPECT_EQ(input->Edit().Length(), 269999);
        EXPECT_EQ(input->Edit().Caret(), 70000);
    }
}

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

    for (auto [value, text] : {std::pair{2.5, "2.5"}, {100.0, "100"}, {-0.125, "-0.125"}})
        EXPECT_EQ(FormatFloat(value), text);
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
        {ints, "007", true, "7"},
        {ints, "  000", true, "0"},
        {ints, "-", true, "-"},
        {positive, "-", false, ""},
        {positive, "12x", false, ""},
        {bounded, "123", true, "50"},
        {bounded, "3", true, "10"},
        {floats, "-", true, "-"},
        {cappedFloats, "3.75", true, "2.5"},
        {cappedFloats, "1e999", true, "2.5"},  // beyond a double: clamped, not garbage
        {cappedFloats, "0.", true, "0."},
        {text, "abcd", false, ""},
        {text, "abc", true, "abc"},
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
