// Reading maps saved by the Tiled map editor in its JSON format (.tmj / .json, tile sets embedded
// or in .tsj files) into tile-layer records and the tile view they draw from.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/ViewFile.h"

namespace ovetool {

struct STiledLayer {
    std::string name;
    std::int32_t columns = 0, rows = 0;
    bool hidden = false;
    std::vector<std::uint32_t> words;  // LYRS tile words, row 0 first
    // From the layer's custom properties of these names, when they are numbers.
    std::optional<std::int32_t> priority, modeX, modeY, delay;
    std::optional<float> scale;
};

struct STiledMap {
    std::vector<STiledLayer> layers;
    // JSON for the set's properties: the map's own properties, with "layers" (name -> properties)
    // and "tiles" (loop -> base cel -> properties) added when there are any. None when all is empty.
    std::optional<std::string> properties;
    std::int32_t tileWidth = 0, tileHeight = 0;
    std::size_t loops = 0, cels = 0, placed = 0;
    // Frames between steps of animated tiles, from the first animation's frame duration at 60
    // frames a second; none when the map has no animated tile.
    std::optional<std::int32_t> delay;
    std::vector<std::string> warnings;
};

// The view gets one loop per tile set, then one per animated tile (its frames in order) and one
// per flipped or rotated way a tile set or animation is used, since tile words cannot flip.
// False with a message for anything the engine's layers cannot show or a damaged file.
bool ReadTiledMap(const std::string& path, ove::CViewWriter& view, STiledMap& map, std::string& error);

}  // namespace ovetool
