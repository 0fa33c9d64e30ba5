// The game's sprites: the list in creation order, the update pass that script callbacks may
// change under it, the cursor sprite, straight moves and walks on the backdrop's walk mask.
#pragma once
#include <cstdint>
#include <list>
#include <memory>

#include "host/DeferredDelete.h"
#include "host/GameApiLogic.h"
#include "scene/2DObject.h"

namespace ove {

class CBackdropState;
class CRenderer;
class CSprite;
class CTileLayer;
class IScriptRuntime;
class ISpriteWorld;

class CSpriteList {
public:
    // `world` is what sprites see of the game; the renderer may come and go; `runtime` may be null.
    CSpriteList(ISpriteWorld& world, const std::unique_ptr<CRenderer>& renderer, CBackdropState& backdrop,
                IScriptRuntime* runtime);
    ~CSpriteList();
    CSpriteList(const CSpriteList&) = delete;
    CSpriteList& operator=(const CSpriteList&) = delete;

    const std::list<CSprite*>& Sprites() const { return m_sprites; }
    CSprite* Create();
    // Takes the sprite out of the list and the render queue and detaches the sprites placed
    // relative to it. It is deleted at once, or at the end of the update pass when one is running
    // (its own callback may be what destroyed it).
    void Destroy(CSprite* sprite);
    // Deletes every sprite (teardown: after the script runtime, before the renderer).
    void DeleteAll();
    // One update pass: every sprite's Update once, restarting the walk when a sprite was destroyed
    // on the way.
    void Update();
    // Straight-line movement with an optional callback, which is called at once when there is
    // nowhere to go.
    void Move(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback);
    // Whether the sprite may stand at a backdrop point.
    bool AllowedAt(CSprite* sprite, int32_t x, int32_t y);
    // Searches a walk to (x, y) (screen pixels, or backdrop pixels for a BACKDROP sprite), trying
    // rings around the destination when it cannot be reached.
    bool WalkTo(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback);
    static SGamePoint ScreenPosition(const CSprite* sprite);
    // Makes the sprite the mouse cursor (null: none), and moves it with the mouse.
    void SetCursor(CSprite* sprite);
    void MoveCursor(int32_t x, int32_t y);
    // The nearest named, visible, corporeal sprite under a screen point that is not ignored; null for none.
    CSprite* HitAt(int32_t x, int32_t y) const;
    // Sprites placed on the layer go back to the screen (the layer is going).
    void ForgetTileLayer(const CTileLayer* layer);

private:
    bool PendingFatal() const;
    bool TryWalk(CSprite* sprite, int32_t startX, int32_t startY, int32_t x, int32_t y);
    void WalkArea(int32_t& width, int32_t& height) const;

    ISpriteWorld& m_world;
    const std::unique_ptr<CRenderer>& m_renderer;
    CBackdropState& m_backdrop;
    IScriptRuntime* m_runtime;
    std::list<CSprite*> m_sprites;
    uint32_t m_updatePass = 0;
    uint64_t m_generation = 0;          // bumped whenever the list loses a sprite
    TDeferredDelete<CSprite> m_doomed;  // destroyed during an update pass
};

}  // namespace ove
