// List box items, scrolling, clicks and keys, and the message box's fitting.
#include "gui/ListBox.h"
#include "gui/MessageBox.h"
#include "support/WidgetTestUtil.h"
#include "text/Text.h"

using namespace ove;
using namespace guiwtest;

namespace {

class ListBoxTest : public WidgetTest {
protected:
    void SetUp() override {
        WidgetTest::SetUp();
        host.font.Reset(MakeBlockFont(nullptr));  // glyphs 4 x 8: rows 10 pixels high
        list = new CListBox(nullptr);
        list->scriptObject = 1;
        list->x2 = 99;
        list->y2 = 49;  // client area 84 x 34 inside the paddings of 8
    }
    void Fill(int n) {
        for (int i = 0; i < n; ++i) list->AddItem(("item" + std::to_string(i)).c_str());
    }
    // Render-target point inside row `row` of the unscrolled list.
    std::int32_t RowY(int row) { return 8 + row * 10 + 5; }

    CTestHost host;
    CListBox* list = nullptr;
};

}  // namespace

TEST_F(ListBoxTest, ItemsScrollingAndHitTesting) {
    EXPECT_EQ(list->GetItemHeight(), 10);
    EXPECT_EQ(list->GetIndex(), -1);
    EXPECT_EQ(list->AddItem("first"), 0);
    EXPECT_EQ(list->GetIndex(), 0);  // the first item is selected
    Fill(9);
    EXPECT_EQ(list->GetCount(), 10);
    list->SetIndex(10);
    EXPECT_EQ(list->GetIndex(), -1);
    list->SetIndex(4);

    // Content 100 high, client 34: the largest offset leaves the last pixel row below.
    list->ToEnd();
    EXPECT_EQ(list->GetOffset(), 100 - 34 - 1);
    list->SetOffset(-5);
    EXPECT_EQ(list->GetOffset(), 0);
    list->LineDown();
    list->PageDown();
    EXPECT_EQ(list->GetOffset(), 44);
    list->LineUp();
    EXPECT_EQ(list->GetOffset(), 34);
    list->ToIndex(5);  // row 5 centred: 50 - (34 - 10) / 2
    EXPECT_EQ(list->GetOffset(), 38);
    EXPECT_EQ(list->ItemAt(50, 8), 3);  // (38 + 0) / 10
    list->ToStart();

    EXPECT_EQ(list->ItemAt(50, RowY(2)), 2);
    EXPECT_EQ(list->ItemAt(7, RowY(0)), -1);   // in the padding
    EXPECT_EQ(list->ItemAt(92, RowY(0)), -1);  // right of the client area
    EXPECT_EQ(list->ItemAt(50, 42), -1);       // below it
    list->Clear();
    list->AddItem("only");
    EXPECT_EQ(list->ItemAt(50, RowY(1)), -1);  // below the last item
    EXPECT_EQ(list->GetIndex(), 0);

    // Icons: the first item with an existing cel sets the size; the row grows to it.
    TResourceRef<CView> view(MakeView(6, 14, 0, nullptr));
    list->SetView(view.Get());
    list->AddItem("none", 3, 0);  // no such loop
    EXPECT_EQ(list->GetIconWidth(), 0);
    list->AddItem("icon", 0, -7);  // a negative cel is cel 0
    EXPECT_EQ(list->GetItem(2).cel, 0);
    EXPECT_EQ(list->GetIconWidth(), 6);
    EXPECT_EQ(list->GetItemHeight(), 14);
    list->Clear();
    EXPECT_EQ(list->GetItemHeight(), 10);
    EXPECT_EQ(list->GetIndex(), -1);
}

TEST_F(ListBoxTest, ClicksDoubleClicksKeysAndWheel) {
    Fill(10);
    host.TakeCalls();
    EXPECT_TRUE(list->OnLButtonDown(50, RowY(2)));
    Now() += 150;
    EXPECT_TRUE(list->OnLButtonDown(50, RowY(2)));
    Now() += 100;
    EXPECT_TRUE(list->OnLButtonDown(50, RowY(2)));  // a third quick click starts over
    Now() += 201;
    EXPECT_TRUE(list->OnLButtonDown(50, RowY(2)));  // too late for a double-click
    EXPECT_TRUE(list->OnLButtonDown(50, RowY(1)));  // quick, but another row
    EXPECT_TRUE(list->OnLButtonDown(50, 200));      // outside: consumed, nothing else
    EXPECT_EQ(host.TakeCalls(),
              (std::vector<SCall>{
                  {"onChange", {2}}, {"onDoubleClick", {2}}, {"onChange", {2}}, {"onChange", {2}}, {"onChange", {1}}}));

    EXPECT_TRUE(list->OnKey(0x5000));  // down
    EXPECT_TRUE(list->OnKey(0x5100));  // page down: 3 visible rows
    EXPECT_TRUE(list->OnKey(0x5100));
    EXPECT_TRUE(list->OnKey(0x5100));  // stops at the last
    EXPECT_EQ(list->GetOffset(), 65);  // row 9 centred, clamped to the largest offset
    EXPECT_TRUE(list->OnKey(0x4800));  // up
    EXPECT_TRUE(list->OnKey(0x4900));  // page up
    EXPECT_TRUE(list->OnKey(0x4700));  // home
    EXPECT_EQ(list->GetOffset(), 0);
    EXPECT_TRUE(list->OnKey(0x4F00));  // end
    EXPECT_FALSE(list->OnKey('a'));
    EXPECT_EQ(host.TakeCalls(), (std::vector<SCall>{{"onChange", {2}},
                                                    {"onChange", {5}},
                                                    {"onChange", {8}},
                                                    {"onChange", {9}},
                                                    {"onChange", {8}},
                                                    {"onChange", {5}},
                                                    {"onChange", {0}},
                                                    {"onChange", {9}}}));

    list->SetOffset(30);
    EXPECT_TRUE(list->OnWheel(-120));
    EXPECT_EQ(list->GetOffset(), 40);
    EXPECT_TRUE(list->OnWheel(120));
    EXPECT_EQ(list->GetOffset(), 30);
    EXPECT_FALSE(list->OnWheel(0));
}

TEST_F(ListBoxTest, MessageBoxFitsAndCentres) {
    auto* box = new CTextBox(nullptr);
    ASSERT_EQ(box->Label()->autoWidth, 240);  // target width - 80
    box->SetText("aaaa bbbb");                // 9 glyphs: 36 x 8
    EXPECT_EQ(box->ClientWidth(), 36);
    EXPECT_EQ(box->ClientHeight(), 8);
    EXPECT_EQ(box->TitleBarHeight(), 0) << "the message is not a title";
    EXPECT_EQ(box->x1, 160 - 18);
    EXPECT_EQ(box->y1, 100 - (box->Height() >> 1));

    // Ten words of 36 pixels: six fit in the 240 pixels (36 + 5 x 40), four go to a second line.
    // The frame (1) and padding (4) of the new style come on top of the label's maximum.
    box->SetStyle(kStyleSolid);
    std::string words = "wwwwwwwww";
    for (int i = 1; i < 10; ++i) words += " wwwwwwwww";
    box->SetText(words.c_str());
    EXPECT_EQ(box->ClientWidth(), 236);
    EXPECT_EQ(box->ClientHeight(), 16);
    EXPECT_EQ(box->Width(), 246);
    EXPECT_EQ(box->x1, 160 - 123);
    EXPECT_EQ(box->y1, 100 - (box->Height() >> 1));
    EXPECT_EQ(std::string(box->GetText()), words);

    box->Resize(100, 60);  // fixed size: no more fitting
    EXPECT_EQ(box->Label()->Width(), 90);
    EXPECT_EQ(box->Label()->autoWidth, -1);
    const std::int32_t x1 = box->x1;
    box->SetText("short");
    EXPECT_EQ(box->Width(), 100);
    EXPECT_EQ(box->x1, x1);

    box->SetTitle("Title");  // title bar 11: the window fits its child
    EXPECT_EQ(box->ClientWidth(), 90);
    EXPECT_EQ(box->GetTopInset(), 5 + 11);
    EXPECT_STREQ(box->GetTitle(), "Title");
    EXPECT_TRUE(box->GetWrapping());
    EXPECT_EQ(box->FindElementAt(box->x1 + 10, box->y2 - 10), box);  // the label lets clicks through
}
