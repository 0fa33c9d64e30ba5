#include "gui/GUICheckbox.h"

#include <algorithm>

#include "platform/SystemColours.h"
#include "render/Renderer.h"

namespace ove {

CGUICheckbox::CGUICheckbox(CGUIElement* parent) : CGUIElement(parent) {
    m_caption = new CTextLabel(this);  // owned through the children list
    m_caption->noncorporeal = 1;
    m_caption->SetWrapping(false);
    if (parent) SetStyle(parent->GetStyle());
    MeasureBox();
    Fit();
}

void CGUICheckbox::SetFont(CFont* font) {
    CGUIElement::SetFont(font);
    if (m_checkMark) m_checkMark->SetFont(GetFont());
    m_caption->SetFont(GetFont());
    MeasureBox();
    Fit();
}

void CGUICheckbox::SetText(const char* text) {
    m_caption->SetText(text);
    Fit();
}

const char* CGUICheckbox::GetText() { return m_caption->GetText(); }

void CGUICheckbox::SetColour(std::uint32_t c) {
    CGUIElement::SetColour(c);
    m_caption->SetColour(c);
}

void CGUICheckbox::SetTextEffect(std::int32_t e, std::uint32_t c) {
    CGUIElement::SetTextEffect(e, c);
    m_caption->SetTextEffect(e, c);
}

void CGUICheckbox::SetAlignment(std::int32_t v) {
    CGUIElement::SetAlignment(v);
    m_caption->SetAlignment(v);
}

void CGUICheckbox::SetStyle(std::int32_t s) {
    style = s;
    if (m_checkMark) {
        CTextLabel* old = m_checkMark;
        m_checkMark = nullptr;
        Destroy(old);
    }
    if (s >= kStyle3DShadow && s <= kStyleInset) {
        background = 0x009C9C9Cu;
        border = 0xFF9C9C9Cu;
    } else if (s == kStyleClassic) {
        m_checkMark = new CTextLabel(this);  // owned through the children list
        m_checkMark->SetAlignment(kTextAlignCentre);
        m_checkMark->SetText(checked ? "[X]" : "[ ]");
    }
    MeasureBox();
    Fit();
}

void CGUICheckbox::MeasureBox() {
    const CFont* font = GetFont();
    if (style == kStyleClassic) {
        MeasureLine(font, "[X]", &boxWidth, &boxHeight);
        m_caption->padLeft = GetGlyphWidth(font, ' ');
        if (m_checkMark) {
            m_checkMark->MoveTo(0, 0);
            m_checkMark->Resize(boxWidth, boxHeight);
        }
    } else {
        boxWidth = boxHeight = GetFontHeight(font);
        m_caption->padLeft = 4;
    }
}

void CGUICheckbox::Fit() {
    m_caption->MoveTo(boxWidth, 0);
    if (m_caption->autoWidth < 0 || m_caption->autoHeight < 0) return;
    CGUIElement::ResizeClient(boxWidth + m_caption->Width(), std::max(boxHeight, m_caption->Height()));
}

void CGUICheckbox::AutoSize(std::int32_t w, std::int32_t h) {
    m_caption->MoveTo(boxWidth, 0);
    m_caption->AutoSize(w - boxWidth - (GetLeftInset() + GetRightInset()), h - (GetTopInset() + GetBottomInset()));
    Fit();
}

void CGUICheckbox::Resize(std::int32_t w, std::int32_t h) {
    CGUIElement::Resize(w, h);
    m_caption->MoveTo(boxWidth, 0);
    m_caption->Resize(ClientWidth() - boxWidth, ClientHeight());
}

void CGUICheckbox::ResizeClient(std::int32_t w, std::int32_t h) {
    CGUIElement::ResizeClient(w, h);
    Resize(Width(), Height());
}

void CGUICheckbox::SetChecked(bool on) {
    checked = on ? 1 : 0;
    if (m_checkMark) m_checkMark->SetText(checked ? "[X]" : "[ ]");
}

bool CGUICheckbox::OnLButtonUp(std::int32_t, std::int32_t) {
    if (disabled) return false;
    SetChecked(!checked);
    CallScriptHandler("onChange");
    return true;
}

void CGUICheckbox::Draw(CRenderer& renderer) {
    if (style == kStyleOS) {
        border = GetSystemColour(kSysButtonFace);
        background = GetSystemColour(disabled ? kSysButtonFace : kSysWindow);
        colour = GetSystemColour(disabled ? kSysGrayText : kSysWindowText);
        m_caption->SetColour(colour);
    }
    DrawChildren(renderer);
    // The box is drawn with this element's frame routine over the box rectangle: shift the outer
    // rectangle there for the duration.
    const std::int32_t sx1 = x1, sy1 = y1, sx2 = x2, sy2 = y2;
    x2 = x1 + boxWidth - 1;
    y2 = y1 + boxHeight - 1;
    const std::int32_t bx1 = AbsX1(), bx2 = AbsX2(), by2 = AbsY2();
    bool tick = false;
    switch (style) {
    case kStyleNone:
    case kStyleFlat:
    case kStyleSolid:
    case kStyleSolidShadow:
        DrawFrame(renderer, kStyleSolid);
        tick = true;
        break;
    case kStyleRaised:
        DrawFrame(renderer, kStyleRaised);
        tick = true;
        break;
    case kStyleInset:
    case kStyleOS:
        DrawFrame(renderer, kStyleInset);
        tick = true;
        break;
    case kStyle3DShadow:
    case kStyle3DRaised:
    case kStyle3DInset:
        DrawFrame(renderer, style == kStyle3DInset ? kStyleInset : kStyleRaised);
        x1 += 1;
        y1 += 1;
        x2 -= 1;
        y2 -= 1;
        DrawFrame(renderer, checked ? kStyleInset : kStyleRaised);
        break;
    default: break;  // classic: the check mark label shows the state
    }
    x1 = sx1;
    y1 = sy1;
    x2 = sx2;
    y2 = sy2;
    if (tick && checked) {
        const float left = float(bx1 + 2), bottom = float(by2 - 1), right = float(bx2 - 1);
        renderer.SetBlendMode((colour >> 24) < 255 ? kBlendAlpha : kBlendOpaque);
        renderer.DrawLine(left, bottom - 5, left, bottom - 2, colour, 0.0f);
        renderer.DrawLine(left + 1, bottom - 4, left + 1, bottom - 1, colour, 0.0f);
        float b = bottom;
        for (float x = left + 2; x < right; x += 1.0f, b -= 1.0f) renderer.DrawLine(x, b - 3, x, b, colour, 0.0f);
    }
}

}  // namespace ove
