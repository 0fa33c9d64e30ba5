// GraphicButton: a button drawn from view cels, one view, loop and cel per state (default,
// disabled, over, down).
#include "JSGUIElements.h"
#include "JSViewConstructor.h"
#include "gui/GUIButton.h"

namespace ove {
namespace guiapi {

namespace {

constexpr const char* kClass = "GraphicButton";

CGraphicButton* Self(duk_context* ctx) { return This<CGraphicButton>(ctx, kClass); }

duk_ret_t Constructor(duk_context* ctx) { return ConstructElement<CGraphicButton>(ctx, kClass); }

// A size argument: null or undefined means -1 (natural size on that axis).
std::int32_t SizeArg(duk_context* ctx, duk_idx_t index) {
    if (duk_is_null_or_undefined(ctx, index)) return -1;
    return ArgInt(ctx, index);
}

duk_ret_t AutoSize(duk_context* ctx) {
    CGraphicButton* b = Self(ctx);
    const duk_idx_t n = duk_get_top(ctx);
    std::int32_t w = -1, h = -1;
    if (n == 2) {
        w = SizeArg(ctx, 0);
        h = SizeArg(ctx, 1);
    } else if (n != 0) {
        RaiseCallError(ctx, DUK_ERR_SYNTAX_ERROR, "takes no arguments or a width and a height (got %d)",
                       static_cast<int>(n));
    }
    b->autoWidth = w;
    b->autoHeight = h;
    b->FitToCel();
    return 0;
}

// ---------------------------------------------------------------- per-state properties

template <int S>
duk_ret_t GetView(duk_context* ctx) {
    const char* name = Self(ctx)->GetViewName(S);
    if (name) duk_push_string(ctx, name);
    else duk_push_null(ctx);
    return 1;
}
template <int S>
duk_ret_t SetView(duk_context* ctx) {
    CGraphicButton* b = Self(ctx);
    CView* view = ViewFromScriptValue(ctx, 0, true);
    if (!view)
        return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't load graphic button [%s]", ViewValueName(ctx, 0));
    b->SetView(S, view);
    return 0;
}

template <int S>
duk_ret_t GetLoop(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetLoop(S));
    return 1;
}
template <int S>
duk_ret_t SetLoop(duk_context* ctx) {
    CGraphicButton* b = Self(ctx);
    b->SetLoop(S, ArgInt(ctx, 0));
    return 0;
}

// Reads the cel setting: a fixed cel, or -1 while the state animates.
template <int S>
duk_ret_t GetCel(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetCelSetting(S));
    return 1;
}
template <int S>
duk_ret_t SetCel(duk_context* ctx) {
    CGraphicButton* b = Self(ctx);
    const std::int32_t cel = duk_is_null_or_undefined(ctx, 0) ? -1 : ArgInt(ctx, 0);
    b->SetCel(S, cel);
    return 0;
}

template <int S>
duk_ret_t GetLoops(duk_context* ctx) {
    CView* view = Self(ctx)->GetView(S);
    duk_push_int(ctx, view ? static_cast<std::int32_t>(view->LoopCount()) : 0);
    return 1;
}
template <int S>
duk_ret_t GetCels(duk_context* ctx) {
    CGraphicButton* b = Self(ctx);
    CView* view = b->GetView(S);
    duk_push_int(ctx, view ? static_cast<std::int32_t>(view->CelCount(b->GetLoop(S))) : 0);
    return 1;
}

// `loop` and `cel` write all four states.
duk_ret_t SetAllLoops(duk_context* ctx) {
    CGraphicButton* b = Self(ctx);
    const std::int32_t loop = duk_is_null_or_undefined(ctx, 0) ? 0 : ArgInt(ctx, 0);
    for (int s = 0; s < CGraphicButton::kStates; ++s) b->SetLoop(s, loop);
    return 0;
}
duk_ret_t SetAllCels(duk_context* ctx) {
    CGraphicButton* b = Self(ctx);
    const std::int32_t cel = duk_is_null_or_undefined(ctx, 0) ? -1 : ArgInt(ctx, 0);
    for (int s = 0; s < CGraphicButton::kStates; ++s) b->SetCel(s, cel);
    return 0;
}

#define OVE_STATE_ACCESSORS(prefix, S)                                                           \
    {prefix "_view", GetView<S>, Guarded<SetView<S>>}, {prefix "_loop", GetLoop<S>, SetLoop<S>}, \
        {prefix "_cel", GetCel<S>, SetCel<S>}, {prefix "_loops", GetLoops<S>, nullptr}, {        \
        prefix "_cels", GetCels<S>, nullptr                                                      \
    }

const SAccessor kAccessors[] = {
    OVE_STATE_ACCESSORS("default", kButtonNormal),
    OVE_STATE_ACCESSORS("disabled", kButtonDisabled),
    OVE_STATE_ACCESSORS("over", kButtonOver),
    OVE_STATE_ACCESSORS("down", kButtonDown),
    {"view", GetView<kButtonNormal>, Guarded<SetView<kButtonNormal>>},
    {"loop", GetLoop<kButtonNormal>, SetAllLoops},
    {"cel", GetCel<kButtonNormal>, SetAllCels},
    {nullptr, nullptr, nullptr},
};

#undef OVE_STATE_ACCESSORS

const duk_function_list_entry kMethods[] = {
    {"AutoSize", AutoSize, DUK_VARARGS},
    {nullptr, nullptr, 0},
};

}  // namespace

void RegisterGraphicButton(duk_context* ctx) {
    RegisterWidget(ctx, SClassDef{kClass, "Button", Guarded<Constructor>, 1, kMethods, kAccessors},
                   "CreateGraphicButton", "DestroyGraphicButton");
}

}  // namespace guiapi
}  // namespace ove
