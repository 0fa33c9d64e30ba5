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

    const CBackdropPicture* Picture() const { return picture_.get(); }
    const std::string& Name() const { return name_; }
    uint32_t Colour() const { return colour_; }
    int32_t ShownWidth() const { return shownWidth_; }
    int32_t ShownHeight() const { return shownHeight_; }
    int32_t OffsetX() const { return x_; }
    int32_t OffsetY() const { return y_; }
    void SetShownSize(int32_t width, int32_t height);
    void SetOffset(int32_t x, int32_t y);
    // The picture's size, the shown size and the offset: what the backdrop mappings work on.
    SBackdropGeometry Geometry() const;
    // The height the depth scale spans: as set, or worked out from the picture and the game.
    void SetPriorityViewportHeight(int32_t height) { priorityHeight_ = height; }
    int32_t PriorityViewportHeightSetting() const { return priorityHeight_; }
    int32_t AutoPriorityHeight() const;
    // The hotspot name under a screen point: "*" for none, null for a number that has no name.
    const char* HotspotAt(int32_t x, int32_t y) const;
    CTileLayerSet* TileLayers() const { return tileLayers_; }
    void SetTileLayers(CTileLayerSet* set) { tileLayers_ = set; }
    CWalker& Walker();
    // Hands the shown size and offset to the renderer for the frame.
    void ApplyTransform() const;

private:
    const std::unique_ptr<CRenderer>& renderer_;
    const std::unique_ptr<CResourceCache>& resources_;
    std::unique_ptr<CBackdropPicture> picture_;
    std::unique_ptr<CWalker> walker_;
    std::string name_;
    uint32_t colour_ = 0;
    int32_t shownWidth_ = 0, shownHeight_ = 0;
    int32_t x_ = 0, y_ = 0;
    int32_t priorityHeight_ = -1;
    CTileLayerSet* tileLayers_ = nullptr;
};

}  // namespace ove
