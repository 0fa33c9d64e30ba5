#include "gui/TextLabel.h"

#include "platform/SystemColours.h"
#include "render/Renderer.h"

namespace ove {

CTextLabel::CTextLabel(CGUIElement* parent) : CGUIElement(parent) {
    if (parent) {
        colour = parent->GetColour();
        effect = parent->GetTextEffect();
        effectColour = parent->GetEffectColour();
        if (parent->GetStyle() == kStyleOS) style = kStyleOS;
    }
}

void CTextLabel::Draw(CRenderer& renderer) {
    if (style != kStyleOS) DrawFrame(renderer, style);
    DrawLabelText(renderer, DisplayText(), wrapping != 0);
}

void CTextLabel::SetFont(CFont* font) {
    CGUIElement::SetFont(font);
    Reflow();
}

void CTextLabel::SetText(const char* text) {
    CGUIElement::SetText(text);
    Reflow();
}

void CTextLabel::AutoSize(std::int32_t width, std::int32_t height) {
    autoWidth = width;
    autoHeight = height;
    Reflow();
}

void CTextLabel::Resize(std::int32_t w, std::int32_t h) {
    autoWidth = autoHeight = -1;
    CGUIElement::Resize(w, h);
}

void CTextLabel::ResizeClient(std::int32_t w, std::int32_t h) {
    CGUIElement::ResizeClient(w, h);
    Resize(Width(), Height());
}

void CTextLabel::SetWrapping(bool on) {
    if ((wrapping != 0) == on) return;
    wrapping = on ? 1 : 0;
    m_reflowed.reset();
}

void CTextLabel::Reflow() {
    const CFont* font = m_font.Get();
    if (!font) return;
    if (!m_text) {
        m_reflowed.reset();
        if (autoWidth >= 0 || autoHeight >= 0) CGUIElement::ResizeClient(0, 0);
        return;
    }
    if (autoWidth < 0 || autoHeight < 0) {
        m_reflowed = *m_text;
        return;
    }
    std::string out;
    std::int32_t w = 0, h = 0;
    if (!ReflowText(font, m_text->c_str(), autoWidth - (GetLeftInset() + GetRightInset()),
                    autoHeight - (GetTopInset() + GetBottomInset()), out, w, h))
        return;
    m_reflowed = std::move(out);
    CGUIElement::ResizeClient(w, h);
}

const char* CTextLabel::DisplayText() {
    if (m_reflowed) return m_reflowed->c_str();
    return GetText();
}

}  // namespace ove
