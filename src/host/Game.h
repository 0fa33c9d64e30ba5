// The game host: owns the window, data source, resources, renderer, sound and scene lists,
// and drives the script's Init/Run/Quit.
#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/GUIElement.h"
#include "host/BackdropState.h"
#include "host/DeferredDelete.h"
#include "host/EngineServices.h"
#include "host/GUIRoot.h"
#include "host/GameApiLogic.h"
#include "host/SpriteList.h"
#include "scene/2DObject.h"
#include "scene/SpriteWorld.h"
#include "script/ScriptRuntime.h"
#include "win/GameWindow.h"

namespace ove {

class CFileFolder;
class CResourceCache;
class CSoundManager;
class CRenderer;
class CFont;
class CSprite;
class CDrawingElement;
class CGUIElement;
class CBackdropPicture;
class CTileLayerSet;
class CTileLayer;
class CWalker;
class CBitmap;

// High-resolution frame timer.
// Reads the engine's clock (platform/Clock.h), which fixed-step runs make virtual.
class CTimer {
public:
    CTimer();
    void Mark();
    float Elapsed() const;  // seconds since the last mark
    double MarkTime() const { return m_mark; }

private:
    double m_mark = 0;
};

// How a run was asked for on the command line.
struct SRunOptions {
    long frameLimit = -1;  // close the window after this many rendered frames (game turns in fixed-step runs)
    // Fixed-step runs: the clock is virtual, Wait advances it by exactly the time waited and each
    // game turn draws one frame, so that a run repeats exactly and as fast as the machine draws.
    bool fixedStep = false;
    bool realPacing = false;  // ... but the turns take real time (a session recorded by hand)
    bool seedGiven = false;   // the random generators start from `seed` instead of the time
    uint32_t seed = 0;
    int32_t forcedWindowWidth = 0, forcedWindowHeight = 0;  // a replay's window size
    std::string recordPath;                                 // --record: the input events go there
    std::vector<std::pair<long, std::string>> turnShots;    // screenshots at the end of these turns
    std::string screenshotPath;                             // where to save the last rendered frame at the end
    bool trustGame = false;                                 // --trust-game: the game may read outside its folders
    std::string archiveOption;                              // the packed archive to use when several are present
    std::string directoryOption;                            // the data directory to use when several are present
    bool verbose = false;                                   // the script's debug() writes to standard error
    bool askForSource = true;  // the "Select source" dialog may be shown (never in a browser page)
};

class CGame final : public IWindowInput, public ISpriteWorld, public IEngineServices {
public:
    // The script runtime runs the game's scripts with this game as their services (none: the
    // game runs no script).
    explicit CGame(std::unique_ptr<IScriptRuntime> runtime = nullptr, SRunOptions options = {});
    virtual ~CGame();
    CGame(const CGame&) = delete;
    CGame& operator=(const CGame&) = delete;

    bool Startup();
    bool InitGame(const std::string& commandLine);
    void Run();
    // Processes pending window messages. False once the window was closed (Quit() was called).
    bool MessagePump(unsigned lowest = 0, unsigned highest = 0);
    // Starts the script runtime with this game as its services; false when it could not start.
    bool StartScript();
    IScriptRuntime* Script() { return m_runtime.get(); }
    const SRunOptions& Options() const { return m_options; }
    // Set when an error box ended the engine (the process then exits with status 1).
    bool Failed() const { return m_failed; }

    // ---- input from the game window (routing in the frame primitives)
    void RouteKey(int32_t code) override;
    // kind: 0 move, 1 left down, 2 right down, 3 left up, 4 right up, 5 middle down,
    // 6 middle up, 7 wheel; x and y in viewport client coordinates.
    void MouseEvent(int32_t x, int32_t y, int32_t kind, int32_t wheelDelta) override;
    void Resize(int32_t width, int32_t height) override;
    void ActivateApp(bool active) override;
    void ContentLost() override;
    void ToggleFullScreen() override;
    void ViewportChanged(int32_t x, int32_t y, int32_t width, int32_t height) override;
    int32_t GetGameWidth() const override;
    int32_t GetGameHeight() const override;
    bool IsFlexibleResolution() const override;
    bool HasCursorObject() const override;

    // ---- frame primitives
    void Display() override;
    void Animate() override;
    void Idle() override;
    void Mark() override;
    void Wait(float seconds) override;
    void Delay(float seconds) override;
    int32_t ReadKey() override;
    void PostKey(int32_t code) override;
    // Screen capture for script images: the current scene rendered off-screen at the logical size
    // and resampled to width x height, with the cursor object hidden. Null without a renderer;
    // the renderer's exceptions pass through (the cursor is restored either way).
    std::unique_ptr<CBitmap> RenderToImage(int32_t width, int32_t height) override;

    void UpdateRenderQueue();
    void QueueKey(int32_t code);

    // ---- sprites (the list's own comments say more)
    CSpriteList& SpriteList() { return *m_sprites; }
    CSprite* CreateSprite() override { return m_sprites->Create(); }
    void DestroySprite(CSprite* sprite) override { m_sprites->Destroy(sprite); }
    void MoveSprite(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback) override {
        m_sprites->Move(sprite, x, y, callback);
    }
    bool AllowedAt(CSprite* sprite, int32_t x, int32_t y) override { return m_sprites->AllowedAt(sprite, x, y); }
    bool WalkTo(CSprite* sprite, int32_t x, int32_t y, CallbackKey callback) override {
        return m_sprites->WalkTo(sprite, x, y, callback);
    }
    SGamePoint SpriteScreenPosition(const CSprite* sprite) const override {
        return CSpriteList::ScreenPosition(sprite);
    }
    void SetCursorSprite(CSprite* sprite) override { m_sprites->SetCursor(sprite); }
    CWalker& Walker() { return m_backdrop->Walker(); }

    // ---- the world sprites live in
    void MapBackdropToScreen(int32_t bx, int32_t by, int32_t& sx, int32_t& sy) const override;
    void MapScreenToBackdrop(int32_t sx, int32_t sy, int32_t& bx, int32_t& by) const override;
    void LayerToScreen(const void* layer, int32_t x, int32_t y, int32_t& sx, int32_t& sy) const override;
    int32_t AutoPriorityHeight() const override;
    uint32_t RandomNumber() override;
    void CallCallback(int32_t key) override;
    void ReleaseCallback(int32_t key) override;

    // ---- backdrop and window (the global game API)
    // Loads the named backdrop picture; null removes the picture. The current name again only
    // resets the offsets. May throw a loader's message.
    void SetBackdropPicture(const char* name) override { m_backdrop->SetPicture(name); }
    // Called before a tile layer is deleted, so that nothing placed on it keeps pointing at it.
    void ForgetTileLayer(const CTileLayer* layer) override;
    void SetBackdropSolid(uint32_t argb) override { m_backdrop->SetSolid(argb); }
    // A picture made elsewhere (a tool's room) as the backdrop, shown at this size, with its walk
    // mask for the walker; no renderer is told. TakeBackdrop hands it back.
    void PlaceBackdrop(std::unique_ptr<CBackdropPicture> picture, int32_t shownWidth, int32_t shownHeight,
                       int32_t priorityHeight, const std::string& name = {});
    std::unique_ptr<CBackdropPicture> TakeBackdrop();
    // The picture's size, the shown size and the offset: what the backdrop mappings work on.
    SBackdropGeometry BackdropGeometry() const override { return m_backdrop->Geometry(); }
    // The hotspot or sprite name at a screen point: "*" for nothing, null for a hotspot number
    // that has no name.
    const char* GetHotspot(int32_t x, int32_t y) const override;
    void SetTitle(const std::string& title) override;
    void GoFullScreen() override;
    // The command line the game was started with, as PARAMS holds it.
    const std::string& GetParams() const override { return m_params; }

    // ---- the GUI
    CGUIRoot& GUI() { return *m_gui; }
    void AnimateGUI() override { m_gui->Animate(); }
    CGUIElement* FindGUIElementAt(int32_t x, int32_t y) override { return m_gui->FindAt(x, y); }
    const std::list<CGUIElement*>& GUIRoots() const override { return m_gui->Roots(); }
    void DestroyGUIElement(CGUIElement* element) { m_gui->DestroyGUIElement(element); }

    // Error box owned by the game window (or by nobody).
    void ShowError(const std::string& text, bool owned = true);

    // ---- services for the bindings (and for tests and tools that drive a game)
    CResourceCache* Resources() override { return m_resources.get(); }
    CRenderer* Renderer() override { return m_renderer.get(); }
    CFileFolder* Folder() override { return m_folder.get(); }
    CSoundManager* Sound() override { return m_sound.get(); }
    CGameWindow* Window() override { return m_window.get(); }
    bool Verbose() const override { return m_options.verbose; }
    CBackdropState& Backdrop() { return *m_backdrop; }
    const std::string& BackdropName() const override { return m_backdrop->Name(); }
    uint32_t BackdropColour() const override { return m_backdrop->Colour(); }
    const CBackdropPicture* BackdropPicture() const override { return m_backdrop->Picture(); }
    void SetBackdropShownSize(int32_t width, int32_t height) override { m_backdrop->SetShownSize(width, height); }
    void SetBackdropOffset(int32_t x, int32_t y) override { m_backdrop->SetOffset(x, y); }
    void SetPriorityViewportHeight(int32_t height) override { m_backdrop->SetPriorityViewportHeight(height); }
    CTileLayerSet* ActiveTileLayers() const override { return m_backdrop->TileLayers(); }
    void SetActiveTileLayers(CTileLayerSet* set) override { m_backdrop->SetTileLayers(set); }
    std::list<CDrawingElement*>& DrawingElements() override { return m_drawingElements; }
    const std::list<CSprite*>& Sprites() const { return m_sprites->Sprites(); }
    CGameViewport* Viewport() const { return m_viewport; }
    // Tests and tools that build a game without Startup hand it its subsystems here.
    void Install(std::unique_ptr<CFileFolder> source);
    void Install(std::unique_ptr<CResourceCache> cache);
    void Install(std::unique_ptr<CRenderer> made);
    void Install(std::unique_ptr<CSoundManager> manager);
    int32_t BackdropWidth() const override { return m_backdrop->ShownWidth(); }
    int32_t BackdropHeight() const override { return m_backdrop->ShownHeight(); }
    int32_t BackdropX() const override { return m_backdrop->OffsetX(); }
    int32_t BackdropY() const override { return m_backdrop->OffsetY(); }
    uint32_t KeyCount() const { return m_keyCount; }
    long FramesRendered() const { return m_framesRendered; }

private:
    // ---- owned state, declared in teardown order: the last declared goes first
    std::unique_ptr<IScriptRuntime> m_runtime;
    SRunOptions m_options;
    std::unique_ptr<CGameWindow> m_window;
    CGameViewport* m_viewport = nullptr;  // the window's
    std::unique_ptr<CFileFolder> m_folder;
    std::unique_ptr<CSoundManager> m_sound;  // after the cache, which hands its sounds back to it
    std::unique_ptr<CResourceCache> m_resources;
    std::unique_ptr<CBackdropState> m_backdrop;  // after the renderer, which points into its picture
    std::unique_ptr<CRenderer> m_renderer;
    std::unique_ptr<CTimer> m_timer;
    std::unique_ptr<CGUIRoot> m_gui;         // its elements go before the renderer
    std::unique_ptr<CSpriteList> m_sprites;  // sprites hold views, whose textures go back to the renderer
    std::string m_scriptName = "main";
    std::string m_fontName;
    CFont* m_defaultFont = nullptr;
    std::list<CDrawingElement*> m_drawingElements;
    uint32_t m_mouseButtons = 0;
    int32_t m_keyQueue[128] = {};
    uint32_t m_keyCount = 0;
    uint8_t m_fullScreen = 0;

    bool m_failed = false;
    long m_framesRendered = 0;
    long m_turn = 0;  // game turns ended so far (fixed-step runs)

public:
    // Saves the screenshot when one was asked for; false when it could not be written.
    bool SaveScreenshot();

private:
    std::string m_params;
    std::string m_archiveName, m_directoryName;  // the sources Startup chose
    void KeepWindowOnMonitor();
    // Says on standard error under which name and where the main script was looked for.
    void TellWhereMainScriptWasSought() const;
    void LoadDefaultFont();
    // Confines the game's file access to its folder and the player folders.
    void ConfineFiles();
    void WaitLoop(float seconds, bool render);
    void FixedStepWait(float seconds, bool render);
    // Ends the game turn: counts it, takes the screenshots due, closes the window at the limit.
    void EndTurn();
    bool m_drewThisTurn = false;
    void NoteEngineContact() {
        if (m_runtime) m_runtime->NoteEngineContact();
    }
    bool HasPendingFatal() const { return m_runtime && m_runtime->HasPendingFatal(); }
    // Shuts the renderer down and lets it go (before the error box of a failed start, and at the end).
    void StopRenderer();
};

}  // namespace ove
