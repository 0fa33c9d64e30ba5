// The game's backdrop: the picture (or a solid colour) with its walk, depth and hotspot masks, the
// size and offset it is shown at, the depth scale's viewport height, the active tile layers and
// the walker that searches the picture's walk mask.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "host/GameApiLogic.h"

namespace ove {

class CBackdropPicture;
class CRenderer;
class CResourceCache;
class CTileLayerSet;
class CWalker;

class CBackdropState {
public:
    // The game's renderer and resource cache, which may come and go.
    CBackdropState(const std::unique_ptr<CRenderer>& renderer, const std::unique_ptr<CResourceCache>& resources);
    ~CBackdropState();
    CBackdropState(const CBackdropState&) = delete;
    CBackdropState& operator=(const CBackdropState&) = delete;

    // Loads the named picture; null removes it. The current name again only resets the offsets.
    // May throw a loader's message.
    void SetPicture(const char* name);
    void SetSolid(uint32_t argb);
    // A picture made elsewhere (a tool's room), under `name`, shown at this size with no offset; no
    // renderer is told.
    void Place(std::unique_ptr<CBackdropPicture> picture, int32_t shownWidth, int32_t shownHeight,
               int32_t priorityHeight, const std::string& name = {});
    std::unique_ptr<CBackdropPicture> Take();

    const CBackdropPicture* Picture() const { return m_picture.get(); }
    const std::string& Name() const { return m_name; }
    uint32_t Colour() const { return m_colour; }
    int32_t ShownWidth() const { return m_shownWidth; }
    int32_t ShownHeight() const { return m_shownHeight; }
    int32_t OffsetX() const { return m_x; }
    int32_t OffsetY() const { return m_y; }
    void SetShownSize(int32_t width, int32_t height);
    void SetOffset(int32_t x, int32_t y);
    // The picture's size, the shown size and the offset: what the backdrop mappings work on.
    SBackdropGeometry Geometry() const;
    // The height the depth scale spans: as set, or worked out from the picture and the game.
    void SetPriorityViewportHeight(int32_t height) { m_priorityHeight = height; }
    int32_t PriorityViewportHeightSetting() const { return m_priorityHeight; }
    int32_t AutoPriorityHeight() const;
    // The hotspot name under a screen point: "*" for none, null for a number that has no name.
    const char* HotspotAt(int32_t x, int32_t y) const;
    CTileLayerSet* TileLayers() const { return m_tileLayers; }
    void SetTileLayers(CTileLayerSet* set) { m_tileLayers = set; }
    CWalker& Walker();
    // Hands the shown size and offset to the renderer for the frame.
    void ApplyTransform() const;

private:
    const std::unique_ptr<CRenderer>& m_renderer;
    const std::unique_ptr<CResourceCache>& m_resources;
    std::unique_ptr<CBackdropPicture> m_picture;
    std::unique_ptr<CWalker> m_walker;
    std::string m_name;
    uint32_t m_colour = 0;
    int32_t m_shownWidth = 0, m_shownHeight = 0;
    int32_t m_x = 0, m_y = 0;
    int32_t m_priorityHeight = -1;
    CTileLayerSet* m_tileLayers = nullptr;
};

}  // namespace ove
