#include "gui/ListBox.h"

#include <algorithm>

#include "gui/Ticks.h"
#include "platform/SystemColours.h"
#include "render/Renderer.h"
#include "text/Text.h"

namespace ove {

namespace {

enum : std::int32_t {
    kKeyHome = 0x4700,
    kKeyUp = 0x4800,
    kKeyPageUp = 0x4900,
    kKeyEnd = 0x4F00,
    kKeyDown = 0x5000,
    kKeyPageDown = 0x5100,
};

}  // namespace

CListBox::CListBox(CGUIElement* parent) : CGUIElement(parent) {
    SetPadding(8, 8, 8, 8);
    if (parent && parent->GetStyle() == kStyleOS) SetStyle(kStyleOS);
}

void CListBox::SetStyle(std::int32_t s) {
    if (s != kStyleOS) {
        CGUIElement::SetStyle(s);
        return;
    }
    style = kStyleOS;
    SetPadding(4, 4, 4, 4);
    border = GetSystemColour(kSysButtonFace);
    background = GetSystemColour(kSysWindow);
    colour = GetSystemColour(kSysWindowText);
    selectionBackground = GetSystemColour(kSysHighlight);
    selectionColour = GetSystemColour(kSysHighlightText);
}

std::int32_t CListBox::GetItemHeight() { return std::max(m_iconHeight, GetFontHeight(m_font.Get()) + 2); }
std::int32_t CListBox::ContentHeight() { return GetItemHeight() * GetCount(); }
std::int32_t CListBox::VisibleRows() { return ClientHeight() / GetItemHeight(); }

std::int32_t CListBox::AddItem(const char* text, std::int32_t loop, std::int32_t cel) {
    SItem item;
    item.loop = loop;
    item.cel = std::max(cel, 0);
    if (text) item.text = text;
    if (m_view && loop >= 0 && m_iconWidth == 0) {
        if (const SCel* c = m_view->GetCel(loop, item.cel)) {
            m_iconWidth = static_cast<std::int32_t>(c->width);
            m_iconHeight = static_cast<std::int32_t>(c->height);
        }
    }
    m_items.push_back(std::move(item));
    const std::int32_t index = GetCount() - 1;
    m_selected = std::clamp(m_selected, 0, index);
    return index;
}

void CListBox::Clear() {
    m_items.clear();
    m_iconWidth = m_iconHeight = 0;
    m_selected = -1;
}

void CListBox::SetIndex(std::int32_t i) { m_selected = i >= 0 && i < GetCount() ? i : -1; }

void CListBox::SetOffset(std::int32_t offset) {
    const std::int32_t most = std::max(0, ContentHeight() - ClientHeight() - 1);
    m_offset = std::clamp(offset, 0, most);
}

void CListBox::LineUp() { SetOffset(m_offset - GetItemHeight()); }
void CListBox::LineDown() { SetOffset(m_offset + GetItemHeight()); }
void CListBox::PageUp() { SetOffset(m_offset - ClientHeight()); }
void CListBox::PageDown() { SetOffset(m_offset + ClientHeight()); }
void CListBox::ToStart() { SetOffset(0); }
void CListBox::ToEnd() { SetOffset(ContentHeight()); }

void CListBox::ToIndex(std::int32_t i) {
    const std::int32_t h = GetItemHeight();
    SetOffset(h * i - ((ClientHeight() - h) >> 1));
}

std::int32_t CListBox::ItemAt(std::int32_t x, std::int32_t y) {
    const std::int32_t left = ClientLeft(), top = ClientTop();
    if (x < left || y < top || x >= left + ClientWidth() || y >= top + ClientHeight()) return -1;
    const std::int32_t index = (m_offset + (y - top)) / GetItemHeight();
    return index < GetCount() ? index : -1;
}

void CListBox::SetView(CView* view) {
    m_view.Reset(view);
    m_iconWidth = m_iconHeight = 0;
}

bool CListBox::OnLButtonDown(std::int32_t x, std::int32_t y) {
    if (disabled) return false;
    const std::int32_t index = ItemAt(x, y);
    if (index < 0) return true;
    const std::uint32_t now = GetGUITickCount();
    // Compared as a signed distance so that the tick count's wrap-around does not matter.
    if (index == m_lastClicked && static_cast<std::int32_t>(m_clickDeadline - now) >= 0) {
        m_lastClicked = -1;
        m_clickDeadline = 0;
        CallScriptHandler("onDoubleClick", {index});
        return true;
    }
    m_lastClicked = index;
    m_clickDeadline = now + kDoubleClickTime;
    SetIndex(index);
    CallScriptHandler("onChange", {m_selected});
    return true;
}

bool CListBox::OnWheel(std::int32_t delta) {
    if (disabled || delta == 0) return false;
    SetOffset(delta < 0 ? m_offset + GetItemHeight() : m_offset - GetItemHeight());
    return true;
}

bool CListBox::KeySelect(std::int32_t index, bool centre) {
    SetIndex(index);
    if (centre) ToIndex(m_selected);
    CallScriptHandler("onChange", {m_selected});
    return true;
}

bool CListBox::OnKey(std::int32_t key) {
    if (disabled) return false;
    const std::int32_t count = GetCount();
    switch (key) {
    case kKeyHome: m_offset = 0; return KeySelect(0, false);
    case kKeyEnd: return KeySelect(count - 1, true);
    case kKeyUp: return KeySelect(std::max(m_selected - 1, 0), true);
    case kKeyDown: return KeySelect(std::min(m_selected + 1, count - 1), true);
    case kKeyPageUp: return KeySelect(std::max(m_selected - VisibleRows(), 0), true);
    case kKeyPageDown: return KeySelect(std::min(m_selected + VisibleRows(), count - 1), true);
    default: return false;
    }
}

void CListBox::Draw(CRenderer& renderer) {
    if (style == kStyleOS) {
        background = GetSystemColour(disabled ? kSysButtonFace : kSysWindow);
        colour = GetSystemColour(disabled ? kSysGrayText : kSysWindowText);
    }
    DrawFrame(renderer, style == kStyleOS ? kStyleInset : style);

    const std::int32_t left = ClientLeft(), top = ClientTop();
    const std::int32_t right = left + ClientWidth() - 1, bottom = top + ClientHeight() - 1;
    renderer.SetClipRect(left, top, right + 1, bottom + 1);
    renderer.FillRect(float(left), float(top), float(right + 1), float(bottom + 1), background, 0.0f);

    const CFont* font = m_font.Get();
    const std::int32_t count = GetCount();
    const std::int32_t itemHeight = GetItemHeight();
    const std::int32_t fontHeight = GetFontHeight(font);
    const std::int32_t glyphs = GetGlyphCount(font);
    std::int32_t first = std::max(std::min(m_offset / itemHeight, count - 1), 0);
    std::int32_t last = std::min(std::max((bottom - top) / itemHeight + first + 2, 0), count - 1);
    const std::int32_t firstTop = top + first * itemHeight - m_offset;

    if (font) renderer.SetBlendMode(static_cast<int>(font->BlendMode()));
    const std::int32_t textX = left + (m_iconWidth ? m_iconWidth + 4 : 0);
    std::int32_t rowTop = firstTop;
    for (std::int32_t i = first; i <= last; ++i, rowTop += itemHeight) {
        std::uint32_t tint = colour;
        if (i == m_selected) {
            renderer.FillRect(float(left), float(rowTop), float(right + 1), float(rowTop + itemHeight),
                              selectionBackground, 0.0f);
            tint = selectionColour;
        }
        if (!font) continue;
        const std::int32_t textY = rowTop + ((itemHeight - fontHeight) >> 1);
        std::int32_t x = textX;
        for (unsigned char c : m_items[static_cast<std::size_t>(i)].text) {
            if (x >= right) break;
            if (static_cast<std::int32_t>(c) >= glyphs) continue;
            const SCel* g = font->GetCel(0, c);
            if (!g) continue;
            renderer.DrawCel(*g, kAlignLeft, kAlignTop, float(x), float(textY), 0.0f, tint);
            x += static_cast<std::int32_t>(g->width);
        }
    }

    if (m_view) {
        renderer.SetBlendMode(static_cast<int>(m_view->BlendMode()));
        const std::int32_t iconX = left + 2 + (m_iconWidth >> 1);
        rowTop = firstTop;
        for (std::int32_t i = first; i <= last; ++i, rowTop += itemHeight) {
            const SItem& item = m_items[static_cast<std::size_t>(i)];
            if (item.loop < 0) continue;
            if (const SCel* c = m_view->GetCel(item.loop, item.cel))
                renderer.DrawCel(*c, kAlignCentre, kAlignMiddle, float(iconX), float(rowTop + ((itemHeight + 1) >> 1)),
                                 0.0f, 0xFFFFFFFFu);
        }
    }
    renderer.ResetClip();
}

}  // namespace ove
