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

void CGraphicButton::Draw(CRenderer& renderer) {
    std::int32_t left, top, right, bottom;
    if (style != kStyleNone) {
        DrawFrame(renderer, style);
        left = ClientLeft();
        top = ClientTop();
        right = left + ClientWidth();
        bottom = top + ClientHeight();
    } else {
        left = AbsX1();
        top = AbsY1();
        right = AbsX2();
        bottom = AbsY2();
        if (background >> 24) {
            renderer.SetBlendMode(IsTranslucent() ? kBlendAlpha : kBlendOpaque);
            renderer.FillRect(float(left), float(top), float(right), float(bottom), background, 0.0f);
        }
    }
    const SStatePicture& p = m_pictures[StateIndex(state)];
    const SCel* cel = p.view ? p.view->GetCel(p.loop, p.current) : nullptr;
    if (!cel || cel->width == 0 || cel->height == 0) return;
    const auto w0 = static_cast<std::int64_t>(cel->width), h0 = static_cast<std::int64_t>(cel->height);
    const std::int64_t W = autoWidth, H = autoHeight;
    std::int64_t w = w0, h = h0;
    if (W < 1 && H > 0) {
        w = H * w0 / h0;
        h = H;
    } else if (W >= 1 && H < 1) {
        w = W;
        h = W * h0 / w0;
    } else if (W >= 1 && H >= 1) {
        if (W * h0 / w0 > H) {
            w = H * w0 / h0;
            h = H;
        } else {
            w = W;
            h = W * h0 / w0;
        }
    }
    std::int32_t x = left, y = top;
    if (alignment == kTextAlignCentre) {
        x = static_cast<std::int32_t>((right - w + left) >> 1);
        y = static_cast<std::int32_t>((bottom - h + top) >> 1);
    } else if (alignment == kTextAlignRight) {
        x = static_cast<std::int32_t>(right - w + 1);
    }
    renderer.SetBlendMode(static_cast<int>(p.view->BlendMode()));
    renderer.SetTexture(cel->texture);
    renderer.DrawCelStretched(*cel, x, y, x + static_cast<std::int32_t>(w) - 1, y + static_cast<std::int32_t>(h) - 1,
                              0.0f, 0xFFFFFFFFu);
}

void CGraphicButton::Animate() {
    for (SStatePicture& p : m_pictures) {
        if (p.cel >= 0 || !p.view) continue;
        const auto count = static_cast<std::int32_t>(p.view->CelCount(p.loop));
        if (p.loop < 0 || static_cast<std::size_t>(p.loop) >= p.view->LoopCount() || count == 0) continue;
        if (++p.current >= count) p.current = 0;
    }
    CGUIButton::Animate();
}

void CGraphicButton::SetView(int s, CView* view) {
    s = StateIndex(s);
    if (s == kButtonNormal) {
        for (int i = 0; i < kStates; ++i) {
            m_pictures[i].view.Reset(view);
            SetLoop(i, 0);
        }
        return;
    }
    m_pictures[s].view.Reset(view);
    SetLoop(s, 0);
}

void CGraphicButton::SetLoop(int s, std::int32_t loop) {
    SStatePicture& p = m_pictures[StateIndex(s)];
    p.loop = p.view && loop >= 0 && static_cast<std::size_t>(loop) < p.view->LoopCount() ? loop : 0;
    SetCel(s, -1);
}

void CGraphicButton::SetCel(int s, std::int32_t cel) {
    SStatePicture& p = m_pictures[StateIndex(s)];
    // A fixed cel past the end of an existing loop falls back to the first.
    if (cel >= 0 && p.view && static_cast<std::size_t>(p.loop) < p.view->LoopCount() &&
        static_cast<std::size_t>(cel) >= p.view->CelCount(p.loop))
        cel = 0;
    p.cel = cel;
    p.current = cel >= 0 ? cel : 0;
}

CView* CGraphicButton::GetView(int s) const { return m_pictures[StateIndex(s)].view.Get(); }
const char* CGraphicButton::GetViewName(int s) const {
    const CView* v = GetView(s);
    return v ? v->Name() : nullptr;
}
std::int32_t CGraphicButton::GetLoop(int s) const { return m_pictures[StateIndex(s)].loop; }
std::int32_t CGraphicButton::GetCelSetting(int s) const { return m_pictures[StateIndex(s)].cel; }
std::int32_t CGraphicButton::GetCurrentCel(int s) const { return m_pictures[StateIndex(s)].current; }

void CGraphicButton::FitToCel() {
    if (autoWidth >= 0 || autoHeight >= 0) return;
    const SStatePicture& p = m_pictures[StateIndex(state)];
    const SCel* cel = p.view ? p.view->GetCel(p.loop, p.current) : nullptr;
    if (cel) CGUIElement::ResizeClient(static_cast<std::int32_t>(cel->width), static_cast<std::int32_t>(cel->height));
}

}  // namespace ove
