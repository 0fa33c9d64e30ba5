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
    explicit CDropListWindow(CPropWindow& dialog) : m_dialog(dialog) {}
    bool OnMouseMove(std::uint32_t, std::int32_t x, std::int32_t y) override {
        m_dialog.ListMouseMove(x, y);
        return true;
    }
    bool OnLButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) override {
        m_dialog.ListClick(x, y);
        return true;
    }
    bool OnMouseWheel(std::uint32_t, std::int32_t delta, std::int32_t, std::int32_t) override {
        m_dialog.ListWheel(delta);
        return true;
    }
    bool OnPaint() override {
        Redraw();
        return true;
    }
    bool OnClose() override { return true; }
    void Redraw() {
        CDialogPixels pixels(GetClientWidth(), GetClientHeight(), GetSystemColour(kSysWindow));
        m_dialog.PaintList(pixels);
        PresentPixels(GetHandle(), pixels.Data(), pixels.Width(), pixels.Height());
    }

private:
    CPropWindow& m_dialog;
};

CPropWindow::CPropWindow(CWindow* /*owner: the dialog is always a window of its own*/, std::string title)
    : m_title(std::move(title)), m_controlWidth(224 - 2 * kDialogFrame), m_currentControlWidth(m_controlWidth) {
    m_doubleClicks = false;
}

CPropWindow::~CPropWindow() {
    m_list.reset();
    Destroy();
}

int CPropWindow::AddComboBox(const std::string& label, bool sorted) {
    SControl c;
    c.label = label;
    c.sorted = sorted;
    m_controls.push_back(std::move(c));
    m_currentY += 28;
    return static_cast<int>(m_controls.size());
}

int CPropWindow::AddItem(const std::string& text, bool select) {
    if (m_controls.empty()) return -1;
    SControl& c = m_controls.back();
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
    return m_controls[static_cast<size_t>(row - 1)].stored;
}

int CPropWindow::GetCurrentSelection(int row) const {
    if (row < 1 || row > GetRowCount()) return -1;
    return m_controls[static_cast<size_t>(row - 1)].current;
}

// ---------------------------------------------------------------- layout

SDialogRect CPropWindow::LabelRect(int row) const {
    return {kDialogFrame + 8, ClientTop() + 8 + 28 * (row - 1), m_labelWidth, m_rowHeight};
}

SDialogRect CPropWindow::ControlRect(int row) const {
    return {kDialogFrame + 8 + m_labelWidth, ClientTop() + 8 + 28 * (row - 1), m_currentControlWidth, m_rowHeight};
}

SDialogRect CPropWindow::ButtonRect(int id) const {
    int x = (id == kIdOK ? 194 : 277) - 2 * kDialogFrame;
    return {kDialogFrame + x, ClientTop() + m_currentY, 75, 23};
}

SDialogRect CPropWindow::CloseBoxRect() const {
    return {kDialogWidth - kDialogFrame - 2 - 16, kDialogFrame + 2, 16, 14};
}

int CPropWindow::VisibleListItems() const {
    if (m_listRow < 1) return 0;
    int count = static_cast<int>(m_controls[static_cast<size_t>(m_listRow - 1)].items.size());
    return std::clamp(count, 1, (kListMaxHeight - m_rowHeight - 2) / kDialogListItemHeight);
}

SDialogRect CPropWindow::ListRect() const {
    if (m_listRow < 1) return {};
    SDialogRect box = ControlRect(m_listRow);
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
    for (SControl& c : m_controls) {
        if (c.stored >= static_cast<int>(c.items.size())) c.stored = -1;
        c.current = c.stored;
    }
    m_result = kRunning;
    m_focus = 0;  // the first row's control, or OK when there are no rows
    m_pressed = 0;
    m_prepared = true;
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
    if (!IsCreated() && !Create(m_title, GetWindowWidth(), GetWindowHeight(), options)) {
        m_result = kCancel;
        m_couldNotShow = true;
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
    while (m_result == kRunning) {
        if (!PumpEvents() || TerminationRequested()) Finish(false);
        else if (m_result == kRunning) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_result == kOK;
}

void CPropWindow::Finish(bool ok) {
    if (m_result != kRunning) return;
    CloseList(false);
    Show(EShow::Hide);
    for (SControl& c : m_controls) c.stored = c.current;
    m_result = ok ? kOK : kCancel;
    if (m_completion) m_completion(*this, ok);
}

void CPropWindow::Redraw() {
    if (!GetHandle()) return;
    CDialogPixels pixels(GetWindowWidth(), GetWindowHeight());
    Paint(pixels);
    PresentPixels(GetHandle(), pixels.Data(), pixels.Width(), pixels.Height());
    if (m_list) m_list->Redraw();
}

// ---------------------------------------------------------------- choosing

void CPropWindow::MoveFocus(int step) {
    int slots = GetRowCount() + 2;
    m_focus = ((m_focus + step) % slots + slots) % slots;
}

void CPropWindow::Select(int row, int index) {
    SControl& c = m_controls[static_cast<size_t>(row - 1)];
    if (c.items.empty()) return;
    c.current = std::clamp(index, 0, static_cast<int>(c.items.size()) - 1);
}

void CPropWindow::OpenList(int row) {
    CloseList(false);
    const SControl& c = m_controls[static_cast<size_t>(row - 1)];
    if (c.items.empty()) return;
    m_listRow = row;
    m_listTop = 0;
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
    m_list = std::move(window);
}

void CPropWindow::CloseList(bool accept) {
    if (m_listRow < 1) return;
    if (accept && m_listHot >= 0) Select(m_listRow, m_listHot);
    m_listRow = 0;
    m_listHot = -1;
    if (m_list) {
        m_list.reset();
        TakeKeyboardFocus(GetHandle());
    }
}

void CPropWindow::MoveListHot(int index) {
    const SControl& c = m_controls[static_cast<size_t>(m_listRow - 1)];
    m_listHot = std::clamp(index, 0, static_cast<int>(c.items.size()) - 1);
    int visible = VisibleListItems();
    if (m_listHot < m_listTop) m_listTop = m_listHot;
    if (m_listHot >= m_listTop + visible) m_listTop = m_listHot - visible + 1;
}

bool CPropWindow::OnKeyDown(std::int32_t key, std::uint32_t) {
    if (!m_prepared || m_result != kRunning) return true;
    const int rows = GetRowCount();
    if (m_listRow >= 1) {
        int page = VisibleListItems();
        switch (key) {
        case kVkUp: MoveListHot(m_listHot - 1); break;
        case kVkDown: MoveListHot(m_listHot + 1); break;
        case kVkPrior: MoveListHot(m_listHot - page); break;
        case kVkNext: MoveListHot(m_listHot + page); break;
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
    const bool onRow = m_focus < rows;
    switch (key) {
    case kVkTab: MoveFocus(IsVirtualKeyDown(kVkShift) ? -1 : 1); break;
    case kVkReturn: Finish(m_focus != rows + 1); return true;  // OK is the default button
    case kVkEscape: Finish(false); return true;
    case kVkSpace:
        if (!onRow) {
            Finish(m_focus == rows);
            return true;
        }
        break;
    case kVkUp:
    case kVkLeft:
        if (onRow) Select(m_focus + 1, GetCurrentSelection(m_focus + 1) - 1);
        else MoveFocus(-1);
        break;
    case kVkDown:
    case kVkRight:
        if (onRow) Select(m_focus + 1, GetCurrentSelection(m_focus + 1) + 1);
        else MoveFocus(1);
        break;
    case kVkHome:
        if (onRow) Select(m_focus + 1, 0);
        break;
    case kVkEnd:
        if (onRow) Select(m_focus + 1, 1 << 20);
        break;
    case kVkF1 + 3:
        if (onRow) OpenList(m_focus + 1);
        break;
    default: return true;
    }
    Redraw();
    return true;
}

bool CPropWindow::OnSysKeyDown(std::int32_t key, std::uint32_t flags) {
    // Alt+Down and Alt+Up open and close the list, as on a desktop combo box.
    if ((flags & kKeyFlagAlt) && (key == kVkDown || key == kVkUp) && m_prepared && m_result == kRunning) {
        if (m_listRow >= 1) CloseList(true);
        else if (m_focus < GetRowCount()) OpenList(m_focus + 1);
        Redraw();
        return true;
    }
    return false;
}

bool CPropWindow::OnChar(std::int32_t character, std::uint32_t) {
    // A letter picks the next item that begins with it.
    int row = m_listRow >= 1 ? m_listRow : m_focus + 1;
    if (!m_prepared || m_result != kRunning || character <= 32 || row > GetRowCount()) return true;
    const SControl& c = m_controls[static_cast<size_t>(row - 1)];
    int n = static_cast<int>(c.items.size());
    int from = m_listRow >= 1 ? m_listHot : c.current;
    auto lower = [](int ch) { return std::tolower(ch & 0xFF); };
    for (int step = 1; step <= n; ++step) {
        int i = ((from < 0 ? -1 : from) + step) % n;
        const std::string& item = c.items[static_cast<size_t>(i)];
        if (!item.empty() && lower(static_cast<unsigned char>(item[0])) == lower(character)) {
            if (m_listRow >= 1) MoveListHot(i);
            else Select(row, i);
            break;
        }
    }
    Redraw();
    return true;
}

bool CPropWindow::OnLButtonDown(std::uint32_t, std::int32_t x, std::int32_t y) {
    if (!m_prepared || m_result != kRunning) return true;
    int openRow = m_listRow;
    CloseList(false);
    if (int row = RowAt(x, y)) {
        m_focus = row - 1;
        if (row != openRow) OpenList(row);  // a second click on the open box closes it
    } else if (int button = ButtonAt(x, y)) {
        m_pressed = button;
        m_pressedIn = true;
        if (button != kCloseBox) m_focus = GetRowCount() + button - 1;
    }
    Redraw();
    return true;
}

bool CPropWindow::OnLButtonDblClk(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return OnLButtonDown(keys, x, y);
}

bool CPropWindow::OnMouseMove(std::uint32_t, std::int32_t x, std::int32_t y) {
    if (!m_pressed) return true;
    bool in = ButtonAt(x, y) == m_pressed;
    if (in != m_pressedIn) {
        m_pressedIn = in;
        Redraw();
    }
    return true;
}

bool CPropWindow::OnLButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) {
    int button = m_pressed;
    m_pressed = 0;
    if (!button || m_result != kRunning) return true;
    if (ButtonAt(x, y) == button) {
        Finish(button == kIdOK);
        return true;
    }
    Redraw();
    return true;
}

bool CPropWindow::OnMouseWheel(std::uint32_t, std::int32_t delta, std::int32_t x, std::int32_t y) {
    if (!m_prepared || m_result != kRunning) return true;
    if (m_listRow >= 1) {
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
    if (m_listRow < 1) return;
    int index = m_listTop + (y - 1) / kDialogListItemHeight;
    if (y < 1 || index >= m_listTop + VisibleListItems()) return;
    if (index != m_listHot) {
        MoveListHot(index);
        Redraw();
    }
}

void CPropWindow::ListClick(int x, int y) {
    if (m_listRow < 1) return;
    SDialogRect r = ListRect();
    if (x < 0 || y < 1 || x >= r.width || y >= r.height - 1) return;
    MoveListHot(m_listTop + (y - 1) / kDialogListItemHeight);
    CloseList(true);
    Redraw();
}

void CPropWindow::ListWheel(int delta) {
    if (m_listRow < 1) return;
    const SControl& c = m_controls[static_cast<size_t>(m_listRow - 1)];
    int most = std::max(static_cast<int>(c.items.size()) - VisibleListItems(), 0);
    m_listTop = std::clamp(m_listTop + (delta > 0 ? -1 : 1), 0, most);
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
    p.Text(caption.x + 3, caption.y + (caption.height - DialogGlyphHeight()) / 2, m_title,
           GetSystemColour(kSysCaptionText), titleClip);
    bool closeDown = m_pressed == kCloseBox && m_pressedIn;
    p.Fill(close, face);
    p.Edge3D(close, !closeDown);
    for (int i = 0; i < 6; ++i) {  // the cross
        int d = closeDown ? 1 : 0;
        p.Fill({close.x + 4 + i + d, close.y + 3 + i + d, 2, 1}, text);
        p.Fill({close.x + 9 - i + d, close.y + 3 + i + d, 2, 1}, text);
    }

    const int rows = GetRowCount();
    for (int row = 1; row <= rows; ++row) {
        const SControl& c = m_controls[static_cast<size_t>(row - 1)];
        SDialogRect label = LabelRect(row);
        p.Text(label.x, label.y + (label.height - DialogGlyphHeight()) / 2 + 1, c.label, text, label);

        SDialogRect box = ControlRect(row);
        p.Edge3D(box, false);
        p.Fill({box.x + 2, box.y + 2, box.width - 4, box.height - 4}, field);
        SDialogRect arrow{box.x + box.width - 2 - kArrowWidth, box.y + 2, kArrowWidth, box.height - 4};
        p.Fill(arrow, face);
        bool open = m_listRow == row;
        p.Edge3D(arrow, !open);
        p.DownArrow(open ? SDialogRect{arrow.x + 1, arrow.y + 1, arrow.width, arrow.height} : arrow, text);

        SDialogRect area{box.x + 3, box.y + 3, arrow.x - box.x - 4, box.height - 6};
        bool focused = m_focus == row - 1 && !open;
        if (focused) p.Fill(area, GetSystemColour(kSysHighlight));
        if (c.current >= 0 && c.current < static_cast<int>(c.items.size())) {
            p.Text(area.x + 2, area.y + (area.height - DialogGlyphHeight()) / 2 + 1,
                   c.items[static_cast<size_t>(c.current)], focused ? GetSystemColour(kSysHighlightText) : fieldText,
                   area);
        }
        if (focused) p.FocusFrame(area, GetSystemColour(kSysHighlightText));
    }

    const int defaultButton = m_focus == rows + 1 ? kIdCancel : kIdOK;
    for (int id : {kIdOK, kIdCancel}) {
        SDialogRect b = ButtonRect(id);
        bool down = m_pressed == id && m_pressedIn;
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
        if (m_focus == rows + id - 1) p.FocusFrame({b.x + 4, b.y + 4, b.width - 8, b.height - 8}, text);
    }
}

void CPropWindow::PaintList(CDialogPixels& p) const {
    if (m_listRow < 1) return;
    const SControl& c = m_controls[static_cast<size_t>(m_listRow - 1)];
    SDialogRect r{0, 0, p.Width(), p.Height()};
    p.Fill(r, GetSystemColour(kSysWindow));
    p.Frame(r, GetSystemColour(kSysWindowText));
    int visible = VisibleListItems();
    for (int i = 0; i < visible; ++i) {
        int index = m_listTop + i;
        if (index >= static_cast<int>(c.items.size())) break;
        SDialogRect item{1, 1 + i * kDialogListItemHeight, r.width - 2, kDialogListItemHeight};
        bool hot = index == m_listHot;
        if (hot) p.Fill(item, GetSystemColour(kSysHighlight));
        p.Text(item.x + 2, item.y, c.items[static_cast<size_t>(index)],
               GetSystemColour(hot ? kSysHighlightText : kSysWindowText), item);
    }
}

}  // namespace ove
