#include "gui/GUIElement.h"

#include <algorithm>

#include "platform/Keys.h"
#include "render/Renderer.h"

namespace ove {

namespace {

IGUIHost* g_host = nullptr;
KeyHeldQuery g_keyQuery = nullptr;

}  // namespace

IGUIHost* GetGUIHost() { return g_host; }
void SetGUIHost(IGUIHost* host) { g_host = host; }

bool IsKeyHeld(std::int32_t virtualKey) { return g_keyQuery ? g_keyQuery(virtualKey) : IsVirtualKeyDown(virtualKey); }
void SetKeyHeldQuery(KeyHeldQuery query) { g_keyQuery = query; }

std::uint32_t MixColour(std::uint32_t base, std::uint32_t with, int t) {
    std::uint32_t out = base & 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t b = (base >> shift) & 0xFF, c = (with >> shift) & 0xFF;
        out |= ((b * std::uint32_t(255 - t) + c * std::uint32_t(t)) / 255) << shift;
    }
    return out;
}

CGUIElement::CGUIElement(CGUIElement* parent) : m_parent(parent) {
    if (parent) {
        parent->m_children.push_back(this);
        m_font.Reset(parent->GetFont());
    } else if (g_host) {
        m_font.Reset(g_host->GetDefaultFont());
        g_host->AddRootElement(this);
    }
}

CGUIElement::~CGUIElement() {
    std::vector<CGUIElement*> children;
    children.swap(m_children);
    for (CGUIElement* child : children) {
        child->m_parent = nullptr;
        delete child;
    }
}

bool CGUIElement::IsVisible() { return visible != 0 && (!m_parent || m_parent->IsVisible()); }

bool CGUIElement::IsTranslucent() {
    if ((background >> 24) < 255) return true;
    return (style == kStyle3DShadow || style == kStyleSolidShadow) && (shadow >> 24) < 255;
}

void CGUIElement::SetAlignment(std::int32_t value) { alignment = value; }
std::int32_t CGUIElement::GetBottomInset() { return frameBottom + padBottom; }
std::int32_t CGUIElement::GetLeftInset() { return frameLeft + padLeft; }
std::int32_t CGUIElement::GetRightInset() { return frameRight + padRight; }
std::int32_t CGUIElement::GetTopInset() { return frameTop + padTop; }
CFont* CGUIElement::GetFont() { return m_font.Get(); }

void CGUIElement::SetFont(CFont* font) {
    m_font.Reset();
    if (font && font->LoopCount() > 0) m_font.Reset(font);
}

void CGUIElement::SetOnTop(bool on) { onTop = on ? 1 : 0; }
std::int32_t CGUIElement::GetPriority() { return onTop ? 16 : 15; }
void CGUIElement::SetPriority(std::int32_t value) { SetOnTop(value == -2); }
const char* CGUIElement::GetText() { return m_text ? m_text->c_str() : nullptr; }

void CGUIElement::SetText(const char* text) {
    if (text) m_text.emplace(text);
    else m_text.reset();
}

std::uint32_t CGUIElement::GetColour() { return colour; }
void CGUIElement::SetColour(std::uint32_t c) { colour = c; }

void CGUIElement::SetTextEffect(std::int32_t e, std::uint32_t c) {
    effect = e;
    effectColour = EffectColourFor(e, c);
}

void CGUIElement::SetStyle(std::int32_t s) {
    style = s;
    switch (s) {
    case kStyle3DShadow:
    case kStyle3DRaised:
        background = border = 0xFF9C9C9Cu;
        shadow = 0x80000000u;
        SetFrameWidths(3, 3, 3, 3);
        break;
    case kStyle3DInset:
        background = 0xFF000000u;
        border = 0xFF9C9C9Cu;
        SetFrameWidths(3, 3, 3, 3);
        break;
    case kStyleRaised:
    case kStyleInset:
        border = 0xFF9C9C9Cu;
        SetFrameWidths(1, 1, 1, 1);
        break;
    case kStyleClassic:
        background = 0xFFFFFFFFu;
        border = 0xFFC00000u;
        colour = 0xFF000000u;
        SetFrameWidths(5, 10, 5, 10);
        break;
    case kStyleFlat: SetFrameWidths(0, 0, 0, 0); break;
    case kStyleSolid:
        border = 0xFF000000u;
        SetFrameWidths(1, 1, 1, 1);
        break;
    case kStyleSolidShadow:
        border = shadow = 0xFF000000u;
        SetFrameWidths(1, 1, 1, 1);
        break;
    default: break;
    }
}

bool CGUIElement::OnKey(std::int32_t) { return false; }
bool CGUIElement::OnMove(std::int32_t x, std::int32_t y) { return CallScriptHandler("onMove", {x, y}); }
bool CGUIElement::OnLButtonDown(std::int32_t x, std::int32_t y) { return CallScriptHandler("onLButtonDown", {x, y}); }
bool CGUIElement::OnLButtonUp(std::int32_t x, std::int32_t y) { return CallScriptHandler("onLButtonUp", {x, y}); }
bool CGUIElement::OnMButtonDown(std::int32_t x, std::int32_t y) { return CallScriptHandler("onMButtonDown", {x, y}); }
bool CGUIElement::OnMButtonUp(std::int32_t x, std::int32_t y) { return CallScriptHandler("onMButtonUp", {x, y}); }
bool CGUIElement::OnRButtonDown(std::int32_t x, std::int32_t y) { return CallScriptHandler("onRButtonDown", {x, y}); }
bool CGUIElement::OnRButtonUp(std::int32_t x, std::int32_t y) { return CallScriptHandler("onRButtonUp", {x, y}); }
bool CGUIElement::OnWheel(std::int32_t) { return false; }

void CGUIElement::Animate() {
    // A child may be destroyed by nothing here (animation calls no script), but copy all the same
    // so that a widget that rebuilds its children while ticking cannot invalidate the walk.
    std::vector<CGUIElement*> children = m_children;
    for (CGUIElement* child : children) child->Animate();
}

CGUIElement* CGUIElement::GetWindow() { return m_parent ? m_parent->GetWindow() : nullptr; }

void CGUIElement::Resize(std::int32_t w, std::int32_t h) {
    x2 = x1 + w - 1;
    y2 = y1 + h - 1;
}

void CGUIElement::ResizeClient(std::int32_t w, std::int32_t h) {
    x2 = x1 + GetLeftInset() + GetRightInset() + w - 1;
    y2 = y1 + GetTopInset() + GetBottomInset() + h - 1;
}

std::int32_t CGUIElement::ClientLeft() { return x1 + GetLeftInset() + (m_parent ? m_parent->ClientLeft() : 0); }
std::int32_t CGUIElement::ClientTop() { return y1 + GetTopInset() + (m_parent ? m_parent->ClientTop() : 0); }
std::int32_t CGUIElement::ClientWidth() { return (x2 - x1 + 1) - GetLeftInset() - GetRightInset(); }
std::int32_t CGUIElement::Width() const { return x2 - x1 + 1; }
std::int32_t CGUIElement::Height() const { return y2 - y1 + 1; }
std::int32_t CGUIElement::ClientHeight() { return (y2 - y1 + 1) - GetTopInset() - GetBottomInset(); }
std::int32_t CGUIElement::AbsX1() { return x1 + (m_parent ? m_parent->ClientLeft() : 0); }
std::int32_t CGUIElement::AbsY1() { return y1 + (m_parent ? m_parent->ClientTop() : 0); }
std::int32_t CGUIElement::AbsX2() { return x2 + (m_parent ? m_parent->ClientLeft() : 0); }
std::int32_t CGUIElement::AbsY2() { return y2 + (m_parent ? m_parent->ClientTop() : 0); }

STextRect CGUIElement::ClientRect() { return STextRect{ClientLeft(), ClientTop(), ClientWidth(), ClientHeight()}; }

void CGUIElement::MoveTo(std::int32_t x, std::int32_t y) { MoveBy(x - x1, y - y1); }

void CGUIElement::MoveBy(std::int32_t dx, std::int32_t dy) {
    x1 += dx;
    x2 += dx;
    y1 += dy;
    y2 += dy;
}

void CGUIElement::SetPadding(std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t left) {
    padTop = top;
    padRight = right;
    padBottom = bottom;
    padLeft = left;
}

void CGUIElement::SetFrameWidths(std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t left) {
    frameTop = top;
    frameRight = right;
    frameBottom = bottom;
    frameLeft = left;
}

CGUIElement* CGUIElement::FindElementAt(std::int32_t x, std::int32_t y) {
    if (!visible || IsNoncorporeal() || x < x1 || x > x2 || y < y1 || y > y2) return nullptr;
    const std::int32_t cx = x - (x1 + GetLeftInset()), cy = y - (y1 + GetTopInset());
    CGUIElement* found = nullptr;
    for (CGUIElement* child : m_children)
        if (CGUIElement* hit = child->FindElementAt(cx, cy)) found = hit;
    return found ? found : this;
}

bool CGUIElement::HitTestRect(std::int32_t x, std::int32_t y) {
    return x >= AbsX1() && x <= AbsX2() && y >= AbsY1() && y <= AbsY2();
}

void CGUIElement::DrawFrame(CRenderer& renderer, std::int32_t frameStyle) {
    renderer.SetBlendMode(IsTranslucent() ? kBlendAlpha : kBlendOpaque);
    const float X1 = float(AbsX1()), Y1 = float(AbsY1()), X2 = float(AbsX2()), Y2 = float(AbsY2());
    const auto fill = [&renderer](float a, float b, float c, float d, std::uint32_t argb) {
        // Elements too small for a band would otherwise get a quad turned inside out.
        if (c > a && d > b) renderer.FillRect(a, b, c, d, argb, 0.0f);
    };
    const std::uint32_t B = border;
    const std::uint32_t light1 = MixColour(B, 0xFFFFFFFFu, 165), light2 = MixColour(B, 0xFFFFFFFFu, 83);
    const std::uint32_t dark1 = MixColour(B, 0xFF000000u, 52), dark2 = MixColour(B, 0xFF000000u, 104);
    // The one-pixel bevel: top, left, right, bottom shades, then the interior.
    const auto bevel = [&](std::uint32_t t, std::uint32_t l, std::uint32_t r, std::uint32_t b) {
        fill(X1, Y1, X2 + 1, Y1 + 1, t);
        fill(X1, Y1 + 1, X1 + 1, Y2, l);
        fill(X2, Y1 + 1, X2 + 1, Y2, r);
        fill(X1, Y2, X2 + 1, Y2 + 1, b);
        fill(X1 + 1, Y1 + 1, X2, Y2, background);
    };
    // The three-pixel bevel.
    const auto bevel3 = [&](std::uint32_t t, std::uint32_t b, std::uint32_t l, std::uint32_t r) {
        fill(X1 + 1, Y1, X2, Y1 + 3, t);
        fill(X1 + 1, Y2 - 2, X2, Y2 + 1, b);
        fill(X1, Y1, X1 + 1, Y2 + 1, l);
        fill(X1 + 1, Y1 + 1, X1 + 2, Y2, l);
        fill(X1 + 2, Y1 + 2, X1 + 3, Y2 - 1, l);
        fill(X2, Y1, X2 + 1, Y2 + 1, r);
        fill(X2 - 1, Y1 + 1, X2, Y2, r);
        fill(X2 - 2, Y1 + 2, X2 - 1, Y2 - 1, r);
        fill(X1 + 3, Y1 + 3, X2 - 2, Y2 - 2, background);
    };
    switch (frameStyle) {
    case kStyleFlat: fill(X1, Y1, X2 + 1, Y2 + 1, background); break;
    case kStyleSolid:
        fill(X1, Y1, X2 + 1, Y1 + 1, B);
        fill(X1, Y1 + 1, X1 + 1, Y2, B);
        fill(X2, Y1 + 1, X2 + 1, Y2, B);
        fill(X1, Y2, X2 + 1, Y2 + 1, B);
        fill(X1 + 1, Y1 + 1, X2, Y2, background);
        break;
    case kStyleSolidShadow:
        fill(X1, Y1, X2 + 1, Y1 + 1, B);
        fill(X1, Y1 + 1, X1 + 1, Y2 + 1, B);
        if (background != shadow) {
            fill(X2 + 1, Y1 + 1, X2 + 2, Y2 + 2, shadow);
            fill(X1 + 2, Y2 + 1, X2 + 1, Y2 + 2, shadow);
            fill(X2, Y1, X2 + 1, Y2 + 1, B);
            fill(X1 + 1, Y2, X2, Y2 + 1, B);
        } else {
            fill(X2, Y1 + 1, X2 + 2, Y2 + 2, B);
            fill(X1 + 1, Y2, X2, Y2 + 2, B);
        }
        fill(X1 + 1, Y1 + 1, X2, Y2, background);
        break;
    case kStyleRaised: bevel(light1, light2, dark1, dark2); break;
    case kStyleInset: bevel(dark2, dark1, light2, light1); break;
    case kStyle3DRaised: bevel3(light1, dark2, light2, dark1); break;
    case kStyle3DInset: bevel3(dark2, light1, dark1, light2); break;
    case kStyle3DShadow:
        bevel3(light1, dark2, light2, dark1);
        fill(X2 + 1, Y1 + 3, X2 + 3, Y2 + 3, shadow);
        fill(X1 + 3, Y2 + 1, X2 + 1, Y2 + 3, shadow);
        break;
    case kStyleClassic:
        fill(X1, Y1, X2 + 1, Y2 + 1, 0xFFFFFFFFu);
        fill(X1 + 2, Y1 + 1, X2 - 1, Y2, B);
        fill(X1 + 4, Y1 + 2, X2 - 3, Y2 - 1, 0xFFFFFFFFu);
        break;
    default: break;  // none, system look: nothing
    }
}

void CGUIElement::DrawChildren(CRenderer& renderer) {
    for (CGUIElement* child : m_children)
        if (child->IsVisible()) child->Draw(renderer);
}

void CGUIElement::DrawLabelText(CRenderer& renderer, const char* text, bool wrapping) {
    STextStyle s;
    s.colour = colour;
    s.effect = effect;
    s.effectColour = effectColour;
    s.alignment = alignment;
    s.wrapping = wrapping;
    DrawText(renderer, m_font.Get(), text, ClientRect(), s);
}

bool CGUIElement::CallScriptHandler(const char* name, std::initializer_list<std::int32_t> args) {
    if (!g_host || !scriptObject) return false;
    return g_host->CallElementHandler(this, name, args.begin(), static_cast<int>(args.size()));
}

void CGUIElement::Destroy(CGUIElement* element) {
    if (!element) return;
    if (g_host) {
        g_host->DestroyGUIElement(element);
        return;
    }
    if (element->m_parent) element->m_parent->DetachChild(element);
    delete element;
}

void CGUIElement::DetachChild(CGUIElement* child) {
    auto it = std::find(m_children.begin(), m_children.end(), child);
    if (it == m_children.end()) return;
    m_children.erase(it);
    child->m_parent = nullptr;
}

}  // namespace ove
