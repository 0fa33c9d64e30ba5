// A view-drawn scene object: one cel of a view, animated through the cels of its loop, drawn at
// its natural, scaled or forced size with a tint and an opacity.
#pragma once
#include <cstdint>
#include <optional>

#include "render/SpriteBase.h"
#include "resources/View.h"

namespace ove {

class ISpriteWorld;

// Animation modes: a bit set. 1 starts at cel 0, 2 steps backwards, 4 repeats, 8 stops at the end;
// 15 picks cels at random.
enum : std::int32_t {
    kAnimForward = 5,
    kAnimReverse = 6,
    kAnimForwardOnce = 9,
    kAnimReverseOnce = 10,
    kAnimRandom = 15,
};

// A script callback held by key; released through the world when replaced or dropped.
using CallbackKey = std::optional<std::int32_t>;

// Truncates towards zero into the int32 range (NaN gives 0), so odd floats never reach an
// undefined conversion.
std::int32_t TruncateToInt(double value);

class C2DObject : public CSpriteBase {
public:
    explicit C2DObject(ISpriteWorld* world = nullptr);
    ~C2DObject() override;

    float GetDepth() override { return onTop ? -1.0f : depth; }
    void Draw(CRenderer& renderer) override;
    bool DrawsOpaque() override;
    bool IsOnTop() override { return onTop != 0; }
    // Whether the point hits an opaque-or-not cel pixel, from the object's own position.
    virtual bool HitTest(std::int32_t px, std::int32_t py);
    // One animation tick.
    virtual void Animate();

    // ---- view, loop, cel
    // Takes a reference to the new view (null for none), lets go of the old one, and restarts at
    // loop 0.
    void SetView(CView* newView);
    CView* GetView() const { return view.Get(); }
    void SetLoop(std::int32_t n);
    void SetCel(std::int32_t n);
    void ResetAnim();
    bool SetAnimationMode(std::int32_t mode);
    std::int32_t GetLoopCount() const;
    std::int32_t GetCelCount() const;  // of the current loop
    const SCel* CurrentCel() const;
    std::int32_t CelWidth() const;
    std::int32_t CelHeight() const;
    std::int32_t CelXShift() const;
    std::int32_t CelYShift() const;

    // ---- appearance
    void SetTint(std::uint32_t rgb) { tint = (tint & 0xFF000000u) | (rgb & 0x00FFFFFFu); }
    std::uint32_t GetTint() const { return tint | 0xFF000000u; }
    void SetOpacity(std::uint32_t alpha) { tint = (tint & 0x00FFFFFFu) | ((alpha & 0xFFu) << 24); }
    std::uint32_t GetOpacity() const { return tint >> 24; }
    void SetScale(float s);
    float GetScale() const { return scaled ? scale : 1.0f; }
    void ForceSize(std::int32_t width, std::int32_t height);
    void ClearForcedSize() { forceSize = 0; }
    void SetDelay(std::int32_t frames) {
        delay = frames;
        delayCounter = frames;
    }

    // The callback called once a once-animation has finished (replaces and releases the old one).
    void SetAnimationCallback(CallbackKey key);

    // Set by the host when the object was destroyed while one of its own callbacks ran: the
    // memory stays until the host's pass ends, but nothing more may happen to it.
    void MarkDestroyed() { destroyed = true; }
    bool IsDestroyed() const { return destroyed; }

    // ---- state (fields in the host's order)
    std::int32_t x = 0, y = 0;
    float depth = 0.0f;
    std::uint32_t tint = 0xFFFFFFFFu;  // alpha byte = opacity
    float scale = 1.0f;
    std::uint8_t scaled = 0;
    std::int32_t forcedWidth = 0, forcedHeight = 0;
    std::uint8_t forceSize = 0;
    std::int32_t xalign = 1, yalign = 2;
    TResourceRef<CView> view;
    std::int32_t loop = 0, cel = 0;
    std::uint8_t onTop = 0;
    std::uint8_t cycling = 0;
    std::int32_t delay = 0, delayCounter = 0;
    std::int32_t animationMode = kAnimForward;
    std::uint8_t finished = 0, finishing = 0;

protected:
    // Draws the current cel at a screen position and depth.
    void DrawAt(CRenderer& renderer, float px, float py, float z);
    // The blend mode a cel is drawn with at the current tint and smoothing.
    int BlendFor(const SCel& cel) const;
    // The cel hit test from a given anchor position.
    bool HitTestAt(std::int32_t anchorX, std::int32_t anchorY, std::int32_t px, std::int32_t py) const;
    void ReleaseKey(CallbackKey& key);

    ISpriteWorld* world;
    CallbackKey animationCallback;
    bool destroyed = false;
};

}  // namespace ove
