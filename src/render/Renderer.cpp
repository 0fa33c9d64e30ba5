#include "render/Renderer.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "image/Bitmap.h"
#include "image/ImageLoad.h"
#include "image/PngWrite.h"
#include "image/Resample.h"
#include "image/RunMask.h"
#include "io/DataBin.h"
#include "render/GLDevice.h"

namespace ove {

struct STexture {
    unsigned id = 0;
    int width = 0;
    int height = 0;
};

namespace {

CRenderer* g_renderer = nullptr;
std::uint32_t g_nextSerial = 1;

void DebugOutput(const std::string& text) { SDL_LogWarn(SDL_LOG_CATEGORY_RENDER, "%s", text.c_str()); }

// The picture as BGRA rows, top row first: what the device textures take. Bitmaps without alpha
// become opaque; an indexed bitmap's transparent index becomes alpha 0. Empty on failure.
std::vector<std::uint8_t> ToBGRA(const CBitmapInterface& bitmap) {
    const u32 w = bitmap.Width(), h = bitmap.Height();
    std::vector<std::uint8_t> out;
    if (bitmap.IsEmpty() || w == 0 || h == 0) return out;
    const PixelFormat f = bitmap.Format();
    if (f == PixelFormat::Rgba8888 || f == PixelFormat::Rgbx8888) {
        out.resize(std::size_t(w) * h * 4);
        for (u32 y = 0; y < h; ++y) std::memcpy(&out[std::size_t(y) * w * 4], bitmap.TopRow(y), std::size_t(w) * 4);
        if (f == PixelFormat::Rgbx8888)
            for (std::size_t i = 3; i < out.size(); i += 4) out[i] = 255;
        return out;
    }
    CBitmap converted(&bitmap, PixelFormat::Rgba8888);
    if (converted.IsEmpty() || converted.Width() != w || converted.Height() != h) return out;
    return ToBGRA(converted);
}

float SafeRhw(float depth) {
    float rhw = 1.0f / (depth + 1.0f);
    return (std::isfinite(rhw) && rhw > 0.0f) ? rhw : 1.0f;
}

// Keeps an image layer's texture with its bitmap proxy; hands it back when the proxy dies.
class COverlayTexture : public CBitmapAttachment {
public:
    COverlayTexture(CRenderer* owner, std::uint32_t serial, TextureHandle texture)
        : owner(owner), serial(serial), texture(texture) {}
    ~COverlayTexture() override {
        if (g_renderer == owner && owner && owner->Serial() == serial) owner->ReleaseTexture(texture);
    }
    CRenderer* owner;
    std::uint32_t serial;
    TextureHandle texture;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Platform-free helpers

const char* RendererErrorMessage(std::int32_t code) {
    switch (code) {
    case -1: return "Unknown failure";
    case 0: return "The operation completed succesfully";
    case 1: return "Couldn't create Direct3D8 interface";
    case 2:
        return "No compatible depth/stencil buffer format available. Try changing your display "
               "resolution to 32-bit colour.";
    case 3: return "Couldn't create Direct3DDevice interface";
    case 4: return "Invalid argument";
    case 5: return "No such object is in the rendering queue";
    case 6: return "This object already exists in the rendering queue";
    case 7: return "No such GUI element is in the rendering queue";
    case 8: return "This GUI element already exists in the rendering queue";
    case 11: return "No filename was specified";
    case 12: return "No data source";
    case 13: return "Cannot load the specified sprite";
    case 14: return "Cannot create sprite";
    default: return "Unknown error";
    }
}

ETextureFormat ChooseTextureFormat(const CBitmapInterface& bitmap, bool (*supported)(ETextureFormat)) {
    switch (bitmap.BitsPerPixel()) {
    case 16: return supported(ETextureFormat::R5G6B5) ? ETextureFormat::R5G6B5 : ETextureFormat::None;
    case 24:
        for (ETextureFormat f : {ETextureFormat::R8G8B8, ETextureFormat::X8R8G8B8, ETextureFormat::R5G6B5})
            if (supported(f)) return f;
        return ETextureFormat::None;
    case 32: {
        bool graded = false;
        if (!bitmap.IsEmpty()) {
            for (u32 y = 0; y < bitmap.Height() && !graded; ++y) {
                const u8* row = bitmap.Row(y);
                for (u32 x = 0; x < bitmap.Width(); ++x) {
                    u8 nibble = row[x * 4 + 3] >> 4;
                    if (nibble != 0 && nibble != 15) {
                        graded = true;
                        break;
                    }
                }
            }
        }
        if (supported(ETextureFormat::A8R8G8B8)) return ETextureFormat::A8R8G8B8;
        if (graded && supported(ETextureFormat::A4R4G4B4)) return ETextureFormat::A4R4G4B4;
        if (supported(ETextureFormat::A1R5G5B5)) return ETextureFormat::A1R5G5B5;
        if (supported(ETextureFormat::A4R4G4B4)) return ETextureFormat::A4R4G4B4;
        return ETextureFormat::None;
    }
    default: return ETextureFormat::None;
    }
}

std::vector<STileSpan> CutTiles(std::int32_t length, std::int32_t maxSize) {
    std::vector<STileSpan> spans;
    if (length <= 0 || maxSize <= 0) return spans;
    std::int32_t remaining = length;
    while (remaining > 0) {
        std::int32_t size = maxSize;
        while (size >= 2 * remaining && size > 1) size /= 2;
        std::int32_t start = length - remaining;
        spans.push_back({start, size, std::min(size, remaining)});
        remaining -= size;
    }
    return spans;
}

std::uint64_t CRenderer::DrawCallCount() const { return m_drawCalls + (m_device ? m_device->DrawCalls() : 0); }

float CRenderer::PriorityDepth(int priority) { return 1.0f - float(priority) / 30.0f; }

CRenderer* GetRenderer() { return g_renderer; }

// ---------------------------------------------------------------------------------------------
// Construction and device

CRenderer::CRenderer() : m_serial(g_nextSerial++) {}

CRenderer::~CRenderer() { Shutdown(); }

void CRenderer::PrepareWindowAttributes() { CGLDevice::PrepareAttributes(); }

bool CRenderer::Initialise(SDL_Window* window) {
    m_lastError = kRenderOk;
    m_window = window;
    if (!window) {
        m_lastError = kRenderNoInterface;
        return false;
    }
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    if (w <= 0 || h <= 0) SDL_GetWindowSize(window, &w, &h);
    int bits = 32;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && SDL_BITSPERPIXEL(mode.format) >= 16)
        bits = SDL_BITSPERPIXEL(mode.format) == 24 ? 32 : int(SDL_BITSPERPIXEL(mode.format));
    m_viewX = m_viewY = 0;
    SetDisplayMode(w, h, bits);
    return true;
}

bool CRenderer::Create() {
    m_lastError = kRenderOk;
    if (m_device) return true;
    if (!m_window || !SDL_WasInit(SDL_INIT_VIDEO)) {
        m_lastError = kRenderNoInterface;
        return false;
    }
    std::string error;
    int code = kRenderNoDevice;
    m_device = CGLDevice::Create(m_window, error, code);
    if (!m_device) {
        DebugOutput("renderer: " + error);
        m_lastError = code;
        return false;
    }
    m_stencil = m_device->HasStencil() ? 1 : 0;
    m_maxTexWidth = m_maxTexHeight = m_device->MaxTextureSize();
    m_blendMode = kBlendOpaque;
    m_depthTest = 1;
    m_depthWrite = 1;
    m_boundTexture = nullptr;
    m_device->TargetWindow(m_viewX, m_viewY, m_backWidth, m_backHeight);
    StateSetup();
    m_priorityKept[0] = m_priorityKept[1] = false;
    g_renderer = this;
    // A backdrop set before the device existed gets its textures now.
    if (m_backdropBitmap || m_backdropMask)
        SetBackdropWithPriority(m_backdropBitmap, m_backdropMask, m_backdropWidth, m_backdropHeight);
    return true;
}

void CRenderer::Shutdown() {
    if (m_device) {
        m_device->TargetWindow(m_viewX, m_viewY, m_backWidth, m_backHeight);
        m_device->ClearWindow();
        m_device->Swap();
        ReleaseTiles(m_backdropTiles);
        ReleaseTiles(m_priorityTiles);
        ReleaseTiles(m_levelTiles);
        m_levelTilesBuilt = false;
        for (auto& entry : m_textures) m_device->DeleteTexture(entry.second->id);
        m_textures.clear();
        m_boundTexture = nullptr;
        m_drawCalls += m_device->DrawCalls();
        m_device.reset();
    }
    if (g_renderer == this) g_renderer = nullptr;
}

void CRenderer::SetViewportRect(int x, int y, int width, int height) {
    // Window pixels may be fewer than drawable pixels (high-density displays): draw in the latter.
    if (m_window) {
        int ww = 0, wh = 0, dw = 0, dh = 0;
        SDL_GetWindowSize(m_window, &ww, &wh);
        SDL_GL_GetDrawableSize(m_window, &dw, &dh);
        if (ww > 0 && wh > 0 && dw > 0 && dh > 0 && (dw != ww || dh != wh)) {
            x = int(std::int64_t(x) * dw / ww);
            width = int(std::int64_t(width) * dw / ww);
            y = int(std::int64_t(y) * dh / wh);
            height = int(std::int64_t(height) * dh / wh);
        }
    }
    m_viewX = x;
    m_viewY = y;
    m_backWidth = std::max(width, 1);
    m_backHeight = std::max(height, 1);
    InvalidateFrame();  // the window was laid out again: what it shows may be gone
    if (!m_flexible && m_gameWidth > 0 && m_gameHeight > 0) {
        m_scaleX = float(m_backWidth) / float(m_gameWidth);
        m_scaleY = float(m_backHeight) / float(m_gameHeight);
    }
}

void CRenderer::SetDisplayMode(int width, int height, int bits) {
    m_backWidth = std::max(width, 1);
    m_backHeight = std::max(height, 1);
    m_backBits = bits;
    SetGameSize(width, height);
}

void CRenderer::SetGameSize(int width, int height) {
    m_gameWidth = width;
    m_gameHeight = height;
    if (!m_flexible) {
        if (width > 0 && height > 0) {
            m_scaleX = float(m_backWidth) / float(width);
            m_scaleY = float(m_backHeight) / float(height);
        }
        return;
    }
    m_scaleX = m_scaleY = 1.0f;
    // The back buffer follows the game size; GL keeps its context, so only the state is re-applied.
    if (m_device && (width != m_backWidth || height != m_backHeight) && width > 0 && height > 0) {
        m_backWidth = width;
        m_backHeight = height;
        m_device->TargetWindow(m_viewX, m_viewY, m_backWidth, m_backHeight);
        StateSetup();
    }
}

void CRenderer::SetFullscreen(bool on) {
    if (m_flexible) return;
    if (on == (m_fullscreen != 0)) return;
    if (on) {
        m_savedWidth = m_backWidth;
        m_savedHeight = m_backHeight;
        m_savedBits = m_backBits;
    }
    m_fullscreen = on ? 1 : 0;
    InvalidateFrame();
    if (m_window) SDL_SetWindowFullscreen(m_window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (!on) {
        m_backWidth = m_savedWidth;
        m_backHeight = m_savedHeight;
        m_backBits = m_savedBits;
    }
    // The window's size event lays the viewport out again (SetViewportRect); the state is re-applied
    // here as after a device reset.
    if (m_device) StateSetup();
}

void CRenderer::SetMaxTextureSize(int width, int height) {
    m_capTexWidth = std::max(width, 0);
    m_capTexHeight = std::max(height, 0);
}

int CRenderer::GetMaxTextureWidth() const {
    int device = m_maxTexWidth > 0 ? m_maxTexWidth : 1024;
    return m_capTexWidth > 0 ? std::min(m_capTexWidth, device) : device;
}

int CRenderer::GetMaxTextureHeight() const {
    int device = m_maxTexHeight > 0 ? m_maxTexHeight : 1024;
    return m_capTexHeight > 0 ? std::min(m_capTexHeight, device) : device;
}

// ---------------------------------------------------------------------------------------------
// Queues

bool CRenderer::IsObjectQueued(const CSpriteBase* object) const {
    return std::find(m_objects.begin(), m_objects.end(), object) != m_objects.end();
}

bool CRenderer::IsGUIElementQueued(const CSpriteBase* element) const {
    return std::find(m_gui.begin(), m_gui.end(), element) != m_gui.end();
}

bool CRenderer::IsOverlayQueued(const CBitmapProxy* layer) const {
    return std::find(m_overlays.begin(), m_overlays.end(), layer) != m_overlays.end();
}

bool CRenderer::AddObject(CSpriteBase* object) {
    m_lastError = kRenderOk;
    if (!object) return m_lastError = kRenderInvalidArgument, false;
    if (IsObjectQueued(object)) return m_lastError = kRenderObjectQueued, false;
    m_objects.push_back(object);
    return true;
}

bool CRenderer::RemoveObject(CSpriteBase* object) {
    m_lastError = kRenderOk;
    auto it = std::find(m_objects.begin(), m_objects.end(), object);
    if (!object || it == m_objects.end()) return m_lastError = kRenderObjectNotQueued, false;
    m_objects.erase(it);
    if (m_cursor == object) m_cursor = nullptr;
    return true;
}

bool CRenderer::AddGUIElement(CSpriteBase* element) {
    m_lastError = kRenderOk;
    if (!element) return m_lastError = kRenderInvalidArgument, false;
    if (IsGUIElementQueued(element)) return m_lastError = kRenderGUIQueued, false;
    m_gui.push_back(element);
    return true;
}

bool CRenderer::RemoveGUIElement(CSpriteBase* element) {
    m_lastError = kRenderOk;
    auto it = std::find(m_gui.begin(), m_gui.end(), element);
    if (!element || it == m_gui.end()) return m_lastError = kRenderGUINotQueued, false;
    m_gui.erase(it);
    return true;
}

bool CRenderer::AddOverlay(CBitmapProxy* layer) {
    m_lastError = kRenderOk;
    if (!layer) return m_lastError = kRenderInvalidArgument, false;
    if (IsOverlayQueued(layer)) return m_lastError = kRenderOverlayQueued, false;
    m_overlays.push_back(layer);
    return true;
}

bool CRenderer::RemoveOverlay(CBitmapProxy* layer) {
    m_lastError = kRenderOk;
    auto it = std::find(m_overlays.begin(), m_overlays.end(), layer);
    if (!layer || it == m_overlays.end()) return m_lastError = kRenderOverlayNotQueued, false;
    m_overlays.erase(it);
    return true;
}

bool CRenderer::SetCursor(CSpriteBase* object) {
    m_lastError = kRenderOk;
    if (!object) {
        m_cursor = nullptr;
        return true;
    }
    if (!IsObjectQueued(object)) return m_lastError = kRenderObjectNotQueued, false;
    m_cursor = object;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Textures

TextureHandle CRenderer::CreateTexture(const CBitmapInterface* bitmap) {
    if (!m_device || !bitmap || bitmap->IsEmpty() || bitmap->Width() == 0 || bitmap->Height() == 0) return nullptr;
    int w = int(bitmap->Width()), h = int(bitmap->Height());
    if (w > m_device->MaxTextureSize() || h > m_device->MaxTextureSize()) {
        DebugOutput("renderer: texture " + std::to_string(w) + "x" + std::to_string(h) + " exceeds the device maximum");
        return nullptr;
    }
    std::vector<std::uint8_t> pixels = ToBGRA(*bitmap);
    if (pixels.empty()) {
        DebugOutput("renderer: no texture format for a bitmap of format " + std::to_string(int(bitmap->Format())));
        return nullptr;
    }
    auto texture = std::make_unique<STexture>();
    texture->id = m_device->CreateTexture(w, h, pixels.data());
    if (!texture->id) {
        DebugOutput("renderer: texture creation failed");
        return nullptr;
    }
    texture->width = w;
    texture->height = h;
    UnbindTexture();
    STexture* handle = texture.get();
    m_textures.emplace(handle, std::move(texture));
    return handle;
}

bool CRenderer::UploadTexture(TextureHandle texture, const CBitmapInterface* bitmap) {
    if (!m_device || !texture || !bitmap || !m_textures.count(texture)) return false;
    std::vector<std::uint8_t> pixels = ToBGRA(*bitmap);
    if (pixels.empty()) return false;
    int w = int(bitmap->Width()), h = int(bitmap->Height());
    if (w != texture->width || h != texture->height) {
        if (w > m_device->MaxTextureSize() || h > m_device->MaxTextureSize()) return false;
        m_device->DeleteTexture(texture->id);
        texture->id = m_device->CreateTexture(w, h, pixels.data());
        texture->width = w;
        texture->height = h;
    } else {
        m_device->UploadTexture(texture->id, w, h, pixels.data());
    }
    UnbindTexture();
    return texture->id != 0;
}

void CRenderer::ReleaseTexture(TextureHandle texture) {
    auto it = m_textures.find(texture);
    if (it == m_textures.end()) return;
    if (m_device) m_device->DeleteTexture(texture->id);
    if (m_boundTexture == texture) UnbindTexture();
    m_textures.erase(it);
}

// Texture work moves the device binding: start again from "no texture" so that the cache, the
// device binding and the texture stage agree.
void CRenderer::UnbindTexture() {
    m_boundTexture = nullptr;
    if (!m_device) return;
    m_device->BindTexture(0);
    m_device->SetTextureStage(kTextureStageDiffuse);
}

int CRenderer::TextureWidth(TextureHandle texture) { return texture ? texture->width : 0; }
int CRenderer::TextureHeight(TextureHandle texture) { return texture ? texture->height : 0; }

// ---------------------------------------------------------------------------------------------
// Backdrop

void CRenderer::SetBackdropColour(std::uint32_t colour) {
    m_pictureMode = false;
    m_clearColour = colour;
}

// The priority map as one picture per level, each level's pixels opaque white: drawn with
// filtering on, each level spreads into its neighbours' pixels on its own, so the levels cannot
// share one picture then. Built on first use only.
void CRenderer::BuildLevelTiles() {
    m_levelTilesBuilt = true;
    if (!m_device || !m_backdropMask || m_backdropWidth <= 0 || m_backdropHeight <= 0) return;
    const std::size_t size = std::size_t(m_backdropWidth) * std::size_t(m_backdropHeight);
    std::vector<std::uint8_t> levels(size);
    std::vector<std::uint8_t> pixels;
    for (int k = 1; k <= 15; ++k) {
        std::fill(levels.begin(), levels.end(), 0);
        if (m_backdropMask->ExpandLevel(levels.data(), size, u8(k)) == 0) continue;
        pixels.assign(size * 4, 0);
        for (std::size_t i = 0; i < size; ++i)
            if (levels[i]) std::memset(&pixels[i * 4], 255, 4);
        TileBuffer(pixels.data(), m_backdropWidth, m_backdropHeight, PriorityDepth(k), m_levelTiles);
    }
}

void CRenderer::ReleaseTiles(std::vector<STile>& tiles) {
    for (const STile& t : tiles) ReleaseTexture(t.texture);
    tiles.clear();
}

void CRenderer::TileBuffer(const std::uint8_t* bgra, int width, int height, float z, std::vector<STile>& out) {
    const std::vector<STileSpan> rows = CutTiles(height, GetMaxTextureHeight());
    const std::vector<STileSpan> columns = CutTiles(width, GetMaxTextureWidth());
    std::vector<std::uint8_t> tile;
    for (const STileSpan& r : rows) {
        for (const STileSpan& c : columns) {
            // Texels beyond the picture stay transparent, so the alpha test drops them.
            tile.assign(std::size_t(c.size) * r.size * 4, 0);
            for (int y = 0; y < r.used; ++y)
                std::memcpy(&tile[std::size_t(y) * c.size * 4], bgra + (std::size_t(r.start + y) * width + c.start) * 4,
                            std::size_t(c.used) * 4);
            STile record{c.start, r.start, z, c.size, r.size, nullptr};
            auto texture = std::make_unique<STexture>();
            texture->id = m_device->CreateTexture(c.size, r.size, tile.data());
            if (!texture->id) {
                DebugOutput("renderer: backdrop tile creation failed");
                continue;
            }
            texture->width = c.size;
            texture->height = r.size;
            record.texture = texture.get();
            m_textures.emplace(texture.get(), std::move(texture));
            out.push_back(record);
        }
    }
    UnbindTexture();
}

void CRenderer::SetBackdropWithPriority(CBitmapInterface* bitmap, const CRunMask* depthMask, int width, int height) {
    m_backdropBitmap = bitmap;
    m_backdropMask = depthMask;
    if (width < 0) width = bitmap ? int(bitmap->Width()) : 0;
    if (height < 0) height = bitmap ? int(bitmap->Height()) : 0;
    m_backdropWidth = width;
    m_backdropHeight = height;
    ReleaseTiles(m_backdropTiles);
    ReleaseTiles(m_priorityTiles);
    ReleaseTiles(m_levelTiles);
    m_levelTilesBuilt = false;
    ++m_backdropSerial;
    if (!bitmap && !depthMask) {
        SetBackdropColour(m_clearColour);
        return;
    }
    if (m_device && bitmap && !bitmap->IsEmpty()) {
        std::vector<std::uint8_t> pixels = ToBGRA(*bitmap);
        if (pixels.empty()) DebugOutput("renderer: the backdrop bitmap cannot be made a texture");
        else TileBuffer(pixels.data(), int(bitmap->Width()), int(bitmap->Height()), 0.0f, m_backdropTiles);
    }
    if (m_device && depthMask && width > 0 && height > 0) {
        // One picture for all levels: the level in the colour bytes, alpha 255 where there is one.
        const std::size_t size = std::size_t(width) * std::size_t(height);
        std::vector<std::uint8_t> levels(size);
        depthMask->Expand(levels.data(), size);
        std::vector<std::uint8_t> pixels(size * 4, 0);
        bool any = false;
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint8_t k = levels[i];
            if (k < 1 || k > 15) continue;
            std::memset(&pixels[i * 4], k, 3);
            pixels[i * 4 + 3] = 255;
            any = true;
        }
        if (any) TileBuffer(pixels.data(), width, height, 0.0f, m_priorityTiles);
    }
    if (bitmap && !bitmap->IsEmpty()) m_pictureMode = true;
    else SetBackdropColour(m_clearColour);
}

void CRenderer::SetBackdropTransform(float scaleX, float scaleY, float offsetX, float offsetY) {
    m_bdScaleX = scaleX;
    m_bdScaleY = scaleY;
    m_bdOffsetX = offsetX;
    m_bdOffsetY = offsetY;
}

void CRenderer::DrawTile(const STile& tile) {
    const float x1 = float(tile.x) * m_bdScaleX * m_scaleX - 0.7f + m_bdOffsetX * m_scaleX;
    const float x2 = float(tile.x + tile.width) * m_bdScaleX * m_scaleX - 0.7f + m_bdOffsetX * m_scaleX;
    const float y1 = float(tile.y) * m_bdScaleY * m_scaleY - 0.7f + m_bdOffsetY * m_scaleY;
    const float y2 = float(tile.y + tile.height) * m_bdScaleY * m_scaleY - 0.7f + m_bdOffsetY * m_scaleY;
    SetTexture(tile.texture);
    const SVertex quad[4] = {
        {x1, y1, tile.z, 1.0f, 0xFFFFFFFFu, 0.0f, 0.0f},
        {x2, y1, tile.z, 1.0f, 0xFFFFFFFFu, 1.0f, 0.0f},
        {x2, y2, tile.z, 1.0f, 0xFFFFFFFFu, 1.0f, 1.0f},
        {x1, y2, tile.z, 1.0f, 0xFFFFFFFFu, 0.0f, 1.0f},
    };
    SendVertices(quad, 4, true);
}

bool CRenderer::SPriorityKey::operator==(const SPriorityKey& o) const {
    return backdrop == o.backdrop && filtering == o.filtering && width == o.width && height == o.height &&
           scaleX == o.scaleX && scaleY == o.scaleY && bdScaleX == o.bdScaleX && bdScaleY == o.bdScaleY &&
           bdOffsetX == o.bdOffsetX && bdOffsetY == o.bdOffsetY;
}

void CRenderer::DrawBackdrop() {
    // The priority map's depth depends on the map and where it lands only: drawn once, aside from
    // the frame, and copied back in every frame (a plain copy, where the pass costs a shader per
    // pixel). Frames that differ in nothing else then send the same calls.
    const bool map = !m_priorityTiles.empty();
    const SPriorityKey key{m_backdropSerial,
                           m_filtering != 0,
                           m_device->TargetWidth(),
                           m_device->TargetHeight(),
                           m_scaleX,
                           m_scaleY,
                           m_bdScaleX,
                           m_bdScaleY,
                           m_bdOffsetX,
                           m_bdOffsetY};
    const int target = m_renderingToImage ? 1 : 0;
    if (map && !m_clipping && !(m_priorityKept[target] && key == m_priorityKeys[target])) {
        const int blend = m_blendMode;
        const std::uint8_t test = m_depthTest, write = m_depthWrite;
        const TextureHandle bound = m_boundTexture;
        m_device->BeginAside();
        m_device->Clear(false, 0, true, 1.0f, true, 0);
        DrawPriorityDepth();
        m_priorityKept[target] = m_device->SaveDepth();
        m_priorityKeys[target] = key;
        m_device->EndAside();
        m_blendMode = blend;
        m_depthTest = test;
        m_depthWrite = write;
        m_boundTexture = bound;
    }
    const bool restored = map && !m_clipping && m_priorityKept[target] && m_device->RestoreDepth();
    // In picture mode the colour is cleared too: parts the picture does not cover would otherwise
    // show stale pixels.
    m_device->Clear(true, m_clearColour, !restored, 1.0f, false, 0);
    if (m_pictureMode) {
        SetBlendMode(kBlendOpaque, true);
        SetDepthTest(false);
        SetDepthWrite(false);
        for (const STile& t : m_backdropTiles) DrawTile(t);
        SetDepthTest(true);
        SetDepthWrite(true);
    }
    if (map && !restored) DrawPriorityDepth();
}

void CRenderer::DrawPriorityDepth() {
    // The priority map writes depth only; the alpha test keeps it to the mask's pixels. A depth
    // mask without a picture still hides objects behind it.
    SetBlendMode(kBlendOpaque, true);
    m_device->SetColourWrite(false);
    if (m_filtering) {
        if (!m_levelTilesBuilt) BuildLevelTiles();
        for (const STile& t : m_levelTiles) DrawTile(t);
    } else {
        // Nearest sampling picks one texel per pixel, so one pass over the combined picture
        // writes what a pass per level would.
        for (const STile& t : m_priorityTiles) {
            SetTexture(t.texture);
            m_device->SetTextureStage(kTextureStageLevelDepth);
            DrawTile(t);
        }
        m_device->SetTextureStage(kTextureStageModulate);
    }
    m_device->SetColourWrite(true);
}

// ---------------------------------------------------------------------------------------------
// Frames

void CRenderer::StateSetup() {
    if (!m_device) return;
    m_device->SetStencilTest(false);
    m_device->SetScissor(nullptr);
    m_clipping = false;
    m_device->SetColourWrite(true);
    m_device->SetClamp(false);
    UnbindTexture();
    SetBlendMode(m_blendMode, true);
    SetFiltering(m_filtering != 0, true);
    SetDepthTest(true, true);
    SetDepthWrite(true, true);
    m_device->Clear(false, 0, true, 1.0f, true, 0);
}

void CRenderer::DrawPainter(CSpriteBase* object) {
    const bool test = m_depthTest != 0, write = m_depthWrite != 0;
    SetDepthTest(false);
    SetDepthWrite(false);
    object->Draw(*this);
    SetDepthTest(test);
    SetDepthWrite(write);
}

void CRenderer::DrawOverlays(int level) {
    for (CBitmapProxy* layer : m_overlays) {
        if (int(layer->level) != level || layer->IsEmpty()) continue;
        auto* cached = dynamic_cast<COverlayTexture*>(layer->texture.get());
        if (!cached || cached->owner != this || cached->serial != m_serial || !m_textures.count(cached->texture)) {
            TextureHandle texture = CreateTexture(layer);
            if (!texture) continue;
            layer->texture = std::make_unique<COverlayTexture>(this, m_serial, texture);
            cached = static_cast<COverlayTexture*>(layer->texture.get());
            layer->needsUpload = false;
        } else if (layer->needsUpload) {
            UploadTexture(cached->texture, layer);
            layer->needsUpload = false;
        }
        const float w = float(m_device->TargetWidth()), h = float(m_device->TargetHeight());
        const float iw = float(layer->Width()), ih = float(layer->Height());
        const float us = iw > 1.0f ? iw / (iw - 1.0f) : 1.0f;
        const float vs = ih > 1.0f ? ih / (ih - 1.0f) : 1.0f;
        SetBlendMode(kBlendAlpha);
        SetDepthWrite(false);
        SetTexture(cached->texture);
        m_device->SetClamp(true);
        m_device->SetTextureStage(kTextureStageSelect);
        // The quad spans 0..w with u running 0..us, so pixel x samples u = x * us / w. Its edges
        // would fall exactly on pixel centres, where which side a centre belongs to depends on
        // the rasteriser (one edge row went missing): the same mapping is drawn half a pixel
        // further out, so every centre lies inside and samples what it did.
        const float u0 = -0.5f * us / w, u1 = (w - 0.5f) * us / w;
        const float v0 = -0.5f * vs / h, v1 = (h - 0.5f) * vs / h;
        const SVertex quad[4] = {
            {-0.5f, -0.5f, 0.0f, 1.0f, 0xFFFFFFFFu, u0, v0},
            {w - 0.5f, -0.5f, 0.0f, 1.0f, 0xFFFFFFFFu, u1, v0},
            {w - 0.5f, h - 0.5f, 0.0f, 1.0f, 0xFFFFFFFFu, u1, v1},
            {-0.5f, h - 0.5f, 0.0f, 1.0f, 0xFFFFFFFFu, u0, v1},
        };
        SendVertices(quad, 4, true);
        m_device->SetTextureStage(kTextureStageModulate);
        m_device->SetClamp(false);
        SetDepthWrite(true);
    }
}

void CRenderer::DrawLevel(int level) {
    if (m_tileLayers) m_tileLayers->Draw(*this, level);
    if (!m_overlays.empty()) DrawOverlays(level);
}

void CRenderer::ComposeFrame() {
    DrawBackdrop();

    // The queue itself is sorted, farthest first, and stays so: equal depths keep the order of the
    // last frame, and new objects join at its end.
    // Each depth is asked for once: a sprite's works out its placement, and the sort would ask
    // for it at every comparison.
    m_sortKeys.clear();
    for (CSpriteBase* o : m_objects) m_sortKeys.push_back({o->GetDepth(), o});
    std::stable_sort(m_sortKeys.begin(), m_sortKeys.end(),
                     [](const SSortKey& a, const SSortKey& b) { return a.depth > b.depth; });
    for (std::size_t i = 0; i < m_objects.size(); ++i) m_objects[i] = m_sortKeys[i].object;
    m_onTop.clear();
    m_depthTested.clear();
    m_painter.clear();
    for (CSpriteBase* o : m_objects) {
        if (o->IsOnTop()) m_onTop.push_back(o);
        else if (o->IsNoncorporeal()) m_painter.push_back(o);
        else m_depthTested.push_back(o);
    }
    m_painterNext = 0;
    // The cursor is drawn last and only there.
    auto nextPainter = [this]() -> CSpriteBase* {
        while (m_painterNext < m_painter.size() && m_painter[m_painterNext] == m_cursor) ++m_painterNext;
        return m_painterNext < m_painter.size() ? m_painter[m_painterNext] : nullptr;
    };

    // Without a priority map or tile layers, only the depth-tested objects write depth before they
    // are drawn, and they come farthest first: each passes the test wherever it draws, so the
    // test (a depth read and write per pixel) can go when each draws at its own depth. Nothing
    // later reads what they would have written: painter's-order objects and the cursor do not
    // test, image layers and the GUI draw at depth 0, which nothing nearer can hide (depths clamp
    // at 0), and the depth is cleared before objects on top.
    bool testDepth = !m_priorityTiles.empty() || m_tileLayers != nullptr;
    for (std::size_t i = 0; i < m_depthTested.size() && !testDepth; ++i)
        testDepth = !m_depthTested[i]->DrawsAtOwnDepth();
    int level = 0;
    if (!testDepth && DrawNearestFirst(level)) m_depthTested.clear();
    if (!testDepth) SetDepthTest(false);

    // Level 0 is the tile layers' alone: image layers sit on levels 1..16.
    if (m_tileLayers) m_tileLayers->Draw(*this, 0);
    for (CSpriteBase* o : m_depthTested) {
        if (o == m_cursor) continue;
        const float d = o->GetDepth();
        for (CSpriteBase* p = nextPainter(); p && p->GetDepth() > d; p = nextPainter()) {
            ++m_painterNext;
            DrawPainter(p);
        }
        const int t = LevelOf(d);
        if (level < t) {
            do {
                ++level;
                DrawLevel(level);
            } while (level <= t);
        }
        o->Draw(*this);
    }
    SetDepthTest(true);
    while (level < kTopLevel) {
        ++level;
        const float d = 1.0f - float(level) / 30.0f;
        for (CSpriteBase* p = nextPainter(); p && p->GetDepth() >= d; p = nextPainter()) {
            ++m_painterNext;
            DrawPainter(p);
        }
        DrawLevel(level);
    }

    // GUI, then objects on top, then GUI on top, then the cursor.
    SetFiltering(false);
    SetBlendMode(kBlendOpaque);
    bool guiOnTop = false;
    for (CSpriteBase* e : m_gui) {
        if (e->IsOnTop()) guiOnTop = true;
        else e->Draw(*this);
    }
    if (guiOnTop || !m_onTop.empty()) m_device->Clear(false, 0, true, 1.0f, false, 0);
    for (CSpriteBase* o : m_onTop)
        if (o != m_cursor) o->Draw(*this);
    if (guiOnTop) {
        SetFiltering(false);
        SetBlendMode(kBlendOpaque);
        for (CSpriteBase* e : m_gui) {
            if (!e->IsOnTop()) continue;
            SetBlendMode(e->IsTranslucent() ? kBlendAlpha : kBlendOpaque);
            e->Draw(*this);
        }
    }
    if (m_cursor) {
        SetDepthTest(false);
        m_cursor->Draw(*this);
        SetDepthTest(true);
    }
}

// Scenes of many overlapping sprites spend most of a frame on pixels that later sprites cover.
// When every object replaces what it draws over and nothing is drawn between them, drawing them
// nearest first, each at a depth of its own in painter's order, gives the same picture while
// hidden pixels stop at the depth test. Returns false (drawing nothing) when that does not hold;
// otherwise leaves `level` where the painter's loop would have.
bool CRenderer::DrawNearestFirst(int& level) {
    constexpr std::size_t kMaxObjects = 1u << 20;  // depths stay distinct in a 24-bit buffer
    if (m_depthTested.size() < 2 || m_depthTested.size() > kMaxObjects) return false;
    for (CSpriteBase* p : m_painter)
        if (p != m_cursor) return false;
    int reached = 0;
    for (CSpriteBase* o : m_depthTested) {
        if (o == m_cursor) continue;
        if (!o->DrawsOpaque()) return false;
        const int t = LevelOf(o->GetDepth());
        if (reached < t) reached = t + 1;
    }
    // Image layers of the levels passed on the way are drawn between the objects.
    for (CBitmapProxy* layer : m_overlays)
        if (int(layer->level) <= reached && !layer->IsEmpty()) return false;

    SetDepthTest(true);
    SetDepthWrite(true);  // opaque sprites leave it as they find it
    const float step = 1.0f / float(m_depthTested.size() + 1);
    for (std::size_t i = m_depthTested.size(); i-- > 0;) {
        CSpriteBase* o = m_depthTested[i];
        if (o == m_cursor) continue;
        m_forcedDepth = 1.0f - float(i + 1) * step;
        o->Draw(*this);
    }
    m_forcedDepth = -1.0f;
    level = reached;
    return true;
}

int CRenderer::LevelOf(float depth) {
    // Compared in double first: a very near depth must cap at 15, not overflow the int.
    const double span = std::trunc(30.0 - 30.0 * double(depth));
    return span >= 15.0 ? 15 : span > double(INT_MIN) ? int(span) : INT_MIN;
}

void CRenderer::RenderFrame() {
    if (!m_device) return;
    if (m_renderingToImage) {
        ComposeFrame();
        return;
    }
    m_device->BeginFrame();
    // The device starts the frame from its fixed states: ours are set on top again.
    m_boundTexture = nullptr;
    m_clipping = false;
    SetBlendMode(m_blendMode, true);
    SetFiltering(m_filtering != 0, true);
    SetDepthTest(true, true);
    SetDepthWrite(true, true);
    m_device->TargetWindow(m_viewX, m_viewY, m_backWidth, m_backHeight);
    m_device->ClearWindow();
    ComposeFrame();
    ++m_framesPresented;
    // A frame that would draw what the window shows already is neither drawn nor swapped (the
    // capture of the last one still holds it).
    if (!m_device->EndFrame()) return;
    ++m_framesDrawn;
    if (m_captureFrames) {
        m_lastFrameWidth = m_device->TargetWidth();
        m_lastFrameHeight = m_device->TargetHeight();
        m_lastFrame.resize(std::size_t(m_lastFrameWidth) * m_lastFrameHeight * 4);
        m_device->ReadTarget(m_lastFrame.data());
    }
    m_device->Swap();
}

void CRenderer::InvalidateFrame() {
    if (m_device) m_device->InvalidateWindow();
}

void CRenderer::EnableFrameCapture(bool on) {
    // The next frame is drawn so that there is one to capture.
    if (on && !m_captureFrames) InvalidateFrame();
    m_captureFrames = on;
}

std::unique_ptr<CBitmap> CRenderer::RenderToImage(int width, int height) {
    if (!m_device || m_gameWidth <= 0 || m_gameHeight <= 0) throw std::runtime_error("Unable to create render target");
    if (width <= 0 || height <= 0) throw std::runtime_error("Unable to create temporary surface");
    const float sx = m_scaleX, sy = m_scaleY;
    m_scaleX = m_scaleY = 1.0f;
    std::string failure;
    if (!m_device->TargetOffscreen(m_gameWidth, m_gameHeight, failure)) {
        m_scaleX = sx;
        m_scaleY = sy;
        m_device->TargetWindow(m_viewX, m_viewY, m_backWidth, m_backHeight);
        StateSetup();
        throw std::runtime_error(failure);
    }
    m_renderingToImage = true;
    StateSetup();
    ComposeFrame();
    auto logical = std::make_unique<CBitmap>(u32(m_gameWidth), u32(m_gameHeight), PixelFormat::Rgba8888);
    bool copied = !logical->IsEmpty();
    if (copied) {
        std::vector<std::uint8_t> rows(std::size_t(m_gameWidth) * m_gameHeight * 4);
        m_device->ReadTarget(rows.data());
        // Read-back rows come bottom first, the bitmap's own order. The target has no alpha of
        // its own: the capture is opaque.
        for (int y = 0; y < m_gameHeight; ++y) {
            u8* dst = logical->Row(u32(y));
            std::memcpy(dst, &rows[std::size_t(y) * m_gameWidth * 4], std::size_t(m_gameWidth) * 4);
            for (int x = 0; x < m_gameWidth; ++x) dst[x * 4 + 3] = 255;
        }
    }
    m_renderingToImage = false;
    m_scaleX = sx;
    m_scaleY = sy;
    m_device->TargetWindow(m_viewX, m_viewY, m_backWidth, m_backHeight);
    StateSetup();
    if (!copied) throw std::runtime_error("Unable to create temporary surface");
    if (width == m_gameWidth && height == m_gameHeight) return logical;
    auto result = std::make_unique<CBitmap>(u32(width), u32(height), PixelFormat::Rgba8888);
    if (result->IsEmpty() || !ResampleArea(*logical, *result))
        throw std::runtime_error("Unable to create temporary surface");
    return result;
}

bool CRenderer::SaveScreenshot(const std::string& path) {
    std::unique_ptr<CBitmap> image;
    if (m_captureFrames && !m_lastFrame.empty() && m_gameWidth > 0 && m_gameHeight > 0) {
        auto frame = std::make_unique<CBitmap>(u32(m_lastFrameWidth), u32(m_lastFrameHeight), PixelFormat::Rgba8888);
        if (frame->IsEmpty()) return false;
        for (int y = 0; y < m_lastFrameHeight; ++y) {
            u8* dst = frame->Row(u32(y));
            std::memcpy(dst, &m_lastFrame[std::size_t(y) * m_lastFrameWidth * 4], std::size_t(m_lastFrameWidth) * 4);
            for (int x = 0; x < m_lastFrameWidth; ++x) dst[x * 4 + 3] = 255;
        }
        if (m_lastFrameWidth == m_gameWidth && m_lastFrameHeight == m_gameHeight) {
            image = std::move(frame);
        } else {
            image = std::make_unique<CBitmap>(u32(m_gameWidth), u32(m_gameHeight), PixelFormat::Rgba8888);
            if (image->IsEmpty() || !ResampleArea(*frame, *image)) return false;
        }
    } else {
        try {
            image = RenderToImage(m_gameWidth, m_gameHeight);
        } catch (const std::exception& e) {
            DebugOutput(std::string("renderer: screenshot: ") + e.what());
            return false;
        }
    }
    // PNG when the name says so, else a 32-bit BMP (the command line lets only these two through).
    CFile file(path.c_str(), "wb");
    std::string error;
    if (file.IsOpen()) {
        if (ImageFormatFromName(path) != ImageFileFormat::PNG) {
            if (EncodeImage(*image, ImageFileFormat::BMP, &file, &error)) return true;
        } else {
            if (WritePNG(*image, &file)) return true;
            error = "cannot write " + path;
        }
    }
    DebugOutput("renderer: screenshot: " + (error.empty() ? std::string("cannot create ") + path : error));
    return false;
}

// ---------------------------------------------------------------------------------------------
// Drawing primitives

void CRenderer::SendVertices(const SVertex* vertices, int count, bool fan) {
    if (!m_device || count <= 0) return;
    m_device->Draw(vertices, count, fan);
}

void CRenderer::SetTexture(TextureHandle texture) {
    if (texture == m_boundTexture) return;
    m_boundTexture = texture;
    if (!m_device) return;
    m_device->BindTexture(texture ? texture->id : 0);
    m_device->SetTextureStage(texture ? kTextureStageModulate : kTextureStageDiffuse);
}

void CRenderer::DrawCorners(const SCelCorner corners[4], float x, float y, float scale, float depth,
                            std::uint32_t tint) {
    if (m_forcedDepth >= 0.0f) depth = m_forcedDepth;
    const float rhw = SafeRhw(depth);
    SVertex quad[4];
    for (int i = 0; i < 4; ++i) {
        quad[i].x = (x + corners[i].x * scale) * m_scaleX - 0.5f;
        quad[i].y = (y + corners[i].y * scale) * m_scaleY - 0.5f;
        quad[i].z = depth;
        quad[i].rhw = rhw;
        quad[i].diffuse = tint;
        quad[i].u = corners[i].u;
        quad[i].v = corners[i].v;
    }
    SendVertices(quad, 4, true);
}

void CRenderer::DrawCel(const SCel& cel, int xalign, int yalign, float x, float y, float depth, std::uint32_t tint) {
    SCelCorner corners[4];
    Place(cel, xalign, yalign, std::int32_t(cel.width), std::int32_t(cel.height), corners);
    SetTexture(cel.texture);
    DrawCorners(corners, x, y, 1.0f, depth, tint);
}

void CRenderer::DrawCelScaled(const SCel& cel, int xalign, int yalign, float x, float y, float depth, float scale,
                              std::uint32_t tint) {
    SCelCorner corners[4];
    Place(cel, xalign, yalign, std::int32_t(cel.width), std::int32_t(cel.height), corners);
    SetTexture(cel.texture);
    DrawCorners(corners, x, y, scale, depth, tint);
}

void CRenderer::DrawCelSized(const SCel& cel, int xalign, int yalign, float x, float y, int width, int height,
                             float depth, std::uint32_t tint) {
    SCelCorner corners[4];
    Place(cel, xalign, yalign, width, height, corners);
    SetTexture(cel.texture);
    DrawCorners(corners, x, y, 1.0f, depth, tint);
}

void CRenderer::DrawCelStretched(const SCel& cel, int x1, int y1, int x2, int y2, float depth, std::uint32_t colour) {
    const SCelCorner corners[4] = {
        {0.0f, 0.0f, cel.uLeft, cel.vTop},
        {float(x2 - x1 + 1), 0.0f, cel.uRight, cel.vTop},
        {float(x2 - x1 + 1), float(y2 - y1 + 1), cel.uRight, cel.vBottom},
        {0.0f, float(y2 - y1 + 1), cel.uLeft, cel.vBottom},
    };
    SetTexture(cel.texture);
    DrawCorners(corners, float(x1), float(y1), 1.0f, depth, colour);
}

void CRenderer::FillRect(float x1, float y1, float x2, float y2, std::uint32_t colour, float depth) {
    const SCelCorner corners[4] = {
        {x1, y1, 0.0f, 0.0f}, {x2, y1, 0.0f, 0.0f}, {x2, y2, 0.0f, 0.0f}, {x1, y2, 0.0f, 0.0f}};
    SetTexture(nullptr);
    DrawCorners(corners, 0.0f, 0.0f, 1.0f, depth, colour);
}

void CRenderer::DrawTriangles(const SVertex* vertices, int count) {
    if (!vertices || count < 3) return;
    m_scratch.assign(vertices, vertices + count);
    for (SVertex& v : m_scratch) {
        v.x = v.x * m_scaleX - 0.5f;
        v.y = v.y * m_scaleY - 0.5f;
    }
    SendVertices(m_scratch.data(), count - count % 3, false);
}

void CRenderer::DrawLine(float x1, float y1, float x2, float y2, std::uint32_t colour, float depth) {
    const float dx = x2 - x1, dy = y2 - y1;
    if (dx == 0.0f && dy == 0.0f) return;
    const float k = 0.5f / std::sqrt(dx * dx + dy * dy);
    const float rhw = SafeRhw(depth);
    const float px[4] = {x1 + dy * k, x1 - dy * k, x2 - dy * k, x2 + dy * k};
    const float py[4] = {y1 - dx * k, y1 + dx * k, y2 + dx * k, y2 - dx * k};
    SVertex quad[4];
    for (int i = 0; i < 4; ++i) quad[i] = {px[i] * m_scaleX, py[i] * m_scaleY, depth, rhw, colour, 0.0f, 0.0f};
    SetTexture(nullptr);
    SendVertices(quad, 4, true);
}

void CRenderer::SetClipRect(int x1, int y1, int x2, int y2) {
    if (!m_device) return;
    if (m_stencil) {
        if (!m_clipping) {
            m_device->SetStencilTest(true);
            m_clipping = true;
        }
        const SDeviceRect r{int(float(x1) * m_scaleX), int(float(y1) * m_scaleY), int(float(x2) * m_scaleX),
                            int(float(y2) * m_scaleY)};
        m_device->Clear(false, 0, false, 1.0f, true, 1, &r);
        return;
    }
    // Without a stencil buffer the last rectangle alone limits drawing.
    const int left = int(float(x1) * m_scaleX), top = int(float(y1) * m_scaleY);
    const SDeviceRect r{left, top, left + int(float(x2 - x1) * m_scaleX), top + int(float(y2 - y1) * m_scaleY)};
    m_device->SetScissor(&r);
    m_clipping = true;
}

void CRenderer::ResetClip() {
    if (!m_device) return;
    if (m_stencil) {
        m_device->SetStencilTest(false);
        m_device->Clear(false, 0, false, 1.0f, true, 0);
    } else {
        m_device->SetScissor(nullptr);
    }
    m_clipping = false;
}

void CRenderer::SetBlendMode(int mode, bool force) {
    if (mode == m_blendMode && !force) return;
    m_blendMode = mode;
    if (m_device)
        m_device->SetBlend(mode == kBlendAlpha      ? kDeviceBlendAlpha
                           : mode == kBlendAdditive ? kDeviceBlendAdd
                                                    : kDeviceBlendOff);
    SetDepthWrite(mode != kBlendAdditive, force);
}

void CRenderer::SetFiltering(bool on, bool force) {
    if (std::uint8_t(on) == m_filtering && !force) return;
    m_filtering = on;
    if (m_device) m_device->SetFiltering(on);
}

void CRenderer::SetDepthTest(bool on, bool force) {
    if (std::uint8_t(on) == m_depthTest && !force) return;
    m_depthTest = on;
    if (m_device) m_device->SetDepthTest(on);
}

void CRenderer::SetDepthWrite(bool on, bool force) {
    if (std::uint8_t(on) == m_depthWrite && !force) return;
    m_depthWrite = on;
    if (m_device) m_device->SetDepthWrite(on);
}

}  // namespace ove
