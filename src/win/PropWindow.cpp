#include "PropWindow.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "platform/Events.h"
#include "platform/Keys.h"
#include "platform/NativeWindow.h"
#include "platform/Signals.h"
#include "platform/SystemColours.h"
#include "platform/WindowPixels.h"

namespace ove {

namespace {

constexpr int kCloseBox = 3;
constexpr int kListMaxHeight = 80;  // the box's height including its list
constexpr int kArrowWidth = 16;

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

// The open list of a combo box: a window of its own so that it can reach below the dialog.
class CDropListWindow : public CWindow {
public:
    explicit CDropListWindow(CPropWindow& dialog) : dialog_(dialog) {}
    bool OnMouseMove(std::uint32_t, std::int32_t x, std::int32_t y) override {
        dialog_.ListMouseMove(x, y);
        return true;
    }
    bool OnLButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) override {
        dialog_.ListClick(x, y);
        return true;
    }
    bool OnMouseWheel(std::uint32_t, std::int32_t delta, std::int32_t, std::int32_t) override {
        dialog_.ListWheel(delta);
        return true;
    }
    bool OnPaint() override {
        Redraw();
        return true;
    }
    bool OnClose() override { return true; }
    void Redraw() {
        CDialogPixels pixels(GetClientWidth(), GetClientHeight(), GetSystemColour(kSysWindow));
        dialog_.PaintList(pixels);
        PresentPixels(GetHandle(), pixels.Data(), pixels.Width(), pixels.Height());
    }

private:
    CPropWindow& dialog_;
};

CPropWindow::CPropWindow(CWindow* owner, std::string title)
    : owner_(owner), title_(std::move(title)), rowWidth_(kDialogWidth - 2 * kDialogFrame),
      controlWidth_(224 - 2 * kDialogFrame), currentControlWidth_(controlWidth_) {
    doubleClicks_ = false;
}

CPropWindow::~CPropWindow() {
    list_.reset();
    Destroy();
}

int CPropWindow::AddComboBox(const std::string& label, bool sorted) {
    SControl c;
    c.label = label;
    c.sorted = sorted;
    controls_.push_back(std::move(c));
    currentY_ += 28;
    return static_cast<int>(controls_.size());
}

int CPropWindow::AddItem(const std::string& text, bool select) {
    if (controls_.empty()) return -1;
    SControl& c = controls_.back();
    auto at = c.items.end();
    if (c.sorted) at = std::upper_bound(c.items.begin(), c.items.end(), text, LessNoCase);
    int index = static_cast<int>(at - c.items.begin());
    c.items.insert(at, text);
    if (c.stored >= index) ++c.stored;
    if (select) c.stored = index;
    c.current = c.stored;
    return index;
}

int CPropWindow::GetSelection(int row) const {
    if (row < 1 || row > GetRowCount()) return -1;
    return controls_[static_cast<size_t>(row - 1)].stored;
}

int CPropWindow::GetCurrentSelection(int row) const {
    if (row < 1 || row > GetRowCount()) return -1;
    return controls_[static_cast<size_t>(row - 1)].current;
}

// ---------------------------------------------------------------- layout

SDialogRect CPropWindow::LabelRect(int row) const {
    return {kDialogFrame + 8, ClientTop() + 8 + 28 * (row - 1), labelWidth_, rowHeight_};
}

SDialogRect CPropWindow::ControlRect(int row) const {
    return {kDialogFrame + 8 + labelWidth_, ClientTop() + 8 + 28 * (row - 1), currentControlWidth_, rowHeight_};
}

SDialogRect CPropWindow::ButtonRect(int id) const {
    int x = (id == kIdOK ? 194 : 277) - 2 * kDialogFrame;
    return {kDialogFrame + x, ClientTop() + currentY_, 75, 23};
}

SDialogRect CPropWindow::CloseBoxRect() const {
    return {kDialogWidth - kDialogFrame - 2 - 16, kDialogFrame + 2, 16, 14};
}

int CPropWindow::VisibleListItems() const {
    if (listRow_ < 1) return 0;
    int count = static_cast<int>(controls_[static_cast<size_t>(listRow_ - 1)].items.size());
    return std::clamp(count, 1, (kListMaxHeight - rowHeight_ - 2) / kDialogListItemHeight);
}

SDialogRect CPropWindow::ListRect() const {
    if (listRow_ < 1) return {};
    SDialogRect box = ControlRect(listRow_);
    return {box.x, box.y + box.height, box.width, VisibleListItems() * kDialogListItemHeight + 2};
}

int CPropWindow::ButtonAt(int x, int y) const {
    if (ButtonRect(kIdOK).Contains(x, y)) return kIdOK;
    if (ButtonRect(kIdCancel).Contains(x, y)) return kIdCancel;
    if (CloseBoxRect().Contains(x, y)) return kCloseBox;
    return 0;
}

int CPropWindow::RowAt(int x, int y) const {
    for (int row = 1; row <= GetRowCount(); ++row)
        if (ControlRect(row).Contains(x, y)) return row;
    return 0;
}

// ---------------------------------------------------------------- showing and finishing

void CPropWindow::PrepareToShow() {
    for (SControl& c : controls_) {
        if (c.stored >= static_cast<int>(c.items.size())) c.stored = -1;
        c.current = c.stored;
    }
    result_ = kRunning;
    focus_ = 0;  // the first row's control, or OK when there are no rows
    pressed_ = 0;
    prepared_ = true;
}

bool CPropWindow::ShowModal() {
    PrepareToShow();
    // The engine is ending: nobody is asked any more.
    if (TerminationRequested()) {
        Finish(false);
        return false;
    }
    SNativeWindowOptions options;
    options.borderless = true;
    if (!IsCreated() && !Create(title_, GetWindowWidth(), GetWindowHeight(), options)) {
        result_ = kCancel;
        couldNotShow_ = true;
        return false;
    }
    SetClientSize(GetWindowWidth(), GetWindowHeight());
    SWindowRect work;
    if (GetWorkArea(nullptr, work)) {
        SWindowRect now = GetWindowRect();
        MoveBy(work.x + (work.width - now.width) / 2 - now.x, work.y + (work.height - now.height) / 2 - now.y);
    }
    SetDraggableCaption(GetHandle(), kDialogFrame + kDialogCaption, kDialogFrame + 2 + 16 + 2);
    Show(EShow::ShowNormal);
    TakeKeyboardFocus(GetHandle());
    Redraw();
    // Polling, not waiting: SDL's wake-up of a waiting loop goes through a window of its choice,
    // which may be the drop-down list that a click has just destroyed.
    while (result_ == kRunning) {
        if (!PumpEvents() || TerminationRequested()) Finish(false);
        else if (result_ == kRunning) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return result_ == kOK;
}

void CPropWindow::Finish(bool ok) {
    if (result_ != kRunning) return;
    CloseList(false);
    Show(EShow::Hide);
    for (SControl& c : controls_) c.stored = c.current;
    result_ = ok ? kOK : kCancel;
    if (completion_) completion_(*this, ok);
}

void CPropWindow::Redraw() {
    if (!GetHandle()) return;
    CDialogPixels pixels(GetWindowWidth(), GetWindowHeight());
    Paint(pixels);
    PresentPixels(GetHandle(), pixels.Data(), pixels.Width(), pixels.Height());
    if (list_) list_->Redraw();
}

// ---------------------------------------------------------------- choosing

void CPropWindow::MoveFocus(int step) {
    int slots = GetRowCount() + 2;
    focus_ = ((focus_ + step) % slots + slots) % slots;
}

void CPropWindow::Select(int row, int index) {
    SControl& c = controls_[static_cast<size_t>(row - 1)];
    if (c.items.empty()) return;
    c.current = std::clamp(index, 0, static_cast<int>(c.items.size()) - 1);
}

void CPropWindow::OpenList(int row) {
    CloseList(false);
    const SControl& c = controls_[static_cast<size_t>(row - 1)];
    if (c.items.empty()) return;
    listRow_ = row;
    listTop_ = 0;
    MoveListHot(std::max(c.current, 0));
    if (!GetHandle()) return;
    // A separate window below the box, placed in desktop coordinates.
    SDialogRect r = ListRect();
    auto window = std::make_unique<CDropListWindow>(*this);
    int x = 0, y = 0;
    GetClientOrigin(GetHandle(), x, y);  // the dialog has no frame of the system's
    SNativeWindowOptions options;
    options.popupMenu = true;
    options.placed = true;
    options.x = x + r.x;
    options.y = y + r.y;
    if (!window->Create(std::string(), r.width, r.height, options)) return;
    window->Show(EShow::Show);
    list_ = std::move(window);
}

void CPropWindow::CloseList(bool accept) {
    if (listRow_ < 1) return;
    if (accept && listHot_ >= 0) Select(listRow_, listHot_);
    listRow_ = 0;
    listHot_ = -1;
    if (list_) {
        list_.reset();
        TakeKeyboardFocus(GetHandle());
    }
}

void CPropWindow::MoveListHot(int index) {
    const SControl& c = controls_[static_cast<size_t>(listRow_ - 1)];
    listHot_ = std::clamp(index, 0, static_cast<int>(c.items.size()) - 1);
    int visible = VisibleListItems();
    if (listHot_ < listTop_) listTop_ = listHot_;
    if (listHot_ >= listTop_ + visible) listTop_ = listHot_ - visible + 1;
}

bool CPropWindow::OnKeyDown(std::int32_t key, std::uint32_t) {
    if (!prepared_ || result_ != kRunning) return true;
    const int rows = GetRowCount();
    if (listRow_ >= 1) {
        int page = VisibleListItems();
        switch (key) {
        case kVkUp: MoveListHot(listHot_ - 1); break;
        case kVkDown: MoveListHot(listHot_ + 1); break;
        case kVkPrior: MoveListHot(listHot_ - page); break;
        case kVkNext: MoveListHot(listHot_ + page); break;
        case kVkHome: MoveListHot(0); break;
        case kVkEnd: MoveListHot(1 << 20); break;
        case kVkReturn:
        case kVkF1 + 3: CloseList(true); break;  // F4 closes as it opens
        case kVkTab:
            CloseList(true);
            MoveFocus(IsVirtualKeyDown(kVkShift) ? -1 : 1);
            break;
        case kVkEscape: CloseList(false); break;
        default: return true;
        }
        Redraw();
        return true;
    }
    const bool onRow = focus_ < rows;
    switch (key) {
    case kVkTab: MoveFocus(IsVirtualKeyDown(kVkShift) ? -1 : 1); break;
    case kVkReturn: Finish(focus_ != rows + 1); return true;  // OK is the default button
    case kVkEscape: Finish(false); return true;
    case kVkSpace:
        if (!onRow) {
            Finish(focus_ == rows);
            return true;
        }
        break;
    case kVkUp:
    case kVkLeft:
        if (onRow) Select(focus_ + 1, GetCurrentSelection(focus_ + 1) - 1);
        else MoveFocus(-1);
        break;
    case kVkDown:
    case kVkRight:
        if (onRow) Select(focus_ + 1, GetCurrentSelection(focus_ + 1) + 1);
        else MoveFocus(1);
        break;
    case kVkHome:
        if (onRow) Select(focus_ + 1, 0);
        break;
    case kVkEnd:
        if (onRow) Select(focus_ + 1, 1 << 20);
        break;
    case kVkF1 + 3:
        if (onRow) OpenList(focus_ + 1);
        break;
    default: return true;
    }
    Redraw();
    return true;
}

bool CPropWindow::OnSysKeyDown(std::int32_t key, std::uint32_t flags) {
    // Alt+Down and Alt+Up open and close the list, as on a desktop combo box.
    if ((flags & kKeyFlagAlt) && (key == kVkDown || key == kVkUp) && prepared_ && result_ == kRunning) {
        if (listRow_ >= 1) CloseList(true);
        else if (focus_ < GetRowCount()) OpenList(focus_ + 1);
        Redraw();
        return true;
    }
    return false;
}

bool CPropWindow::OnChar(std::int32_t character, std::uint32_t) {
    // A letter picks the next item that begins with it.
    int row = listRow_ >= 1 ? listRow_ : focus_ + 1;
    if (!prepared_ || result_ != kRunning || character <= 32 || row > GetRowCount()) return true;
    const SControl& c = controls_[static_cast<size_t>(row - 1)];
    int n = static_cast<int>(c.items.size());
    int from = listRow_ >= 1 ? listHot_ : c.current;
    auto lower = [](int ch) { return std::tolower(ch & 0xFF); };
    for (int step = 1; step <= n; ++step) {
        int i = ((from < 0 ? -1 : from) + step) % n;
        const std::string& item = c.items[static_cast<size_t>(i)];
        if (!item.empty() && lower(static_cast<unsigned char>(item[0])) == lower(character)) {
            if (listRow_ >= 1) MoveListHot(i);
            else Select(row, i);
            break;
        }
    }
    Redraw();
    return true;
}

bool CPropWindow::OnLButtonDown(std::uint32_t, std::int32_t x, std::int32_t y) {
    if (!prepared_ || result_ != kRunning) return true;
    int openRow = listRow_;
    CloseList(false);
    if (int row = RowAt(x, y)) {
        focus_ = row - 1;
        if (row != openRow) OpenList(row);  // a second click on the open box closes it
    } else if (int button = ButtonAt(x, y)) {
        pressed_ = button;
        pressedIn_ = true;
        if (button != kCloseBox) focus_ = GetRowCount() + button - 1;
    }
    Redraw();
    return true;
}

bool CPropWindow::OnLButtonDblClk(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return OnLButtonDown(keys, x, y);
}

bool CPropWindow::OnMouseMove(std::uint32_t, std::int32_t x, std::int32_t y) {
    if (!pressed_) return true;
    bool in = ButtonAt(x, y) == pressed_;
    if (in != pressedIn_) {
        pressedIn_ = in;
        Redraw();
    }
    return true;
}

bool CPropWindow::OnLButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) {
    int button = pressed_;
    pressed_ = 0;
    if (!button || result_ != kRunning) return true;
    if (ButtonAt(x, y) == button) {
        Finish(button == kIdOK);
        return true;
    }
    Redraw();
    return true;
}

bool CPropWindow::OnMouseWheel(std::uint32_t, std::int32_t delta, std::int32_t x, std::int32_t y) {
    if (!prepared_ || result_ != kRunning) return true;
    if (listRow_ >= 1) {
        ListWheel(delta);
        return true;
    }
    if (int row = RowAt(x, y)) {
        Select(row, GetCurrentSelection(row) + (delta > 0 ? -1 : 1));
        Redraw();
    }
    return true;
}

bool CPropWindow::OnClose() {
    Finish(false);
    return true;
}

bool CPropWindow::OnPaint() {
    Redraw();
    return true;
}

void CPropWindow::ListMouseMove(int, int y) {
    if (listRow_ < 1) return;
    int index = listTop_ + (y - 1) / kDialogListItemHeight;
    if (y < 1 || index >= listTop_ + VisibleListItems()) return;
    if (index != listHot_) {
        MoveListHot(index);
        Redraw();
    }
}

void CPropWindow::ListClick(int x, int y) {
    if (listRow_ < 1) return;
    SDialogRect r = ListRect();
    if (x < 0 || y < 1 || x >= r.width || y >= r.height - 1) return;
    MoveListHot(listTop_ + (y - 1) / kDialogListItemHeight);
    CloseList(true);
    Redraw();
}

void CPropWindow::ListWheel(int delta) {
    if (listRow_ < 1) return;
    const SControl& c = controls_[static_cast<size_t>(listRow_ - 1)];
    int most = std::max(static_cast<int>(c.items.size()) - VisibleListItems(), 0);
    listTop_ = std::clamp(listTop_ + (delta > 0 ? -1 : 1), 0, most);
    Redraw();
}

// ---------------------------------------------------------------- painting

void CPropWindow::Paint(CDialogPixels& p) const {
    const std::uint32_t face = GetSystemColour(kSysButtonFace), text = GetSystemColour(kSysButtonText);
    const std::uint32_t field = GetSystemColour(kSysWindow), fieldText = GetSystemColour(kSysWindowText);
    const int w = GetWindowWidth(), h = GetWindowHeight();
    p.Fill({0, 0, w, h}, face);
    p.Edge3D({0, 0, w, h}, true);

    SDialogRect caption{kDialogFrame, kDialogFrame, w - 2 * kDialogFrame, kDialogCaption - 1};
    p.Fill(caption, GetSystemColour(kSysActiveCaption));
    SDialogRect close = CloseBoxRect();
    SDialogRect titleClip{caption.x, caption.y, close.x - 2 - caption.x, caption.height};
    p.Text(caption.x + 3, caption.y + (caption.height - DialogGlyphHeight()) / 2, title_,
           GetSystemColour(kSysCaptionText), titleClip);
    bool closeDown = pressed_ == kCloseBox && pressedIn_;
    p.Fill(close, face);
    p.Edge3D(close, !closeDown);
    for (int i = 0; i < 6; ++i) {  // the cross
        int d = closeDown ? 1 : 0;
        p.Fill({close.x + 4 + i + d, close.y + 3 + i + d, 2, 1}, text);
        p.Fill({close.x + 9 - i + d, close.y + 3 + i + d, 2, 1}, text);
    }

    const int rows = GetRowCount();
    for (int row = 1; row <= rows; ++row) {
        const SControl& c = controls_[static_cast<size_t>(row - 1)];
        SDialogRect label = LabelRect(row);
        p.Text(label.x, label.y + (label.height - DialogGlyphHeight()) / 2 + 1, c.label, text, label);

        SDialogRect box = ControlRect(row);
        p.Edge3D(box, false);
        p.Fill({box.x + 2, box.y + 2, box.width - 4, box.height - 4}, field);
        SDialogRect arrow{box.x + box.width - 2 - kArrowWidth, box.y + 2, kArrowWidth, box.height - 4};
        p.Fill(arrow, face);
        bool open = listRow_ == row;
        p.Edge3D(arrow, !open);
        p.DownArrow(open ? SDialogRect{arrow.x + 1, arrow.y + 1, arrow.width, arrow.height} : arrow, text);

        SDialogRect area{box.x + 3, box.y + 3, arrow.x - box.x - 4, box.height - 6};
        bool focused = focus_ == row - 1 && !open;
        if (focused) p.Fill(area, GetSystemColour(kSysHighlight));
        if (c.current >= 0 && c.current < static_cast<int>(c.items.size())) {
            p.Text(area.x + 2, area.y + (area.height - DialogGlyphHeight()) / 2 + 1, c.items[static_cast<size_t>(c.current)],
                   focused ? GetSystemColour(kSysHighlightText) : fieldText, area);
        }
        if (focused) p.FocusFrame(area, GetSystemColour(kSysHighlightText));
    }

    const int defaultButton = focus_ == rows + 1 ? kIdCancel : kIdOK;
    for (int id : {kIdOK, kIdCancel}) {
        SDialogRect b = ButtonRect(id);
        bool down = pressed_ == id && pressedIn_;
        SDialogRect inner = b;
        if (id == defaultButton) {
            p.Frame(b, fieldText);
            inner = {b.x + 1, b.y + 1, b.width - 2, b.height - 2};
        }
        if (down) {
            p.Frame(inner, GetSystemColour(kSysGrayText));
        } else {
            p.Edge3D(inner, true);
        }
        const char* caption = id == kIdOK ? "OK" : "Cancel";
        int tx = b.x + (b.width - DialogTextWidth(caption)) / 2 + (down ? 1 : 0);
        int ty = b.y + (b.height - DialogGlyphHeight()) / 2 + 1 + (down ? 1 : 0);
        p.Text(tx, ty, caption, text, inner);
        if (focus_ == rows + id - 1) p.FocusFrame({b.x + 4, b.y + 4, b.width - 8, b.height - 8}, text);
    }
}

void CPropWindow::PaintList(CDialogPixels& p) const {
    if (listRow_ < 1) return;
    const SControl& c = controls_[static_cast<size_t>(listRow_ - 1)];
    SDialogRect r{0, 0, p.Width(), p.Height()};
    p.Fill(r, GetSystemColour(kSysWindow));
    p.Frame(r, GetSystemColour(kSysWindowText));
    int visible = VisibleListItems();
    for (int i = 0; i < visible; ++i) {
        int index = listTop_ + i;
        if (index >= static_cast<int>(c.items.size())) break;
        SDialogRect item{1, 1 + i * kDialogListItemHeight, r.width - 2, kDialogListItemHeight};
        bool hot = index == listHot_;
        if (hot) p.Fill(item, GetSystemColour(kSysHighlight));
        p.Text(item.x + 2, item.y, c.items[static_cast<size_t>(index)],
               GetSystemColour(hot ? kSysHighlightText : kSysWindowText), item);
    }
}

}  // namespace ove
