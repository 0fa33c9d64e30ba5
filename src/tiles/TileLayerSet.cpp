#include "TileLayerSet.h"

#include <cmath>
#include <cstring>

#include "io/DataBin.h"
#include "resources/ResourceCache.h"

namespace ove {

namespace {

constexpr std::uint32_t kHeaderSize = 8;
constexpr std::uint32_t kLayerHeaderSize = 32;

std::uint32_t LE32(const std::uint8_t* b) {
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}
std::uint16_t LE16(const std::uint8_t* b) { return std::uint16_t(b[0] | b[1] << 8); }

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}
void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

// Reads from a stream that never hands out more than it holds.
class CReader {
public:
    explicit CReader(CDataBin& in) : m_in(in), m_left(in.GetSize() > in.Tell() ? in.GetSize() - in.Tell() : 0) {}
    std::uint32_t Left() const { return m_left; }
    bool Read(void* data, std::uint32_t count) {
        if (count > m_left) return false;
        if (count && m_in.Read(data, count) != count) return false;
        m_left -= count;
        return true;
    }
    bool ReadString(std::uint32_t length, std::string& s) {
        if (length > m_left) return false;
        s.resize(length);
        return Read(s.data(), length);
    }

private:
    CDataBin& m_in;
    std::uint32_t m_left;
};

std::string LayerError(std::size_t index, const char* what) { return "layer " + std::to_string(index) + ": " + what; }

}  // namespace

std::uint32_t EncodeTileWord(const STile& tile) {
    const std::uint32_t kind = tile.present ? (tile.animated ? kTileWordAnimated : kTileWordStatic) : kTileWordEmpty;
    return ((std::uint32_t(tile.base) << 15 | (std::uint32_t(tile.loop) & 0x7FFFu)) << 2) | kind;
}

bool ReadLayerFile(CDataBin& in, SLayerFile& out, std::string& error) {
    out = SLayerFile{};
    CReader reader(in);
    std::uint8_t head[kHeaderSize];
    if (!reader.Read(head, kHeaderSize) || std::memcmp(head, "LYRS", 4) != 0) {
        error = "not a layer set (no LYRS tag)";
        return false;
    }
    const std::int32_t count = std::int32_t(LE32(head + 4));
    // Every layer takes at least its header: a count the data cannot hold is damage, found before
    // anything is allocated for it.
    if (count < 0 || std::uint32_t(count) > reader.Left() / kLayerHeaderSize) {
        error = "bad layer count " + std::to_string(count);
        return false;
    }
    out.layers.reserve(std::size_t(count));
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t h[kLayerHeaderSize];
        if (!reader.Read(h, kLayerHeaderSize)) {
            error = LayerError(std::size_t(i), "truncated header");
            return false;
        }
        SLayerRecord rec;
        rec.modeX = std::int32_t(LE32(h));
        rec.modeY = std::int32_t(LE32(h + 4));
        rec.columns = std::int32_t(LE32(h + 8));
        rec.rows = std::int32_t(LE32(h + 12));
        rec.priority = std::int16_t(LE16(h + 16));
        rec.flags = LE16(h + 18);
        rec.delay = LE16(h + 20);
        std::uint32_t scaleBits = LE32(h + 24);
        std::memcpy(&rec.scale, &scaleBits, 4);
        const std::uint16_t nameLength = LE16(h + 28), viewLength = LE16(h + 30);
        if (rec.modeX < kTileFixed || rec.modeX > kTileRepeat || rec.modeY < kTileFixed || rec.modeY > kTileRepeat) {
            error = LayerError(std::size_t(i), "bad edge mode");
            return false;
        }
        if (!std::isfinite(rec.scale) || rec.scale <= 0.0f) {
            error = LayerError(std::size_t(i), "bad scale");
            return false;
        }
        if (rec.columns < 0 || rec.rows < 0 || std::int64_t(rec.columns) * rec.rows > CTileLayer::kMaxCells) {
            error = LayerError(std::size_t(i), "bad size ") + std::to_string(rec.columns) + " x " +
                    std::to_string(rec.rows);
            return false;
        }
        if (!reader.ReadString(nameLength, rec.name) || !reader.ReadString(viewLength, rec.viewName)) {
            error = LayerError(std::size_t(i), "truncated name");
            return false;
        }
        const std::uint64_t words = std::uint64_t(rec.columns) * std::uint64_t(rec.rows);
        if (words > reader.Left() / 4) {
            error = LayerError(std::size_t(i), "truncated tiles");
            return false;
        }
        rec.words.resize(std::size_t(words));
        std::vector<std::uint8_t> raw(std::size_t(words) * 4);
        if (!reader.Read(raw.data(), std::uint32_t(raw.size()))) {
            error = LayerError(std::size_t(i), "truncated tiles");
            return false;
        }
        for (std::size_t w = 0; w < rec.words.size(); ++w) rec.words[w] = LE32(&raw[w * 4]);
        out.layers.push_back(std::move(rec));
    }
    // Optional properties; anything else after the layers is ignored.
    std::uint8_t chunk[8];
    if (reader.Left() >= 8 && reader.Read(chunk, 8) && std::memcmp(chunk, "PROP", 4) == 0) {
        std::string text;
        if (!reader.ReadString(LE32(chunk + 4), text)) {
            error = "truncated PROP chunk";
            return false;
        }
        out.properties = std::move(text);
    }
    return true;
}

bool WriteLayerFile(CDataBin& out, const SLayerFile& file) {
    std::vector<std::uint8_t> b;
    b.insert(b.end(), {'L', 'Y', 'R', 'S'});
    Put32(b, std::uint32_t(file.layers.size()));
    for (const SLayerRecord& rec : file.layers) {
        const std::size_t nameLength = std::min<std::size_t>(rec.name.size(), 0xFFFF);
        const std::size_t viewLength = std::min<std::size_t>(rec.viewName.size(), 0xFFFF);
        Put32(b, std::uint32_t(rec.modeX));
        Put32(b, std::uint32_t(rec.modeY));
        Put32(b, std::uint32_t(rec.columns));
        Put32(b, std::uint32_t(rec.rows));
        Put16(b, std::uint16_t(rec.priority));
        Put16(b, rec.flags & 1u);
        Put16(b, rec.delay);
        Put16(b, 0);
        std::uint32_t scaleBits;
        std::memcpy(&scaleBits, &rec.scale, 4);
        Put32(b, scaleBits);
        Put16(b, std::uint16_t(nameLength));
        Put16(b, std::uint16_t(viewLength));
        b.insert(b.end(), rec.name.begin(), rec.name.begin() + std::ptrdiff_t(nameLength));
        b.insert(b.end(), rec.viewName.begin(), rec.viewName.begin() + std::ptrdiff_t(viewLength));
        for (std::uint32_t w : rec.words) Put32(b, w);
    }
    if (file.properties) {
        b.insert(b.end(), {'P', 'R', 'O', 'P'});
        Put32(b, std::uint32_t(file.properties->size()));
        b.insert(b.end(), file.properties->begin(), file.properties->end());
    }
    if (b.size() > 0xFFFFFFFFu) return false;
    return out.Write(b.data(), std::uint32_t(b.size())) == b.size();
}

// ---------------------------------------------------------------- the set

void CTileLayerSet::Draw(CRenderer& renderer, int level) {
    for (const auto& layer : m_layers)
        if (layer->priority == level) layer->Draw(renderer);
}

void CTileLayerSet::Animate() {
    for (const auto& layer : m_layers) layer->Animate();
}

CTileLayer* CTileLayerSet::Find(const std::string& name) const {
    for (const auto& layer : m_layers)
        if (layer->name == name) return layer.get();
    return nullptr;
}

std::int32_t CTileLayerSet::IndexOf(const CTileLayer* layer) const {
    for (std::size_t i = 0; i < m_layers.size(); ++i)
        if (m_layers[i].get() == layer) return std::int32_t(i);
    return -1;
}

CTileLayer* CTileLayerSet::AddLayer(const std::string& name, std::int32_t columns, std::int32_t rows) {
    return InsertLayer(name, columns, rows, m_layers.size());
}

CTileLayer* CTileLayerSet::InsertLayer(const std::string& name, std::int32_t columns, std::int32_t rows,
                                       std::size_t before) {
    auto layer = std::make_unique<CTileLayer>(name, columns, rows);
    CTileLayer* p = layer.get();
    m_layers.insert(m_layers.begin() + std::ptrdiff_t(std::min(before, m_layers.size())), std::move(layer));
    return p;
}

bool CTileLayerSet::Parse(CDataBin& in, TileLayerList& layers, std::optional<std::string>& properties,
                          std::string& error) const {
    SLayerFile file;
    if (!ReadLayerFile(in, file, error)) return false;
    layers.clear();
    layers.reserve(file.layers.size());
    for (std::size_t i = 0; i < file.layers.size(); ++i) {
        const SLayerRecord& rec = file.layers[i];
        auto layer = std::make_unique<CTileLayer>(rec.name, rec.columns, rec.rows);
        layer->modeX = rec.modeX;
        layer->modeY = rec.modeY;
        layer->priority = rec.priority;
        layer->visible = (rec.flags & 1u) ? 0 : 1;
        layer->delay = rec.delay;
        layer->SetScale(rec.scale);
        if (!rec.viewName.empty()) {
            CView* view = m_views ? m_views->LoadView(rec.viewName) : nullptr;
            if (!view) {
                error = "layer " + std::to_string(i) + ": couldn't load view [" + rec.viewName + "]";
                return false;
            }
            if (!layer->SetView(view)) {
                error = "layer " + std::to_string(i) + ": the cels of view [" + rec.viewName + "] differ in size";
                return false;
            }
        }
        std::size_t w = 0;
        // A layer without columns may still claim billions of rows: walk only rows with tiles.
        for (std::int32_t r = 0; rec.columns > 0 && r < rec.rows; ++r) {
            for (std::int32_t c = 0; c < rec.columns; ++c) {
                const std::uint32_t word = rec.words[w++];
                switch (TileWordKind(word)) {
                case kTileWordEmpty: layer->ClearTile(c, r); break;
                case kTileWordStatic:
                case kTileWordAnimated: {
                    const std::int32_t base = TileWordBase(word);
                    layer->SetTile(c, r, TileWordLoop(word), base, base, TileWordKind(word) == kTileWordAnimated);
                    break;
                }
                default:  // kind 3: the cell keeps what it has
                    break;
                }
            }
        }
        layers.push_back(std::move(layer));
    }
    properties = std::move(file.properties);
    return true;
}

TileLayerList CTileLayerSet::ReplaceLayers(TileLayerList layers) {
    m_layers.swap(layers);
    return layers;
}

bool CTileLayerSet::Load(CDataBin& in, std::optional<std::string>& properties, std::string& error) {
    TileLayerList layers;
    if (!Parse(in, layers, properties, error)) return false;
    ReplaceLayers(std::move(layers));
    return true;
}

bool CTileLayerSet::Save(CDataBin& out, const std::string* properties) const {
    SLayerFile file;
    file.layers.reserve(m_layers.size());
    for (const auto& layer : m_layers) {
        SLayerRecord rec;
        rec.modeX = layer->modeX;
        rec.modeY = layer->modeY;
        rec.columns = layer->Columns();
        rec.rows = layer->Rows();
        rec.priority = std::int16_t(layer->priority);
        rec.flags = layer->visible ? 0 : 1;
        rec.delay = std::uint16_t(layer->delay);
        rec.scale = layer->Scale();
        rec.name = layer->name;
        if (CView* view = layer->View(); view && view->Name()) rec.viewName = view->Name();
        rec.words.reserve(std::size_t(rec.columns) * std::size_t(rec.rows));
        for (std::int32_t r = 0; rec.columns > 0 && r < rec.rows; ++r)
            for (std::int32_t c = 0; c < rec.columns; ++c) rec.words.push_back(EncodeTileWord(*layer->CellAt(c, r)));
        file.layers.push_back(std::move(rec));
    }
    if (properties) file.properties = *properties;
    return WriteLayerFile(out, file);
}

}  // namespace ove
