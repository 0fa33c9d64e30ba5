// What the script API reaches in the engine: the one door the bindings use. The game host
// implements it and hands it to the script runtime at start-up; bindings never see the host's
// own class.
#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "host/GameApiLogic.h"
#include "scene/2DObject.h"

namespace ove {

class CBackdropPicture;
class CBitmap;
class CDrawingElement;
class CFileFolder;
class CGameWindow;
class CGUIElement;
class CRenderer;
class CResourceCache;
class CSoundManager;
class CSprite;
class CTileLayer;
class CTileLayerSet;

class IEngineServices {
public:
    // ---- subsystems (null before start-up, or when the game has none)
    virtual CResourceCache* Resources() = 0;
    virtual CRenderer* Renderer() = 0;
    virtual CFileFolder* Folder() = 0;
    virtual CSoundManager* Sound() = 0;
    virtual CGameWindow* Window() = 0;
    // debug() writes to standard error.
    virtual bool Verbose() const = 0;

    // ---- frames and input
    virtual void Display() = 0;
    virtual void Animate() = 0;
    virtual void Idle() = 0;
    virtual void Mark() = 0;
    virtual void Wait(float seconds) = 0;
    virtual void Delay(float seconds) = 0;
    virtual int32_t ReadKey() = 0;
    virtual void PostKey(int32_t code) = 0;
    // The current scene at the logical size, resampled; null without a renderer.
    virtual std::unique_ptr<CBitmap> RenderToImage(int32_t width, int32_t height) = 0;

    // ---- the window and the game
    virtual void SetTitle(const std::string& title) = 0;
    virtual void GoFullScreen() = 0;
    virtual const std::string& GetParams() const = 0;
    virtual int32_t GetGameWidth() const = 0;
    virtual int32_t GetGameHeight() const = 0;

    // ---- the backdrop
    virtual void SetBackdropPicture(const char* name) = 0;
    virtual void SetBackdropSolid(uint32_t argb) = 0;
    virtual const std::string& BackdropName() const = 0;
    virtual uint32_t BackdropColour() const = 0;
    virtual const CBackdropPicture* BackdropPicture() const = 0;
    virtual SBackdropGeometry BackdropGeometry() const = 0;
    // The shown size and the offset of the backdrop.
    virtual int32_t BackdropWidth() const = 0;
    virtual int32_t BackdropHeight() const = 0;
    virtual int32_t BackdropX() const = 0;
    virtual int32_t BackdropY() const = 0;
    virtual void SetBackdropShownSize(int32_t width, int32_t height) = 0;
    virtual void SetBackdropOffset(int32_t x, int32_t y) = 0;
    virtual void SetPriorityViewportHeight(int32_t height) = 0;
    virtual const char* GetHotspot(int32_t x, int32_t y) const = 0;
    virtual CTileLayerSet* ActiveTileLayers() const = 0;
    virtual void SetActiveTileLayers(CTileLayerSet* set) = 0;
    virtual void ForgetTileLayer(const CTileLayer* layer) = 0;

    // ---- sprites and drawing elements
    virtual CSprite* CreateSprite() = 0;
    virtual void DestroySprite(CSprite* sprite) = 0;
    virtual void MoveSprite(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback) = 0;
    virtual bool WalkTo(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback) = 0;
    virtual bool AllowedAt(CSprite* sprite, int32_t x, int32_t y) = 0;
    virtual SGamePoint SpriteScreenPosition(const CSprite* sprite) const = 0;
    virtual void SetCursorSprite(CSprite* sprite) = 0;
    virtual std::list<CDrawingElement*>& DrawingElements() = 0;

    // ---- the GUI
    virtual const std::list<CGUIElement*>& GUIRoots() const = 0;
    virtual void AnimateGUI() = 0;
    virtual CGUIElement* FindGUIElementAt(int32_t x, int32_t y) = 0;

protected:
    ~IEngineServices() = default;
};

}  // namespace ove
