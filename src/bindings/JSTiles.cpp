#include "JSTiles.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "JSColour.h"
#include "JSViewConstructor.h"
#include "bindings/Bindings.h"
#include "io/DataBin.h"
#include "io/FileAccess.h"
#include "io/FileFolder.h"
#include "render/Renderer.h"
#include "resources/ResourceCache.h"
#include "script/Binding.h"
#include "tiles/TileLayerSet.h"

namespace ove {

namespace {

constexpr const char* kSetClass = "TileLayers";
constexpr const char* kLayerClass = "TileLayer";

// Sets made by scripts of the running heap; whatever is left when the heap stops is deleted then.
std::set<CTileLayerSet*> g_sets;

// ---------------------------------------------------------------- binding helpers

// Gives the layer its script object (kept in the stash under "layer@").
void BindLayer(duk_context* ctx, CTileLayer* layer) {
    PushNewInstance(ctx, kLayerClass, layer);
    layer->scriptHandle = BindHandle(ctx, -1, reinterpret_cast<ScriptHandle>(layer), kLayerPrefix);
    duk_pop(ctx);
}

// Pushes the layer's script object, making one if it has none.
void PushLayer(duk_context* ctx, CTileLayer* layer) {
    if (!layer->scriptHandle) BindLayer(ctx, layer);
    PushBound(ctx, layer->scriptHandle, kLayerPrefix);
}

// Before a layer goes: nothing may keep pointing at it.
void DetachLayer(duk_context* ctx, CTileLayer* layer) {
    if (IEngineServices* game = Engine(ctx)) game->ForgetTileLayer(layer);
    UnbindHandle(ctx, layer->scriptHandle, kLayerPrefix);
    layer->scriptHandle = 0;
}

void SetActive(duk_context* ctx, CTileLayerSet* set) {
    IEngineServices* game = Engine(ctx);
    if (game) game->SetActiveTileLayers(set);
    if (game && game->Renderer()) game->Renderer()->SetTileLayers(set);
}

void DeleteSet(duk_context* ctx, CTileLayerSet* set) {
    IEngineServices* game = Engine(ctx);
    if (game && game->ActiveTileLayers() == set) SetActive(ctx, nullptr);
    for (std::size_t i = 0; i < set->Count(); ++i) DetachLayer(ctx, set->Layer(i));
    g_sets.erase(set);
    delete set;
}

void DestroySet(duk_context* ctx, void* native) { DeleteSet(ctx, static_cast<CTileLayerSet*>(native)); }

void ScreenSize(duk_context* ctx, std::int32_t& w, std::int32_t& h) {
    IEngineServices* game = Engine(ctx);
    w = game ? game->GetGameWidth() : 0;
    h = game ? game->GetGameHeight() : 0;
}

// A tile position: one object with `col` and `row`, or two numbers. Returns the arguments used
// (0 when neither form is there).
int ReadTilePoint(duk_context* ctx, duk_idx_t index, std::int32_t& c, std::int32_t& r) {
    if (index >= duk_get_top(ctx)) return 0;
    return ReadPoint(ctx, index, c, r, "col", "row");
}

int ReadWorldPoint(duk_context* ctx, duk_idx_t index, std::int32_t& x, std::int32_t& y) {
    if (index >= duk_get_top(ctx)) return 0;
    return ReadPoint(ctx, index, x, y);
}

void PushTilePoint(duk_context* ctx, std::int32_t c, std::int32_t r) {
    duk_push_object(ctx);
    duk_push_int(ctx, c);
    duk_put_prop_string(ctx, -2, "col");
    duk_push_int(ctx, r);
    duk_put_prop_string(ctx, -2, "row");
}

void PushTile(duk_context* ctx, const STile* tile) {
    if (!tile) {
        duk_push_undefined(ctx);
        return;
    }
    duk_push_object(ctx);
    duk_push_int(ctx, tile->loop);
    duk_put_prop_string(ctx, -2, "loop");
    duk_push_int(ctx, tile->base);
    duk_put_prop_string(ctx, -2, "base_cel");
    duk_push_int(ctx, tile->current);
    duk_put_prop_string(ctx, -2, "current_cel");
    duk_push_boolean(ctx, tile->animated != 0);
    duk_put_prop_string(ctx, -2, "animated");
}

duk_ret_t MalformedPoint(duk_context* ctx) {
    return duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "a point is one object or two numbers");
}

CTileLayer* ThisLayer(duk_context* ctx) { return This<CTileLayer>(ctx, kLayerClass); }
CTileLayerSet* ThisSet(duk_context* ctx) { return This<CTileLayerSet>(ctx, kSetClass); }

// ---------------------------------------------------------------- globals

CTileLayerSet* NewSet(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    auto set = std::make_unique<CTileLayerSet>(game ? game->Resources() : nullptr);
    g_sets.insert(set.get());
    return set.release();
}

duk_ret_t SetConstructor(duk_context* ctx) {
    RequireConstructorCall(ctx);
    CTileLayerSet* set = NewSet(ctx);
    BindThis(ctx, set, kSetClass);
    duk_push_this(ctx);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, "properties");
    duk_pop(ctx);
    return 0;
}

// Layers come only from their set (AddLayer, InsertLayer, Load).
duk_ret_t LayerConstructor(duk_context* ctx) {
    return duk_error(ctx, DUK_ERR_TYPE_ERROR, "TileLayer objects are made by a TileLayers set");
}

duk_ret_t LayersetExists(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    IEngineServices* game = Engine(ctx);
    const bool exists = game && game->Resources() && game->Resources()->ResourceExists(name, "OVT");
    duk_push_boolean(ctx, exists);
    return 1;
}

duk_ret_t SetLayers(duk_context* ctx) {
    if (duk_is_null_or_undefined(ctx, 0) || (duk_is_boolean(ctx, 0) && !duk_get_boolean(ctx, 0))) {
        SetActive(ctx, nullptr);
        return 0;
    }
    SetActive(ctx, Require<CTileLayerSet>(ctx, 0, kSetClass));
    return 0;
}

// ---------------------------------------------------------------- TileLayers members

duk_ret_t SetCount(duk_context* ctx) {
    duk_push_uint(ctx, duk_uint_t(ThisSet(ctx)->Count()));
    return 1;
}

// Pushes a new layer of the set (name, columns, rows at 0..2), inserted before `before`.
duk_ret_t NewLayer(duk_context* ctx, CTileLayerSet* set, std::size_t before) {
    const char* name = ArgString(ctx, 0);
    const std::int32_t columns = ArgInt(ctx, 1);
    const std::int32_t rows = ArgInt(ctx, 2);
    if (columns < 0 || rows < 0 || std::int64_t(columns) * rows > CTileLayer::kMaxCells)
        return duk_error(ctx, DUK_ERR_RANGE_ERROR, "%d x %d tiles is not a possible layer size", int(columns),
                         int(rows));
    CTileLayer* layer = set->InsertLayer(name, columns, rows, before);
    PushLayer(ctx, layer);
    return 1;
}

duk_ret_t AddLayer(duk_context* ctx) {
    CTileLayerSet* set = ThisSet(ctx);
    return NewLayer(ctx, set, set->Count());
}

duk_ret_t InsertLayer(duk_context* ctx) {
    CTileLayerSet* set = ThisSet(ctx);
    std::int32_t index = -1;
    if (IsInstance(ctx, 3, kLayerClass)) {
        index = set->IndexOf(static_cast<CTileLayer*>(GetNativeIf(ctx, 3, kLayerClass)));
    } else if (duk_is_object(ctx, 3)) {
        return duk_error(ctx, DUK_ERR_TYPE_ERROR, "TileLayer, index or name expected");
    } else if (duk_is_number(ctx, 3)) {
        index = ArgInt(ctx, 3);
        if (index < 0 || std::size_t(index) >= set->Count()) index = -1;
    } else if (duk_is_string(ctx, 3)) {
        duk_size_t length = 0;
        const char* name = duk_get_lstring(ctx, 3, &length);
        for (std::size_t i = 0; i < set->Count() && index < 0; ++i) {
            const std::string& n = set->Layer(i)->name;
            if (n.size() == length && n.compare(0, length, name, length) == 0) index = std::int32_t(i);
        }
    }
    if (index < 0) return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "no such layer to insert before");
    return NewLayer(ctx, set, std::size_t(index));
}

duk_ret_t GetLayer(duk_context* ctx) {
    CTileLayerSet* set = ThisSet(ctx);
    CTileLayer* layer = nullptr;
    if (duk_is_number(ctx, 0)) {
        const std::int32_t index = ArgInt(ctx, 0);
        if (index >= 0) layer = set->Layer(std::size_t(index));
    } else if (duk_is_string(ctx, 0)) {
        duk_size_t length = 0;
        const char* name = duk_get_lstring(ctx, 0, &length);
        for (std::size_t i = 0; i < set->Count() && !layer; ++i) {
            const std::string& n = set->Layer(i)->name;
            if (n.size() == length && n.compare(0, length, name, length) == 0) layer = set->Layer(i);
        }
    }
    if (!layer) return 0;
    PushLayer(ctx, layer);
    return 1;
}

duk_ret_t DecodeJson(duk_context* ctx, void*) {
    duk_json_decode(ctx, -1);
    return 1;
}

duk_ret_t EncodeJson(duk_context* ctx, void*) {
    duk_json_encode(ctx, -1);
    return 1;
}

CDataBin* OpenForLoad(duk_context* ctx, const char* filename) {
    IEngineServices* game = Engine(ctx);
    if (game && game->Folder()) return game->Folder()->Open(filename);
    return OpenLocalFile(filename);
}

// The C++ side of Load: everything with a destructor lives here. On failure the message is in
// `message` and the set is as it was.
bool LoadInto(duk_context* ctx, CTileLayerSet* set, const char* filename, char* message, std::size_t size) {
    std::unique_ptr<CDataBin> file(OpenForLoad(ctx, filename));
    if (!file) {
        std::snprintf(message, size, "Couldn't open tile layers [%s]", filename);
        return false;
    }
    TileLayerList layers;
    std::optional<std::string> properties;
    std::string error;
    if (!set->Parse(*file, layers, properties, error)) {
        std::snprintf(message, size, "Couldn't load tile layers [%s]: %s", filename, error.c_str());
        return false;
    }
    if (properties) {
        duk_push_lstring(ctx, properties->data(), properties->size());
        if (duk_safe_call(ctx, DecodeJson, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
            std::snprintf(message, size, "Couldn't load tile layers [%s]: PROP: %s", filename,
                          duk_safe_to_string(ctx, -1));
            duk_pop(ctx);
            return false;
        }
    }
    TileLayerList old = set->ReplaceLayers(std::move(layers));
    for (auto& layer : old) DetachLayer(ctx, layer.get());
    old.clear();
    for (std::size_t i = 0; i < set->Count(); ++i) BindLayer(ctx, set->Layer(i));
    if (properties) {
        duk_push_this(ctx);
        duk_dup(ctx, -2);
        duk_put_prop_string(ctx, -2, "properties");
        duk_pop_2(ctx);
    }
    return true;
}

duk_ret_t Load(duk_context* ctx) {
    CTileLayerSet* set = ThisSet(ctx);
    const char* filename = ArgString(ctx, 0);
    char message[768];
    if (!LoadInto(ctx, set, filename, message, sizeof message)) return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
    return 0;
}

bool SaveFrom(duk_context* ctx, const CTileLayerSet* set, const char* filename, char* message, std::size_t size) {
    duk_push_this(ctx);
    duk_get_prop_string(ctx, -1, "properties");
    duk_remove(ctx, -2);
    if (duk_safe_call(ctx, EncodeJson, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
        std::snprintf(message, size, "Couldn't save tile layers [%s]: properties: %s", filename,
                      duk_safe_to_string(ctx, -1));
        duk_pop(ctx);
        return false;
    }
    std::optional<std::string> properties;
    if (duk_is_string(ctx, -1)) {
        duk_size_t length = 0;
        const char* text = duk_get_lstring(ctx, -1, &length);
        if (std::string(text, length) != "{}") properties.emplace(text, length);
    }
    duk_pop(ctx);
    std::string path(filename);
    for (char& ch : path)
        if (ch == '\\') ch = '/';
    if (!FileAccess().Check("TileLayers.Save", path, CFileAccess::Mode::kWrite)) {
        std::snprintf(message, size, "Couldn't save tile layers [%s]: outside the game's folders", filename);
        return false;
    }
    CFile file(path.c_str(), "wb");
    if (!file.IsOpen() || !set->Save(file, properties ? &*properties : nullptr)) {
        std::snprintf(message, size, "Couldn't save tile layers [%s]", filename);
        return false;
    }
    return true;
}

duk_ret_t Save(duk_context* ctx) {
    CTileLayerSet* set = ThisSet(ctx);
    const char* filename = ArgString(ctx, 0);
    char message[768];
    if (!SaveFrom(ctx, set, filename, message, sizeof message)) return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
    return 0;
}

// ---------------------------------------------------------------- TileLayer methods

template <void (CTileLayer::*Center)(std::int32_t, std::int32_t, std::int32_t, std::int32_t), bool Tile>
duk_ret_t CenterOn(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    std::int32_t a = 0, b = 0;
    if (!(Tile ? ReadTilePoint(ctx, 0, a, b) : ReadWorldPoint(ctx, 0, a, b))) return MalformedPoint(ctx);
    std::int32_t w, h;
    ScreenSize(ctx, w, h);
    (layer->*Center)(a, b, w, h);
    return 0;
}

duk_ret_t ClearAll(duk_context* ctx) {
    ThisLayer(ctx)->Clear();
    return 0;
}

duk_ret_t ClearTile(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    std::int32_t c = 0, r = 0;
    if (!ReadTilePoint(ctx, 0, c, r)) return MalformedPoint(ctx);
    layer->ClearTile(c, r);
    return 0;
}

template <const STile* (CTileLayer::*Get)(std::int32_t, std::int32_t) const, bool Tile>
duk_ret_t GetTileAt(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    std::int32_t a = 0, b = 0;
    if (!(Tile ? ReadTilePoint(ctx, 0, a, b) : ReadWorldPoint(ctx, 0, a, b))) return 0;
    PushTile(ctx, (layer->*Get)(a, b));
    return 1;
}

// Conversions: In/Out say whether the argument and the result are tile positions.
template <void (CTileLayer::*Convert)(std::int32_t, std::int32_t, std::int32_t&, std::int32_t&) const, bool In,
          bool Out>
duk_ret_t ConvertPoint(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    std::int32_t a = 0, b = 0;
    if (!(In ? ReadTilePoint(ctx, 0, a, b) : ReadWorldPoint(ctx, 0, a, b))) return MalformedPoint(ctx);
    std::int32_t x, y;
    (layer->*Convert)(a, b, x, y);
    if (Out) PushTilePoint(ctx, x, y);
    else PushPoint(ctx, x, y);
    return 1;
}

duk_ret_t ReadWorldPixel(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    std::int32_t x = 0, y = 0;
    if (!ReadWorldPoint(ctx, 0, x, y)) return MalformedPoint(ctx);
    ColourToScript(ctx, layer->ReadWorldPixel(x, y));
    return 1;
}

// An optional integer member of a tile object: `fallback` when missing, SyntaxError when not a
// number.
bool TileMember(duk_context* ctx, duk_idx_t obj, const char* name, std::int32_t fallback, std::int32_t& out) {
    duk_get_prop_string(ctx, obj, name);
    bool ok = true;
    if (duk_is_undefined(ctx, -1)) out = fallback;
    else if (duk_is_number(ctx, -1)) out = std::int32_t(duk_get_int(ctx, -1));
    else ok = false;
    duk_pop(ctx);
    return ok;
}

duk_ret_t SetTile(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    std::int32_t c = 0, r = 0;
    const int used = ReadTilePoint(ctx, 0, c, r);
    if (!used) return MalformedPoint(ctx);
    const duk_idx_t t = used, top = duk_get_top(ctx);
    if (t >= top || duk_is_null_or_undefined(ctx, t)) {
        layer->ClearTile(c, r);
        return 0;
    }
    std::int32_t loop = 0, base = 0, current = 0;
    bool animated = false;
    if (duk_is_object(ctx, t) && !duk_is_function(ctx, t)) {
        if (!TileMember(ctx, t, "loop", INT32_MIN, loop) || loop == INT32_MIN ||
            !TileMember(ctx, t, "base_cel", 0, base))
            return duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "a tile needs a numeric loop and base_cel");
        duk_get_prop_string(ctx, t, "animated");
        animated = duk_to_boolean(ctx, -1) != 0;
        duk_pop(ctx);
        current = base;
        if (animated && !TileMember(ctx, t, "current_cel", base, current))
            return duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "current_cel must be a number");
    } else if (duk_is_number(ctx, t)) {
        loop = ArgInt(ctx, t);
        if (t + 1 >= top || duk_is_undefined(ctx, t + 1)) {
            // Only a loop: the whole loop animates from its first cel.
            base = 0;
            animated = true;
        } else {
            if (!duk_is_number(ctx, t + 1)) return duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "base cel must be a number");
            base = ArgInt(ctx, t + 1);
            if (t + 2 < top && !duk_is_undefined(ctx, t + 2)) {
                if (!duk_is_boolean(ctx, t + 2))
                    return duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "animated must be a boolean");
                animated = duk_get_boolean(ctx, t + 2) != 0;
            }
        }
        current = base;
        if (t + 3 < top && !duk_is_undefined(ctx, t + 3)) {
            if (!duk_is_number(ctx, t + 3)) return duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "current cel must be a number");
            current = ArgInt(ctx, t + 3);
        }
    } else {
        return duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "a tile is an object, numbers, or null");
    }
    layer->SetTile(c, r, loop, base, current, animated);
    return 0;
}

// ---------------------------------------------------------------- TileLayer properties

template <std::int32_t (CTileLayer::*Get)() const>
duk_ret_t GetComputed(duk_context* ctx) {
    duk_push_int(ctx, (ThisLayer(ctx)->*Get)());
    return 1;
}

template <std::int32_t CTileLayer::*Field>
duk_ret_t GetInt(duk_context* ctx) {
    duk_push_int(ctx, ThisLayer(ctx)->*Field);
    return 1;
}

template <std::int32_t CTileLayer::*Field>
duk_ret_t SetInt(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    layer->*Field = ArgInt(ctx, 0);
    return 0;
}

template <std::int32_t CTileLayer::*Field>
duk_ret_t SetMode(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    const std::int32_t mode = ArgInt(ctx, 0);
    if (mode < kTileFixed || mode > kTileRepeat)
        return duk_error(ctx, DUK_ERR_RANGE_ERROR, "edge mode %d is not FIXED, LIMIT, CLAMP or REPEAT", int(mode));
    layer->*Field = mode;
    return 0;
}

duk_ret_t GetName(duk_context* ctx) {
    const std::string& name = ThisLayer(ctx)->name;
    duk_push_lstring(ctx, name.data(), name.size());
    return 1;
}

duk_ret_t SetName(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    duk_size_t length = 0;
    ArgString(ctx, 0);
    const char* name = duk_get_lstring(ctx, 0, &length);
    layer->name.assign(name, length);
    return 0;
}

duk_ret_t GetScale(duk_context* ctx) {
    duk_push_number(ctx, ThisLayer(ctx)->Scale());
    return 1;
}

duk_ret_t SetScale(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    layer->SetScale(ArgFloat(ctx, 0));
    return 0;
}

duk_ret_t GetVisible(duk_context* ctx) {
    duk_push_boolean(ctx, ThisLayer(ctx)->visible != 0);
    return 1;
}

duk_ret_t SetVisible(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    layer->visible = ArgBool(ctx, 0) ? 1 : 0;
    return 0;
}

duk_ret_t GetCenter(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    std::int32_t w, h, x, y;
    ScreenSize(ctx, w, h);
    layer->ScreenToWorld((w - 1) >> 1, (h - 1) >> 1, x, y);
    PushPoint(ctx, x, y);
    return 1;
}

duk_ret_t IgnoreWrite(duk_context*) { return 0; }

duk_ret_t GetView(duk_context* ctx) {
    CView* view = ThisLayer(ctx)->View();
    if (view && view->Name()) duk_push_string(ctx, view->Name());
    else duk_push_null(ctx);
    return 1;
}

duk_ret_t SetView(duk_context* ctx) {
    CTileLayer* layer = ThisLayer(ctx);
    if (duk_is_null_or_undefined(ctx, 0)) {
        layer->SetView(nullptr);
        return 0;
    }
    CView* view = ViewFromScriptValue(ctx, 0);
    if (!view) {
        const char* name = "[unknown]";
        if (IsInstance(ctx, 0, "View")) name = "[generated]";
        else if (duk_is_string(ctx, 0) || duk_is_number(ctx, 0)) name = duk_to_string(ctx, 0);
        return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't load sprite [%s]", name);
    }
    // A view whose cels differ in size is refused and the layer keeps its view.
    layer->SetView(view);
    return 0;
}

// ---------------------------------------------------------------- registration

const duk_function_list_entry kSetMethods[] = {
    {"AddLayer", Guarded<AddLayer>, 3}, {"InsertLayer", Guarded<InsertLayer>, 4},
    {"GetLayer", GetLayer, 1},          {"Load", Guarded<Load>, 1},
    {"Save", Guarded<Save>, 1},         {nullptr, nullptr, 0},
};

const SAccessor kSetAccessors[] = {
    {"count", SetCount, nullptr},
    {nullptr, nullptr, nullptr},
};

const duk_function_list_entry kLayerMethods[] = {
    {"CenterOnScreen", CenterOn<&CTileLayer::CenterOnScreen, false>, DUK_VARARGS},
    {"CenterOnTile", CenterOn<&CTileLayer::CenterOnTile, true>, DUK_VARARGS},
    {"CenterOnWorld", CenterOn<&CTileLayer::CenterOnWorld, false>, DUK_VARARGS},
    {"Clear", ClearAll, 0},
    {"ClearTile", ClearTile, DUK_VARARGS},
    {"GetScreenTile", GetTileAt<&CTileLayer::GetScreenTile, false>, DUK_VARARGS},
    {"GetTile", GetTileAt<&CTileLayer::GetTile, true>, DUK_VARARGS},
    {"GetWorldTile", GetTileAt<&CTileLayer::GetWorldTile, false>, DUK_VARARGS},
    {"ReadWorldPixel", ReadWorldPixel, DUK_VARARGS},
    {"ScreenToTile", ConvertPoint<&CTileLayer::ScreenToTile, false, true>, DUK_VARARGS},
    {"ScreenToWorld", ConvertPoint<&CTileLayer::ScreenToWorld, false, false>, DUK_VARARGS},
    {"SetTile", SetTile, DUK_VARARGS},
    {"TileToScreen", ConvertPoint<&CTileLayer::TileToScreen, true, false>, DUK_VARARGS},
    {"TileToWorld", ConvertPoint<&CTileLayer::TileToWorld, true, false>, DUK_VARARGS},
    {"WorldToScreen", ConvertPoint<&CTileLayer::WorldToScreen, false, false>, DUK_VARARGS},
    {"WorldToTile", ConvertPoint<&CTileLayer::WorldToTile, false, true>, DUK_VARARGS},
    {nullptr, nullptr, 0},
};

const SAccessor kLayerAccessors[] = {
    {"name", GetName, Guarded<SetName>},
    {"columns", GetComputed<&CTileLayer::Columns>, nullptr},
    {"rows", GetComputed<&CTileLayer::Rows>, nullptr},
    {"width", GetComputed<&CTileLayer::Width>, nullptr},
    {"height", GetComputed<&CTileLayer::Height>, nullptr},
    {"screenwidth", GetComputed<&CTileLayer::ScreenWidth>, nullptr},
    {"screenheight", GetComputed<&CTileLayer::ScreenHeight>, nullptr},
    {"celwidth", GetComputed<&CTileLayer::CelWidth>, nullptr},
    {"celheight", GetComputed<&CTileLayer::CelHeight>, nullptr},
    {"priority", GetInt<&CTileLayer::priority>, SetInt<&CTileLayer::priority>},
    {"mode_x", GetInt<&CTileLayer::modeX>, SetMode<&CTileLayer::modeX>},
    {"mode_y", GetInt<&CTileLayer::modeY>, SetMode<&CTileLayer::modeY>},
    {"offset_x", GetInt<&CTileLayer::offsetX>, SetInt<&CTileLayer::offsetX>},
    {"offset_y", GetInt<&CTileLayer::offsetY>, SetInt<&CTileLayer::offsetY>},
    {"scale", GetScale, SetScale},
    {"delay", GetInt<&CTileLayer::delay>, SetInt<&CTileLayer::delay>},
    {"visible", GetVisible, SetVisible},
    {"center", GetCenter, IgnoreWrite},
    {"view", GetView, Guarded<SetView>},
    {nullptr, nullptr, nullptr},
};

}  // namespace

bool StartTileAPI(duk_context* ctx) {
    RegisterClass(ctx, SClassDef{kSetClass, nullptr, SetConstructor, 0, kSetMethods, kSetAccessors});
    RegisterClass(ctx, SClassDef{kLayerClass, nullptr, LayerConstructor, 0, kLayerMethods, kLayerAccessors});
    RegisterCreateFunction(ctx, "CreateLayers", kSetClass, 0);
    RegisterDestroyFunction(ctx, "DestroyLayers", kSetClass, DestroySet);
    RegisterFunction(ctx, "LayersetExists", LayersetExists, 1);
    RegisterFunction(ctx, "SetLayers", SetLayers, 1);
    DefineGlobalNumber(ctx, "FIXED", kTileFixed);
    DefineGlobalNumber(ctx, "LIMIT", kTileLimit);
    DefineGlobalNumber(ctx, "CLAMP", kTileClamp);
    DefineGlobalNumber(ctx, "REPEAT", kTileRepeat);
    return true;
}

void StopTileAPI(duk_context* ctx) {
    while (!g_sets.empty()) DeleteSet(ctx, *g_sets.begin());
}

}  // namespace ove
