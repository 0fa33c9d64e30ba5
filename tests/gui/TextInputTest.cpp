// Text input keys, clipboard and script events, driven through the element's key handler.
#include <SDL.h>

#include <string>

#include "gui/TextInput.h"
#include "platform/Clipboard.h"
#include "platform/Keys.h"
#include "support/WidgetTestUtil.h"

using namespace ove;
using namespace guiwtest;

namespace {

constexpr std::int32_t kHome = 0x4700, kEnd = 0x4F00, kLeft = 0x4B00, kRight = 0x4D00, kUp = 0x4800,
                       kDown = 0x5000, kInsert = 0x5200, kDelete = 0x5300;

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

TEST_F(TextInputTest, LongTextsAndDestructionInHandler) {
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

    // The handler destroys the input; the key still counts as consumed.
    host.onCall = [this](CGUIElement* e, const char*) { host.DestroyGUIElement(e); };
    EXPECT_TRUE(input->OnKey('a'));
    EXPECT_EQ(host.destroyed, 1);
    EXPECT_TRUE(host.roots.empty());
}
