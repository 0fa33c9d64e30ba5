// The dialog without a screen: layout, choosing by keyboard and mouse, and its pixels.
#include <gtest/gtest.h>

#include "platform/Keys.h"
#include "platform/SystemColours.h"
#include "win/PropWindow.h"

using namespace ove;

namespace {

constexpr int kTop = kDialogFrame + kDialogCaption;  // client area's top in window coordinates

// Rows built as start-up builds them: the first item selected.
std::unique_ptr<CPropWindow> Dialog(std::vector<std::vector<std::string>> rows) {
    auto d = std::make_unique<CPropWindow>(nullptr, "Select source");
    for (size_t r = 0; r < rows.size(); ++r) {
        d->AddComboBox(r == 0 ? "Packed archive" : "Directory", false);
        for (size_t i = 0; i < rows[r].size(); ++i) d->AddItem(rows[r][i], i == 0);
    }
    d->PrepareToShow();
    return d;
}

void Key(CPropWindow& d, int key) { d.OnKeyDown(key, 0); }
void Click(CPropWindow& d, const SDialogRect& r) {
    d.OnLButtonDown(kMouseLeft, r.x + r.width / 2, r.y + r.height / 2);
    d.OnLButtonUp(0, r.x + r.width / 2, r.y + r.height / 2);
}

}  // namespace

TEST(PropWindowLayout, SizeAndButtonsFollowTheRows) {
    // Height = caption + current y + 2 frames + 31; current y starts at 8 and grows 28 a row.
    auto two = Dialog({{"a", "b"}, {"c", "d"}});
    EXPECT_EQ(two->GetWindowWidth(), 360);
    EXPECT_EQ(two->GetWindowHeight(), 18 + 64 + 2 * 3 + 31);
    EXPECT_EQ(two->ButtonRect(CPropWindow::kIdOK), (SDialogRect{3 + 194 - 6, kTop + 64, 75, 23}));
    EXPECT_EQ(two->ButtonRect(CPropWindow::kIdCancel), (SDialogRect{3 + 277 - 6, kTop + 64, 75, 23}));
    EXPECT_EQ(two->LabelRect(2), (SDialogRect{3 + 8, kTop + 36, 120, 20}));
    EXPECT_EQ(two->ControlRect(2), (SDialogRect{3 + 128, kTop + 36, 224 - 6, 20}));
    // The boxes and Cancel end 8 pixels inside the client area, which is 360 - 2 frames wide.
    EXPECT_EQ(two->ControlRect(1).x + two->ControlRect(1).width, 360 - 3 - 8);
    EXPECT_EQ(two->ButtonRect(CPropWindow::kIdCancel).x + 75, 360 - 3 - 8);
    // Buttons end 8 pixels above the bottom frame.
    EXPECT_EQ(two->ButtonRect(CPropWindow::kIdOK).y + 23 + 8 + 3, two->GetWindowHeight());

    auto one = Dialog({{"a", "b", "c"}});
    EXPECT_EQ(one->GetWindowHeight(), 18 + 36 + 6 + 31);
    EXPECT_EQ(Dialog({})->GetWindowHeight(), 18 + 8 + 6 + 31);
}

TEST(PropWindowItems, InsertionOrderSortingAndStoredSelection) {
    CPropWindow d(nullptr, "t");
    EXPECT_EQ(d.AddItem("no row", true), -1);
    EXPECT_EQ(d.AddComboBox("sorted", true), 1);
    EXPECT_EQ(d.AddItem("delta", false), 0);
    EXPECT_EQ(d.AddItem("Bravo", true), 0);
    EXPECT_EQ(d.AddItem("charlie", false), 1);  // before delta: the selection stays on Bravo
    EXPECT_EQ(d.AddItem("alpha", false), 0);    // before Bravo: the selection follows it
    EXPECT_EQ(d.GetSelection(1), 1);
    EXPECT_EQ(d.AddComboBox("plain", false), 2);
    EXPECT_EQ(d.AddItem("z", false), 0);
    EXPECT_EQ(d.AddItem("a", false), 1);
    EXPECT_EQ(d.GetSelection(2), -1);  // nothing chosen yet
    EXPECT_EQ(d.GetSelection(0), -1);
    EXPECT_EQ(d.GetSelection(3), -1);
}

TEST(PropWindowKeys, ArrowsChooseTabMovesEnterAndEscapeFinish) {
    auto d = Dialog({{"A1", "A2", "A3"}, {"D1", "D2"}});
    bool called = false, ok = false;
    d->SetCompletion([&](CPropWindow&, bool answer) { called = true, ok = answer; });
    for (int i = 0; i < 3; ++i) Key(*d, kVkDown);  // stays on the last item
    EXPECT_EQ(d->GetCurrentSelection(1), 2);
    Key(*d, kVkUp);
    EXPECT_EQ(d->GetCurrentSelection(1), 1);
    EXPECT_EQ(d->GetSelection(1), 0) << "the record is read when the dialog finishes";
    Key(*d, kVkTab);
    EXPECT_EQ(d->GetFocus(), 1);
    Key(*d, kVkEnd);
    Key(*d, kVkTab);
    Key(*d, kVkTab);
    EXPECT_EQ(d->GetFocus(), 3);  // Cancel
    Key(*d, kVkTab);
    EXPECT_EQ(d->GetFocus(), 0);  // round to the first row
    Key(*d, kVkReturn);
    EXPECT_TRUE(called);
    EXPECT_TRUE(ok);
    EXPECT_EQ(d->GetResult(), CPropWindow::kOK);
    EXPECT_EQ(d->GetSelection(1), 1);
    EXPECT_EQ(d->GetSelection(2), 1);
    Key(*d, kVkDown);  // finished: keys change nothing
    EXPECT_EQ(d->GetSelection(1), 1);

    auto e = Dialog({{"x", "y"}});
    Key(*e, kVkEscape);
    EXPECT_EQ(e->GetResult(), CPropWindow::kCancel);
    auto f = Dialog({{"x", "y"}});
    Key(*f, kVkTab);
    Key(*f, kVkTab);
    Key(*f, kVkReturn);  // Enter on the focused Cancel button
    EXPECT_EQ(f->GetResult(), CPropWindow::kCancel);
    auto g = Dialog({{"apple", "banana", "blueberry"}});
    g->OnChar('b', 0);
    g->OnChar('B', 0);
    EXPECT_EQ(g->GetCurrentSelection(1), 2);  // the next item with that letter
    EXPECT_TRUE(g->OnClose());
    EXPECT_EQ(g->GetResult(), CPropWindow::kCancel);
}

TEST(PropWindowList, OpensChoosesAndClosesWithoutFinishing) {
    auto d = Dialog({{"i0", "i1", "i2", "i3", "i4", "i5"}});
    Key(*d, kVkF1 + 3);  // F4
    ASSERT_EQ(d->GetOpenListRow(), 1);
    // The box is 80 high with its list: at most four 14-pixel items.
    EXPECT_EQ(d->ListRect(), (SDialogRect{d->ControlRect(1).x, d->ControlRect(1).y + 20, 218, 4 * 14 + 2}));
    for (int i = 0; i < 5; ++i) Key(*d, kVkDown);
    EXPECT_EQ(d->GetListHot(), 5);
    Key(*d, kVkEscape);  // closes the list only
    EXPECT_EQ(d->GetOpenListRow(), 0);
    EXPECT_EQ(d->GetCurrentSelection(1), 0);
    EXPECT_EQ(d->GetResult(), CPropWindow::kRunning);

    d->OnSysKeyDown(kVkDown, kKeyFlagAlt);
    Key(*d, kVkDown);
    Key(*d, kVkReturn);  // takes the item, the dialog goes on
    EXPECT_EQ(d->GetCurrentSelection(1), 1);
    EXPECT_EQ(d->GetResult(), CPropWindow::kRunning);

    // Mouse: a click on the box opens it; the list scrolled to its end; a click on its third line.
    d->OnLButtonDown(kMouseLeft, d->ControlRect(1).x + 5, d->ControlRect(1).y + 5);
    ASSERT_EQ(d->GetOpenListRow(), 1);
    for (int i = 0; i < 3; ++i) d->ListWheel(-120);  // no further than the last page
    d->ListMouseMove(10, 1 + 2 * 14 + 3);
    EXPECT_EQ(d->GetListHot(), 4);
    d->ListClick(10, 1 + 2 * 14 + 3);
    EXPECT_EQ(d->GetOpenListRow(), 0);
    EXPECT_EQ(d->GetCurrentSelection(1), 4);
    // A press on OK released outside it does nothing; a full click finishes with OK.
    SDialogRect ok = d->ButtonRect(CPropWindow::kIdOK);
    d->OnLButtonDown(kMouseLeft, ok.x + 2, ok.y + 2);
    d->OnLButtonUp(0, ok.x - 20, ok.y + 2);
    EXPECT_EQ(d->GetResult(), CPropWindow::kRunning);
    Click(*d, ok);
    EXPECT_EQ(d->GetResult(), CPropWindow::kOK);
    EXPECT_EQ(d->GetSelection(1), 4);

    auto c = Dialog({{"a", "b"}});
    Click(*c, c->CloseBoxRect());
    EXPECT_EQ(c->GetResult(), CPropWindow::kCancel);
}

TEST(PropWindowPixels, FrameCaptionFocusAndDefaultButton) {
    auto d = Dialog({{"A1", "A2"}, {"D1", "D2"}});
    CDialogPixels p(d->GetWindowWidth(), d->GetWindowHeight());
    d->Paint(p);
    const std::uint32_t face = GetSystemColour(kSysButtonFace), black = GetSystemColour(kSysWindowText);
    EXPECT_EQ(p.At(0, 0), GetSystemColour(kSysWindow));  // raised outer edge: light top-left
    EXPECT_EQ(p.At(359, p.Height() - 1), black);         // dark bottom-right
    EXPECT_EQ(p.At(3, 3), GetSystemColour(kSysActiveCaption));
    EXPECT_EQ(p.At(200, 3 + 16), GetSystemColour(kSysActiveCaption));
    EXPECT_EQ(p.At(200, kTop), face);  // the client area starts below the caption
    // The focused first box shows its text on the selection colour; the second on white.
    SDialogRect b1 = d->ControlRect(1), b2 = d->ControlRect(2);
    EXPECT_EQ(p.At(b1.x + 100, b1.y + 10), GetSystemColour(kSysHighlight));
    EXPECT_EQ(p.At(b2.x + 100, b2.y + 10), GetSystemColour(kSysWindow));
    EXPECT_EQ(p.At(b1.x, b1.y), GetSystemColour(kSysGrayText));  // sunken edge
    // OK is the default button (black frame); Cancel is not.
    SDialogRect ok = d->ButtonRect(CPropWindow::kIdOK), cancel = d->ButtonRect(CPropWindow::kIdCancel);
    EXPECT_EQ(p.At(ok.x, ok.y + 10), black);
    EXPECT_EQ(p.At(cancel.x, cancel.y + 10), GetSystemColour(kSysWindow));
    // Text in the button face colour region between the buttons is untouched.
    EXPECT_EQ(p.At(ok.x + ok.width + 3, ok.y + 10), face);
    // Some text pixels in the label and caption.
    int labelInk = 0, captionInk = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 120; ++x) labelInk += p.At(d->LabelRect(1).x + x, d->LabelRect(1).y + y) == black;
    for (int y = 3; y < 20; ++y)
        for (int x = 3; x < 120; ++x) captionInk += p.At(x, y) == GetSystemColour(kSysCaptionText);
    EXPECT_GT(labelInk, 20);
    EXPECT_GT(captionInk, 20);

    // With the focus on Cancel, Cancel takes the default frame.
    for (int i = 0; i < 3; ++i) Key(*d, kVkTab);
    CDialogPixels q(d->GetWindowWidth(), d->GetWindowHeight());
    d->Paint(q);
    EXPECT_EQ(q.At(cancel.x, cancel.y + 10), black);
    EXPECT_EQ(q.At(ok.x, ok.y + 10), GetSystemColour(kSysWindow));
    EXPECT_EQ(q.At(b1.x + 100, b1.y + 10), GetSystemColour(kSysWindow));

    // The open list highlights the item under the keyboard.
    auto l = Dialog({{"i0", "i1", "i2"}});
    Key(*l, kVkF1 + 3);
    Key(*l, kVkDown);
    SDialogRect lr = l->ListRect();
    CDialogPixels list(lr.width, lr.height);
    l->PaintList(list);
    EXPECT_EQ(list.At(0, 0), black);
    EXPECT_EQ(list.At(lr.width - 2, 1 + 14 + 7), GetSystemColour(kSysHighlight));
    EXPECT_EQ(list.At(lr.width - 2, 1 + 7), GetSystemColour(kSysWindow));
}
