// The game host's sprite list, update pass, cursor sprite and walking.
#include <algorithm>
#include <climits>

#include "host/Game.h"
#include "render/Renderer.h"
#include "scene/Sprite.h"
#include "walk/BackdropPicture.h"
#include "walk/Walker.h"

namespace ove {

CSprite* CGame::CreateSprite() {
    auto* sprite = new CSprite(this);  // owned by the list; DestroySprite or teardown deletes it
    sprites.push_back(sprite);
    return sprite;
}

void CGame::DestroySprite(CSprite* sprite) {
    auto it = std::find(sprites.begin(), sprites.end(), sprite);
    if (it == sprites.end()) return;
    sprites.erase(it);
    if (renderer) renderer->RemoveObject(sprite);  // clears the cursor when it was the cursor
    for (CSprite* s : sprites)
        if (s->GetParent() == sprite) s->SetPlacement(kPlaceScreen);
    listChanged = 1;
    ++spriteListGeneration_;
    if (doomedSprites_.InPass()) sprite->MarkDestroyed();
    doomedSprites_.Delete(sprite);
}

void CGame::DeleteSprites() {
    if (renderer) renderer->SetCursor(nullptr);
    for (CSprite* s : sprites) {
        if (renderer) renderer->RemoveObject(s);
        delete s;
    }
    sprites.clear();
    doomedSprites_.DeleteDoomed();
}

void CGame::UpdateSprites() {
    ++updatePass;
    const uint32_t pass = updatePass;
    TDeferredDelete<CSprite>::CPass deferring(doomedSprites_);
    bool again = true;
    while (again && !HasPendingFatal()) {
        again = false;
        listChanged = 0;
        for (auto it = sprites.begin(); it != sprites.end(); ++it) {
            // A callback may destroy sprites (this one included) and so the iterator: start over;
            // sprites that have seen this pass return at once. A counter rather than listChanged
            // alone, since a nested pass run from a callback clears that flag.
            const uint64_t generation = spriteListGeneration_;
            (*it)->Update(pass);
            if (spriteListGeneration_ != generation) {
                again = true;
                break;
            }
            if (HasPendingFatal()) break;
        }
    }
}

void CGame::MoveSprite(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback) {
    if (callback) sprite->SetMovementCallback(callback);
    // The callback may destroy the sprite: nothing touches it afterwards.
    if (!sprite->MoveTo(x, y) && callback) CallCallback(*callback);
}

SGamePoint CGame::SpriteScreenPosition(const CSprite* sprite) const {
    SPlacedPosition p = sprite->GetPlacedPosition();
    return SGamePoint{p.x, p.y};
}

void CGame::SetCursorSprite(CSprite* sprite) {
    if (renderer)
        if (CSpriteBase* old = renderer->GetCursor()) renderer->RemoveObject(old);
    if (sprite) {
        // The cel's top-left corner is the hot spot.
        sprite->xalign = 0;
        sprite->yalign = 0;
        sprite->cycling = 0;
        sprite->SetVisible(true);
        if (renderer) renderer->AddObject(sprite);
    }
    if (renderer) renderer->SetCursor(sprite);
}

void CGame::MoveCursorSprite(int32_t x, int32_t y) {
    if (!renderer) return;
    if (auto* cursor = dynamic_cast<CSprite*>(renderer->GetCursor())) {
        cursor->x = x;
        cursor->y = y;
    }
}

// ---------------------------------------------------------------- walking

namespace {

// The area a sprite may stand in: the picture, or the game's size without one.
void WalkArea(const CGame& game, int32_t& width, int32_t& height) {
    if (const CBackdropPicture* picture = game.BackdropPicture()) {
        width = picture->Width();
        height = picture->Height();
    } else {
        width = game.GetGameWidth();
        height = game.GetGameHeight();
    }
}

}  // namespace

bool CGame::AllowedAt(CSprite* sprite, int32_t x, int32_t y) {
    int32_t width = 0, height = 0;
    WalkArea(*this, width, height);
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    CWalker& w = Walker();
    w.SetConstraint(sprite->walkConstraint, sprite->walkReference);
    return w.IsAllowed(x, y);
}

bool CGame::TryWalk(CSprite* sprite, int32_t startX, int32_t startY, int32_t x, int32_t y) {
    int32_t width = 0, height = 0;
    WalkArea(*this, width, height);
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    if (!Walker().FindPath(SWalkPoint{startX, startY}, SWalkPoint{x, y}, sprite->path, true)) return false;
    sprite->segmentX = sprite->x;
    sprite->segmentY = sprite->y;
    sprite->cycling = 1;
    return true;
}

bool CGame::WalkTo(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback) {
    Walker().SetConstraint(sprite->walkConstraint, sprite->walkReference);
    CallbackKey old;
    if (callback) old = sprite->SwapMovementCallback(callback);
    auto fail = [&]() {
        if (callback) {
            sprite->SwapMovementCallback(old);
            if (old != callback) ReleaseCallback(*callback);
        }
        return false;
    };

    const SGamePoint screen = SpriteScreenPosition(sprite);
    SGamePoint start = ScreenToBackdrop(BackdropGeometry(), screen);
    if (!AllowedAt(sprite, start.x, start.y)) {
        // A scaled backdrop may put the sprite between two backdrop pixels: look for one that maps
        // back onto its screen position and may be stood on.
        const SGamePoint far = ScreenToBackdrop(BackdropGeometry(), SGamePoint{screen.x + 2, screen.y + 2});
        int32_t width = 0, height = 0;
        WalkArea(*this, width, height);
        bool found = false;
        for (int32_t bx = std::max(start.x, 0); !found && bx < std::min(far.x, width); ++bx)
            for (int32_t by = std::max(start.y, 0); by < std::min(far.y, height); ++by) {
                if (BackdropToScreen(BackdropGeometry(), SGamePoint{bx, by}) == screen && AllowedAt(sprite, bx, by)) {
                    start = SGamePoint{bx, by};
                    found = true;
                    break;
                }
            }
        if (!found) return fail();
    }
    if (sprite->GetPlacement() != kPlaceBackdrop) {
        SGamePoint b = ScreenToBackdrop(BackdropGeometry(), SGamePoint{x, y});
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
    if (callback && old && old != callback) ReleaseCallback(*old);
    return true;
}

const char* CGame::GetHotspot(int32_t x, int32_t y) const {
    // The nearest named, visible, corporeal sprite under the point that is not ignored; the
    // first in the list wins a tie.
    CSprite* best = nullptr;
    float bestDepth = 0.0f;
    for (CSprite* s : sprites) {
        if (!s->IsVisible() || s->noncorporeal || s->ignore || !s->GetName() || !s->HitTest(x, y)) continue;
        const float d = s->GetDepth();
        if (!best || d < bestDepth) {
            best = s;
            bestDepth = d;
        }
    }
    if (best) return best->GetName();
    return backdrop_->HotspotAt(x, y);
}

}  // namespace ove
