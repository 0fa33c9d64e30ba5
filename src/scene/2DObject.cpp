#include "scene/2DObject.h"

#include <cmath>

#include "render/Renderer.h"
#include "scene/SpriteWorld.h"

namespace ove {

std::int32_t TruncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

C2DObject::C2DObject(ISpriteWorld* w) : world(w) {}

C2DObject::~C2DObject() { ReleaseKey(animationCallback); }

void C2DObject::ReleaseKey(CallbackKey& key) {
    if (key && world) world->ReleaseCallback(*key);
    key.reset();
}

void C2DObject::SetAnimationCallback(CallbackKey key) {
    if (animationCallback != key) ReleaseKey(animationCallback);
    animationCallback = key;
}

// ---------------------------------------------------------------- view, loop, cel

void C2DObject::SetView(CView* newView) {
    view.Reset(newView);  // takes the new reference before the old one goes
    loop = -1;
    SetLoop(0);
}

std::int32_t C2DObject::GetLoopCount() const { return view ? static_cast<std::int32_t>(view->LoopCount()) : 0; }

std::int32_t C2DObject::GetCelCount() const { return view ? static_cast<std::int32_t>(view->CelCount(loop)) : 0; }

void C2DObject::SetLoop(std::int32_t n) {
    if (n == loop) return;
    std::int32_t count = GetLoopCount();
    if (count == 0) count = 1;
    loop = n % count;
    if (loop < 0) loop += count;
    cel = -1;
    SetCel(0);
    animationMode = kAnimForward;
    cycling = 1;
    finished = finishing = 0;
}

void C2DObject::SetCel(std::int32_t n) {
    if (n == cel) return;
    std::int32_t count = GetCelCount();
    if (count == 0) count = 1;
    cel = n % count;
    if (cel < 0) cel += count;
    delayCounter = delay;
}

bool C2DObject::SetAnimationMode(std::int32_t mode) {
    if (mode != kAnimRandom && !((mode & 3) && (mode & 12))) return false;
    animationMode = mode;
    finished = finishing = 0;
    cycling = 1;
    return true;
}

void C2DObject::ResetAnim() {
    SetCel((animationMode & 1) ? 0 : -1);
    finished = finishing = 0;
    cycling = 1;
}

const SCel* C2DObject::CurrentCel() const { return view ? view->GetCel(loop, cel) : nullptr; }

std::int32_t C2DObject::CelWidth() const {
    const SCel* c = CurrentCel();
    return c ? static_cast<std::int32_t>(c->width) : 0;
}
std::int32_t C2DObject::CelHeight() const {
    const SCel* c = CurrentCel();
    return c ? static_cast<std::int32_t>(c->height) : 0;
}
std::int32_t C2DObject::CelXShift() const {
    const SCel* c = CurrentCel();
    return c ? c->xOffset : 0;
}
std::int32_t C2DObject::CelYShift() const {
    const SCel* c = CurrentCel();
    return c ? c->yOffset : 0;
}

void C2DObject::Animate() {
    if (!view || !cycling) return;
    if (delayCounter != 0) {
        --delayCounter;
        return;
    }
    if (finishing) {
        finished = 1;
        finishing = 0;
        cycling = 0;
        if (animationCallback) {
            std::int32_t key = *animationCallback;
            animationCallback.reset();
            // The callback may destroy this object: only locals are used after it.
            if (ISpriteWorld* w = world) {
                w->CallCallback(key);
                w->ReleaseCallback(key);
            }
        }
        return;
    }
    std::int32_t count = GetCelCount();
    if (count == 0) {
        cycling = 0;
        finished = 1;
        return;
    }
    if (animationMode == kAnimRandom) {
        std::uint32_t r = world ? world->RandomNumber() : 0u;
        SetCel(static_cast<std::int32_t>(r % static_cast<std::uint32_t>(count)));
        finished = finishing = 0;
    } else if (animationMode & 2) {
        SetCel(cel - 1);
        if (animationMode & 8) finishing = cel == 0 ? 1 : 0;
    } else {
        SetCel(cel + 1);
        if (animationMode & 8) finishing = cel + 1 == count ? 1 : 0;
    }
}

// ---------------------------------------------------------------- appearance

void C2DObject::SetScale(float s) {
    if (std::fabs(s - 1.0f) < 0.0001f) {
        scale = 1.0f;
        scaled = 0;
    } else {
        scale = s;
        scaled = 1;
    }
}

void C2DObject::ForceSize(std::int32_t width, std::int32_t height) {
    forcedWidth = width;
    forcedHeight = height;
    forceSize = 1;
}

void C2DObject::Draw(CRenderer& renderer) {
    if (!visible) return;
    DrawAt(renderer, static_cast<float>(x), static_cast<float>(y), depth);
}

void C2DObject::DrawAt(CRenderer& renderer, float px, float py, float z) {
    if ((tint >> 24) == 0 || !view) return;
    const SCel* c = CurrentCel();
    if (!c) return;
    renderer.SetBlendMode(BlendFor(*c));
    renderer.SetFiltering(view->Smooth() != 0);
    if (forceSize) renderer.DrawCelSized(*c, xalign, yalign, px, py, forcedWidth, forcedHeight, z, tint);
    else if (scaled) renderer.DrawCelScaled(*c, xalign, yalign, px, py, z, scale, tint);
    else renderer.DrawCel(*c, xalign, yalign, px, py, z, tint);
}

int C2DObject::BlendFor(const SCel& cel) const {
    const int blend = static_cast<int>(view->BlendMode());
    // Blending is most of what software GL spends on a sprite; a cel whose pixels are opaque or
    // fully transparent, drawn unfiltered and at full opacity, looks the same without it.
    if (blend == kBlendAlpha && !cel.translucent && (tint >> 24) == 255 && !view->Smooth()) return kBlendOpaque;
    return blend;
}

bool C2DObject::DrawsOpaque() {
    if (!visible || (tint >> 24) == 0 || !view) return true;  // draws nothing
    const SCel* c = CurrentCel();
    return !c || BlendFor(*c) == kBlendOpaque;
}

bool C2DObject::HitTest(std::int32_t px, std::int32_t py) { return HitTestAt(x, y, px, py); }

bool C2DObject::HitTestAt(std::int32_t anchorX, std::int32_t anchorY, std::int32_t px, std::int32_t py) const {
    if (!visible) return false;
    const SCel* c = CurrentCel();
    if (!c) return false;
    const double s = scaled ? static_cast<double>(scale) : 1.0;
    if (s == 0.0) return false;  // a zero-sized picture covers nothing
    std::int32_t lx = TruncateToInt(static_cast<double>(static_cast<std::int64_t>(px) - anchorX) / s + 0.5);
    std::int32_t ly = TruncateToInt(static_cast<double>(static_cast<std::int64_t>(py) - anchorY) / s + 0.5);
    // Far-away points stay far away without overflowing the alignment arithmetic.
    constexpr std::int32_t kFar = 1 << 30;
    lx = lx < -kFar ? -kFar : lx > kFar ? kFar : lx;
    ly = ly < -kFar ? -kFar : ly > kFar ? kFar : ly;
    return CView::HitTest(*c, lx, ly, xalign, yalign);
}

}  // namespace ove
