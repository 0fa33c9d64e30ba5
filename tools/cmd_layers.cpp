// ovetool layers: builds a tile-layer set (LYRS) and its tile view (VIEW) from a tile-set picture
// and a map made in a map editor (CSV or JSON), or from a map saved by Tiled in its JSON format,
// which names its own tile-set pictures (see TiledMap.h).
//
// Tile numbers follow the usual map-editor convention: 0 is an empty cell, n is tile n - 1 of the
// set, counted row by row over the tile-set picture. The view has one loop holding every tile.
//
// JSON maps: {"columns": C, "rows": R, "tiles": [...]} for one layer, or
// {"layers": [{"name", "columns", "rows", "tiles", "priority", "mode_x", "mode_y", "scale"}, ...],
//  "properties": {...}}; per-layer members override the command-line options and "properties"
// becomes the set's properties.
#include <duktape.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "TiledMap.h"
#include "data/ViewFile.h"
#include "image/ImageLoad.h"
#include "io/DataBin.h"
#include "tiles/TileLayerSet.h"

namespace {

using namespace ove;
namespace fs = std::filesystem;

struct SMapLayer {
    std::string name;
    std::int32_t columns = 0, rows = 0;
    std::vector<long> tiles;
    std::int32_t priority = 0, modeX = kTileLimit, modeY = kTileLimit;
    float scale = 1.0f;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "ovetool layers: %s\n", message.c_str());
    return 1;
}

bool ParseLong(const std::string& s, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end && *end == 0 && errno == 0;
}

bool ParseMode(const std::string& s, std::int32_t& mode) {
    static const char* const kNames[] = {"fixed", "limit", "clamp", "repeat"};
    for (int i = 0; i < 4; ++i)
        if (s == kNames[i] || s == std::to_string(i)) {
            mode = i;
            return true;
        }
    return false;
}

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// One row per line, numbers separated by commas; blank lines are skipped.
bool ReadCsv(const std::string& text, SMapLayer& layer, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(lines, line)) {
        ++lineNo;
        line = Trim(line);
        if (line.empty()) continue;
        if (line.back() == ',') line.pop_back();  // some editors end every row with a comma
        std::vector<long> row;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, ',')) {
            long v = 0;
            if (!ParseLong(Trim(cell), v)) {
                error = "line " + std::to_string(lineNo) + ": '" + Trim(cell) + "' is not a tile number";
                return false;
            }
            row.push_back(v);
        }
        if (layer.rows == 0) {
            layer.columns = std::int32_t(row.size());
        } else if (std::int32_t(row.size()) != layer.columns) {
            error = "line " + std::to_string(lineNo) + " has " + std::to_string(row.size()) + " tiles, the first row " +
                    std::to_string(layer.columns);
            return false;
        }
        layer.tiles.insert(layer.tiles.end(), row.begin(), row.end());
        ++layer.rows;
    }
    if (layer.rows == 0) {
        error = "the map is empty";
        return false;
    }
    return true;
}

// ---- JSON through Duktape's decoder

duk_ret_t Decode(duk_context* ctx, void*) {
    duk_json_decode(ctx, -1);
    return 1;
}
duk_ret_t Encode(duk_context* ctx, void*) {
    duk_json_encode(ctx, -1);
    return 1;
}

bool NumberMember(duk_context* ctx, duk_idx_t obj, const char* name, double& out) {
    duk_get_prop_string(ctx, obj, name);
    const bool have = duk_is_number(ctx, -1);
    if (have) out = duk_get_number(ctx, -1);
    duk_pop(ctx);
    return have;
}

bool ReadJsonLayer(duk_context* ctx, duk_idx_t obj, SMapLayer& layer, std::string& error) {
    double v;
    if (!NumberMember(ctx, obj, "columns", v) || v < 1 || v > CTileLayer::kMaxCells) {
        error = "'columns' must be a positive number";
        return false;
    }
    layer.columns = std::int32_t(v);
    if (!NumberMember(ctx, obj, "rows", v) || v < 1 || v > CTileLayer::kMaxCells) {
        error = "'rows' must be a positive number";
        return false;
    }
    layer.rows = std::int32_t(v);
    if (std::int64_t(layer.columns) * layer.rows > CTileLayer::kMaxCells) {
        error = "the layer is too large";
        return false;
    }
    if (NumberMember(ctx, obj, "priority", v)) layer.priority = std::int32_t(v);
    if (NumberMember(ctx, obj, "scale", v)) layer.scale = float(v);
    if (NumberMember(ctx, obj, "mode_x", v)) layer.modeX = std::int32_t(v);
    if (NumberMember(ctx, obj, "mode_y", v)) layer.modeY = std::int32_t(v);
    duk_get_prop_string(ctx, obj, "name");
    if (duk_is_string(ctx, -1)) layer.name = duk_get_string(ctx, -1);
    duk_pop(ctx);
    duk_get_prop_string(ctx, obj, "tiles");
    bool ok = duk_is_array(ctx, -1);
    const std::size_t expected = std::size_t(layer.columns) * std::size_t(layer.rows);
    if (ok && duk_get_length(ctx, -1) != expected) {
        error = "'tiles' has " + std::to_string(duk_get_length(ctx, -1)) + " entries, columns x rows is " +
                std::to_string(expected);
        duk_pop(ctx);
        return false;
    }
    for (std::size_t i = 0; ok && i < expected; ++i) {
        duk_get_prop_index(ctx, -1, duk_uarridx_t(i));
        ok = duk_is_number(ctx, -1);
        if (ok) layer.tiles.push_back(long(duk_get_number(ctx, -1)));
        duk_pop(ctx);
    }
    duk_pop(ctx);
    if (!ok && error.empty()) error = "'tiles' must be an array of numbers";
    return ok;
}

bool ReadJson(const std::string& text, std::vector<SMapLayer>& layers, std::optional<std::string>& properties,
              std::string& error) {
    std::unique_ptr<duk_context, void (*)(duk_context*)> heap(duk_create_heap_default(), duk_destroy_heap);
    duk_context* ctx = heap.get();
    if (!ctx) {
        error = "cannot start the JSON reader";
        return false;
    }
    duk_push_lstring(ctx, text.data(), text.size());
    if (duk_safe_call(ctx, Decode, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
        error = std::string("bad JSON: ") + duk_safe_to_string(ctx, -1);
        return false;
    }
    if (!duk_is_object(ctx, -1) || duk_is_array(ctx, -1)) {
        error = "the JSON map must be an object";
        return false;
    }
    duk_get_prop_string(ctx, -1, "properties");
    if (duk_is_object(ctx, -1)) {
        if (duk_safe_call(ctx, Encode, nullptr, 1, 1) == DUK_EXEC_SUCCESS && duk_is_string(ctx, -1))
            properties = duk_get_string(ctx, -1);
    }
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, "layers");
    if (duk_is_array(ctx, -1)) {
        const duk_size_t n = duk_get_length(ctx, -1);
        for (duk_size_t i = 0; i < n; ++i) {
            duk_get_prop_index(ctx, -1, duk_uarridx_t(i));
            SMapLayer layer;
            layer.name = "layer" + std::to_string(i);
            const bool ok = duk_is_object(ctx, -1) && ReadJsonLayer(ctx, duk_get_top_index(ctx), layer, error);
            duk_pop(ctx);
            if (!ok) {
                error = "layer " + std::to_string(i) + ": " + (error.empty() ? "not an object" : error);
                return false;
            }
            layers.push_back(std::move(layer));
        }
        if (layers.empty()) error = "no layers";
        return !layers.empty();
    }
    duk_pop(ctx);
    SMapLayer layer;
    if (!ReadJsonLayer(ctx, duk_get_top_index(ctx), layer, error)) return false;
    layers.push_back(std::move(layer));
    return true;
}

// Writes the view beside the set, then the set.
int WriteOutputs(const std::string& out, const std::string& viewName, const CViewWriter& writer, const SLayerFile& file,
                 fs::path& viewPath) {
    viewPath = fs::path(out).parent_path() / (viewName + ".OVV");
    {
        CFile viewFile(viewPath.c_str(), "wb");
        if (!viewFile.IsOpen() || !writer.Write(&viewFile)) return Fail("cannot write " + viewPath.string());
    }
    CFile outFile(out.c_str(), "wb");
    if (!outFile.IsOpen() || !WriteLayerFile(outFile, file)) return Fail("cannot write " + out);
    return 0;
}

struct SOptions {
    std::string name, viewName;
    std::optional<long> priority, delay;
    std::optional<std::int32_t> modeX, modeY;
    std::optional<float> scale;
};

// A Tiled map: the tile sets, sizes and layers come from the map; the options override what its
// layers' custom properties say.
int RunTiled(const SOptions& options, const std::string& out, const std::string& mapPath, CViewWriter& writer) {
    ovetool::STiledMap map;
    std::string error;
    if (!ovetool::ReadTiledMap(mapPath, writer, map, error)) return Fail(mapPath + ": " + error);
    for (const std::string& w : map.warnings)
        std::fprintf(stderr, "ovetool layers: %s: %s\n", mapPath.c_str(), w.c_str());
    const std::string viewName = options.viewName.empty() ? fs::path(mapPath).stem().string() : options.viewName;
    SLayerFile file;
    file.properties = map.properties;
    for (ovetool::STiledLayer& m : map.layers) {
        SLayerRecord rec;
        rec.name = map.layers.size() == 1 && !options.name.empty() ? options.name : m.name;
        rec.columns = m.columns;
        rec.rows = m.rows;
        rec.priority = std::int16_t(options.priority ? *options.priority : m.priority.value_or(0));
        rec.modeX = options.modeX ? *options.modeX : m.modeX.value_or(kTileLimit);
        rec.modeY = options.modeY ? *options.modeY : m.modeY.value_or(kTileLimit);
        rec.scale = options.scale ? *options.scale : m.scale.value_or(1.0f);
        rec.delay = std::uint16_t(options.delay ? *options.delay : m.delay ? *m.delay : map.delay.value_or(0));
        rec.flags = m.hidden ? 1 : 0;
        rec.viewName = viewName;
        rec.words = std::move(m.words);
        file.layers.push_back(std::move(rec));
    }
    fs::path viewPath;
    if (const int rc = WriteOutputs(out, viewName, writer, file, viewPath)) return rc;
    std::printf("%s: %zu layer%s, %zu tiles placed; view %s: %zu loop%s, %zu cels of %d x %d\n", out.c_str(),
                file.layers.size(), file.layers.size() == 1 ? "" : "s", map.placed, viewPath.string().c_str(),
                map.loops, map.loops == 1 ? "" : "s", map.cels, map.tileWidth, map.tileHeight);
    return 0;
}

int RunLayers(const ovetool::Args& args) {
    std::vector<std::string> positional;
    std::string name, viewName;
    std::optional<long> priority;
    std::optional<std::int32_t> modeX, modeY;
    std::optional<float> scale;
    long delay = 0;
    bool delaySet = false;
    CViewWriter writer("VIEW", 32);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        long n = 0;
        if (a == "--name" && hasValue) {
            name = args[++i];
        } else if (a == "--view" && hasValue) {
            viewName = args[++i];
        } else if (a == "--priority" && hasValue) {
            if (!ParseLong(args[++i], n) || n < 0 || n > 16) return Fail("--priority needs a level 0 ... 16");
            priority = n;
        } else if ((a == "--mode" || a == "--mode-x" || a == "--mode-y") && hasValue) {
            std::int32_t m;
            if (!ParseMode(args[++i], m)) return Fail(a + " needs fixed, limit, clamp or repeat");
            if (a != "--mode-y") modeX = m;
            if (a != "--mode-x") modeY = m;
        } else if (a == "--scale" && hasValue) {
            char* end = nullptr;
            const float s = std::strtof(args[++i].c_str(), &end);
            if (!end || *end || !std::isfinite(s) || s <= 0) return Fail("--scale needs a positive number");
            scale = s;
        } else if (a == "--delay" && hasValue) {
            if (!ParseLong(args[++i], n) || n < 0 || n > 65535) return Fail("--delay needs 0 ... 65535 frames");
            delay = n;
            delaySet = true;
        } else if (a == "--smooth") {
            writer.smooth = 1;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return Fail("unknown option or missing value: " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() == 2) {
        SOptions options{name, viewName, priority, std::nullopt, modeX, modeY, scale};
        if (delaySet) options.delay = delay;
        return RunTiled(options, positional[0], positional[1], writer);
    }
    if (positional.size() != 5)
        return Fail("expected OUT.OVT TILESET.png TILE_WIDTH TILE_HEIGHT MAP.csv|MAP.json, or OUT.OVT MAP.tmj");
    {
        std::string head;
        const std::string ext = fs::path(positional[4]).extension().string();
        const bool tiled = ext == ".tmj" || ext == ".TMJ" ||
                           (ReadText(positional[4], head) && head.find("\"tiledversion\"") != std::string::npos);
        if (tiled)
            return Fail(positional[4] + " is a Tiled map, which names its own tile sets: ovetool layers OUT.OVT " +
                        positional[4]);
    }
    const std::string& out = positional[0];
    const std::string& tilesetPath = positional[1];
    const std::string& mapPath = positional[4];
    long tw = 0, th = 0;
    if (!ParseLong(positional[2], tw) || !ParseLong(positional[3], th) || tw < 1 || th < 1 || tw > 8192 || th > 8192)
        return Fail("tile width and height must be 1 ... 8192");

    // The tile set, cut row by row.
    std::string error;
    auto picture = LoadImageFile(tilesetPath, &error);
    if (!picture) return Fail(tilesetPath + ": " + error);
    if (picture->BitsPerPixel() != 32) return Fail(tilesetPath + ": not a 32-bit picture");
    const long across = long(picture->Width()) / tw, down = long(picture->Height()) / th;
    if (across < 1 || down < 1)
        return Fail(tilesetPath + " is smaller than one " + std::to_string(tw) + " x " + std::to_string(th) + " tile");
    const long tileCount = across * down;
    writer.AddLoop();
    for (long t = 0; t < tileCount; ++t) {
        CBitmap cel(u32(tw), u32(th), 32);
        const long x0 = (t % across) * tw, y0 = (t / across) * th;
        for (long y = 0; y < th; ++y)
            std::memcpy(cel.TopRow(u32(y)), picture->TopRow(u32(y0 + y)) + x0 * 4, std::size_t(tw) * 4);
        if (!writer.AddCel(cel, 0, 0)) return Fail("cannot store tile " + std::to_string(t + 1));
        ovetool::Progress("tiles", std::size_t(t + 1), std::size_t(tileCount));
    }

    // The map.
    std::string text;
    if (!ReadText(mapPath, text)) return Fail("cannot read " + mapPath);
    std::vector<SMapLayer> layers;
    std::optional<std::string> properties;
    const std::string ext = fs::path(mapPath).extension().string();
    if (ext == ".json" || ext == ".JSON") {
        if (!ReadJson(text, layers, properties, error)) return Fail(mapPath + ": " + error);
    } else {
        SMapLayer layer;
        if (!ReadCsv(text, layer, error)) return Fail(mapPath + ": " + error);
        layers.push_back(std::move(layer));
    }

    if (viewName.empty()) viewName = fs::path(tilesetPath).stem().string();
    SLayerFile file;
    file.properties = properties;
    std::size_t placed = 0;
    for (std::size_t l = 0; l < layers.size(); ++l) {
        SMapLayer& m = layers[l];
        SLayerRecord rec;
        rec.name = layers.size() == 1 && !name.empty() ? name : !m.name.empty() ? m.name : "layer";
        rec.columns = m.columns;
        rec.rows = m.rows;
        rec.priority = std::int16_t(priority ? *priority : m.priority);
        rec.modeX = modeX ? *modeX : m.modeX;
        rec.modeY = modeY ? *modeY : m.modeY;
        if (rec.modeX < kTileFixed || rec.modeX > kTileRepeat || rec.modeY < kTileFixed || rec.modeY > kTileRepeat)
            return Fail("layer " + rec.name + ": edge modes are 0 ... 3");
        rec.scale = scale ? *scale : m.scale;
        if (!std::isfinite(rec.scale) || rec.scale <= 0) return Fail("layer " + rec.name + ": bad scale");
        rec.delay = std::uint16_t(delay);
        rec.viewName = viewName;
        for (std::size_t i = 0; i < m.tiles.size(); ++i) {
            const long t = m.tiles[i];
            if (t < 0 || t > tileCount)
                return Fail("layer " + rec.name + ", row " + std::to_string(i / std::size_t(m.columns)) + ", column " +
                            std::to_string(i % std::size_t(m.columns)) + ": tile " + std::to_string(t) +
                            " is not in the set of " + std::to_string(tileCount));
            STile tile;
            if (t > 0) {
                tile.present = 1;
                tile.base = tile.current = std::int32_t(t - 1);
                ++placed;
            }
            rec.words.push_back(EncodeTileWord(tile));
        }
        file.layers.push_back(std::move(rec));
    }

    fs::path viewPath;
    if (const int rc = WriteOutputs(out, viewName, writer, file, viewPath)) return rc;
    std::printf("%s: %zu layer%s, %zu tiles placed; view %s: %ld tiles of %ld x %ld\n", out.c_str(), file.layers.size(),
                file.layers.size() == 1 ? "" : "s", placed, viewPath.string().c_str(), tileCount, tw, th);
    return 0;
}

}  // namespace

OVE_TOOL_COMMAND("layers", RunLayers);
