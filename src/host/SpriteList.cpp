#include "host/SpriteList.h"

#include <algorithm>
#include <climits>

#include "host/BackdropState.h"
#include "scene/SpriteWorld.h"
#include "script/ScriptRuntime.h"
#include "render/Renderer.h"
#include "scene/Sprite.h"
#include "walk/BackdropPicture.h"
#include "walk/Walker.h"

namespace ove {

CSpriteList::CSpriteList(ISpriteWorld& world, const std::unique_ptr<CRenderer>& renderer, CBackdropState& backdrop,
                         IScriptRuntime* runtime)
    : world_(world), renderer_(renderer), backdrop_(backdrop), runtime_(runtime) {}

CSpriteList::~CSpriteList() { DeleteAll(); }

CSprite* CSpriteList::Create() {
    auto* sprite = new CSprite(&world_);  // owned by the list; DestroySprite or teardown deletes it
    sprites_.push_back(sprite);
    return sprite;
}

void CSpriteList::Destroy(CSprite* sprite) {
    auto it = std::find(sprites_.begin(), sprites_.end(), sprite);
    if (it == sprites_.end()) return;
    sprites_.erase(it);
    if (renderer_) renderer_->RemoveObject(sprite);  // clears the cursor when it was the cursor
    for (CSprite* s : sprites_)
        if (s->GetParent() == sprite) s->SetPlacement(kPlaceScreen);
    ++generation_;
    if (doomed_.InPass()) sprite->MarkDestroyed();
    doomed_.Delete(sprite);
}

void CSpriteList::DeleteAll() {
    if (renderer_) renderer_->SetCursor(nullptr);
    for (CSprite* s : sprites_) {
        if (renderer_) renderer_->RemoveObject(s);
        delete s;
    }
    sprites_.clear();
    doomed_.DeleteDoomed();
}

void CSpriteList::Update() {
    ++updatePass_;
    const uint32_t pass = updatePass_;
    TDeferredDelete<CSprite>::CPass deferring(doomed_);
    bool again = true;
    while (again && !PendingFatal()) {
        again = false;
        for (auto it = sprites_.begin(); it != sprites_.end(); ++it) {
            // A callback may destroy sprites (this one included) and so the iterator: start over;
            // sprites that have seen this pass return at once. A counter rather than a flag, since
            // a nested pass run from a callback would clear a flag.
            const uint64_t generation = generation_;
            (*it)->Update(pass);
            if (generation_ != generation) {
                again = true;
                break;
            }
            if (PendingFatal()) break;
        }
    }
}

void CSpriteList::Move(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback) {
    if (callback) sprite->SetMovementCallback(callback);
    // The callback may destroy the sprite: nothing touches it afterwards.
    if (!sprite->MoveTo(x, y) && callback) world_.CallCallback(*callback);
}

SGamePoint CSpriteList::ScreenPosition(const CSprite* sprite) {
    SPlacedPosition p = sprite->GetPlacedPosition();
    return SGamePoint{p.x, p.y};
}

void CSpriteList::SetCursor(CSprite* sprite) {
    if (renderer_)
        if (CSpriteBase* old = renderer_->GetCursor()) renderer_->RemoveObject(old);
    if (sprite) {
        // The cel's top-left corner is the hot spot.
        sprite->xalign = 0;
        sprite->yalign = 0;
        sprite->cycling = 0;
        sprite->SetVisible(true);
        if (renderer_) renderer_->AddObject(sprite);
    }
    if (renderer_) renderer_->SetCursor(sprite);
}

void CSpriteList::MoveCursor(int32_t x, int32_t y) {
    if (!renderer_) return;
    if (auto* cursor = dynamic_cast<CSprite*>(renderer_->GetCursor())) {
        cursor->x = x;
        cursor->y = y;
    }
}

// ---------------------------------------------------------------- walking

// The area a sprite may stand in: the picture, or the game's size without one.
void CSpriteList::WalkArea(int32_t& width, int32_t& height) const {
    if (const CBackdropPicture* picture = backdrop_.Picture()) {
        width = picture->Width();
        height = picture->Height();
    } else {
        width = renderer_ ? renderer_->GetWidth() : 0;
        height = renderer_ ? renderer_->GetHeight() : 0;
    }
}

bool CSpriteList::PendingFatal() const { return runtime_ && runtime_->HasPendingFatal(); }

bool CSpriteList::AllowedAt(CSprite* sprite, int32_t x, int32_t y) {
    int32_t width = 0, height = 0;
    WalkArea(width, height);
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    CWalker& w = backdrop_.Walker();
    w.SetConstraint(sprite->walkConstraint, sprite->walkReference);
    return w.IsAllowed(x, y);
}

bool CSpriteList::TryWalk(CSprite* sprite, int32_t startX, int32_t startY, int32_t x, int32_t y) {
    int32_t width = 0, height = 0;
    WalkArea(width, height);
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    if (!backdrop_.Walker().FindPath(SWalkPoint{startX, startY}, SWalkPoint{x, y}, sprite->path, true)) return false;
    sprite->segmentX = sprite->x;
    sprite->segmentY = sprite->y;
    sprite->cycling = 1;
    return true;
}

bool CSpriteList::WalkTo(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback) {
    backdrop_.Walker().SetConstraint(sprite->walkConstraint, sprite->walkReference);
    CallbackKey old;
    if (callback) old = sprite->SwapMovementCallback(callback);
    auto fail = [&]() {
        if (callback) {
            sprite->SwapMovementCallback(old);
            if (old != callback) world_.ReleaseCallback(*callback);
        }
        return false;
    };

    const SGamePoint screen = ScreenPosition(sprite);
    SGamePoint start = ScreenToBackdrop(backdrop_.Geometry(), screen);
    if (!AllowedAt(sprite, start.x, start.y)) {
        // A scaled backdrop may put the sprite between two backdrop pixels: look for one that maps
        // back onto its screen position and may be stood on.
        const SGamePoint far = ScreenToBackdrop(backdrop_.Geometry(), SGamePoint{screen.x + 2, screen.y + 2});
        int32_t width = 0, height = 0;
        WalkArea(width, height);
        bool found = false;
        for (int32_t bx = std::max(start.x, 0); !found && bx < std::min(far.x, width); ++bx)
            for (int32_t by = std::max(start.y, 0); by < std::min(far.y, height); ++by) {
                if (BackdropToScreen(backdrop_.Geometry(), SGamePoint{bx, by}) == screen && AllowedAt(sprite, bx, by)) {
                    start = SGamePoint{bx, by};
                    found = true;
                    break;
                }
            }
        if (!found) return fail();
    }
    if (sprite->GetPlacement() != kPlaceBackdrop) {
        SGamePoint b = ScreenToBackdrop(backdrop_.Geometry(), SGamePoint{x, y});
        x = b.x;
        y = b.y;
    }

    bool walking = TryWalk(sprite, start.x, start.y, x, y);
    for (int32_t r = 0; !walking && r < 100; ++r) {
        const int64_t X = x, Y = y;
        const int64_t ring[][2] = {
            {X, Y + 2 * r}, {X, Y + 2 * r + 1}, {X, Y - r},     {X - r, Y},     {X + r, Y},
            {X - r, Y - r}, {X + r, Y - r},     {X + r, Y + r}, {X - r, Y + r},
        };
        for (const auto& p : ring) {
            // Far outside the area (the check in TryWalk rejects these too, without wrapping).
            if (p[0] < 0 || p[1] < 0 || p[0] > INT32_MAX || p[1] > INT32_MAX) continue;
            if ((walking = TryWalk(sprite, start.x, start.y, int32_t(p[0]), int32_t(p[1])))) break;
        }
    }
    if (!walking) return fail();
    if (callback && old && old != callback) world_.ReleaseCallback(*old);
    return true;
}

CSprite* CSpriteList::HitAt(int32_t x, int32_t y) const {
    // The first in the list wins a tie.
    CSprite* best = nullptr;
    float bestDepth = 0.0f;
    for (CSprite* s : sprites_) {
        if (!s->IsVisible() || s->noncorporeal || s->ignore || !s->GetName() || !s->HitTest(x, y)) continue;
        const float d = s->GetDepth();
        if (!best || d < bestDepth) {
            best = s;
            bestDepth = d;
        }
    }
    return best;
}

void CSpriteList::ForgetTileLayer(const CTileLayer* layer) {
    for (CSprite* s : sprites_)
        if (s->GetPlacement() == kPlaceLayer && s->GetLayer() == layer) s->SetPlacement(kPlaceScreen);
}

}  // namespace ove
