// The list box: rows of text with optional icons (cels of a view), vertical scrolling, a selected
// row, keyboard navigation and double-clicks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "gui/GUIElement.h"

namespace ove {

class CListBox : public CGUIElement {
public:
    // Milliseconds within which a second click on the same row is a double-click.
    static constexpr std::uint32_t kDoubleClickTime = 200;

    struct SItem {
        std::int32_t loop = -1;  // -1: no icon
        std::int32_t cel = 0;
        std::string text;
    };

    // Paddings 8; inside a parent with the system look it takes that look.
    explicit CListBox(CGUIElement* parent);

    void Draw(CRenderer& renderer) override;
    bool CanFocus() override { return true; }
    void SetStyle(std::int32_t style) override;
    bool OnLButtonDown(std::int32_t x, std::int32_t y) override;
    bool OnWheel(std::int32_t delta) override;
    bool OnKey(std::int32_t key) override;

    // Appends an item and returns its index; the first icon found sets the icon size. A list
    // without a selection selects item 0.
    std::int32_t AddItem(const char* text, std::int32_t loop = -1, std::int32_t cel = -1);
    void Clear();
    std::int32_t GetCount() const { return static_cast<std::int32_t>(m_items.size()); }
    const SItem& GetItem(std::int32_t i) const { return m_items[static_cast<std::size_t>(i)]; }
    // i when it names an item, else -1. No script event.
    void SetIndex(std::int32_t i);
    std::int32_t GetIndex() const { return m_selected; }
    // Clamped to 0 .. content height - client height - 1.
    void SetOffset(std::int32_t offset);
    std::int32_t GetOffset() const { return m_offset; }
    void LineUp();
    void LineDown();
    void PageUp();
    void PageDown();
    void ToStart();
    void ToEnd();
    // Scrolls so that row i is centred.
    void ToIndex(std::int32_t i);
    // The row under a render-target point, or -1 outside the client area or below the last row.
    std::int32_t ItemAt(std::int32_t x, std::int32_t y);
    // Icons come from this view (a reference is kept); the icon size is forgotten.
    void SetView(CView* view);
    CView* GetView() const { return m_view.Get(); }
    std::int32_t GetItemHeight();
    std::int32_t GetIconWidth() const { return m_iconWidth; }
    std::int32_t GetIconHeight() const { return m_iconHeight; }

    std::uint32_t selectionBackground = 0xFFFFFFFFu;
    std::uint32_t selectionColour = 0xFF000000u;

private:
    std::int32_t ContentHeight();
    std::int32_t VisibleRows();
    // Selects, centres the row and reports "onChange".
    bool KeySelect(std::int32_t index, bool centre);

    std::vector<SItem> m_items;
    std::int32_t m_selected = -1;
    std::int32_t m_offset = 0;
    TResourceRef<CView> m_view;
    std::int32_t m_iconWidth = 0;
    std::int32_t m_iconHeight = 0;
    std::int32_t m_lastClicked = -1;
    std::uint32_t m_clickDeadline = 0;
};

}  // namespace ove
