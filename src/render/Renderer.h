// The renderer: render queues, backdrop and priority map, frame composition and the drawing
// primitives every drawable uses. The logic here is platform-free; CGLDevice (GLDevice.h) is the
// only part that talks to OpenGL.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/Cel.h"
#include "render/SpriteBase.h"

struct SDL_Window;

namespace ove {

class CBitmapInterface;
class CBitmap;
class CBitmapProxy;
class CRunMask;
class CGLDevice;
class CRenderer;

// Pre-transformed vertex: position in target pixels, depth, reciprocal w, ARGB colour, texture
// coordinates. 28 bytes, the layout DrawTriangles takes.
struct SVertex {
    float x, y, z, rhw;
    std::uint32_t diffuse;  // 0xAARRGGBB
    float u, v;
};
static_assert(sizeof(SVertex) == 28, "SVertex must stay 28 bytes");

// Something drawn between the scene objects at priority levels 0..16 (the active tile-layer set).
class CLevelLayers {
public:
    virtual ~CLevelLayers() = default;
    virtual void Draw(CRenderer& renderer, int level) = 0;
};

// Last-error codes.
enum ERendererError : std::int32_t {
    kRenderUnknownFailure = -1,
    kRenderOk = 0,
    kRenderNoInterface = 1,
    kRenderNoDepthFormat = 2,
    kRenderNoDevice = 3,
    kRenderInvalidArgument = 4,
    kRenderObjectNotQueued = 5,
    kRenderObjectQueued = 6,
    kRenderGUINotQueued = 7,
    kRenderGUIQueued = 8,
    kRenderOverlayNotQueued = 9,
    kRenderOverlayQueued = 10,
    kRenderNoFilename = 11,
    kRenderNoDataSource = 12,
    kRenderCannotLoadSprite = 13,
    kRenderCannotCreateSprite = 14,
};
const char* RendererErrorMessage(std::int32_t code);

// Blend modes (SetBlendMode).
enum : int { kBlendOpaque = 0, kBlendAlpha = 1, kBlendAdditive = 2 };

// Texture formats a bitmap can be turned into (the device may support only some).
enum class ETextureFormat {
    None,
    R5G6B5,
    R8G8B8,
    X8R8G8B8,
    A8R8G8B8,
    A4R4G4B4,
    A1R5G5B5,
};
// The format CreateTexture picks for a bitmap given what the device supports; None = failure.
ETextureFormat ChooseTextureFormat(const CBitmapInterface& bitmap, bool (*supported)(ETextureFormat));

// A row or column band of a tiled bitmap: start and covered length in pixels, texture size.
struct STileSpan {
    std::int32_t start;
    std::int32_t size;  // texture size (a power-of-two fraction of the maximum)
    std::int32_t used;  // pixels of the bitmap the tile covers (<= size)
};
// Cuts a length into tiles no larger than maxSize, halving while the tile is at least twice the rest.
std::vector<STileSpan> CutTiles(std::int32_t length, std::int32_t maxSize);

class CRenderer {
public:
    static constexpr int kTopLevel = 16;
    // Depth of a priority level: 1 - p/30 (single precision).
    static float PriorityDepth(int priority);

    CRenderer();
    ~CRenderer();
    CRenderer(const CRenderer&) = delete;
    CRenderer& operator=(const CRenderer&) = delete;

    // ---- device
    // Sets the OpenGL attributes (3.3 core, 24-bit depth, 8-bit stencil, double buffer); the game
    // window calls it before SDL_CreateWindow so that the window's visual carries them.
    static void PrepareWindowAttributes();
    // Takes the window's drawable size as the back buffer (the viewport fills the window until
    // SetViewportRect says otherwise) and the desktop depth. The device comes later, from Create,
    // once the game size is known. The window must have been created with SDL_WINDOW_OPENGL.
    bool Initialise(SDL_Window* window);
    // Creates the OpenGL 3.3 core context and the device state; false with the last error set.
    bool Create();
    bool HasDevice() const { return m_device != nullptr; }
    // Clears the screen to black once and releases every texture and the device.
    void Shutdown();
    // The viewport rectangle inside the window (window pixels, top-left origin): the back buffer.
    // The margins around it are cleared to black. The game window calls it whenever it lays the
    // viewport out; until then the viewport is the whole window.
    void SetViewportRect(int x, int y, int width, int height);
    void SetDisplayMode(int width, int height, int bits);
    void SetGameSize(int width, int height);
    void SetFullscreen(bool on);
    bool IsFullscreen() const { return m_fullscreen != 0; }
    void SetFlexibleResolution(bool on) { m_flexible = on ? 1 : 0; }
    bool IsFlexibleResolution() const { return m_flexible != 0; }
    // Caps the texture size used for tiling (the device maximum otherwise). 0 removes the cap.
    void SetMaxTextureSize(int width, int height);
    int GetMaxTextureWidth() const;
    int GetMaxTextureHeight() const;

    int GetWidth() const { return m_gameWidth; }
    int GetHeight() const { return m_gameHeight; }
    int GetBackBufferWidth() const { return m_backWidth; }
    int GetBackBufferHeight() const { return m_backHeight; }
    float GetScaleX() const { return m_scaleX; }
    float GetScaleY() const { return m_scaleY; }

    // ---- queues (each sets the last error: 0 on success)
    bool AddObject(CSpriteBase* object);
    bool RemoveObject(CSpriteBase* object);
    bool AddGUIElement(CSpriteBase* element);
    bool RemoveGUIElement(CSpriteBase* element);
    bool AddOverlay(CBitmapProxy* layer);
    bool RemoveOverlay(CBitmapProxy* layer);
    bool SetCursor(CSpriteBase* object);
    CSpriteBase* GetCursor() const { return m_cursor; }
    bool IsObjectQueued(const CSpriteBase* object) const;
    bool IsGUIElementQueued(const CSpriteBase* element) const;
    bool IsOverlayQueued(const CBitmapProxy* layer) const;
    std::int32_t GetLastError() const { return m_lastError; }
    const char* GetErrorMessage() const { return RendererErrorMessage(m_lastError); }

    // ---- backdrop and scene
    void SetBackdropColour(std::uint32_t colour);
    // The bitmap (not owned, may be null) is tiled into textures; the depth mask (not owned, may be
    // null) becomes the priority map. Both must stay alive while set. The mask covers width x height
    // pixels (the bitmap's size when -1; a picture without a bitmap must give its size).
    void SetBackdropWithPriority(CBitmapInterface* bitmap, const CRunMask* depthMask, int width = -1, int height = -1);
    void SetBackdropTransform(float scaleX, float scaleY, float offsetX, float offsetY);
    void SetTileLayers(CLevelLayers* layers) { m_tileLayers = layers; }
    CLevelLayers* GetTileLayers() const { return m_tileLayers; }
    std::size_t GetBackdropTileCount() const { return m_backdropTiles.size(); }
    std::size_t GetPriorityTileCount() const { return m_priorityTiles.size(); }

    // ---- frames
    void RenderFrame();
    // Renders the scene at the logical size into an off-screen target and returns it resampled to
    // width x height (32-bit). Throws std::runtime_error with a message on failure.
    std::unique_ptr<CBitmap> RenderToImage(int width, int height);
    // Keeps a copy of every presented frame so that SaveScreenshot can write the last one.
    void EnableFrameCapture(bool on);
    // The window's contents were lost (exposed, resized): the next frame is drawn in full even if
    // nothing in it changed.
    void InvalidateFrame();
    // Frames RenderFrame presented, and those it drew: a frame that would draw exactly what the
    // window shows is presented by leaving the window as it is.
    std::uint64_t PresentedFrameCount() const { return m_framesPresented; }
    std::uint64_t DrawnFrameCount() const { return m_framesDrawn; }
    // Writes the last presented frame (when capturing) or a fresh rendering, at the logical size,
    // as a 32-bit BMP. False when the file cannot be written.
    bool SaveScreenshot(const std::string& path);

    // ---- drawing primitives (logical pixels)
    void SetTexture(TextureHandle texture);
    void DrawCel(const SCel& cel, int xalign, int yalign, float x, float y, float depth, std::uint32_t tint);
    void DrawCelScaled(const SCel& cel, int xalign, int yalign, float x, float y, float depth, float scale,
                       std::uint32_t tint);
    void DrawCelSized(const SCel& cel, int xalign, int yalign, float x, float y, int width, int height, float depth,
                      std::uint32_t tint);
    // The cel stretched over the inclusive rectangle.
    void DrawCelStretched(const SCel& cel, int x1, int y1, int x2, int y2, float depth, std::uint32_t colour);
    // Untextured quad over columns x1..x2-1 and rows y1..y2-1.
    void FillRect(float x1, float y1, float x2, float y2, std::uint32_t colour, float depth);
    // Triangle list; positions are logical pixels (scaled here), texture as bound.
    void DrawTriangles(const SVertex* vertices, int count);
    void DrawLine(float x1, float y1, float x2, float y2, std::uint32_t colour, float depth);
    void SetClipRect(int x1, int y1, int x2, int y2);
    void ResetClip();
    void SetBlendMode(int mode, bool force = false);
    int GetBlendMode() const { return m_blendMode; }
    void SetFiltering(bool on, bool force = false);
    void SetDepthTest(bool on, bool force = false);
    void SetDepthWrite(bool on, bool force = false);

    // ---- textures (RGBA8 on the device; rows flipped so that v = 0 is the picture's top row)
    TextureHandle CreateTexture(const CBitmapInterface* bitmap);
    bool UploadTexture(TextureHandle texture, const CBitmapInterface* bitmap);
    void ReleaseTexture(TextureHandle texture);
    static int TextureWidth(TextureHandle texture);
    static int TextureHeight(TextureHandle texture);

    // Draw calls sent to GL since construction (diagnostics and tests). Consecutive primitives
    // with the same texture and states share one; the count is complete once a frame is over.
    std::uint64_t DrawCallCount() const;
    // Distinguishes this renderer from earlier ones (textures cached by others carry it).
    std::uint32_t Serial() const { return m_serial; }

private:
    struct STile {
        std::int32_t x, y;
        float z;
        std::int32_t width, height;
        TextureHandle texture;
    };

    void StateSetup();
    void ReleaseTiles(std::vector<STile>& tiles);
    void BuildLevelTiles();
    void TileBuffer(const std::uint8_t* bgra, int width, int height, float z, std::vector<STile>& out);
    void DrawCorners(const SCelCorner corners[4], float x, float y, float scale, float depth, std::uint32_t tint);
    void DrawBackdrop();
    void DrawPriorityDepth();
    void DrawTile(const STile& tile);
    void DrawOverlays(int level);
    void DrawLevel(int level);
    void DrawPainter(CSpriteBase* object);
    void ComposeFrame();
    void SendVertices(const SVertex* vertices, int count, bool fan);
    void UnbindTexture();

    // window and device
    SDL_Window* m_window = nullptr;
    std::unique_ptr<CGLDevice> m_device;
    std::uint8_t m_fullscreen = 0;
    std::uint8_t m_flexible = 0;
    std::uint8_t m_stencil = 0;
    int m_viewX = 0, m_viewY = 0;
    int m_backWidth = 0, m_backHeight = 0, m_backBits = 32;
    int m_savedWidth = 0, m_savedHeight = 0, m_savedBits = 32;
    int m_gameWidth = 0, m_gameHeight = 0;
    float m_scaleX = 1.0f, m_scaleY = 1.0f;
    int m_maxTexWidth = 0, m_maxTexHeight = 0;
    int m_capTexWidth = 0, m_capTexHeight = 0;
    TextureHandle m_boundTexture = nullptr;

    // render-state cache
    int m_blendMode = kBlendOpaque;
    std::uint8_t m_filtering = 0;
    std::uint8_t m_depthTest = 1;
    std::uint8_t m_depthWrite = 1;
    bool m_clipping = false;
    bool m_renderingToImage = false;

    // backdrop
    float m_bdScaleX = 1.0f, m_bdScaleY = 1.0f, m_bdOffsetX = 0.0f, m_bdOffsetY = 0.0f;
    bool m_pictureMode = false;
    std::uint32_t m_clearColour = 0xFF000000u;
    CBitmapInterface* m_backdropBitmap = nullptr;
    const CRunMask* m_backdropMask = nullptr;
    int m_backdropWidth = 0, m_backdropHeight = 0;
    std::vector<STile> m_backdropTiles;
    std::vector<STile> m_priorityTiles;  // every level in one picture (level in the colour bytes)
    std::vector<STile> m_levelTiles;     // a picture per level, for filtered drawing
    bool m_levelTilesBuilt = false;
    CLevelLayers* m_tileLayers = nullptr;
    // What the priority map's depth, kept by the device, was drawn for.
    struct SPriorityKey {
        std::uint32_t backdrop;
        bool filtering;
        int width, height;
        float scaleX, scaleY, bdScaleX, bdScaleY, bdOffsetX, bdOffsetY;
        bool operator==(const SPriorityKey& o) const;
    };
    std::uint32_t m_backdropSerial = 0;  // counts SetBackdropWithPriority calls
    SPriorityKey m_priorityKeys[2]{};    // of the window and the off-screen target
    bool m_priorityKept[2] = {false, false};

    // queues (not owned) and per-frame lists
    std::vector<CSpriteBase*> m_objects;
    std::vector<CSpriteBase*> m_gui;
    std::vector<CBitmapProxy*> m_overlays;
    std::vector<CSpriteBase*> m_onTop;
    std::vector<CSpriteBase*> m_depthTested;
    std::vector<CSpriteBase*> m_painter;
    std::size_t m_painterNext = 0;
    struct SSortKey {
        float depth;
        CSpriteBase* object;
    };
    std::vector<SSortKey> m_sortKeys;
    bool DrawNearestFirst(int& level);
    static int LevelOf(float depth);
    CSpriteBase* m_cursor = nullptr;
    std::int32_t m_lastError = 0;

    // textures alive (released at shutdown if their owners did not)
    std::unordered_map<STexture*, std::unique_ptr<STexture>> m_textures;

    bool m_captureFrames = false;
    std::vector<std::uint8_t> m_lastFrame;  // BGRA, top-down, back-buffer size
    int m_lastFrameWidth = 0, m_lastFrameHeight = 0;
    std::uint64_t m_drawCalls = 0;  // of devices already released
    std::uint64_t m_framesPresented = 0, m_framesDrawn = 0;
    std::vector<SVertex> m_scratch;
    std::uint32_t m_serial;
    float m_forcedDepth = -1.0f;  // when >= 0, the depth every cel is drawn at
};

// The one renderer with a device (null before Create and after Shutdown).
CRenderer* GetRenderer();

}  // namespace ove
