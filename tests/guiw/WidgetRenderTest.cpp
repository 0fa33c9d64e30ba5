// Pictures of the text input and the list box, rendered headless and read back. Glyphs are
// 4 x 8 white blocks, so each character shows as a block of its tint.
#include "gui/ListBox.h"
#include "gui/TextInput.h"
#include "guiw/WidgetTestUtil.h"
#include "platform/Keys.h"
#include "render/RenderFixture.h"

using namespace ove;
using namespace guiwtest;
using ovetest::Hex;
using ovetest::PixelAt;

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

#define EXPECT_PIXEL(img, x, y, c) EXPECT_EQ(Hex(PixelAt(*(img), x, y)), Hex(c)) << "at (" << (x) << ", " << (y) << ")"

}  // namespace

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

    auto img = Show(input);
    ASSERT_TRUE(img);
    EXPECT_PIXEL(img, 11, 18, kText);     // 'a'
    EXPECT_PIXEL(img, 11, 12, kBack);     // above it: nothing (no frame in this style)
    EXPECT_PIXEL(img, 19, 12, kSelBack);  // selection fill over the whole client height
    EXPECT_PIXEL(img, 19, 28, kSelBack);
    EXPECT_PIXEL(img, 19, 18, kSelText);  // 'c' in the selection colour
    EXPECT_PIXEL(img, 25, 20, kSelText);
    EXPECT_PIXEL(img, 26, 12, 0xFFFFFFFFu);  // caret bar at x 26 in the background colour
    EXPECT_PIXEL(img, 26, 18, 0xFFFFFFFFu);
    EXPECT_PIXEL(img, 27, 18, kText);        // 'e'
    EXPECT_PIXEL(img, 34, 18, kBack);        // after the text
    EXPECT_PIXEL(img, 19, 30, kBack);        // below the client area

    // Fifty characters (200 pixels) with the caret at the end scroll by 200 - 100 + 100 / 8.
    host->focused = nullptr;
    input->SetText(std::string(50, 'w').c_str());
    img = Capture();
    EXPECT_EQ(input->GetScroll(), 112);
    EXPECT_PIXEL(img, 26, 18, kText);  // no caret without the focus
    host->focused = input;
    input->SelectNone();
    img = Capture();
    EXPECT_PIXEL(img, 9, 18, kBack);      // left of the client area: clipped
    EXPECT_PIXEL(img, 10, 18, kText);     // glyph 28 starts at the client's left edge
    EXPECT_PIXEL(img, 97, 18, kText);     // the last glyph ends at 97
    EXPECT_PIXEL(img, 98, 12, kText);     // the caret in the text colour
    EXPECT_PIXEL(img, 99, 18, kBack);
    Now() = 0;  // other half of the blink: alpha 128 over black
    img = Capture();
    EXPECT_PIXEL(img, 98, 12, 0xFF800000u);
}

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

    auto img = Show(list);
    ASSERT_TRUE(img);
    EXPECT_PIXEL(img, 7, 20, kBack);     // padding: not filled in this style
    EXPECT_PIXEL(img, 50, 12, kFill);    // client background
    EXPECT_PIXEL(img, 9, 12, kText);     // row 0 text: rows 9..16
    EXPECT_PIXEL(img, 9, 8, kFill);
    EXPECT_PIXEL(img, 50, 20, kSelBack);  // selected row 18..27
    EXPECT_PIXEL(img, 91, 27, kSelBack);
    EXPECT_PIXEL(img, 92, 20, kBack);
    EXPECT_PIXEL(img, 9, 20, kSelText);
    EXPECT_PIXEL(img, 9, 41, kText);  // row 3 cut at the client's bottom
    EXPECT_PIXEL(img, 9, 42, kBack);

    // An icon view: 6 x 6 yellow cels. Text moves right by icon width + 4; the icon is centred on
    // (8 + 2 + 3, row top + 5), so it covers columns 10..15 and rows top + 2 .. top + 7.
    CViewWriter writer;
    writer.AddLoop();
    CBitmap cel(6, 6, 32u);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) ovetest::SetPixel(cel, x, y, 0xFFFFFF00u);
    writer.AddCel(cel, 0, 0);
    CBuffer buffer;
    writer.Write(&buffer);
    buffer.Seek(0);
    auto* view = new CView("icons");
    view->Load(&buffer, renderer.get());
    list->SetView(view);
    list->Clear();
    list->AddItem("ab", 0, 0);
    for (const char* t : {"cd", "ef", "gh", "ij"}) list->AddItem(t);  // content 50: offsets up to 15
    list->SetIndex(-1);
    list->SetOffset(5);  // rows move up by 5: row 0 top 3, row 1 top 13
    img = Capture();
    EXPECT_PIXEL(img, 10, 8, 0xFFFFFF00u);  // icon rows 5..10, cut at the client top
    EXPECT_PIXEL(img, 15, 10, 0xFFFFFF00u);
    EXPECT_PIXEL(img, 16, 10, kFill);
    EXPECT_PIXEL(img, 10, 11, kFill);
    EXPECT_PIXEL(img, 19, 8, kText);   // row 0 text at x 18, rows 4..11
    EXPECT_PIXEL(img, 19, 12, kFill);
    EXPECT_PIXEL(img, 19, 14, kText);  // row 1 text rows 14..21, no icon
    EXPECT_PIXEL(img, 12, 17, kFill);
    list->SetView(nullptr);
}
