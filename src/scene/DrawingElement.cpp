#include "scene/DrawingElement.h"

#include "render/Renderer.h"

namespace ove {

namespace {
bool Translucent(std::uint32_t argb) {
    const std::uint32_t a = argb >> 24;
    return a != 0 && a != 255;
}
}  // namespace

void CDrawingElement::SetPriority(std::int32_t p) {
    priority = p;
    depth = CRenderer::PriorityDepth(p);
}

bool CDrawingElement::HasTranslucentColour() const { return Translucent(fill) || Translucent(stroke); }

CDrawingElement::CBlendScope::CBlendScope(CRenderer& renderer, bool translucent)
    : m_renderer(renderer), m_previous(renderer.GetBlendMode()) {
    // Whatever the object drawn before left set would otherwise decide: a see-through colour
    // after an opaque sprite came out solid.
    if (translucent) renderer.SetBlendMode(kBlendAlpha);
}

CDrawingElement::CBlendScope::~CBlendScope() { m_renderer.SetBlendMode(m_previous); }

void C2DLine::Draw(CRenderer& renderer) {
    const CBlendScope blend(renderer, Translucent(stroke));
    renderer.DrawLine(float(x1), float(y1), float(x2), float(y2), stroke, depth);
}

void C2DRectangle::Draw(CRenderer& renderer) {
    const CBlendScope blend(renderer, HasTranslucentColour());
    // Computed in 64 bits: scripts may give any 32-bit coordinates and borders.
    const auto f = [](std::int64_t v) { return float(v); };
    const std::int64_t b = border;
    if (fill >> 24) renderer.FillRect(f(x1 + b), f(y1 + b), f(x2 - b), f(y2 - b), fill, depth);
    if ((stroke >> 24) && b != 0) {
        renderer.FillRect(f(x1), f(y1), f(x1 + b), f(y2), stroke, depth);          // left
        renderer.FillRect(f(x2 - b), f(y1), f(x2), f(y2), stroke, depth);          // right
        renderer.FillRect(f(x1 + b), f(y1), f(x2 - b), f(y1 + b), stroke, depth);  // top
        renderer.FillRect(f(x1 + b), f(y2 - b), f(x2 - b), f(y2), stroke, depth);  // bottom
    }
}

}  // namespace ove
