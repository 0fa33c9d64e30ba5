// A set of tile layers drawn by priority level, and the "LYRS" file that stores one.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "render/Renderer.h"
#include "tiles/TileLayer.h"

namespace ove {

class CDataBin;
class CResourceCache;

// One layer as the file stores it.
struct SLayerRecord {
    std::int32_t modeX = kTileLimit, modeY = kTileLimit;
    std::int32_t columns = 0, rows = 0;
    std::int16_t priority = 0;
    std::uint16_t flags = 0;  // bit 0: hidden
    std::uint16_t delay = 0;
    float scale = 1.0f;
    std::string name;
    std::string viewName;
    std::vector<std::uint32_t> words;  // rows x columns tile words, row 0 first
};

// Tile words: bits 0-1 kind, 2-16 loop, 17-31 base cel.
enum : std::uint32_t { kTileWordEmpty = 0, kTileWordStatic = 1, kTileWordAnimated = 2, kTileWordSkip = 3 };
std::uint32_t EncodeTileWord(const STile& tile);
inline std::uint32_t TileWordKind(std::uint32_t w) { return w & 3u; }
inline std::int32_t TileWordLoop(std::uint32_t w) { return std::int32_t((w >> 2) & 0x7FFFu); }
inline std::int32_t TileWordBase(std::uint32_t w) { return std::int32_t(w >> 17); }

struct SLayerFile {
    std::vector<SLayerRecord> layers;
    std::optional<std::string> properties;  // the JSON text of the PROP chunk
};

// Reads a whole layer-set file from the stream's position. Every count and length is checked
// against the data left before anything is allocated. False with a message on any damage.
bool ReadLayerFile(CDataBin& in, SLayerFile& out, std::string& error);
// False when the stream refuses a write.
bool WriteLayerFile(CDataBin& out, const SLayerFile& file);

using TileLayerList = std::vector<std::unique_ptr<CTileLayer>>;

class CTileLayerSet : public CLevelLayers {
public:
    // Views named by loaded files come from this cache (may be null: then such files fail).
    explicit CTileLayerSet(CResourceCache* views = nullptr) : m_views(views) {}
    CTileLayerSet(const CTileLayerSet&) = delete;
    CTileLayerSet& operator=(const CTileLayerSet&) = delete;

    // Draws every layer whose priority is the level, in set order.
    void Draw(CRenderer& renderer, int level) override;
    // One frame of animation for every layer.
    void Animate();

    std::size_t Count() const { return m_layers.size(); }
    CTileLayer* Layer(std::size_t index) const { return index < m_layers.size() ? m_layers[index].get() : nullptr; }
    // The first layer of that name, or null.
    CTileLayer* Find(const std::string& name) const;
    // Position of the layer in the set, or -1.
    std::int32_t IndexOf(const CTileLayer* layer) const;

    // New layers (throw std::length_error for sizes beyond CTileLayer::kMaxCells).
    CTileLayer* AddLayer(const std::string& name, std::int32_t columns, std::int32_t rows);
    CTileLayer* InsertLayer(const std::string& name, std::int32_t columns, std::int32_t rows, std::size_t before);

    // Builds the layers a file describes without touching this set. False with a message when the
    // file is damaged, a view cannot be loaded or a view's cels differ in size.
    bool Parse(CDataBin& in, TileLayerList& layers, std::optional<std::string>& properties, std::string& error) const;
    // Installs new layers and hands the old ones back (the caller lets go of them after detaching
    // whatever refers to them).
    TileLayerList ReplaceLayers(TileLayerList layers);
    // Parse + ReplaceLayers, dropping the old layers at once: for callers nothing else refers to.
    bool Load(CDataBin& in, std::optional<std::string>& properties, std::string& error);
    // Writes the set, with a PROP chunk when properties are given.
    bool Save(CDataBin& out, const std::string* properties) const;

private:
    CResourceCache* m_views;
    TileLayerList m_layers;
};

}  // namespace ove
