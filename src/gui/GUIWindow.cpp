#include "gui/GUIWindow.h"

#include <algorithm>

#include "platform/Keys.h"
#include "platform/SystemColours.h"
#include "render/Renderer.h"

namespace ove {

CGUIWindow::CGUIWindow(CGUIElement* parent) : CGUIElement(parent) {}

std::int32_t CGUIWindow::GetTopInset() { return frameTop + padTop + TitleBarHeight(); }

std::int32_t CGUIWindow::TitleBarHeight() {
    return CGUIElement::GetText() && GetFont() ? GetFontHeight(GetFont()) + 3 : 0;
}

void CGUIWindow::SetStyle(std::int32_t s) {
    if (s == kStyleOS) {
        style = kStyleOS;
        background = border = GetSystemColour(kSysButtonFace);
        colour = GetSystemColour(kSysButtonText);
        titleBackground = GetSystemColour(kSysActiveCaption);
        titleColour = GetSystemColour(kSysCaptionText);
        SetFrameWidths(3, 3, 3, 3);
        SetPadding(4, 4, 4, 4);
        movable = 1;
        return;
    }
    CGUIElement::SetStyle(s);
    std::int32_t pad = -1;
    switch (s) {
    case kStyleNone:
    case kStyleClassic:
    case kStyleFlat: pad = 0; break;
    case kStyle3DShadow:
    case kStyle3DRaised:
    case kStyle3DInset:
    case kStyleSolid:
    case kStyleSolidShadow: pad = 4; break;
    case kStyleRaised:
    case kStyleInset: pad = 1; break;
    default: break;
    }
    if (pad >= 0) SetPadding(pad, pad, pad, pad);
}

void CGUIWindow::Draw(CRenderer& renderer) {
    DrawFrame(renderer, style == kStyleOS ? kStyleRaised : style);
    const char* title = CGUIElement::GetText();  // its own text: a message box shows another
    const CFont* font = GetFont();
    if (title && font) {
        renderer.SetBlendMode(static_cast<int>(font->BlendMode()));
        std::int32_t w = 0, h = 0;
        MeasureBlock(font, title, &w, &h, nullptr);
        const std::int32_t left = AbsX1() + frameLeft, top = AbsY1() + frameTop, right = AbsX2() - frameRight;
        renderer.FillRect(float(left), float(top), float(right + 1), float(top + h + 2), titleBackground, 0.0f);
        renderer.FillRect(float(left), float(top + h + 2), float(right + 1), float(top + h + 3), titleColour, 0.0f);
        const std::int32_t count = GetGlyphCount(font);
        std::int32_t x = (right - w + left) >> 1;
        const std::int32_t y = top + 1;
        for (const char* p = title; *p; ++p) {
            const auto c = static_cast<unsigned char>(*p);
            if (c >= count) continue;
            const SCel& g = font->Loop(0)[c];
            renderer.DrawCel(g, kAlignLeft, kAlignTop, float(x), float(y), 0.0f, titleColour);
            x += static_cast<std::int32_t>(g.width);
        }
    }
    DrawChildren(renderer);
}

bool CGUIWindow::OnMove(std::int32_t x, std::int32_t y) {
    if (dragging) {
        MoveTo(x - dragX, y - dragY);
        return true;
    }
    return CGUIElement::OnMove(x, y) || modal;
}

bool CGUIWindow::OnLButtonDown(std::int32_t x, std::int32_t y) {
    if (movable && CGUIElement::GetText() && *CGUIElement::GetText()) {
        const std::int32_t ax1 = AbsX1(), ay1 = AbsY1();
        if (x >= ax1 + frameLeft && x <= AbsX2() - frameRight && y >= ay1 + frameTop && y <= ay1 + TitleBarHeight()) {
            dragX = x - x1;
            dragY = y - y1;
            dragging = 1;
            if (IGUIHost* host = GetGUIHost()) host->SetMouseCapture(this);
            return true;
        }
    }
    return CGUIElement::OnLButtonDown(x, y) || modal;
}

bool CGUIWindow::OnLButtonUp(std::int32_t x, std::int32_t y) {
    if (dragging) {
        dragging = 0;
        if (IGUIHost* host = GetGUIHost(); host && host->GetMouseCapture() == this) host->SetMouseCapture(nullptr);
        return true;
    }
    return CGUIElement::OnLButtonUp(x, y) || modal;
}

bool CGUIWindow::OnMButtonDown(std::int32_t x, std::int32_t y) { return CGUIElement::OnMButtonDown(x, y) || modal; }
bool CGUIWindow::OnMButtonUp(std::int32_t x, std::int32_t y) { return CGUIElement::OnMButtonUp(x, y) || modal; }
bool CGUIWindow::OnRButtonDown(std::int32_t x, std::int32_t y) { return CGUIElement::OnRButtonDown(x, y) || modal; }
bool CGUIWindow::OnRButtonUp(std::int32_t x, std::int32_t y) { return CGUIElement::OnRButtonUp(x, y) || modal; }

bool CGUIWindow::OnKey(std::int32_t key) {
    if (key != kVkTab || m_children.empty()) return false;
    IGUIHost* host = GetGUIHost();
    CGUIElement* focus = host ? host->GetFocusElement() : nullptr;
    auto it = std::find(m_children.begin(), m_children.end(), focus);
    if (!focus || it == m_children.end()) return false;
    const auto count = static_cast<std::ptrdiff_t>(m_children.size());
    const std::ptrdiff_t start = it - m_children.begin();
    const std::ptrdiff_t step = IsKeyHeld(kVkShift) ? count - 1 : 1;
    for (std::ptrdiff_t i = (start + step) % count; i != start; i = (i + step) % count) {
        CGUIElement* child = m_children[static_cast<std::size_t>(i)];
        if (child->CanFocus()) {
            host->SetFocusElement(child);
            return true;
        }
    }
    return false;
}

CGUIElement* CGUIWindow::GetWindow() { return m_parent ? m_parent->GetWindow() : this; }

void CGUIWindow::BeginModal() {
    IGUIHost* host = GetGUIHost();
    previousActive = host ? host->GetActiveWindow() : nullptr;
    modal = 1;
    if (host) host->BringToTop(this);
}

void CGUIWindow::EndModal() {
    modal = 0;
    if (IGUIHost* host = GetGUIHost(); host && previousActive) host->BringToTop(previousActive);
    previousActive = nullptr;
}

void CGUIWindow::AutoSize() {
    std::int32_t w = 0, h = 0;
    for (CGUIElement* child : m_children) {
        w = std::max(w, child->x2 + 1);
        h = std::max(h, child->y2 + 1);
    }
    ResizeClient(w, h);
}

void CGUIWindow::ForgetWindow(CGUIElement* window) {
    if (previousActive == window) previousActive = nullptr;
}

}  // namespace ove
