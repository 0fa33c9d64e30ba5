#include "gui/GUICheckbox.h"

#include "platform/SystemColours.h"
#include "render/Renderer.h"

namespace ove {

CGUICheckbox::CGUICheckbox(CGUIElement* parent) : CGUIElement(parent) {
    m_caption = new CTextLabel(this);  // owned through the children list
    m_caption->noncorporeal = 1;
}

void CGUICheckbox::SetFont(CFont* font) {
    CGUIElement::SetFont(font);
    m_caption->SetFont(GetFont());
}
void CGUICheckbox::SetText(const char* text) { m_caption->SetText(text); }
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
void CGUICheckbox::SetStyle(std::int32_t s) { style = s; }
void CGUICheckbox::Draw(CRenderer& renderer) { DrawChildren(renderer); }
bool CGUICheckbox::OnLButtonUp(std::int32_t, std::int32_t) {
    if (disabled) return false;
    SetChecked(!checked);
    CallScriptHandler("onChange");
    return true;
}
void CGUICheckbox::SetChecked(bool on) { checked = on ? 1 : 0; }
void CGUICheckbox::AutoSize(std::int32_t, std::int32_t) {}
void CGUICheckbox::Resize(std::int32_t w, std::int32_t h) { CGUIElement::Resize(w, h); }
void CGUICheckbox::ResizeClient(std::int32_t w, std::int32_t h) { CGUIElement::ResizeClient(w, h); }
void CGUICheckbox::MeasureBox() {}
void CGUICheckbox::Fit() {}

}  // namespace ove
