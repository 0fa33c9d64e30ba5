#include "TiledMap.h"

#include <duktape.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <memory>
#include <sstream>
#include <tuple>

#include "image/ImageLoad.h"
#include "tiles/TileLayer.h"
#include "tiles/TileLayerSet.h"

namespace ovetool {

namespace {

using namespace ove;
namespace fs = std::filesystem;

// The top bits of a global tile id say how the tile is flipped; hexagonal rotation has no
// meaning on orthogonal maps.
constexpr std::uint32_t kFlipH = 0x80000000u, kFlipV = 0x40000000u, kFlipD = 0x20000000u, kRotateHex = 0x10000000u;
constexpr std::uint32_t kGidMask = 0x0FFFFFFFu;
constexpr std::int32_t kMaxWordField = 0x7FFF;  // loops and cels have 15 bits in a tile word
constexpr int kMaxGroupDepth = 8;

// ---- JSON values on the Duktape stack. Only calls that cannot throw are used on decoded data,
// so no script error can unwind through these frames.

duk_ret_t DecodeJson(duk_context* ctx, void*) {
    duk_json_decode(ctx, -1);
    return 1;
}
duk_ret_t EncodeJson(duk_context* ctx, void*) {
    duk_json_encode(ctx, -1);
    return 1;
}

// Pushes the member, or undefined when obj is not an object.
void Push(duk_context* ctx, duk_idx_t obj, const char* name) {
    if (duk_is_object(ctx, obj)) duk_get_prop_string(ctx, obj, name);
    else duk_push_undefined(ctx);
}

std::optional<double> Number(duk_context* ctx, duk_idx_t obj, const char* name) {
    Push(ctx, obj, name);
    std::optional<double> v;
    if (duk_is_number(ctx, -1)) v = duk_get_number(ctx, -1);
    duk_pop(ctx);
    return v;
}

std::optional<std::string> String(duk_context* ctx, duk_idx_t obj, const char* name) {
    Push(ctx, obj, name);
    std::optional<std::string> v;
    if (duk_is_string(ctx, -1)) {
        duk_size_t n = 0;
        const char* s = duk_get_lstring(ctx, -1, &n);
        v = std::string(s, n);
    }
    duk_pop(ctx);
    return v;
}

bool Bool(duk_context* ctx, duk_idx_t obj, const char* name, bool otherwise) {
    Push(ctx, obj, name);
    const bool v = duk_is_boolean(ctx, -1) ? duk_get_boolean(ctx, -1) != 0 : otherwise;
    duk_pop(ctx);
    return v;
}

// A whole number member in lo ... hi; `otherwise` when it is missing. False when it is there but
// not such a number.
bool Int(duk_context* ctx, duk_idx_t obj, const char* name, double lo, double hi, std::int32_t otherwise,
         std::int32_t& out, std::string& error) {
    Push(ctx, obj, name);
    const bool missing = duk_is_undefined(ctx, -1);
    const double v = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : NAN;
    duk_pop(ctx);
    if (missing) {
        out = otherwise;
        return true;
    }
    if (!(v >= lo && v <= hi) || v != std::floor(v)) {
        std::ostringstream s;
        s << std::setprecision(15) << "'" << name << "' must be a whole number " << lo << " ... " << hi;
        error = s.str();
        return false;
    }
    out = std::int32_t(v);
    return true;
}

// Defines obj[key] = the value on top of the stack (popped) as an own property, so that a key
// such as "__proto__" stays a plain name.
void Define(duk_context* ctx, duk_idx_t obj, const std::string& key) {
    obj = duk_normalize_index(ctx, obj);
    duk_push_lstring(ctx, key.data(), key.size());
    duk_swap_top(ctx, -2);
    duk_def_prop(
        ctx, obj,
        DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WRITABLE | DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE);
}

// Pushes an object of obj's custom properties, name: value. Tiled writes them as an array of
// {name, type, value}; older versions as a plain object. Returns how many there are.
int PushProperties(duk_context* ctx, duk_idx_t obj) {
    obj = duk_normalize_index(ctx, obj);
    duk_push_object(ctx);
    const duk_idx_t out = duk_get_top_index(ctx);
    int count = 0;
    Push(ctx, obj, "properties");
    if (duk_is_array(ctx, -1)) {
        const duk_size_t n = duk_get_length(ctx, -1);
        for (duk_size_t i = 0; i < n; ++i) {
            duk_get_prop_index(ctx, -1, duk_uarridx_t(i));
            const std::optional<std::string> name = String(ctx, -1, "name");
            if (name) {
                Push(ctx, -1, "value");
                Define(ctx, out, *name);
                ++count;
            }
            duk_pop(ctx);
        }
    } else if (duk_is_object(ctx, -1)) {
        duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
        while (duk_next(ctx, -1, 1)) {
            const std::string key = duk_safe_to_string(ctx, -2);
            Define(ctx, out, key);
            duk_pop(ctx);
            ++count;
        }
        duk_pop(ctx);
    }
    duk_pop(ctx);
    return count;
}

bool ReadFileText(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

// Decodes JSON text and leaves the value on the stack; false (nothing pushed) when it is not an
// object.
bool PushJsonFile(duk_context* ctx, const fs::path& path, std::string& error) {
    std::string text;
    if (!ReadFileText(path, text)) {
        error = "cannot read " + path.string();
        return false;
    }
    duk_push_lstring(ctx, text.data(), text.size());
    if (duk_safe_call(ctx, DecodeJson, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
        error = path.string() + ": bad JSON: " + duk_safe_to_string(ctx, -1);
        duk_pop(ctx);
        return false;
    }
    if (!duk_is_object(ctx, -1) || duk_is_array(ctx, -1)) {
        error = path.string() + ": not a JSON object";
        duk_pop(ctx);
        return false;
    }
    return true;
}

// ---- layer data

bool DecodeBase64(const std::string& in, std::vector<std::uint8_t>& out) {
    std::uint32_t bits = 0;
    int have = 0;
    bool ended = false;
    for (char ch : in) {
        int v;
        if (ch >= 'A' && ch <= 'Z') v = ch - 'A';
        else if (ch >= 'a' && ch <= 'z') v = ch - 'a' + 26;
        else if (ch >= '0' && ch <= '9') v = ch - '0' + 52;
        else if (ch == '+') v = 62;
        else if (ch == '/') v = 63;
        else if (ch == '=') {
            ended = true;
            continue;
        } else if (ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t') continue;
        else return false;
        if (ended) return false;  // data after the padding
        bits = bits << 6 | std::uint32_t(v);
        if (++have == 4) {
            out.push_back(std::uint8_t(bits >> 16));
            out.push_back(std::uint8_t(bits >> 8));
            out.push_back(std::uint8_t(bits));
            bits = 0;
            have = 0;
        }
    }
    if (have == 1) return false;
    if (have == 2) out.push_back(std::uint8_t(bits >> 4));
    if (have == 3) {
        out.push_back(std::uint8_t(bits >> 10));
        out.push_back(std::uint8_t(bits >> 2));
    }
    return true;
}

// zlib or gzip data that must inflate to exactly `expected` bytes.
bool Inflate(const std::vector<std::uint8_t>& in, std::size_t expected, std::vector<std::uint8_t>& out,
             std::string& error) {
    if (in.size() > UINT_MAX) {
        error = "compressed data too large";
        return false;
    }
    z_stream z{};
    if (inflateInit2(&z, 15 + 32) != Z_OK) {  // +32: zlib or gzip header, told apart by zlib
        error = "cannot start the inflater";
        return false;
    }
    out.assign(expected + 1, 0);  // one byte more shows data that runs on
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const std::size_t produced = out.size() - z.avail_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END) {
        error = produced > expected ? "compressed data holds more than width x height tiles"
                                    : std::string("damaged compressed data") + (z.msg ? std::string(": ") + z.msg : "");
        return false;
    }
    if (produced != expected) {
        error = "compressed data holds " + std::to_string(produced / 4) + " tiles, width x height is " +
                std::to_string(expected / 4);
        return false;
    }
    out.resize(expected);
    return true;
}

// The layer's global tile ids, from a number array or base64 text, raw or compressed.
bool ReadGids(duk_context* ctx, duk_idx_t layer, std::size_t count, std::vector<std::uint32_t>& gids,
              std::string& error) {
    const std::string encoding = String(ctx, layer, "encoding").value_or("csv");
    const std::string compression = String(ctx, layer, "compression").value_or("");
    Push(ctx, layer, "data");
    bool ok = true;
    if (duk_is_array(ctx, -1) && encoding == "csv") {
        if (duk_get_length(ctx, -1) != count) {
            error = "'data' has " + std::to_string(duk_get_length(ctx, -1)) + " tiles, width x height is " +
                    std::to_string(count);
            ok = false;
        }
        gids.reserve(count);
        for (std::size_t i = 0; ok && i < count; ++i) {
            duk_get_prop_index(ctx, -1, duk_uarridx_t(i));
            const double v = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : -1;
            duk_pop(ctx);
            if (!(v >= 0 && v <= 4294967295.0) || v != std::floor(v)) {
                error = "'data' entry " + std::to_string(i) + " is not a tile id";
                ok = false;
            } else {
                gids.push_back(std::uint32_t(v));
            }
        }
    } else if (duk_is_string(ctx, -1) && encoding == "base64") {
        duk_size_t n = 0;
        const char* s = duk_get_lstring(ctx, -1, &n);
        std::vector<std::uint8_t> bytes, raw;
        if (!DecodeBase64(std::string(s, n), bytes)) {
            error = "'data' is not base64";
            ok = false;
        } else if (compression.empty()) {
            if (bytes.size() != count * 4) {
                error = "'data' holds " + std::to_string(bytes.size() / 4) + " tiles, width x height is " +
                        std::to_string(count);
                ok = false;
            }
            raw = std::move(bytes);
        } else if (compression == "zlib" || compression == "gzip") {
            ok = Inflate(bytes, count * 4, raw, error);
        } else {
            error = "compression '" + compression + "' is not supported (use zlib, gzip or none)";
            ok = false;
        }
        for (std::size_t i = 0; ok && i < count; ++i)
            gids.push_back(std::uint32_t(raw[i * 4]) | std::uint32_t(raw[i * 4 + 1]) << 8 |
                           std::uint32_t(raw[i * 4 + 2]) << 16 | std::uint32_t(raw[i * 4 + 3]) << 24);
    } else {
        error = "'data' must be an array of tile ids or base64 text (encoding '" + encoding + "')";
        ok = false;
    }
    duk_pop(ctx);
    return ok;
}

// ---- tile sets

struct STileset {
    std::uint32_t firstGid = 0;
    std::string name;
    std::int32_t tileWidth = 0, tileHeight = 0, columns = 0, margin = 0, spacing = 0, count = 0;
    std::unique_ptr<CBitmapInterface> picture;
    std::map<std::int32_t, std::vector<std::int32_t>> animations;  // tile id -> frame tile ids
    std::map<std::int32_t, double> frameDurations;                 // tile id -> first frame, ms
    std::vector<std::int32_t> withProperties;                      // tile ids, in file order
};

// Reads the tile set object at `obj` (its image is relative to `dir`); the tiles' custom
// properties go into tileProps (an object at that stack index) as {id: {...}}.
bool ReadTileset(duk_context* ctx, duk_idx_t obj, const fs::path& dir, STileset& ts, duk_idx_t tileProps,
                 std::string& error) {
    ts.name = String(ctx, obj, "name").value_or("");
    const std::optional<std::string> image = String(ctx, obj, "image");
    if (!image || image->empty()) {
        error = "tile sets made of separate images are not supported; use one tile-set picture";
        return false;
    }
    if (!Int(ctx, obj, "tilewidth", 1, 8192, 0, ts.tileWidth, error) ||
        !Int(ctx, obj, "tileheight", 1, 8192, 0, ts.tileHeight, error) ||
        !Int(ctx, obj, "margin", 0, 8192, 0, ts.margin, error) ||
        !Int(ctx, obj, "spacing", 0, 8192, 0, ts.spacing, error) ||
        !Int(ctx, obj, "columns", 0, 65536, 0, ts.columns, error) ||
        !Int(ctx, obj, "tilecount", 0, 1 << 24, -1, ts.count, error))
        return false;
    if (!ts.tileWidth || !ts.tileHeight) {
        error = "'tilewidth' and 'tileheight' are required";
        return false;
    }
    const fs::path imagePath = dir / *image;
    std::string why;
    ts.picture = LoadImageFile(imagePath.string(), &why);
    if (!ts.picture) {
        error = imagePath.string() + ": " + why;
        return false;
    }
    if (ts.picture->BitsPerPixel() != 32) {
        error = imagePath.string() + ": not a 32-bit picture";
        return false;
    }
    const std::int64_t w = ts.picture->Width(), h = ts.picture->Height();
    const std::int64_t across = (w - 2 * ts.margin + ts.spacing) / (ts.tileWidth + ts.spacing);
    const std::int64_t down = (h - 2 * ts.margin + ts.spacing) / (ts.tileHeight + ts.spacing);
    if (ts.columns == 0) ts.columns = std::int32_t(std::max<std::int64_t>(across, 0));
    if (ts.columns < 1 || ts.columns > across || down < 1) {
        error = imagePath.string() + " has no room for " + std::to_string(std::max<std::int32_t>(ts.columns, 1)) +
                " column(s) of " + std::to_string(ts.tileWidth) + " x " + std::to_string(ts.tileHeight) + " tiles";
        return false;
    }
    const std::int64_t room = std::int64_t(ts.columns) * down;
    if (ts.count < 0) ts.count = std::int32_t(std::min<std::int64_t>(room, INT32_MAX));
    if (ts.count > room) {
        error = imagePath.string() + " holds " + std::to_string(room) + " tiles, the tile set says " +
                std::to_string(ts.count);
        return false;
    }
    if (ts.count > kMaxWordField + 1) {
        error = "more than " + std::to_string(kMaxWordField + 1) + " tiles in one tile set";
        return false;
    }

    duk_push_object(ctx);
    const duk_idx_t props = duk_get_top_index(ctx);
    Push(ctx, obj, "tiles");
    const duk_size_t n = duk_is_array(ctx, -1) ? duk_get_length(ctx, -1) : 0;
    bool ok = true;
    for (duk_size_t i = 0; ok && i < n; ++i) {
        duk_get_prop_index(ctx, -1, duk_uarridx_t(i));
        const duk_idx_t tile = duk_get_top_index(ctx);
        std::int32_t id = 0;
        if (!duk_is_object(ctx, tile) || !Int(ctx, tile, "id", 0, ts.count - 1, -1, id, error) || id < 0) {
            error = "tile entry " + std::to_string(i) + ": " + (error.empty() ? "no 'id'" : error);
            ok = false;
        }
        if (ok && PushProperties(ctx, tile) > 0) {
            Define(ctx, props, std::to_string(id));
            ts.withProperties.push_back(id);
        } else if (ok) {
            duk_pop(ctx);
        }
        Push(ctx, tile, "animation");
        const duk_size_t frames = ok && duk_is_array(ctx, -1) ? duk_get_length(ctx, -1) : 0;
        std::vector<std::int32_t> ids;
        for (duk_size_t f = 0; ok && f < frames; ++f) {
            duk_get_prop_index(ctx, -1, duk_uarridx_t(f));
            std::int32_t frame = 0, duration = 0;
            if (!Int(ctx, -1, "tileid", 0, ts.count - 1, -1, frame, error) || frame < 0 ||
                !Int(ctx, -1, "duration", 0, 3600000, 100, duration, error)) {
                error = "tile " + std::to_string(id) + ", animation frame " + std::to_string(f) + ": " +
                        (error.empty() ? "no 'tileid'" : error);
                ok = false;
            }
            if (f == 0) ts.frameDurations[id] = duration;
            ids.push_back(frame);
            duk_pop(ctx);
        }
        if (ok && !ids.empty()) ts.animations[id] = std::move(ids);
        duk_pop_2(ctx);  // animation, tile
    }
    duk_pop(ctx);  // tiles
    duk_put_prop_index(ctx, tileProps, duk_uarridx_t(duk_get_length(ctx, tileProps)));
    return ok;
}

// One loop of the view: every tile of a set, or the frames of one animated tile, turned one way.
struct SLoop {
    std::size_t tileset;
    std::int32_t animation;  // tile id, or -1 for the whole set
    std::uint32_t flips;     // kFlipH | kFlipV | kFlipD
};

// The tile's picture turned as the flags say: first the diagonal flip (x and y swapped), then
// the horizontal, then the vertical.
void CutTile(const STileset& ts, std::int32_t id, std::uint32_t flips, CBitmap& cel) {
    const std::int64_t x0 = ts.margin + std::int64_t(id % ts.columns) * (ts.tileWidth + ts.spacing);
    const std::int64_t y0 = ts.margin + std::int64_t(id / ts.columns) * (ts.tileHeight + ts.spacing);
    const std::int32_t w = ts.tileWidth, h = ts.tileHeight;
    for (std::int32_t y = 0; y < h; ++y) {
        u8* dst = cel.TopRow(u32(y));
        for (std::int32_t x = 0; x < w; ++x, dst += 4) {
            const std::int32_t fx = flips & kFlipH ? w - 1 - x : x;
            const std::int32_t fy = flips & kFlipV ? h - 1 - y : y;
            const std::int32_t sx = flips & kFlipD ? fy : fx, sy = flips & kFlipD ? fx : fy;
            std::memcpy(dst, ts.picture->TopRow(u32(y0 + sy)) + (x0 + sx) * 4, 4);
        }
    }
}

class CReader {
public:
    CReader(duk_context* ctx, CViewWriter& view, STiledMap& map) : m_ctx(ctx), m_view(view), m_map(map) {}

    bool Read(const fs::path& path, std::string& error);

private:
    bool ReadLayers(duk_idx_t list, bool hidden, int depth, std::string& error);
    bool ReadTileLayer(duk_idx_t layer, bool hidden, std::string& error);
    // The loop that shows the tile, made on first use.
    std::int32_t LoopFor(std::size_t tileset, std::int32_t animation, std::uint32_t flips);
    bool WriteView(std::string& error);
    bool BuildProperties(std::string& error);

    duk_context* m_ctx;
    CViewWriter& m_view;
    STiledMap& m_map;
    std::vector<STileset> m_sets;
    std::vector<SLoop> m_loops;
    std::map<std::tuple<std::size_t, std::int32_t, std::uint32_t>, std::int32_t> m_loopIndex;
    duk_idx_t m_tileProps = 0, m_layerProps = 0;
    std::size_t m_layerPropCount = 0;
    double m_firstDuration = -1;
    bool m_mixedDurations = false;
};

std::int32_t CReader::LoopFor(std::size_t tileset, std::int32_t animation, std::uint32_t flips) {
    const auto key = std::make_tuple(tileset, animation, flips);
    auto it = m_loopIndex.find(key);
    if (it != m_loopIndex.end()) return it->second;
    const auto index = std::int32_t(m_loops.size());
    m_loops.push_back({tileset, animation, flips});
    m_loopIndex.emplace(key, index);
    return index;
}

bool CReader::ReadTileLayer(duk_idx_t layer, bool hidden, std::string& error) {
    STiledLayer out;
    out.name = String(m_ctx, layer, "name").value_or("layer" + std::to_string(m_map.layers.size()));
    const std::string where = "layer '" + out.name + "': ";
    Push(m_ctx, layer, "chunks");
    const bool chunked = !duk_is_undefined(m_ctx, -1);
    duk_pop(m_ctx);
    if (chunked) {
        error = where + "infinite maps are not supported; turn 'Infinite' off in the map's properties";
        return false;
    }
    if (!Int(m_ctx, layer, "width", 1, double(CTileLayer::kMaxCells), 0, out.columns, error) ||
        !Int(m_ctx, layer, "height", 1, double(CTileLayer::kMaxCells), 0, out.rows, error) || !out.columns ||
        !out.rows) {
        error = where + (error.empty() ? "'width' and 'height' are required" : error);
        return false;
    }
    const std::int64_t cells = std::int64_t(out.columns) * out.rows;
    if (cells > CTileLayer::kMaxCells) {
        error = where + "more than " + std::to_string(CTileLayer::kMaxCells) + " tiles";
        return false;
    }
    out.hidden = hidden || !Bool(m_ctx, layer, "visible", true);
    if (Number(m_ctx, layer, "offsetx").value_or(0) != 0 || Number(m_ctx, layer, "offsety").value_or(0) != 0)
        m_map.warnings.push_back(where + "its offset is not kept (layers have none in the file)");

    // Custom properties: the engine's own layer fields by name, and the lot into the set's
    // properties under "layers".
    if (PushProperties(m_ctx, layer) > 0) {
        const duk_idx_t props = duk_get_top_index(m_ctx);
        auto whole = [&](const char* name, double lo, double hi, std::optional<std::int32_t>& field) {
            const std::optional<double> v = Number(m_ctx, props, name);
            if (v && *v >= lo && *v <= hi) field = std::int32_t(*v);
            else if (v) m_map.warnings.push_back(where + "property '" + name + "' out of range, not used");
        };
        whole("priority", 0, 16, out.priority);
        whole("mode_x", kTileFixed, kTileRepeat, out.modeX);
        whole("mode_y", kTileFixed, kTileRepeat, out.modeY);
        whole("delay", 0, 65535, out.delay);
        if (const std::optional<double> s = Number(m_ctx, props, "scale"); s && std::isfinite(*s) && *s > 0)
            out.scale = float(*s);
        Define(m_ctx, m_layerProps, out.name);
        ++m_layerPropCount;
    } else {
        duk_pop(m_ctx);
    }

    std::vector<std::uint32_t> gids;
    if (!ReadGids(m_ctx, layer, std::size_t(cells), gids, error)) {
        error = where + error;
        return false;
    }
    out.words.reserve(gids.size());
    bool warnedHex = false;
    for (std::size_t i = 0; i < gids.size(); ++i) {
        const std::uint32_t gid = gids[i] & kGidMask;
        if (gid == 0) {
            out.words.push_back(EncodeTileWord(STile{}));
            continue;
        }
        const std::string cell = where + "row " + std::to_string(i / std::size_t(out.columns)) + ", column " +
                                 std::to_string(i % std::size_t(out.columns)) + ": ";
        if ((gids[i] & kRotateHex) && !warnedHex) {
            m_map.warnings.push_back(where + "hexagonal rotation flags ignored");
            warnedHex = true;
        }
        std::size_t t = m_sets.size();
        while (t > 0 && m_sets[t - 1].firstGid > gid) --t;
        if (t == 0) {
            error = cell + "tile id " + std::to_string(gid) + " belongs to no tile set";
            return false;
        }
        const STileset& ts = m_sets[--t];
        const std::int64_t id = std::int64_t(gid) - ts.firstGid;
        if (id >= ts.count) {
            error = cell + "tile id " + std::to_string(gid) + " is beyond the " + std::to_string(ts.count) +
                    " tiles of tile set '" + ts.name + "'";
            return false;
        }
        const std::uint32_t flips = gids[i] & (kFlipH | kFlipV | kFlipD);
        if ((flips & kFlipD) && ts.tileWidth != ts.tileHeight) {
            error = cell + "a rotated tile needs square tiles";
            return false;
        }
        const auto anim = ts.animations.find(std::int32_t(id));
        STile tile;
        tile.present = 1;
        if (anim != ts.animations.end()) {
            tile.loop = LoopFor(t, std::int32_t(id), flips);
            tile.animated = 1;
            const double d = ts.frameDurations.at(std::int32_t(id));
            if (m_firstDuration < 0) m_firstDuration = d;
            else if (d != m_firstDuration) m_mixedDurations = true;
        } else {
            tile.loop = LoopFor(t, -1, flips);
            tile.base = tile.current = std::int32_t(id);
        }
        if (tile.loop > kMaxWordField) {
            error = cell + "more than " + std::to_string(kMaxWordField + 1) +
                    " loops needed for flipped and animated tiles";
            return false;
        }
        out.words.push_back(EncodeTileWord(tile));
        ++m_map.placed;
    }
    m_map.layers.push_back(std::move(out));
    return true;
}

bool CReader::ReadLayers(duk_idx_t list, bool hidden, int depth, std::string& error) {
    if (depth > kMaxGroupDepth) {
        error = "layer groups nested more than " + std::to_string(kMaxGroupDepth) + " deep";
        return false;
    }
    duk_require_stack(m_ctx, 16);
    const duk_size_t n = duk_get_length(m_ctx, list);
    for (duk_size_t i = 0; i < n; ++i) {
        duk_get_prop_index(m_ctx, list, duk_uarridx_t(i));
        const duk_idx_t layer = duk_get_top_index(m_ctx);
        const std::string type = String(m_ctx, layer, "type").value_or("");
        const std::string name = String(m_ctx, layer, "name").value_or("");
        bool ok = true;
        if (!duk_is_object(m_ctx, layer)) {
            error = "layer entry " + std::to_string(i) + " is not an object";
            ok = false;
        } else if (type == "tilelayer") {
            ok = ReadTileLayer(layer, hidden, error);
        } else if (type == "group") {
            Push(m_ctx, layer, "layers");
            if (duk_is_array(m_ctx, -1))
                ok = ReadLayers(duk_get_top_index(m_ctx), hidden || !Bool(m_ctx, layer, "visible", true), depth + 1,
                                error);
            duk_pop(m_ctx);
        } else {
            m_map.warnings.push_back("layer '" + name + "' (" + (type.empty() ? "no type" : type) +
                                     ") skipped: only tile layers are imported");
        }
        duk_pop(m_ctx);
        if (!ok) return false;
    }
    return true;
}

bool CReader::WriteView(std::string& error) {
    for (const SLoop& loop : m_loops) {
        const STileset& ts = m_sets[loop.tileset];
        std::vector<std::int32_t> ids;
        if (loop.animation >= 0) {
            ids = ts.animations.at(loop.animation);
        } else {
            for (std::int32_t id = 0; id < ts.count; ++id) ids.push_back(id);
        }
        if (ids.size() > std::size_t(kMaxWordField) + 1) {
            error = "tile set '" + ts.name + "' is too large for one loop";
            return false;
        }
        m_view.AddLoop();
        for (std::int32_t id : ids) {
            CBitmap cel(u32(ts.tileWidth), u32(ts.tileHeight), PixelFormat::Rgba8888);
            CutTile(ts, id, loop.flips, cel);
            if (!m_view.AddCel(cel, 0, 0)) {
                error = "cannot store tile " + std::to_string(id) + " of tile set '" + ts.name + "'";
                return false;
            }
            ++m_map.cels;
        }
    }
    m_map.loops = m_loops.size();
    return true;
}

// The map's properties, then "layers" and "tiles" (loop -> base cel -> properties: a flipped
// loop carries its tiles' properties too, an animated tile's loop them under cel 0).
bool CReader::BuildProperties(std::string& error) {
    const duk_idx_t props = duk_get_top_index(m_ctx);  // the map's own, pushed by the caller
    auto reserved = [&](const char* key) {
        duk_get_prop_string(m_ctx, props, key);
        if (!duk_is_undefined(m_ctx, -1))
            m_map.warnings.push_back(std::string("map property '") + key + "' replaced by the imported " + key);
        duk_pop(m_ctx);
    };
    if (m_layerPropCount > 0) {
        reserved("layers");
        duk_dup(m_ctx, m_layerProps);
        Define(m_ctx, props, "layers");
    }
    duk_push_object(m_ctx);
    const duk_idx_t tiles = duk_get_top_index(m_ctx);
    std::size_t tileCount = 0;
    for (std::size_t l = 0; l < m_loops.size(); ++l) {
        const SLoop& loop = m_loops[l];
        const STileset& ts = m_sets[loop.tileset];
        if (ts.withProperties.empty()) continue;
        duk_get_prop_index(m_ctx, m_tileProps, duk_uarridx_t(loop.tileset));  // {id: {...}}
        duk_push_object(m_ctx);
        const duk_idx_t cels = duk_get_top_index(m_ctx);
        bool any = false;
        for (std::int32_t id : ts.withProperties) {
            if (loop.animation >= 0 && id != loop.animation) continue;
            duk_get_prop_string(m_ctx, cels - 1, std::to_string(id).c_str());
            Define(m_ctx, cels, std::to_string(loop.animation >= 0 ? 0 : id));
            any = true;
            ++tileCount;
        }
        if (any) Define(m_ctx, tiles, std::to_string(l));
        else duk_pop(m_ctx);
        duk_pop(m_ctx);
    }
    if (tileCount > 0) {
        reserved("tiles");
        Define(m_ctx, props, "tiles");
    } else {
        duk_pop(m_ctx);
    }
    if (duk_safe_call(m_ctx, EncodeJson, nullptr, 1, 1) != DUK_EXEC_SUCCESS || !duk_is_string(m_ctx, -1)) {
        error = std::string("cannot encode the properties: ") + duk_safe_to_string(m_ctx, -1);
        duk_pop(m_ctx);
        return false;
    }
    const std::string json = duk_get_string(m_ctx, -1);
    duk_pop(m_ctx);
    if (json != "{}") m_map.properties = json;
    return true;
}

bool CReader::Read(const fs::path& path, std::string& error) {
    if (!PushJsonFile(m_ctx, path, error)) return false;
    const duk_idx_t root = duk_get_top_index(m_ctx);
    const fs::path dir = path.parent_path();

    if (!String(m_ctx, root, "tiledversion") && String(m_ctx, root, "type").value_or("") != "map") {
        error = "not a Tiled map (no 'type': 'map')";
        return false;
    }
    const std::string orientation = String(m_ctx, root, "orientation").value_or("orthogonal");
    if (orientation != "orthogonal") {
        error = "only orthogonal maps are supported, not " + orientation;
        return false;
    }
    if (Bool(m_ctx, root, "infinite", false)) {
        error = "infinite maps are not supported; turn 'Infinite' off in the map's properties";
        return false;
    }
    std::int32_t tw = 0, th = 0;
    if (!Int(m_ctx, root, "tilewidth", 1, 8192, 0, tw, error) || !Int(m_ctx, root, "tileheight", 1, 8192, 0, th, error))
        return false;

    duk_push_array(m_ctx);
    m_tileProps = duk_get_top_index(m_ctx);
    duk_push_object(m_ctx);
    m_layerProps = duk_get_top_index(m_ctx);

    Push(m_ctx, root, "tilesets");
    const duk_size_t setCount = duk_is_array(m_ctx, -1) ? duk_get_length(m_ctx, -1) : 0;
    if (setCount == 0) {
        error = "the map has no tile sets";
        return false;
    }
    for (duk_size_t i = 0; i < setCount; ++i) {
        duk_get_prop_index(m_ctx, -1, duk_uarridx_t(i));
        const duk_idx_t entry = duk_get_top_index(m_ctx);
        STileset ts;
        std::int32_t firstGid = 0;
        bool ok = Int(m_ctx, entry, "firstgid", 1, double(kGidMask), 0, firstGid, error) && firstGid > 0;
        if (!ok && error.empty()) error = "'firstgid' is required";
        ts.firstGid = std::uint32_t(firstGid);
        if (ok && !m_sets.empty() && ts.firstGid <= m_sets.back().firstGid) {
            error = "tile sets must come in order of 'firstgid'";
            ok = false;
        }
        if (ok) {
            if (const std::optional<std::string> source = String(m_ctx, entry, "source")) {
                const fs::path external = dir / *source;
                const std::string ext = external.extension().string();
                if (ext == ".tsx" || ext == ".TSX") {
                    error = *source + ": XML tile sets are not read; save the tile set as JSON (.tsj)";
                    ok = false;
                } else if ((ok = PushJsonFile(m_ctx, external, error))) {
                    ok = ReadTileset(m_ctx, duk_get_top_index(m_ctx), external.parent_path(), ts, m_tileProps, error);
                    duk_pop(m_ctx);
                }
            } else {
                ok = ReadTileset(m_ctx, entry, dir, ts, m_tileProps, error);
            }
        }
        duk_pop(m_ctx);
        if (!ok) {
            error = "tile set " + std::to_string(i) + (ts.name.empty() ? "" : " '" + ts.name + "'") + ": " + error;
            return false;
        }
        if (ts.tileWidth != tw || ts.tileHeight != th) {
            error = "tile set '" + ts.name + "' has " + std::to_string(ts.tileWidth) + " x " +
                    std::to_string(ts.tileHeight) + " tiles, the map " + std::to_string(tw) + " x " +
                    std::to_string(th) + ": every tile of a layer has one size";
            return false;
        }
        m_sets.push_back(std::move(ts));
    }
    duk_pop(m_ctx);  // tilesets
    m_map.tileWidth = tw;
    m_map.tileHeight = th;
    // Every set has a loop of its own in file order, whether it is used or not, so that loop t is
    // tile set t.
    for (std::size_t t = 0; t < m_sets.size(); ++t) LoopFor(t, -1, 0);

    Push(m_ctx, root, "layers");
    const bool haveLayers = duk_is_array(m_ctx, -1);
    const bool ok = haveLayers && ReadLayers(duk_get_top_index(m_ctx), false, 0, error);
    duk_pop(m_ctx);
    if (!haveLayers) error = "the map has no 'layers'";
    if (!ok) return false;
    if (m_map.layers.empty()) {
        error = "the map has no tile layers";
        return false;
    }
    if (m_firstDuration >= 0) {
        m_map.delay = std::int32_t(std::clamp(std::round(m_firstDuration * 60 / 1000) - 1, 0.0, 65535.0));
        if (m_mixedDurations)
            m_map.warnings.push_back("animated tiles have different frame durations; a layer steps them all every " +
                                     std::to_string(*m_map.delay + 1) + " frames");
    }
    if (!WriteView(error)) return false;
    PushProperties(m_ctx, root);
    return BuildProperties(error);
}

}  // namespace

bool ReadTiledMap(const std::string& path, CViewWriter& view, STiledMap& map, std::string& error) {
    std::unique_ptr<duk_context, void (*)(duk_context*)> heap(duk_create_heap_default(), duk_destroy_heap);
    if (!heap) {
        error = "cannot start the JSON reader";
        return false;
    }
    CReader reader(heap.get(), view, map);
    return reader.Read(fs::path(path), error);
}

}  // namespace ovetool
