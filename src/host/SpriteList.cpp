#include "host/SpriteList.h"

#include <algorithm>
#include <climits>

#include "host/BackdropState.h"
#include "render/Renderer.h"
#include "scene/Sprite.h"
#include "scene/SpriteWorld.h"
#include "script/ScriptRuntime.h"
#include "walk/BackdropPicture.h"
#include "walk/Walker.h"

namespace ove {

CSpriteList::CSpriteList(ISpriteWorld& world, const std::unique_ptr<CRenderer>& renderer, CBackdropState& backdrop,
                         IScriptRuntime* runtime)
    : m_world(world), m_renderer(renderer), m_backdrop(backdrop), m_runtime(runtime) {}

CSpriteList::~CSpriteList() { DeleteAll(); }

CSprite* CSpriteList::Create() {
    auto* sprite = new CSprite(&m_world);  // owned by the list; DestroySprite or teardown deletes it
    m_sprites.push_back(sprite);
    return sprite;
}

void CSpriteList::Destroy(CSprite* sprite) {
    auto it = std::find(m_sprites.begin(), m_sprites.end(), sprite);
    if (it == m_sprites.end()) return;
    m_sprites.erase(it);
    if (m_renderer) m_renderer->RemoveObject(sprite);  // clears the cursor when it was the cursor
    for (CSprite* s : m_sprites)
        if (s->GetParent() == sprite) s->SetPlacement(kPlaceScreen);
    ++m_generation;
    if (m_doomed.InPass()) sprite->MarkDestroyed();
    m_doomed.Delete(sprite);
}

void CSpriteList::DeleteAll() {
    if (m_renderer) m_renderer->SetCursor(nullptr);
    for (CSprite* s : m_sprites) {
        if (m_renderer) m_renderer->RemoveObject(s);
        delete s;
    }
    m_sprites.clear();
    m_doomed.DeleteDoomed();
}

void CSpriteList::Update() {
    ++m_updatePass;
    const uint32_t pass = m_updatePass;
    TDeferredDelete<CSprite>::CPass deferring(m_doomed);
    bool again = true;
    while (again && !PendingFatal()) {
        again = false;
        for (auto it = m_sprites.begin(); it != m_sprites.end(); ++it) {
            // A callback may destroy sprites (this one included) and so the iterator: start over;
            // sprites that have seen this pass return at once. A counter rather than a flag, since
            // a nested pass run from a callback would clear a flag.
            const uint64_t generation = m_generation;
            (*it)->Update(pass);
            if (m_generation != generation) {
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
    if (!sprite->MoveTo(x, y) && callback) m_world.CallCallback(*callback);
}

SGamePoint CSpriteList::ScreenPosition(const CSprite* sprite) {
    SPlacedPosition p = sprite->GetPlacedPosition();
    return SGamePoint{p.x, p.y};
}

void CSpriteList::SetCursor(CSprite* sprite) {
    if (m_renderer)
        if (CSpriteBase* old = m_renderer->GetCursor()) m_renderer->RemoveObject(old);
    if (sprite) {
        // The cel's top-left corner is the hot spot.
        sprite->xalign = 0;
        sprite->yalign = 0;
        sprite->cycling = 0;
        sprite->SetVisible(true);
        if (m_renderer) m_renderer->AddObject(sprite);
    }
    if (m_renderer) m_renderer->SetCursor(sprite);
}

void CSpriteList::MoveCursor(int32_t x, int32_t y) {
    if (!m_renderer) return;
    if (auto* cursor = dynamic_cast<CSprite*>(m_renderer->GetCursor())) {
        cursor->x = x;
        cursor->y = y;
    }
}

// ---------------------------------------------------------------- walking

// The area a sprite may stand in: the picture, or the game's size without one.
void CSpriteList::WalkArea(int32_t& width, int32_t& height) const {
    if (const CBackdropPicture* picture = m_backdrop.Picture()) {
        width = picture->Width();
        height = picture->Height();
    } else {
        width = m_renderer ? m_renderer->GetWidth() : 0;
        height = m_renderer ? m_renderer->GetHeight() : 0;
    }
}

bool CSpriteList::PendingFatal() const { return m_runtime && m_runtime->HasPendingFatal(); }

bool CSpriteList::AllowedAt(CSprite* sprite, int32_t x, int32_t y) {
    int32_t width = 0, height = 0;
    WalkArea(width, height);
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    CWalker& w = m_backdrop.Walker();
    w.SetConstraint(sprite->walkConstraint, sprite->walkReference);
    return w.IsAllowed(x, y);
}

bool CSpriteList::TryWalk(CSprite* sprite, int32_t startX, int32_t startY, int32_t x, int32_t y) {
    int32_t width = 0, height = 0;
    WalkArea(width, height);
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    if (!m_backdrop.Walker().FindPath(SWalkPoint{startX, startY}, SWalkPoint{x, y}, sprite->path, true)) return false;
    sprite->segmentX = sprite->x;
    sprite->segmentY = sprite->y;
    sprite->cycling = 1;
    return true;
}

bool CSpriteList::WalkTo(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback) {
    m_backdrop.Walker().SetConstraint(sprite->walkConstraint, sprite->walkReference);
    CallbackKey old;
    if (callback) old = sprite->SwapMovementCallback(callback);
    auto fail = [&]() {
        if (callback) {
            sprite->SwapMovementCallback(old);
            if (old != callback) m_world.ReleaseCallback(*callback);
        }
        return false;
    };

    const SGamePoint screen = ScreenPosition(sprite);
    SGamePoint start = ScreenToBackdrop(m_backdrop.Geometry(), screen);
    if (!AllowedAt(sprite, start.x, start.y)) {
        // A scaled backdrop may put the sprite between two backdrop pixels: look for one that maps
        // back onto its screen position and may be stood on.
        const SGamePoint far = ScreenToBackdrop(m_backdrop.Geometry(), SGamePoint{screen.x + 2, screen.y + 2});
        int32_t width = 0, height = 0;
        WalkArea(width, height);
        bool found = false;
        for (int32_t bx = std::max(start.x, 0); !found && bx < std::min(far.x, width); ++bx)
            for (int32_t by = std::max(start.y, 0); by < std::min(far.y, height); ++by) {
                if (BackdropToScreen(m_backdrop.Geometry(), SGamePoint{bx, by}) == screen &&
                    AllowedAt(sprite, bx, by)) {
                    start = SGamePoint{bx, by};
                    found = true;
                    break;
                }
            }
        if (!found) return fail();
    }
    if (sprite->GetPlacement() != kPlaceBackdrop) {
        SGamePoint b = ScreenToBackdrop(m_backdrop.Geometry(), SGamePoint{x, y});
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
    if (callback && old && old != callback) m_world.ReleaseCallback(*old);
    return true;
}

CSprite* CSpriteList::HitAt(int32_t x, int32_t y) const {
    // The first in the list wins a tie.
    CSprite* best = nullptr;
    float bestDepth = 0.0f;
    for (CSprite* s : m_sprites) {
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
    for (CSprite* s : m_sprites)
        if (s->GetPlacement() == kPlaceLayer && s->GetLayer() == layer) s->SetPlacement(kPlaceScreen);
}

}  // namespace ove
