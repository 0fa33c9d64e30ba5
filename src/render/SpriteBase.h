// The base of everything the renderer draws: sprites, drawing elements, GUI elements.
#pragma once
#include <cstdint>

namespace ove {

class CRenderer;

class CSpriteBase {
public:
    CSpriteBase() = default;
    virtual ~CSpriteBase() = default;
    CSpriteBase(const CSpriteBase&) = delete;
    CSpriteBase& operator=(const CSpriteBase&) = delete;

    // Depth in [0, 1], smaller is nearer. A priority level p sits at 1 - p/30.
    virtual float GetDepth() = 0;
    virtual void Draw(CRenderer& renderer) = 0;
    // True: drawn in painter's order with the depth test off, so the priority map never hides it.
    // False: depth-tested against the priority map.
    virtual bool IsNoncorporeal() { return true; }
    // Scene objects: drawn after the GUI. GUI elements: drawn after everything but the cursor.
    virtual bool IsOnTop() { return false; }
    virtual bool IsVisible() { return visible != 0; }
    // GUI elements drawn on top are blended when translucent; other drawables never ask.
    virtual bool IsTranslucent() { return false; }
    // True when Draw draws at the depth GetDepth reported and leaves the depth states alone. The
    // renderer then knows what such objects leave in the depth buffer.
    virtual bool DrawsAtOwnDepth() { return false; }
    // True when everything Draw would draw now replaces what lies under it (no blending): such
    // objects may be drawn nearest first, where hidden pixels cost only a depth test.
    virtual bool DrawsOpaque() { return false; }

    // Writing visibility marks it changed so that the host's queue synchronisation notices.
    void SetVisible(bool on) {
        visible = on ? 1 : 0;
        visibilityChanged = 1;
    }

    std::uint8_t visible = 1;
    // Consumed by the game host's once-per-frame queue synchronisation.
    std::uint8_t visibilityChanged = 1;
};

}  // namespace ove
