// Pictures of the text input and the list box, rendered headless and read back. Glyphs are
// 4 x 8 white blocks, so each character shows as a block of its tint.
#include "gui/ListBox.h"
#include "gui/TextInput.h"
#include "platform/Keys.h"
#include "support/RenderFixture.h"
#include "support/WidgetTestUtil.h"

using namespace ove;
using namespace guiwtest;
using ovetest::ExpectPixels;

namespace {

constexpr std::uint32_t kBack = 0xFF000000u, kText = 0xFFFF0000u, kSelBack = 0xFF0000FFu, kSelText = 0xFF00FF00u,
                        kFill = 0xFF404040u;

class WidgetRenderTest : public ovetest::GLRenderTest {
protected:
    void SetUp() override {
        Now() = 0x200;  // caret fully opaque
        SetGUITickQuery([] { return Now(); });
        Open(160, 80);
        renderer->SetBackdropColour(kBack);
        host = std::make_unique<CTestHost>();
        host->font.Reset(MakeBlockFont(renderer.get()));
    }
    void TearDown() override {
        host.reset();  // elements and font before the renderer
        SetGUITickQuery(nullptr);
        ovetest::GLRenderTest::TearDown();
    }
    std::unique_ptr<CBitmap> Show(CGUIElement* e) {
        renderer->AddGUIElement(e);
        return Capture();
    }
    std::unique_ptr<CTestHost> host;
};

}  // namespace

// clang-format off
TEST_F(WidgetRenderTest, TextInputSelectionCaretAndScroll) {
    auto* input = new CTextInput(nullptr);
    input->x1 = input->y1 = 10;
    input->x2 = 109;
    input->y2 = 29;  // client 10..109 x 10..29; glyph rows (10 + 30 - 8) / 2 = 16 .. 23
    input->colour = kText;
    input->selectionBackground = kSelBack;
    input->selectionColour = kSelText;
    input->background = 0xFFFFFFFFu;
    input->SetText("abcdef");
    input->OnKey(0x4700);
    input->OnKey(0x4D00);
    input->OnKey(0x4D00);
    SetKeyHeldQuery([](std::int32_t vk) { return vk == kVkShift; });
    input->OnKey(0x4D00);
    input->OnKey(0x4D00);  // "cd" selected, caret after it
    SetKeyHeldQuery(nullptr);
    host->focused = input;

    // 'a', nothing above it (no frame in this style); the selection fill over the whole client
    // height with 'c' in the selection colour; the caret bar at x 26 in the background colour;
    // 'e'; nothing after the text or below the client area.
    ExpectPixels(*Show(input), {{11, 18, kText}, {11, 12, kBack}, {19, 12, kSelBack}, {19, 28, kSelBack},
                               {19, 18, kSelText}, {25, 20, kSelText}, {26, 12, 0xFFFFFFFFu}, {26, 18, 0xFFFFFFFFu},
                               {27, 18, kText}, {34, 18, kBack}, {19, 30, kBack}});

    // Fifty characters (200 pixels) with the caret at the end scroll by 200 - 100 + 100 / 8.
    host->focused = nullptr;
    input->SetText(std::string(50, 'w').c_str());
    ExpectPixels(*Capture(), {{26, 18, kText}});  // no caret without the focus
    EXPECT_EQ(input->GetScroll(), 112);
    host->focused = input;
    input->SelectNone();
    // Clipped left of the client area, where glyph 28 starts; the last glyph ends at 97, then the
    // caret in the text colour.
    ExpectPixels(*Capture(), {{9, 18, kBack}, {10, 18, kText}, {97, 18, kText}, {98, 12, kText}, {99, 18, kBack}});
    Now() = 0;  // other half of the blink: alpha 128 over black
    ExpectPixels(*Capture(), {{98, 12, 0xFF800000u}});
}
// clang-format on

// clang-format off
TEST_F(WidgetRenderTest, ListBoxRowsSelectionIconsAndClip) {
    auto* list = new CListBox(nullptr);
    list->x2 = 99;
    list->y2 = 49;  // client 8..91 x 8..41 inside the paddings
    list->colour = kText;
    list->background = kFill;
    list->selectionBackground = kSelBack;
    list->selectionColour = kSelText;
    for (const char* t : {"ab", "cd", "ef", "gh", "ij"}) list->AddItem(t);
    list->SetIndex(1);

    // The padding is not filled in this style; the client background; row 0's text on rows 9..16;
    // the selected row 18..27; row 3 cut at the client's bottom.
    ExpectPixels(*Show(list), {{7, 20, kBack}, {50, 12, kFill}, {9, 12, kText}, {9, 8, kFill}, {50, 20, kSelBack},
                              {91, 27, kSelBack}, {92, 20, kBack}, {9, 20, kSelText}, {9, 41, kText}, {9, 42, kBack}});

    // An icon view: 6 x 6 yellow cels. Text moves right by icon width + 4; the icon is centred on
    // (8 + 2 + 3, row top + 5), so it covers columns 10..15 and rows top + 2 .. top + 7.
    list->SetView(MakeView(6, 6, 0xFFFFFF00u, renderer.get()));
    list->Clear();
    list->AddItem("ab", 0, 0);
    for (const char* t : {"cd", "ef", "gh", "ij"}) list->AddItem(t);  // content 50: offsets up to 15
    list->SetIndex(-1);
    list->SetOffset(5);  // rows move up by 5: row 0 top 3, row 1 top 13
    // Icon rows 5..10, cut at the client top; row 0's text at x 18 on rows 4..11; row 1's text on
    // rows 14..21, without an icon.
    ExpectPixels(*Capture(), {{10, 8, 0xFFFFFF00u}, {15, 10, 0xFFFFFF00u}, {16, 10, kFill}, {10, 11, kFill},
                             {19, 8, kText}, {19, 12, kFill}, {19, 14, kText}, {12, 17, kFill}});
    list->SetView(nullptr);
}
// clang-format on
