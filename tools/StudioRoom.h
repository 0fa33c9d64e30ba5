// The room that ovetool studio edits: a backdrop picture with its masks held expanded (one byte a
// pixel) for painting, and the engine's own answers about it (walkability, hotspots, paths,
// sprite depths).
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "walk/BackdropPicture.h"
#include "walk/Walker.h"

namespace studio {

using ove::u8;

// How the game shows the room: the shown size (SetBackdropDimensions) and the height that
// automatic sprite priorities spread over (SetPriorityViewportHeight). Zeroes take the picture's.
struct SShown {
    std::int32_t width = 0, height = 0;
    std::int32_t priorityHeight = 0;
};

struct SPointInfo {
    std::int32_t walk = 0, control = 0, depth = 0, click = 0;
    std::string hotspot;       // what GetHotspot answers for the backdrop: "*" for none
    bool hotspotNamed = true;  // false when the click value has no name (GetHotspot gives null)
};

struct SDepthInfo {
    std::int32_t priority = 0;  // the sprite's priority standing there (automatic)
    float depth = 0.0f;
    std::vector<int> hiddenBy;  // depth-mask levels drawn in front of it
};

struct SPathResult {
    bool found = false;
    std::vector<ove::SWalkPoint> backdrop;  // start first
    std::vector<ove::SWalkPoint> screen;    // the same points mapped to the shown room
};

class CStudioRoom {
public:
    static constexpr int kMaskCount = ove::CBackdropPicture::kMaskCount;

    // Opens a backdrop resource, or starts a new room from a picture (saved beside it as
    // NAME.OVP). False with a message on failure.
    bool Open(const std::filesystem::path& path, std::string* error);
    // Reads the resource again from disk (changes made by other tools). A picture with more than
    // `maxPixels` pixels is refused and the room stays as it was.
    bool Reload(std::string* error, std::size_t maxPixels = SIZE_MAX);
    // Writes the whole resource to a temporary file beside the target, then renames it over.
    bool Save(const std::filesystem::path& target, std::string* error);
    // Writes the painted masks beside the resource as grey pictures (NAME-walk.png ...) and
    // the hotspot names as NAME-hotspots.txt, the files ovetool pict builds the room from. The
    // names written go to `written`.
    bool ExportSources(const std::filesystem::path& resource, std::vector<std::string>* written, std::string* error);

    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    const std::filesystem::path& Path() const { return m_path; }
    // The image as RGBA bytes, top row first.
    std::vector<u8> ImageRgba() const;

    const std::vector<u8>& Mask(int which) const { return m_masks[std::size_t(which)]; }
    bool HasMask(int which) const { return m_present[std::size_t(which)]; }
    // Replaces a mask; the data must cover the room exactly.
    bool SetMask(int which, const u8* data, std::size_t size);

    const std::map<std::uint32_t, std::string>& Hotspots() const { return m_hotspots; }
    void SetHotspots(std::map<std::uint32_t, std::string> names);

    // Queries at a backdrop point.
    SPointInfo At(std::int32_t x, std::int32_t y);
    SDepthInfo DepthAt(std::int32_t x, std::int32_t y, const SShown& shown);
    // The automatic priority of a sprite standing on each row of the room.
    std::vector<std::int32_t> RowPriorities(const SShown& shown);
    // The walk a sprite standing at `from` takes when sent to `to` (backdrop points) under a
    // constraint (index 0..6): the game's WalkTo, which tries points near an unreachable goal.
    SPathResult FindPath(ove::SWalkPoint from, ove::SWalkPoint to, std::int32_t constraint, std::int32_t reference,
                         const SShown& shown);

    // Mask names as the page and the resource's chunks know them.
    static const char* MaskName(int which);
    static int MaskByName(const std::string& name);

private:
    bool Adopt(ove::CBackdropPicture& picture, std::string* error);
    void Encode(int which);
    // Gives the picture exactly the room's hotspot names.
    void SyncHotspotNames();

    std::filesystem::path m_path;  // the resource written by Save
    std::int32_t m_width = 0, m_height = 0;
    // The image and the masks in the engine's form.
    std::unique_ptr<ove::CBackdropPicture> m_picture = std::make_unique<ove::CBackdropPicture>();
    std::array<std::vector<u8>, kMaskCount> m_masks;
    std::array<bool, kMaskCount> m_present{};
    std::map<std::uint32_t, std::string> m_hotspots;
};

// One cel of a view, as a sprite of that view shows it (centred, standing on its bottom row).
struct SCelImage {
    std::int32_t width = 0, height = 0;
    std::int32_t left = 0, top = 0;    // the top-left corner from the sprite's position
    std::int32_t loops = 0, cels = 0;  // of the view, and of the loop
    std::vector<u8> rgba;              // top row first
};

// Reads a view resource (.OVV) and takes out one cel (indices reduced as a sprite reduces them).
bool LoadCel(const std::filesystem::path& file, std::int32_t loop, std::int32_t cel, SCelImage& out,
             std::string* error);

// Whether `path` lies inside `folder` once both are made absolute and normal ("..", links).
bool InsideFolder(const std::filesystem::path& folder, const std::filesystem::path& path);

}  // namespace studio
