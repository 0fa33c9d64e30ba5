// Drawing elements: untextured lines and rectangles that scripts place among the scene objects.
// They are drawn in painter's order (never depth-tested), interleaved with sprites by priority.
#pragma once
#include <cstdint>

#include "render/SpriteBase.h"

namespace ove {

class CDrawingElement : public CSpriteBase {
public:
    float GetDepth() override { return depth; }
    // Priorities map to depths as everywhere else: 1 - p/30.
    void SetPriority(std::int32_t p);
    // True when the fill or the stroke is partly transparent (alpha strictly between 0 and 255).
    virtual bool HasTranslucentColour() const;

    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::uint32_t fill = 0;  // 0xAARRGGBB; alpha 0 draws nothing
    std::uint32_t stroke = 0;
    float depth = 1.0f;
    std::int32_t priority = 0;

protected:
    // A colour with alpha below 255 always blends, whatever blend mode the object drawn before
    // left; the mode is put back afterwards. Opaque colours draw in the current mode.
    class CBlendScope {
    public:
        CBlendScope(CRenderer& renderer, bool translucent);
        ~CBlendScope();
        CBlendScope(const CBlendScope&) = delete;
        CBlendScope& operator=(const CBlendScope&) = delete;

    private:
        CRenderer& m_renderer;
        int m_previous;
    };
};

// A one-pixel line in the stroke colour. `width` is kept for scripts only: lines are always one
// pixel wide.
class C2DLine : public CDrawingElement {
public:
    void Draw(CRenderer& renderer) override;
    std::int32_t width = 1;
};

// A filled rectangle with a border of `border` pixels in the stroke colour. The fill lies inside
// the border; the corners belong to the left and right bands.
class C2DRectangle : public CDrawingElement {
public:
    void Draw(CRenderer& renderer) override;
    std::int32_t border = 1;
};

}  // namespace ove
