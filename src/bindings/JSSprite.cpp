#include "JSSprite.h"

#include <climits>
#include <cstring>
#include <string>

#include "JSColour.h"
#include "JSViewConstructor.h"
#include "bindings/Bindings.h"
#include "host/GameApiLogic.h"
#include "resources/ResourceCache.h"
#include "scene/Sprite.h"
#include "script/Binding.h"
#include "script/ScriptHost.h"
#include "walk/Walker.h"

namespace ove {

namespace {

constexpr const char* kClass = "Sprite";

CSprite* Self(duk_context* ctx) { return This<CSprite>(ctx, kClass); }

// An optional callback argument: kept when present and not undefined. Read it after every other
// argument, so that a bad argument does not leave a kept value behind.
CallbackKey OptCallback(duk_context* ctx, duk_idx_t index) {
    if (duk_get_top(ctx) <= index || duk_is_undefined(ctx, index)) return std::nullopt;
    return KeepValue(ctx, index);
}

// ---------------------------------------------------------------- lifecycle

duk_ret_t Constructor(duk_context* ctx) {
    RequireConstructorCall(ctx);
    IEngineServices* game = Engine(ctx);
    if (!game) return duk_error(ctx, DUK_ERR_ERROR, "Cannot create sprite");
    BindThis(ctx, game->CreateSprite(), kClass);
    return 0;
}

void DestroyNative(duk_context* ctx, void* native) {
    if (IEngineServices* game = Engine(ctx)) game->DestroySprite(static_cast<CSprite*>(native));
}

// Runs a callable on a view name given as text or a number, in a frame of its own.
template <class F>
auto WithName(const char* name, F f) {
    return f(std::string(name));
}

duk_ret_t ForgetView(duk_context* ctx) {
    const char* name = duk_is_number(ctx, 0) ? duk_to_string(ctx, 0) : ArgString(ctx, 0);
    IEngineServices* game = Engine(ctx);
    if (game && game->Resources())
        WithName(name, [game](const std::string& n) {
            game->Resources()->ForgetView(n);
            return 0;
        });
    return 0;
}

duk_ret_t ViewExists(duk_context* ctx) {
    const char* name = duk_is_number(ctx, 0) ? duk_to_string(ctx, 0) : ArgString(ctx, 0);
    IEngineServices* game = Engine(ctx);
    bool exists = game && game->Resources() &&
                  WithName(name, [game](const std::string& n) { return game->Resources()->ResourceExists(n, "OVV"); });
    duk_push_boolean(ctx, exists);
    return 1;
}

// ---------------------------------------------------------------- methods

// SyntaxError for a call with fewer arguments than the method needs.
[[noreturn]] void RaiseTooFew(duk_context* ctx, const char* wanted) {
    const int n = static_cast<int>(duk_get_top(ctx));
    RaiseCallError(ctx, DUK_ERR_SYNTAX_ERROR, "takes %s, not %d argument%s", wanted, n, n == 1 ? "" : "s");
}

duk_ret_t AllowedAt(duk_context* ctx) {
    CSprite* s = Self(ctx);
    int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    bool allowed = false;
    if (IEngineServices* game = Engine(ctx)) {
        SGamePoint b = ScreenToBackdrop(game->BackdropGeometry(), SGamePoint{x, y});
        allowed = game->AllowedAt(s, b.x, b.y);
    }
    duk_push_boolean(ctx, allowed);
    return 1;
}

duk_ret_t CancelWalking(duk_context* ctx) {
    Self(ctx)->CancelWalking();
    return 0;
}

duk_ret_t HitTestRect(duk_context* ctx) {
    CSprite* s = Self(ctx);
    int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    duk_push_boolean(ctx, s->HitTest(x, y));
    return 1;
}

duk_ret_t MoveTo(duk_context* ctx) {
    CSprite* s = Self(ctx);
    if (duk_get_top(ctx) < 2) RaiseTooFew(ctx, "x, y and an optional callback");
    int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    CallbackKey callback = OptCallback(ctx, 2);
    if (IEngineServices* game = Engine(ctx)) game->MoveSprite(s, x, y, callback);
    RaisePendingFatal(ctx);  // an error in a callback called at once
    return 0;
}

duk_ret_t Moving(duk_context* ctx) {
    duk_push_boolean(ctx, Self(ctx)->IsMoving());
    return 1;
}

duk_ret_t WalkTo(duk_context* ctx) {
    CSprite* s = Self(ctx);
    if (duk_get_top(ctx) < 2) RaiseTooFew(ctx, "x, y and an optional callback");
    int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    CallbackKey callback = OptCallback(ctx, 2);
    IEngineServices* game = Engine(ctx);
    duk_push_boolean(ctx, game && game->WalkTo(s, x, y, callback));
    return 1;
}

duk_ret_t ForceDisplaySize(duk_context* ctx) {
    CSprite* s = Self(ctx);
    duk_idx_t n = duk_get_top(ctx);
    if (n == 2) {
        int32_t w = ArgInt(ctx, 0), h = ArgInt(ctx, 1);
        s->ForceSize(w, h);
        return 0;
    }
    bool off = n == 0 ||
               (n == 1 && (duk_is_null_or_undefined(ctx, 0) || (duk_is_boolean(ctx, 0) && !duk_get_boolean(ctx, 0))));
    if (!off)
        RaiseCallError(ctx, DUK_ERR_SYNTAX_ERROR,
                       "takes a width and a height, or nothing (or null or false) to stop forcing, not %d argument%s",
                       static_cast<int>(n), n == 1 ? "" : "s");
    s->ClearForcedSize();
    return 0;
}

duk_ret_t PlayAnimation(duk_context* ctx) {
    CSprite* s = Self(ctx);
    if (duk_get_top(ctx) < 2) RaiseTooFew(ctx, "a mode, a loop and an optional callback");
    int32_t mode = ArgInt(ctx, 0), loop = ArgInt(ctx, 1);
    int32_t once;
    if (mode == 1 || mode == kAnimForward || mode == kAnimForwardOnce) once = kAnimForwardOnce;
    else if (mode == 2 || mode == kAnimReverse || mode == kAnimReverseOnce) once = kAnimReverseOnce;
    else
        RaiseCallError(ctx, DUK_ERR_SYNTAX_ERROR, "mode %d is not FORWARD, REVERSE, FORWARD_ONCE or REVERSE_ONCE",
                       static_cast<int>(mode));
    if (loop < 0 || loop >= s->GetLoopCount())
        RaiseCallError(ctx, DUK_ERR_RANGE_ERROR, "loop %d is not in the view (it has %d loop%s)",
                       static_cast<int>(loop), static_cast<int>(s->GetLoopCount()), s->GetLoopCount() == 1 ? "" : "s");
    CallbackKey callback = OptCallback(ctx, 2);
    s->SetLoop(loop);
    s->SetAnimationMode(once);
    if (callback) s->SetAnimationCallback(callback);
    s->ResetAnim();
    return 0;
}

duk_ret_t ResetAnim(duk_context* ctx) {
    Self(ctx)->ResetAnim();
    return 0;
}

duk_ret_t SetPlacement(duk_context* ctx) {
    CSprite* s = Self(ctx);
    if (IsInstance(ctx, 0, kClass)) {
        auto* parent = Require<CSprite>(ctx, 0, kClass);
        s->SetPlacement(kPlaceSprite, nullptr, parent);  // a cycle falls back to SCREEN
    } else if (void* layer = GetNativeIf(ctx, 0, "TileLayer")) {
        s->SetPlacement(kPlaceLayer, layer);
    } else if (duk_is_number(ctx, 0) && (duk_get_number(ctx, 0) == 0 || duk_get_number(ctx, 0) == 1)) {
        s->SetPlacement(static_cast<int32_t>(duk_get_number(ctx, 0)));
    } else {
        return duk_error(ctx, DUK_ERR_TYPE_ERROR, "Sprite, TileLayer, SCREEN or BACKDROP expected");
    }
    return 0;
}

// ---------------------------------------------------------------- properties

// Field: a pointer to an int32 or flag member of CSprite or one of its bases.
template <auto Field>
duk_ret_t GetIntField(duk_context* ctx) {
    duk_push_int(ctx, static_cast<duk_int_t>(Self(ctx)->*Field));
    return 1;
}
template <auto Field>
duk_ret_t SetIntField(duk_context* ctx) {
    CSprite* s = Self(ctx);
    s->*Field = ArgInt(ctx, 0);
    return 0;
}
template <auto Field>
duk_ret_t GetFlag(duk_context* ctx) {
    duk_push_boolean(ctx, Self(ctx)->*Field != 0);
    return 1;
}
template <auto Field>
duk_ret_t SetFlag(duk_context* ctx) {
    CSprite* s = Self(ctx);
    s->*Field = ArgBool(ctx, 0) ? 1 : 0;
    return 0;
}
template <std::int32_t (C2DObject::*Getter)() const>
duk_ret_t GetComputed(duk_context* ctx) {
    duk_push_int(ctx, (Self(ctx)->*Getter)());
    return 1;
}

duk_ret_t GetName(duk_context* ctx) {
    const char* name = Self(ctx)->GetName();
    if (name) duk_push_string(ctx, name);
    else duk_push_null(ctx);
    return 1;
}
duk_ret_t SetName(duk_context* ctx) {
    CSprite* s = Self(ctx);
    const char* text = duk_is_null_or_undefined(ctx, 0) ? nullptr : duk_to_string(ctx, 0);
    s->SetName(text);
    return 0;
}

duk_ret_t GetPriority(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetPriority());
    return 1;
}
duk_ret_t SetPriority(duk_context* ctx) {
    CSprite* s = Self(ctx);
    s->SetPriority(ArgInt(ctx, 0));
    return 0;
}

duk_ret_t GetViewName(duk_context* ctx) {
    CView* view = Self(ctx)->GetView();
    if (view && view->Name()) duk_push_string(ctx, view->Name());
    else duk_push_null(ctx);
    return 1;
}
duk_ret_t SetViewValue(duk_context* ctx) {
    CSprite* s = Self(ctx);
    if (CView* view = ViewFromScriptValue(ctx, 0)) {
        s->SetView(view);
        return 0;
    }
    const char* what = "[unknown]";
    if (IsInstance(ctx, 0, "ViewConstructor")) what = "[generated]";
    else if (duk_is_string(ctx, 0) || duk_is_number(ctx, 0)) what = duk_to_string(ctx, 0);
    return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't load sprite [%s]", what);
}

duk_ret_t SetLoopValue(duk_context* ctx) {
    CSprite* s = Self(ctx);
    int32_t loop = ArgInt(ctx, 0);
    if (loop >= 0) {
        s->SetLoop(loop);
        s->loopFixed = 1;
    } else {
        s->loopFixed = 0;
    }
    return 0;
}

duk_ret_t SetCelValue(duk_context* ctx) {
    CSprite* s = Self(ctx);
    s->SetCel(ArgInt(ctx, 0));
    return 0;
}

duk_ret_t SetAnimation(duk_context* ctx) {
    CSprite* s = Self(ctx);
    if (!s->SetAnimationMode(ArgInt(ctx, 0)))
        RaiseArgError(ctx, DUK_ERR_RANGE_ERROR, 0, nullptr,
                      "FORWARD, REVERSE, FORWARD_ONCE, REVERSE_ONCE or RANDOMIZE");
    return 0;
}

duk_ret_t SetDelayValue(duk_context* ctx) {
    CSprite* s = Self(ctx);
    s->SetDelay(ArgInt(ctx, 0));
    return 0;
}

duk_ret_t GetTintValue(duk_context* ctx) {
    ColourToScript(ctx, Self(ctx)->GetTint());
    return 1;
}
duk_ret_t SetTintValue(duk_context* ctx) {
    CSprite* s = Self(ctx);
    s->SetTint(ArgColour(ctx, 0, false));
    return 0;
}

duk_ret_t GetOpacity(duk_context* ctx) {
    duk_push_uint(ctx, Self(ctx)->GetOpacity());
    return 1;
}
duk_ret_t SetOpacity(duk_context* ctx) {
    CSprite* s = Self(ctx);
    s->SetOpacity(static_cast<uint32_t>(ArgInt(ctx, 0)));
    return 0;
}

duk_ret_t GetScale(duk_context* ctx) {
    duk_push_number(ctx, Self(ctx)->GetScale());
    return 1;
}
duk_ret_t SetScale(duk_context* ctx) {
    CSprite* s = Self(ctx);
    s->SetScale(ArgFloat(ctx, 0));
    return 0;
}

// ---- walk constraints

void PushConstraintName(duk_context* ctx, int32_t index) {
    const char* name = ConstraintName(index);
    if (name) duk_push_string(ctx, name);
    else duk_push_null(ctx);
}

duk_ret_t GetWalkConstraint(duk_context* ctx) {
    CSprite* s = Self(ctx);
    duk_push_array(ctx);
    PushConstraintName(ctx, s->walkConstraint);
    duk_put_prop_index(ctx, -2, 0);
    duk_push_int(ctx, s->walkReference);
    duk_put_prop_index(ctx, -2, 1);
    return 1;
}

// "<=5": the operator is what stands before the first digit, the reference the digits from there
// to the end. False for anything else.
bool ParseConstraint(const char* text, int32_t* index, int32_t* reference) {
    const char* digit = text;
    while (*digit && (*digit < '0' || *digit > '9')) ++digit;
    std::size_t opLength = static_cast<std::size_t>(digit - text);
    char op[16];
    if (!*digit || opLength == 0 || opLength >= sizeof op) return false;
    std::memcpy(op, text, opLength);
    op[opLength] = '\0';
    int64_t value = 0;
    for (const char* p = digit; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX) return false;
    }
    *index = ConstraintIndex(op);
    *reference = static_cast<int32_t>(value);
    return *index >= 0;
}

constexpr const char* kConstraintForm = "an operator and a reference, as \"<=5\" or [\"<=\", 5]";

duk_ret_t SetWalkConstraint(duk_context* ctx) {
    CSprite* s = Self(ctx);
    int32_t index = -1, reference = 0;
    if (duk_is_string(ctx, 0)) {
        if (!ParseConstraint(duk_get_string(ctx, 0), &index, &reference))
            RaiseArgError(ctx, DUK_ERR_SYNTAX_ERROR, 0, nullptr, kConstraintForm);
    } else if (duk_is_array(ctx, 0)) {
        duk_get_prop_index(ctx, 0, 0);
        duk_get_prop_index(ctx, 0, 1);
        if (!duk_is_string(ctx, -2) || !duk_is_number(ctx, -1))
            RaiseArgError(ctx, DUK_ERR_SYNTAX_ERROR, 0, nullptr, kConstraintForm);
        index = ConstraintIndex(duk_get_string(ctx, -2));
        reference = ArgInt(ctx, -1);
        if (index < 0) RaiseArgError(ctx, DUK_ERR_SYNTAX_ERROR, 0, nullptr, kConstraintForm);
        duk_pop_2(ctx);
    } else {
        RaiseArgError(ctx, DUK_ERR_SYNTAX_ERROR, 0, nullptr, kConstraintForm);
    }
    s->walkConstraint = index;
    s->walkReference = reference;
    return 0;
}

duk_ret_t GetWalkConstraintName(duk_context* ctx) {
    PushConstraintName(ctx, Self(ctx)->walkConstraint);
    return 1;
}
duk_ret_t SetWalkConstraintName(duk_context* ctx) {
    CSprite* s = Self(ctx);
    int32_t index = duk_is_string(ctx, 0) ? ConstraintIndex(duk_get_string(ctx, 0)) : -1;
    if (index >= 0) s->walkConstraint = index;  // an unknown name changes nothing
    return 0;
}

duk_ret_t SetWalkReference(duk_context* ctx) {
    CSprite* s = Self(ctx);
    if (!duk_is_array(ctx, 0)) {
        s->walkReference = ArgInt(ctx, 0);
        return 0;
    }
    // An array is a set of mask values: one bit per value mod 32.
    uint32_t bits = 0;
    duk_size_t length = duk_get_length(ctx, 0);
    for (duk_size_t i = 0; i < length; ++i) {
        duk_get_prop_index(ctx, 0, static_cast<duk_uarridx_t>(i));
        int32_t value = ArgInt(ctx, -1);
        duk_pop(ctx);
        bits |= 1u << (((value % 32) + 32) % 32);
    }
    s->walkReference = static_cast<int32_t>(bits);
    s->walkConstraint = kConMask;
    return 0;
}

duk_ret_t SetVisibleValue(duk_context* ctx) {
    CSprite* s = Self(ctx);
    s->SetVisible(ArgBool(ctx, 0));
    return 0;
}

// ---------------------------------------------------------------- registration

const duk_function_list_entry kMethods[] = {
    {"AllowedAt", Guarded<AllowedAt>, 2},
    {"CancelWalking", CancelWalking, 0},
    {"HitTestRect", HitTestRect, 2},
    {"MoveTo", Guarded<MoveTo>, DUK_VARARGS},
    {"Moving", Moving, 0},
    {"Walking", Moving, 0},
    {"WalkTo", Guarded<WalkTo>, DUK_VARARGS},
    {"ForceDisplaySize", ForceDisplaySize, DUK_VARARGS},
    {"PlayAnimation", Guarded<PlayAnimation>, DUK_VARARGS},
    {"ResetAnim", ResetAnim, 0},
    {"SetPlacement", SetPlacement, 1},
    {nullptr, nullptr, 0},
};

const SAccessor kAccessors[] = {
    {"name", GetName, SetName},
    {"x", GetIntField<&CSprite::x>, SetIntField<&CSprite::x>},
    {"y", GetIntField<&CSprite::y>, SetIntField<&CSprite::y>},
    {"priority", GetPriority, SetPriority},
    {"view", GetViewName, Guarded<SetViewValue>},
    {"loop", GetIntField<&CSprite::loop>, SetLoopValue},
    {"loops", GetComputed<&C2DObject::GetLoopCount>, nullptr},
    {"cel", GetIntField<&CSprite::cel>, SetCelValue},
    {"cels", GetComputed<&C2DObject::GetCelCount>, nullptr},
    {"animation", GetIntField<&CSprite::animationMode>, SetAnimation},
    {"delay", GetIntField<&CSprite::delay>, SetDelayValue},
    {"step", GetIntField<&CSprite::step>, SetIntField<&CSprite::step>},
    {"tint", GetTintValue, SetTintValue},
    {"opacity", GetOpacity, SetOpacity},
    {"scale", GetScale, SetScale},
    {"width", GetComputed<&C2DObject::CelWidth>, nullptr},
    {"height", GetComputed<&C2DObject::CelHeight>, nullptr},
    {"xalign", GetIntField<&CSprite::xalign>, SetIntField<&CSprite::xalign>},
    {"yalign", GetIntField<&CSprite::yalign>, SetIntField<&CSprite::yalign>},
    {"xshift", GetComputed<&C2DObject::CelXShift>, nullptr},
    {"yshift", GetComputed<&C2DObject::CelYShift>, nullptr},
    {"walkconstr", GetWalkConstraint, SetWalkConstraint},
    {"walkconstr_fn", GetWalkConstraintName, SetWalkConstraintName},
    {"walkconstr_ref", GetIntField<&CSprite::walkReference>, SetWalkReference},
    {"active", GetFlag<&CSprite::active>, SetFlag<&CSprite::active>},
    {"cycling", GetFlag<&CSprite::cycling>, SetFlag<&CSprite::cycling>},
    {"flag", GetFlag<&CSprite::finished>, nullptr},
    {"ignore", GetFlag<&CSprite::ignore>, SetFlag<&CSprite::ignore>},
    {"noncorporeal", GetFlag<&CSprite::noncorporeal>, SetFlag<&CSprite::noncorporeal>},
    {"visible", GetFlag<&CSprite::visible>, SetVisibleValue},
    {nullptr, nullptr, nullptr},
};

struct SConstant {
    const char* name;
    int32_t value;
};
const SConstant kConstants[] = {
    {"FORWARD", kAnimForward},          {"REVERSE", kAnimReverse},  {"FORWARD_ONCE", kAnimForwardOnce},
    {"REVERSE_ONCE", kAnimReverseOnce}, {"RANDOMIZE", kAnimRandom}, {"SCREEN", kPlaceScreen},
    {"BACKDROP", kPlaceBackdrop},
};

}  // namespace

bool StartSpriteAPI(duk_context* ctx) {
    RegisterClass(ctx, SClassDef{kClass, nullptr, Guarded<Constructor>, 0, kMethods, kAccessors});
    RegisterCreateFunction(ctx, "CreateSprite", kClass, 0);
    RegisterDestroyFunction(ctx, "DestroySprite", kClass, DestroyNative);
    RegisterFunction(ctx, "ForgetView", Guarded<ForgetView>, 1);
    RegisterFunction(ctx, "ViewExists", Guarded<ViewExists>, 1);
    for (const SConstant& c : kConstants) DefineGlobalNumber(ctx, c.name, c.value);
    return true;
}

void StopSpriteAPI(duk_context*) {}

}  // namespace ove
