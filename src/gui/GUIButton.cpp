#include "gui/GUIButton.h"

#include "platform/SystemColours.h"
#include "render/Renderer.h"

namespace ove {

CGUIButton::CGUIButton(CGUIElement* parent) : CTextLabel(parent) {
    alignment = kTextAlignCentre;
    if (parent && parent->GetStyle() == kStyleOS) SetStyle(kStyleOS);
}

void CGUIButton::SetStyle(std::int32_t s) {
    if (s != kStyleOS) {
        CTextLabel::SetStyle(s);
        return;
    }
    style = kStyleOS;
    background = border = GetSystemColour(kSysButtonFace);
    colour = GetSystemColour(kSysButtonText);
    SetFrameWidths(1, 1, 1, 1);
    SetPadding(1, 4, 1, 4);
}

void CGUIButton::Draw(CRenderer& renderer) {
    if (style != kStyleOS) {
        CTextLabel::Draw(renderer);
        return;
    }
    background = border = GetSystemColour(kSysButtonFace);
    colour = GetSystemColour(disabled ? kSysGrayText : kSysButtonText);
    DrawFrame(renderer, state == kButtonDown ? kStyleInset : kStyleRaised);
    DrawLabelText(renderer, DisplayText(), wrapping != 0);
}

void CGUIButton::OnMouseEnter() {
    state = disabled ? kButtonDisabled : kButtonOver;
    CallScriptHandler("onEnter");
}

void CGUIButton::OnMouseLeave() {
    state = disabled ? kButtonDisabled : kButtonNormal;
    CallScriptHandler("onLeave");
}

bool CGUIButton::OnLButtonDown(std::int32_t, std::int32_t) {
    if (disabled) return false;
    state = kButtonDown;
    return true;
}

bool CGUIButton::OnLButtonUp(std::int32_t, std::int32_t) {
    if (disabled) return false;
    if (state != kButtonDown) return true;
    state = kButtonOver;
    CallScriptHandler("onClick");
    return true;
}

// ---------------------------------------------------------------- graphic button

CGraphicButton::CGraphicButton(CGUIElement* parent) : CGUIButton(parent) {
    style = kStyleNone;
    background = 0;
}

CGraphicButton::~CGraphicButton() = default;

int CGraphicButton::StateIndex(int s) { return s < 0 || s >= kStates ? 0 : s; }

void CGraphicButton::Draw(CRenderer&) {}
void CGraphicButton::Animate() {}
void CGraphicButton::SetView(int, CView*) {}
void CGraphicButton::SetLoop(int, std::int32_t) {}
void CGraphicButton::SetCel(int, std::int32_t) {}
CView* CGraphicButton::GetView(int s) const { return m_pictures[StateIndex(s)].view.Get(); }
const char* CGraphicButton::GetViewName(int s) const {
    const CView* v = GetView(s);
    return v ? v->Name() : nullptr;
}
std::int32_t CGraphicButton::GetLoop(int s) const { return m_pictures[StateIndex(s)].loop; }
std::int32_t CGraphicButton::GetCelSetting(int s) const { return m_pictures[StateIndex(s)].cel; }
std::int32_t CGraphicButton::GetCurrentCel(int s) const { return m_pictures[StateIndex(s)].current; }
void CGraphicButton::FitToCel() {}

}  // namespace ove
