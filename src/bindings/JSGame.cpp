#include "JSGame.h"

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "JSColour.h"
#include "bindings/Bindings.h"
#include "host/GameApiLogic.h"
#include "platform/MessageBox.h"
#include "resources/ResourceCache.h"
#include "scene/Sprite.h"
#include "script/Binding.h"
#include "script/ScriptHost.h"
#include "walk/BackdropPicture.h"

namespace ove {

namespace {

// Every function acts on the one game; without one (a heap started for tests or tools) they do
// nothing and answer neutral values.

// An integer argument where undefined and null count as 0.
int32_t ArgIntOrZero(duk_context* ctx, duk_idx_t index, const char* name) {
    return duk_is_null_or_undefined(ctx, index) ? 0 : ArgInt(ctx, index, name);
}

// ---------------------------------------------------------------- messages and housekeeping

// Builds and shows the text of arguments already converted to strings in place.
void ShowAlert(duk_context* ctx, duk_idx_t count) {
    std::vector<std::string> parts;
    parts.reserve(static_cast<std::size_t>(count));
    for (duk_idx_t i = 0; i < count; ++i) {
        duk_size_t len = 0;
        const char* s = duk_get_lstring(ctx, i, &len);
        parts.emplace_back(s ? s : "", s ? len : 0);
    }
    ShowMessageBox("Alert", JoinAlertText(parts), BoxIcon::Warning, nullptr);
}

duk_ret_t Alert(duk_context* ctx) {
    duk_idx_t count = duk_get_top(ctx);
    // Conversions may raise (a Symbol, a throwing toString): all of them before any C++ object.
    for (duk_idx_t i = 0; i < count; ++i) duk_to_string(ctx, i);
    ShowAlert(ctx, count);
    return 0;
}

// Silent unless the engine runs with --verbose; then one line on standard error.
duk_ret_t Debug(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    if (!game || !game->Verbose()) return 0;
    duk_idx_t count = duk_get_top(ctx);
    for (duk_idx_t i = 0; i < count; ++i) duk_to_string(ctx, i);
    std::fputs("debug:", stderr);
    for (duk_idx_t i = 0; i < count; ++i) {
        duk_size_t len = 0;
        const char* s = duk_get_lstring(ctx, i, &len);
        std::fputc(' ', stderr);
        if (s) std::fwrite(s, 1, len, stderr);
    }
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return 0;
}

duk_ret_t GC(duk_context* ctx) {
    duk_gc(ctx, 0);
    IEngineServices* game = Engine(ctx);
    if (game && game->Resources()) game->Resources()->ReleaseUnused();
    return 0;
}

// ---------------------------------------------------------------- frame primitives

// A primitive may pump messages, and a script handler reached from there may leave a fatal error
// behind: it ends the script's Run() once we are back in this frame.
template <void (IEngineServices::*Primitive)()>
duk_ret_t FramePrimitive(duk_context* ctx) {
    if (IEngineServices* game = Engine(ctx)) (game->*Primitive)();
    RaisePendingFatal(ctx);
    return 0;
}

template <void (IEngineServices::*Primitive)(float)>
duk_ret_t TimedPrimitive(duk_context* ctx) {
    float seconds = ArgFloat(ctx, 0, "seconds");
    if (IEngineServices* game = Engine(ctx)) (game->*Primitive)(seconds);
    RaisePendingFatal(ctx);
    return 0;
}

// ---------------------------------------------------------------- backdrop

duk_ret_t SetBackdrop(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    if (IsColour(ctx, 0)) {
        uint32_t colour = ColourFromScript(ctx, 0);
        if (game) game->SetBackdropSolid(colour);
    } else if (duk_is_number(ctx, 0)) {
        uint32_t colour = ColourNumber(duk_get_number(ctx, 0)) | 0xFF000000u;
        if (game) game->SetBackdropSolid(colour);
    } else {
        if (!duk_is_string(ctx, 0))
            RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, 0, nullptr, "a Colour, a number or a picture name");
        const char* name = duk_get_string(ctx, 0);
        if (game) game->SetBackdropPicture(name);
    }
    return 0;
}

duk_ret_t ClearBackdrop(duk_context* ctx) {
    if (IEngineServices* game = Engine(ctx)) game->SetBackdropPicture(nullptr);
    return 0;
}

duk_ret_t GetBackdrop(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    if (game && !game->BackdropName().empty())
        duk_push_lstring(ctx, game->BackdropName().data(), game->BackdropName().size());
    else ColourToScript(ctx, game ? game->BackdropColour() : 0u);
    return 1;
}

duk_ret_t PictureExists(duk_context* ctx) {
    const char* name = ArgString(ctx, 0, "name");
    IEngineServices* game = Engine(ctx);
    bool exists = game && game->Resources() && game->Resources()->ResourceExists(name, "OVP");
    duk_push_boolean(ctx, exists);
    return 1;
}

duk_ret_t SetBackdropDimensions(duk_context* ctx) {
    int32_t w = ArgIntOrZero(ctx, 0, "width");
    int32_t h = ArgIntOrZero(ctx, 1, "height");
    if (IEngineServices* game = Engine(ctx)) {
        SBackdropGeometry g = game->BackdropGeometry();
        SGameSize shown = BackdropDimensions(w, h, g.pictureWidth, g.pictureHeight);
        game->SetBackdropShownSize(shown.width, shown.height);
    }
    return 0;
}

duk_ret_t SetBackdropOffset(duk_context* ctx) {
    int32_t x = ArgInt(ctx, 0, "x");
    int32_t y = ArgInt(ctx, 1, "y");
    if (IEngineServices* game = Engine(ctx)) {
        game->SetBackdropOffset(x, y);
    }
    return 0;
}

template <int32_t (IEngineServices::*Field)() const>
duk_ret_t GetGameInt(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    duk_push_int(ctx, game ? (game->*Field)() : 0);
    return 1;
}

template <bool ToScreen>
duk_ret_t MapPoint(duk_context* ctx) {
    SGamePoint p;
    ArgPoint(ctx, 0, p.x, p.y);
    if (IEngineServices* game = Engine(ctx)) {
        SBackdropGeometry g = game->BackdropGeometry();
        p = ToScreen ? BackdropToScreen(g, p) : ScreenToBackdrop(g, p);
    }
    PushPoint(ctx, p.x, p.y);
    return 1;
}

// ---------------------------------------------------------------- masks and hotspots

// The screen point of a point-or-sprite argument: a Sprite gives its placed position (a destroyed
// one raises the ReferenceError of a required sprite), anything else is read as a point.
SGamePoint ScreenPointArg(duk_context* ctx, IEngineServices* game) {
    SGamePoint p;
    if (IsInstance(ctx, 0, "Sprite")) {
        auto* sprite = Require<CSprite>(ctx, 0, "Sprite");
        if (game) p = game->SpriteScreenPosition(sprite);
        return p;
    }
    ArgPoint(ctx, 0, p.x, p.y, "a point {x, y}, a Sprite or a number");
    return p;
}

template <CBackdropPicture::EMask Which>
duk_ret_t GetMaskValue(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    bool sprite = IsInstance(ctx, 0, "Sprite");
    SGamePoint p = ScreenPointArg(ctx, game);
    uint8_t value = 0;
    if (game && game->BackdropPicture()) {
        // Points are backdrop pixels already; a sprite's placed position is on the screen.
        if (sprite) p = ScreenToBackdrop(game->BackdropGeometry(), p);
        const CBackdropPicture& picture = *game->BackdropPicture();
        value = MaskValueAt(picture.Mask(Which), picture.Width(), picture.Height(), p.x, p.y);
    }
    duk_push_uint(ctx, value);
    return 1;
}

duk_ret_t GetHotspot(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    SGamePoint p = ScreenPointArg(ctx, game);
    // The host answers "*" for nothing there and null for a hotspot number without a name.
    duk_push_string(ctx, game ? game->GetHotspot(p.x, p.y) : "*");
    return 1;
}

// ---------------------------------------------------------------- cursor, window, settings

duk_ret_t SetCursor(duk_context* ctx) {
    auto* sprite = Require<CSprite>(ctx, 0, "Sprite");
    if (IEngineServices* game = Engine(ctx)) game->SetCursorSprite(sprite);
    return 0;
}

duk_ret_t ClearCursor(duk_context* ctx) {
    if (IEngineServices* game = Engine(ctx)) game->SetCursorSprite(nullptr);
    return 0;
}

duk_ret_t SetPriorityViewportHeight(duk_context* ctx) {
    int32_t height = -1;  // automatic
    if (!duk_is_null_or_undefined(ctx, 0)) {
        uint32_t v = ArgUnsigned(ctx, 0, "height");
        // Read as unsigned; heights past the signed range would otherwise turn into "automatic".
        height = v > static_cast<uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(v);
    }
    if (IEngineServices* game = Engine(ctx)) game->SetPriorityViewportHeight(height);
    return 0;
}

duk_ret_t SetTitle(duk_context* ctx) {
    const char* title = ArgString(ctx, 0, "title");
    if (IEngineServices* game = Engine(ctx)) game->SetTitle(title);
    return 0;
}

duk_ret_t GoFullScreen(duk_context* ctx) {
    if (IEngineServices* game = Engine(ctx)) game->GoFullScreen();
    return 0;
}

duk_ret_t GetParams(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    if (game) {
        const std::string& params = game->GetParams();
        duk_push_lstring(ctx, params.data(), params.size());
    } else {
        duk_push_string(ctx, "");
    }
    return 1;
}

duk_ret_t RandomInt(duk_context* ctx) {
    duk_idx_t count = duk_get_top(ctx);
    // Only the first and the last argument count; the ones between are not read at all.
    int32_t args[2] = {0, 0};
    std::size_t used = count == 0 ? 0 : count == 1 ? 1 : 2;
    if (count >= 1) args[0] = ArgInt(ctx, 0, count == 1 ? "high" : "low");
    if (count >= 2) args[1] = ArgInt(ctx, count - 1, "high");
    int32_t low = 0, high = 0;
    if (!RandomRange(args, used, &low, &high)) {
        if (used == 1) RaiseCallError(ctx, DUK_ERR_RANGE_ERROR, "high end %d is below 0", static_cast<int>(args[0]));
        RaiseCallError(ctx, DUK_ERR_RANGE_ERROR, "low end %d is above high end %d", static_cast<int>(args[0]),
                       static_cast<int>(args[1]));
    }
    duk_push_int(ctx, RandomInRange(low, high, RandomDraw15()));
    return 1;
}

// ---------------------------------------------------------------- registration

struct SFunction {
    const char* name;
    duk_c_function function;
    duk_idx_t args;  // DUK_VARARGS for any
};

const SFunction kFunctions[] = {
    {"Alert", Guarded<Alert>, DUK_VARARGS},
    {"alert", Guarded<Alert>, DUK_VARARGS},
    {"debug", Debug, DUK_VARARGS},
    {"GC", Guarded<GC>, 0},
    {"Animate", Guarded<FramePrimitive<&IEngineServices::Animate>>, 0},
    {"Display", Guarded<FramePrimitive<&IEngineServices::Display>>, 0},
    {"Idle", Guarded<FramePrimitive<&IEngineServices::Idle>>, 0},
    {"Mark", Guarded<FramePrimitive<&IEngineServices::Mark>>, 0},
    {"Wait", Guarded<TimedPrimitive<&IEngineServices::Wait>>, 1},
    {"Delay", Guarded<TimedPrimitive<&IEngineServices::Delay>>, 1},
    {"SetBackdrop", Guarded<SetBackdrop>, 1},
    {"ClearBackdrop", Guarded<ClearBackdrop>, 0},
    {"GetBackdrop", GetBackdrop, 0},
    {"BackdropExists", Guarded<PictureExists>, 1},
    {"PictureExists", Guarded<PictureExists>, 1},
    {"SetBackdropDimensions", SetBackdropDimensions, 2},
    {"SetBackdropOffset", SetBackdropOffset, 2},
    {"GetBackdropWidth", GetGameInt<&IEngineServices::BackdropWidth>, 0},
    {"GetBackdropHeight", GetGameInt<&IEngineServices::BackdropHeight>, 0},
    {"GetBackdropXOffset", GetGameInt<&IEngineServices::BackdropX>, 0},
    {"GetBackdropYOffset", GetGameInt<&IEngineServices::BackdropY>, 0},
    {"BackdropToScreen", MapPoint<true>, 2},
    {"ScreenToBackdrop", MapPoint<false>, 2},
    {"GetControl", GetMaskValue<CBackdropPicture::kControl>, 2},
    {"GetWalkability", GetMaskValue<CBackdropPicture::kWalk>, 2},
    {"GetHotspot", Guarded<GetHotspot>, 2},
    {"SetCursor", Guarded<SetCursor>, 1},
    {"ClearCursor", Guarded<ClearCursor>, 0},
    {"SetPriorityViewportHeight", SetPriorityViewportHeight, 1},
    {"SetTitle", Guarded<SetTitle>, 1},
    {"GoFullScreen", Guarded<GoFullScreen>, 0},
    {"GetParams", Guarded<GetParams>, 0},
    {"RandomInt", RandomInt, DUK_VARARGS},
};

struct SConstant {
    const char* name;
    int32_t value;
};

const SConstant kConstants[] = {
    // Priorities.
    {"BACKGROUND", 0},
    {"AUTO", -1},
    {"ONTOP", -2},
    // Loops by direction.
    {"EAST", 0},
    {"WEST", 1},
    {"SOUTH", 2},
    {"NORTH", 3},
    {"SOUTHEAST", 4},
    {"SOUTHWEST", 5},
    {"NORTHEAST", 6},
    {"NORTHWEST", 7},
    // Sprite and text alignment.
    {"ALIGN_NONE", 0},
    {"ALIGN_TOP", 0},
    {"ALIGN_BOTTOM", 2},
    {"ALIGN_LEFT", 0},
    {"ALIGN_RIGHT", 2},
    {"ALIGN_CENTER", 1},
    {"ALIGN_CENTRE", 1},
};

}  // namespace

bool StartGameAPI(duk_context* ctx) {
    for (const SFunction& f : kFunctions) RegisterFunction(ctx, f.name, f.function, f.args);
    for (const SConstant& c : kConstants) DefineGlobalNumber(ctx, c.name, c.value);
    return true;
}

void StopGameAPI(duk_context*) {}

}  // namespace ove
