// A small modal dialog of labelled rows with "OK" and "Cancel", laid out by fixed rules; the
// start-up "Select source" dialog is one with combo-box rows. It is a borderless window that
// draws everything itself (frame, caption, controls) in the system colours and the dialog font,
// so that its size is the same with or without a window manager.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "win/DialogPaint.h"
#include "win/Window.h"

namespace ove {

class CDropListWindow;

// Metrics of the dialog's own frame and caption (the values of a classic desktop theme).
constexpr int kDialogFrame = 3;     // fixed frame, each side
constexpr int kDialogCaption = 18;  // caption bar drawn inside the frame
constexpr int kDialogWidth = 360;
constexpr int kDialogListItemHeight = 14;

class CPropWindow : public CWindow {
public:
    enum EResult { kRunning = 0, kOK = 1, kCancel = 2 };
    enum EControlKind { kComboBox = 4 };
    // Button ids (and focus slots after the rows).
    enum : int { kIdOK = 1, kIdCancel = 2 };
    using Completion = std::function<void(CPropWindow&, bool ok)>;

    // The window itself is made when the dialog is shown. The owner is kept for the caller;
    // the engine's own windows have no enabled state to take from it.
    CPropWindow(CWindow* owner, std::string title);
    ~CPropWindow() override;

    // Adds a row with a combo box; rows are numbered from 1. Sorted boxes keep their items in
    // alphabetical order without regard to case.
    int AddComboBox(const std::string& label, bool sorted);
    // Adds to the last row's box; returns the new item's index, -1 without a row.
    int AddItem(const std::string& text, bool select);
    // Shows the dialog and runs it until OK or Cancel; true for OK. A quit request or a
    // terminating signal meanwhile counts as Cancel.
    bool ShowModal();
    // The selection stored for a row (after the dialog finished: the one chosen); -1 for none
    // or for a row that does not exist.
    int GetSelection(int row) const;
    void SetCompletion(Completion completion) { m_completion = std::move(completion); }
    int GetResult() const { return m_result; }
    // ShowModal answered false because the window could not be made, not because of the user.
    bool CouldNotShow() const { return m_couldNotShow; }
    const std::string& GetTitleText() const { return m_title; }

    // ---- layout, in window coordinates (the frame's outer corner is 0, 0)
    int GetWindowWidth() const { return kDialogWidth; }
    int GetWindowHeight() const { return kDialogCaption + m_currentY + 2 * kDialogFrame + 31; }
    int GetRowCount() const { return static_cast<int>(m_controls.size()); }
    SDialogRect LabelRect(int row) const;
    SDialogRect ControlRect(int row) const;  // the closed combo box
    SDialogRect ButtonRect(int id) const;
    SDialogRect CloseBoxRect() const;
    // The open drop-down list, relative to the window's corner (it may reach below the window).
    SDialogRect ListRect() const;

    // ---- state the keyboard and mouse act on
    // Focus slots: rows 0 .. n-1, then OK (n) and Cancel (n + 1).
    int GetFocus() const { return m_focus; }
    int GetCurrentSelection(int row) const;
    int GetOpenListRow() const { return m_listRow; }  // 1-based; 0 when closed
    int GetListHot() const { return m_listHot; }

    // Draws the dialog; the list's own window draws through PaintList.
    void Paint(CDialogPixels& into) const;
    void PaintList(CDialogPixels& into) const;

    // Prepares the rows and buttons as showing does, without a window (layout and input
    // without a screen).
    void PrepareToShow();

    bool OnKeyDown(std::int32_t virtualKey, std::uint32_t flags) override;
    bool OnSysKeyDown(std::int32_t virtualKey, std::uint32_t flags) override;
    bool OnChar(std::int32_t character, std::uint32_t flags) override;
    bool OnLButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnLButtonDblClk(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnLButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnMouseMove(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnMouseWheel(std::uint32_t keys, std::int32_t delta, std::int32_t x, std::int32_t y) override;
    bool OnClose() override;
    bool OnPaint() override;

    // The drop-down list's input, in list coordinates.
    void ListMouseMove(int x, int y);
    void ListClick(int x, int y);
    void ListWheel(int delta);

private:
    struct SControl {
        std::string label;
        EControlKind kind = kComboBox;
        bool sorted = false;
        std::vector<std::string> items;
        int stored = -1;   // selection kept in the record (read back when the dialog finishes)
        int current = -1;  // selection shown while the dialog runs
    };

    int ClientTop() const { return kDialogFrame + kDialogCaption; }
    int ButtonAt(int x, int y) const;  // kIdOK, kIdCancel, 3 for the close box, 0 for none
    int RowAt(int x, int y) const;     // 1-based row whose box is under the point, 0 for none
    int VisibleListItems() const;
    void MoveFocus(int step);
    void Select(int row, int index);
    void OpenList(int row);
    void CloseList(bool accept);
    void MoveListHot(int index);
    void Finish(bool ok);
    void Redraw();

    std::string m_title;
    std::vector<SControl> m_controls;
    // Layout values.
    int m_labelWidth = 120;
    int m_controlWidth;
    int m_currentControlWidth;
    int m_rowHeight = 20;
    int m_currentY = 8;

    int m_result = kRunning;
    Completion m_completion;
    bool m_prepared = false;
    bool m_couldNotShow = false;
    int m_focus = 0;
    int m_pressed = 0;  // button held down by the mouse
    bool m_pressedIn = false;
    int m_listRow = 0;
    int m_listHot = -1;
    int m_listTop = 0;
    std::unique_ptr<CDropListWindow> m_list;
};

}  // namespace ove
