#include "JSColour.h"

#include <cmath>
#include <cstdio>

#include "platform/SystemColours.h"
#include "script/Binding.h"

namespace ove {

namespace {

// Channels in the order the constructor takes them. The stored values are whatever the script
// gave (300 stays 300); readers cut them to 8 bits.
enum EChannel { kRed = 0, kGreen = 1, kBlue = 2, kAlpha = 3 };
constexpr const char* kChannelKeys[4] = {DUK_HIDDEN_SYMBOL("r"), DUK_HIDDEN_SYMBOL("g"), DUK_HIDDEN_SYMBOL("b"),
                                         DUK_HIDDEN_SYMBOL("a")};
constexpr int kChannelShift[4] = {16, 8, 0, 24};

// Lets native code construct colours even after script has replaced the global.
constexpr const char* kConstructorKey = DUK_HIDDEN_SYMBOL("Colour");

uint32_t Clamp8(int32_t v) { return v < 0 ? 0u : v >= 256 ? 255u : static_cast<uint32_t>(v); }

// 0 .. 1 onto 0 .. 255, truncating (0.5 gives 127). NaN gives 0 rather than an undefined cast.
uint32_t FractionToChannel(double x) {
    if (x < 0 || std::isnan(x)) return 0;
    if (x > 1) return 255;
    return static_cast<uint32_t>(x * 255.0);
}

uint32_t Pack(const uint32_t ch[4]) {
    uint32_t argb = 0;
    for (int i = 0; i < 4; ++i) argb |= (ch[i] & 0xFFu) << kChannelShift[i];
    return argb;
}

uint32_t ChannelOf(uint32_t argb, int channel) { return (argb >> kChannelShift[channel]) & 0xFFu; }

// One channel of the object at `obj` (an object) as the engine's integer (clamped to the 32-bit
// signed range, like every integer conversion), cut to its low 8 bits; 0 when missing.
uint32_t ReadChannel(duk_context* ctx, duk_idx_t obj, int channel) {
    duk_get_prop_string(ctx, obj, kChannelKeys[channel]);
    int32_t v = duk_is_number(ctx, -1) ? static_cast<int32_t>(duk_get_int(ctx, -1)) : 0;
    duk_pop(ctx);
    return static_cast<uint32_t>(v) & 0xFFu;
}

void WriteChannel(duk_context* ctx, duk_idx_t obj, int channel, uint32_t value) {
    obj = duk_normalize_index(ctx, obj);
    duk_push_uint(ctx, value);
    duk_put_prop_string(ctx, obj, kChannelKeys[channel]);
}

void WriteAll(duk_context* ctx, duk_idx_t obj, uint32_t argb) {
    for (int i = 0; i < 4; ++i) WriteChannel(ctx, obj, i, ChannelOf(argb, i));
}

// Pushes `this`, which must be an object (any object with the channel properties will do).
void PushThisObject(duk_context* ctx) {
    duk_push_this(ctx);
    if (duk_is_object(ctx, -1)) return;
    char got[128];
    DescribeArgument(ctx, -1, got, sizeof got);
    RaiseCallError(ctx, DUK_ERR_TYPE_ERROR, "called on %s, not on a Colour", got);
}

// ---------------------------------------------------------------- constructor and members

duk_ret_t Constructor(duk_context* ctx) {
    RequireConstructorCall(ctx);
    uint32_t v[4] = {0, 0, 0, 255};
    for (int i = 0; i < 4; ++i)
        if (duk_is_number(ctx, i)) v[i] = ColourNumber(duk_get_number(ctx, i));
    duk_push_this(ctx);
    for (int i = 0; i < 4; ++i) WriteChannel(ctx, -1, i, v[i]);
    duk_pop(ctx);
    return 0;
}

duk_ret_t ToString(duk_context* ctx) {
    PushThisObject(ctx);
    uint32_t argb = ColourFromScript(ctx, -1);
    duk_pop(ctx);
    char text[64];
    std::snprintf(text, sizeof text, "RGBA8(0x%02X, 0x%02X, 0x%02X, 0x%02X)", ChannelOf(argb, kRed),
                  ChannelOf(argb, kGreen), ChannelOf(argb, kBlue), ChannelOf(argb, kAlpha));
    duk_push_string(ctx, text);
    return 1;
}

template <int C>
duk_ret_t Get8(duk_context* ctx) {
    PushThisObject(ctx);
    uint32_t v = ReadChannel(ctx, -1, C);
    duk_pop(ctx);
    duk_push_uint(ctx, v);
    return 1;
}

template <int C>
duk_ret_t Set8(duk_context* ctx) {
    uint32_t v = Clamp8(ArgInt(ctx, 0));
    PushThisObject(ctx);
    WriteChannel(ctx, -1, C, v);
    duk_pop(ctx);
    return 0;
}

template <int C>
duk_ret_t GetF(duk_context* ctx) {
    PushThisObject(ctx);
    uint32_t v = ReadChannel(ctx, -1, C);
    duk_pop(ctx);
    duk_push_number(ctx, v / 255.0);
    return 1;
}

template <int C>
duk_ret_t SetF(duk_context* ctx) {
    uint32_t v = FractionToChannel(ArgNumber(ctx, 0));
    PushThisObject(ctx);
    WriteChannel(ctx, -1, C, v);
    duk_pop(ctx);
    return 0;
}

duk_ret_t GetRGB(duk_context* ctx) {
    PushThisObject(ctx);
    uint32_t argb = ColourFromScript(ctx, -1);
    duk_pop(ctx);
    duk_push_uint(ctx, argb & 0xFFFFFFu);
    return 1;
}

duk_ret_t SetRGB(duk_context* ctx) {
    uint32_t v = ArgUnsigned(ctx, 0);
    PushThisObject(ctx);
    WriteAll(ctx, -1, v | 0xFF000000u);
    duk_pop(ctx);
    return 0;
}

duk_ret_t GetRGBA(duk_context* ctx) {
    PushThisObject(ctx);
    uint32_t argb = ColourFromScript(ctx, -1);
    duk_pop(ctx);
    duk_push_uint(ctx, argb);
    return 1;
}

duk_ret_t SetRGBA(duk_context* ctx) {
    uint32_t v = ArgUnsigned(ctx, 0);
    PushThisObject(ctx);
    WriteAll(ctx, -1, v);
    duk_pop(ctx);
    return 0;
}

// ---------------------------------------------------------------- global functions

duk_ret_t FnRGB8(duk_context* ctx) {
    uint32_t ch[4] = {Clamp8(ArgInt(ctx, 0)), Clamp8(ArgInt(ctx, 1)), Clamp8(ArgInt(ctx, 2)), 255};
    ColourToScript(ctx, Pack(ch));
    return 1;
}

duk_ret_t FnRGBA8(duk_context* ctx) {
    uint32_t ch[4] = {Clamp8(ArgInt(ctx, 0)), Clamp8(ArgInt(ctx, 1)), Clamp8(ArgInt(ctx, 2)), Clamp8(ArgInt(ctx, 3))};
    ColourToScript(ctx, Pack(ch));
    return 1;
}

duk_ret_t FnRGBF(duk_context* ctx) {
    uint32_t ch[4] = {FractionToChannel(ArgNumber(ctx, 0)), FractionToChannel(ArgNumber(ctx, 1)),
                      FractionToChannel(ArgNumber(ctx, 2)), 255};
    ColourToScript(ctx, Pack(ch));
    return 1;
}

duk_ret_t FnRGBAF(duk_context* ctx) {
    uint32_t ch[4] = {FractionToChannel(ArgNumber(ctx, 0)), FractionToChannel(ArgNumber(ctx, 1)),
                      FractionToChannel(ArgNumber(ctx, 2)), FractionToChannel(ArgNumber(ctx, 3))};
    ColourToScript(ctx, Pack(ch));
    return 1;
}

duk_ret_t FnRGB(duk_context* ctx) {
    ColourToScript(ctx, (ArgUnsigned(ctx, 0) & 0xFFFFFFu) | 0xFF000000u);
    return 1;
}

duk_ret_t FnRGBA(duk_context* ctx) {
    ColourToScript(ctx, ArgUnsigned(ctx, 0));
    return 1;
}

// ---------------------------------------------------------------- registration

const duk_function_list_entry kMethods[] = {
    {"toString", ToString, 0},
    {nullptr, nullptr, 0},
};

const SAccessor kAccessors[] = {
    {"r8", Get8<kRed>, Set8<kRed>},     {"g8", Get8<kGreen>, Set8<kGreen>}, {"b8", Get8<kBlue>, Set8<kBlue>},
    {"a8", Get8<kAlpha>, Set8<kAlpha>}, {"rf", GetF<kRed>, SetF<kRed>},     {"gf", GetF<kGreen>, SetF<kGreen>},
    {"bf", GetF<kBlue>, SetF<kBlue>},   {"af", GetF<kAlpha>, SetF<kAlpha>}, {"rgb", GetRGB, SetRGB},
    {"rgba", GetRGBA, SetRGBA},         {nullptr, nullptr, nullptr},
};

struct SNamedColour {
    const char* name;
    uint32_t argb;
};

const SNamedColour kNamedColours[] = {
    {"TRANSPARENT", 0x00000000u}, {"BLACK", 0xFF000000u}, {"DBLUE", 0xFF0000AAu},    {"DGREEN", 0xFF00AA00u},
    {"DCYAN", 0xFF00AAAAu},       {"DRED", 0xFFAA0000u},  {"DMAGENTA", 0xFFAA00AAu}, {"BROWN", 0xFFAA5500u},
    {"SILVER", 0xFFAAAAAAu},      {"GREY", 0xFF555555u},  {"BLUE", 0xFF5555FFu},     {"GREEN", 0xFF55FF55u},
    {"CYAN", 0xFF55FFFFu},        {"RED", 0xFFFF5555u},   {"MAGENTA", 0xFFFF55FFu},  {"YELLOW", 0xFFFFFF55u},
    {"WHITE", 0xFFFFFFFFu},
};

// In system colour table order.
const char* const kSystemColourNames[kSystemColourCount] = {
    "OS_BG_WINDOW", "OS_FG_WINDOW",  "OS_BG_SELECTION", "OS_FG_SELECTION", "OS_BG_TITLE",
    "OS_FG_TITLE",  "OS_BG_BUTTON",  "OS_FG_BUTTON",    "OS_BG_MENU",      "OS_FG_MENU",
    "OS_DISABLED",  "OS_BG_TOOLTIP", "OS_FG_TOOLTIP",
};

// A read-only, hidden, permanent global holding a new Colour.
void DefineColourConstant(duk_context* ctx, const char* name, uint32_t argb) {
    duk_push_global_object(ctx);
    duk_push_string(ctx, name);
    ColourToScript(ctx, argb);
    duk_def_prop(ctx, -3,
                 DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_CLEAR_WRITABLE | DUK_DEFPROP_CLEAR_ENUMERABLE |
                     DUK_DEFPROP_CLEAR_CONFIGURABLE | DUK_DEFPROP_FORCE);
    duk_pop(ctx);
}

}  // namespace

uint32_t ColourNumber(double value) {
    if (!(value > 0)) return 0;  // negative, zero and NaN
    if (value >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(value);
}

uint32_t ColourFromScript(duk_context* ctx, duk_idx_t index) {
    if (!duk_is_object(ctx, index)) return 0;
    duk_idx_t obj = duk_normalize_index(ctx, index);
    uint32_t ch[4];
    for (int i = 0; i < 4; ++i) ch[i] = ReadChannel(ctx, obj, i);
    return Pack(ch);
}

void ColourToScript(duk_context* ctx, uint32_t argb) {
    duk_push_object(ctx);
    PushPrototype(ctx, "Colour");
    if (duk_is_object(ctx, -1)) duk_set_prototype(ctx, -2);
    else duk_pop(ctx);
    WriteAll(ctx, -1, argb);
}

bool IsColour(duk_context* ctx, duk_idx_t index) { return IsInstance(ctx, index, "Colour"); }

bool ReadColour(duk_context* ctx, duk_idx_t index, uint32_t* out, bool opaque) {
    if (duk_is_object(ctx, index)) {
        *out = ColourFromScript(ctx, index);
        return true;
    }
    if (!duk_is_number(ctx, index)) return false;
    uint32_t v = ColourNumber(duk_get_number(ctx, index));
    *out = opaque ? (v | 0xFF000000u) : v;
    return true;
}

uint32_t ArgColour(duk_context* ctx, duk_idx_t index, bool opaque) {
    uint32_t argb = 0;
    if (!ReadColour(ctx, index, &argb, opaque))
        RaiseArgError(ctx, DUK_ERR_TYPE_ERROR, index, nullptr, "a Colour or a number");
    return argb;
}

bool StartColourAPI(duk_context* ctx) {
    RegisterClass(ctx, SClassDef{"Colour", nullptr, Constructor, 4, kMethods, kAccessors});
    duk_get_global_string(ctx, "Colour");
    duk_put_global_string(ctx, kConstructorKey);

    RegisterFunction(ctx, "RGB8", FnRGB8, 3);
    RegisterFunction(ctx, "RGBA8", FnRGBA8, 4);
    RegisterFunction(ctx, "RGBF", FnRGBF, 3);
    RegisterFunction(ctx, "RGBAF", FnRGBAF, 4);
    RegisterFunction(ctx, "RGB", FnRGB, 1);
    RegisterFunction(ctx, "RGBA", FnRGBA, 1);

    for (const SNamedColour& c : kNamedColours) DefineColourConstant(ctx, c.name, c.argb);
    // The desktop colours as they are now; later changes are not followed.
    for (int i = 0; i < kSystemColourCount; ++i) DefineColourConstant(ctx, kSystemColourNames[i], GetSystemColour(i));
    return true;
}

void StopColourAPI(duk_context*) {}

}  // namespace ove
