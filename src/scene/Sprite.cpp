#include "scene/Sprite.h"

#include <cmath>
#include <cstdlib>

#include "render/Renderer.h"
#include "scene/SpriteWorld.h"

namespace ove {

namespace {

std::int32_t Clamp32(std::int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(v);
}

std::int32_t TowardsOne(std::int32_t from, std::int32_t to) { return to > from ? 1 : to < from ? -1 : 0; }

}  // namespace

CSprite::CSprite(ISpriteWorld* w) : C2DObject(w) {}

CSprite::~CSprite() { ReleaseKey(movementCallback); }

void CSprite::SetName(const char* text) {
    hasName = text && *text;
    name = hasName ? text : "";
}

// ---------------------------------------------------------------- placement

std::int32_t CSprite::SetPlacement(std::int32_t mode, const void* layer, CSprite* parent) {
    placementLayer = nullptr;
    parentSprite = nullptr;
    placement = kPlaceScreen;
    if (mode == kPlaceBackdrop) {
        placement = kPlaceBackdrop;
    } else if (mode == kPlaceLayer && layer) {
        placement = kPlaceLayer;
        placementLayer = layer;
    } else if (mode == kPlaceSprite && parent) {
        // Chains are kept free of cycles, so this walk ends.
        for (const CSprite* s = parent; s; s = s->parentSprite)
            if (s == this) return placement;
        placement = kPlaceSprite;
        parentSprite = parent;
        priorityFixed = 1;
    }
    return placement;
}

const CSprite* CSprite::Root() const {
    const CSprite* s = this;
    while (s->parentSprite) s = s->parentSprite;
    return s;
}

SPlacedPosition CSprite::GetPlacedPosition() const {
    // Iterative, so long chains of relative sprites cannot exhaust the stack.
    std::int64_t ax = 0, ay = 0;
    const CSprite* s = this;
    while (s->parentSprite) {
        ax += s->x;
        ay += s->y;
        s = s->parentSprite;
    }
    std::int32_t rx = s->x, ry = s->y;
    if (world) {
        if (s->placement == kPlaceBackdrop) world->MapBackdropToScreen(s->x, s->y, rx, ry);
        else if (s->placement == kPlaceLayer) world->LayerToScreen(s->placementLayer, s->x, s->y, rx, ry);
    }
    SPlacedPosition p;
    p.x = Clamp32(ax + rx);
    p.y = Clamp32(ay + ry);
    p.depth = depth;
    return p;
}

// ---------------------------------------------------------------- priority

void CSprite::UpdateDepth() {
    if (parentSprite) {
        auto* root = const_cast<CSprite*>(Root());
        root->UpdateDepth();
        depth = root->depth;
        return;
    }
    if (priorityFixed) return;
    std::int32_t h = world ? world->AutoPriorityHeight() : 0;
    if (h == 0) h = 1;  // no band to spread over: avoid dividing by zero
    const float H = static_cast<float>(h);
    const float py = static_cast<float>(GetPlacedPosition().y);
    depth = ((H - (py + 0.3f)) / H) * 0.5f + 0.5f;
}

float CSprite::GetDepth() {
    UpdateDepth();
    return onTop ? -1.0f : depth;
}

void CSprite::SetPriority(std::int32_t p) {
    if (parentSprite) {
        UpdateDepth();
        priorityFixed = 1;
        return;
    }
    if (p == kPriorityOnTop) {
        onTop = 1;
    } else if (p == kPriorityAuto) {
        onTop = 0;
        priorityFixed = 0;
        UpdateDepth();
    } else {
        onTop = 0;
        priorityFixed = 1;
        depth = 1.0f - static_cast<float>(p) / 30.0f;
    }
}

std::int32_t CSprite::GetPriority() {
    auto* root = const_cast<CSprite*>(Root());
    if (root->onTop) return 15;
    root->UpdateDepth();
    // A hair above the truncation point, so that a fixed priority reads back as itself although
    // 1 - p/30 is not exact in single precision (8 would read 7).
    return TruncateToInt((1.0f - root->depth) * 30.0f + 1e-4f);
}

// ---------------------------------------------------------------- movement

void CSprite::SetMovementCallback(CallbackKey key) {
    if (movementCallback != key) ReleaseKey(movementCallback);
    movementCallback = key;
}

CallbackKey CSprite::SwapMovementCallback(CallbackKey key) {
    CallbackKey old = movementCallback;
    movementCallback = key;
    return old;
}

bool CSprite::MoveTo(std::int32_t tx, std::int32_t ty) {
    path.clear();
    const std::int32_t sx = x, sy = y;
    segmentX = sx;
    segmentY = sy;
    waypointX = tx;
    waypointY = ty;
    const std::int64_t dx = std::int64_t(tx) - sx, dy = std::int64_t(ty) - sy;
    const std::int64_t n = std::llabs(dx) + std::llabs(dy);
    if (n < 1) return false;
    // A step below 1 would never end the loop; a huge distance would lay down billions of points.
    std::int64_t spacing = step < 1 ? 1 : step;
    if (n / spacing > kMaxMovePoints) spacing = n / kMaxMovePoints + 1;
    path.reserve(static_cast<std::size_t>(n / spacing + 1));
    for (std::int64_t k = n; k > 0; k -= spacing) {
        SWalkPoint p;
        p.x = Clamp32(static_cast<std::int64_t>(static_cast<__int128>(k) * dx / n) + sx);
        p.y = Clamp32(static_cast<std::int64_t>(static_cast<__int128>(k) * dy / n) + sy);
        if (placement == kPlaceScreen && world) world->MapScreenToBackdrop(p.x, p.y, p.x, p.y);
        path.push_back(p);
    }
    return !path.empty();
}

SWalkPoint CSprite::PathToOwn(SWalkPoint p) const {
    if (placement == kPlaceScreen && world) world->MapBackdropToScreen(p.x, p.y, p.x, p.y);
    return p;
}

std::int32_t CSprite::LoopForHeading(std::int32_t h, std::int32_t loops) {
    if (loops == 8) {
        if (h >= 23 && h < 68) return 4;
        if (h >= 68 && h < 113) return 2;
        if (h >= 113 && h < 158) return 5;
        if (h >= 158 && h < 203) return 1;
        if (h >= 203 && h < 248) return 7;
        if (h >= 248 && h < 293) return 3;
        if (h >= 293 && h < 338) return 6;
        return 0;
    }
    if (loops == 4) {
        if (h >= 46 && h < 136) return 2;
        if (h >= 136 && h < 226) return 1;
        if (h >= 226 && h < 316) return 3;
        return 0;
    }
    if (loops == 2) return h > 90 && h < 271 ? 1 : 0;
    return 0;
}

void CSprite::Update(std::uint32_t frame) {
    if (parentSprite) UpdateDepth();
    if (frame == lastUpdateFrame) return;
    lastUpdateFrame = frame;
    if (!active) return;

    if (!path.empty()) {
        SWalkPoint t = PathToOwn(path.back());
        std::int32_t px = x, py = y;
        for (std::int32_t i = 0; i < step; ++i) {
            if (px == t.x && py == t.y) {
                path.pop_back();
                if (path.empty()) break;
                segmentX = px;
                segmentY = py;
                t = PathToOwn(path.back());
                if (t.x == px && t.y == py) {
                    path.pop_back();
                    break;
                }
                const float degrees = std::atan2(static_cast<float>(t.y - py), static_cast<float>(t.x - px)) *
                                      57.29578f;
                heading = TruncateToInt(degrees);
                if (heading < 0) heading += 360;
            }
            // A script that moved the sprite mid-way can leave the segment without length.
            if (t.x == segmentX && t.y == segmentY) {
                segmentX = px;
                segmentY = py;
            }
            const std::int64_t sdx = std::int64_t(t.x) - segmentX, sdy = std::int64_t(t.y) - segmentY;
            if (std::llabs(sdy) < std::llabs(sdx)) {
                px += TowardsOne(px, t.x);
                py = Clamp32((std::int64_t(px) - segmentX) * sdy / sdx + segmentY);
            } else {
                py += TowardsOne(py, t.y);
                px = Clamp32((std::int64_t(py) - segmentY) * sdx / sdy + segmentX);
            }
        }

        if (!loopFixed) {
            std::int32_t chosen = LoopForHeading(heading, GetLoopCount());
            if (chosen != loop) SetLoop(chosen);
        }
        if (path.empty()) cycling = 0;
        x = px;
        y = py;
        if (path.empty() && movementCallback) {
            // The callback may destroy this sprite; the host then keeps its memory until its pass
            // ends and marks it, so only the flag is read afterwards.
            std::int32_t key = *movementCallback;
            if (ISpriteWorld* w = world) w->CallCallback(key);
            if (destroyed) return;
        }
    }
    UpdateDepth();
    Animate();
}

// ---------------------------------------------------------------- drawing and hits

void CSprite::Draw(CRenderer& renderer) {
    if (!visible) return;
    UpdateDepth();
    SPlacedPosition p = GetPlacedPosition();
    DrawAt(renderer, static_cast<float>(p.x), static_cast<float>(p.y), depth);
}

bool CSprite::HitTest(std::int32_t px, std::int32_t py) {
    SPlacedPosition p = GetPlacedPosition();
    return HitTestAt(p.x, p.y, px, py);
}

}  // namespace ove
