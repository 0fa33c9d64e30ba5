#include "JSViewConstructor.h"

#include <string>

#include "bindings/Bindings.h"
#include "image/Bitmap.h"
#include "resources/ResourceCache.h"
#include "resources/View.h"
#include "script/Binding.h"

namespace ove {

namespace {

// The binding's class name; scripts know the constructor as View.
constexpr const char* kClass = "ViewConstructor";

duk_ret_t Constructor(duk_context* ctx) {
    RequireConstructorCall(ctx);
    auto* builder = new CViewBuilder();  // owned through the script object: DestroyView or collection
    BindThis(ctx, builder, kClass);
    return 0;
}

duk_ret_t NewLoop(duk_context* ctx) {
    auto* builder = This<CViewBuilder>(ctx, kClass);
    int32_t source = duk_is_undefined(ctx, 0) ? -1 : ArgInt(ctx, 0);
    builder->NewLoop(source < 0 ? -1 : source);
    return 0;
}

duk_ret_t NewCel(duk_context* ctx) {
    auto* builder = This<CViewBuilder>(ctx, kClass);
    auto* image = static_cast<CBitmapInterface*>(GetNativeIf(ctx, 0, "Image"));
    if (!image) return duk_error(ctx, DUK_ERR_TYPE_ERROR, "Image expected");
    int32_t x = ArgInt(ctx, 1);
    int32_t y = ArgInt(ctx, 2);
    int32_t width = ArgInt(ctx, 3);
    int32_t height = ArgInt(ctx, 4);
    // Unlike the rest of the Image API, y counts memory rows from the picture's bottom: games
    // written for this call cut their sheets that way.
    bool added = builder->NewCel(image, x, y, width, height);
    if (!added) return duk_error(ctx, DUK_ERR_ERROR, "Couldn't add the cel");
    return 0;
}

duk_ret_t Fixate(duk_context* ctx) {
    This<CViewBuilder>(ctx, kClass)->Fixate();
    return 0;
}

void DestroyBuilder(duk_context*, void* native) { delete static_cast<CViewBuilder*>(native); }

// A View that scripts drop takes its builder (and the builder's reference to the view) with it.
duk_ret_t Finalize(duk_context* ctx) {
    void* native = GetNativeIf(ctx, 0, kClass);
    if (native) {
        SetNativePointer(ctx, 0, nullptr);
        delete static_cast<CViewBuilder*>(native);
    }
    return 0;
}

const duk_function_list_entry kMethods[] = {
    {"NewLoop", Guarded<NewLoop>, 1},
    {"NewCel", Guarded<NewCel>, 5},
    {"Fixate", Guarded<Fixate>, 0},
    {nullptr, nullptr, 0},
};

// The view last made from an Image: the builder that made it is gone, so this keeps it alive until
// whoever asked for it has taken its own reference (and until the next one is made).
TResourceRef<CView> g_fromImage;

// A one-cel view of a whole 32-bit picture, or null.
CView* ViewFromPicture(const CBitmapInterface* picture) {
    try {
        CViewBuilder builder;
        builder.NewLoop();
        if (!builder.NewCel(picture, 0, 0, static_cast<i32>(picture->Width()), static_cast<i32>(picture->Height())))
            return nullptr;
        g_fromImage.Reset(builder.Fixate());
        return g_fromImage.Get();
    } catch (...) {
        return nullptr;
    }
}

// Loads a view by name in its own frame, so that nothing with a destructor outlives it.
CView* LoadNamedView(duk_context* ctx, const char* name) {
    IEngineServices* game = Engine(ctx);
    if (!game || !game->Resources() || !name) return nullptr;
    try {
        return game->Resources()->LoadView(name);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

CView* ViewFromScriptValue(duk_context* ctx, duk_idx_t index, bool images) {
    index = duk_normalize_index(ctx, index);
    if (auto* builder = static_cast<CViewBuilder*>(GetNativeIf(ctx, index, kClass))) {
        try {
            return builder->Fixate();
        } catch (...) {
            return nullptr;
        }
    }
    if (images)
        if (auto* picture = static_cast<CBitmapInterface*>(GetNativeIf(ctx, index, "Image")))
            return ViewFromPicture(picture);
    if (!duk_is_string(ctx, index) && !duk_is_number(ctx, index)) return nullptr;
    duk_dup(ctx, index);
    CView* view = LoadNamedView(ctx, duk_to_string(ctx, -1));
    duk_pop(ctx);
    return view;
}

bool StartViewAPI(duk_context* ctx) {
    RegisterClass(ctx, SClassDef{kClass, nullptr, Guarded<Constructor>, 0, kMethods, nullptr});
    PushPrototype(ctx, kClass);
    duk_push_c_function(ctx, Finalize, 1);
    duk_set_finalizer(ctx, -2);
    duk_pop(ctx);
    RegisterCreateFunction(ctx, "CreateView", kClass, 0);
    RegisterDestroyFunction(ctx, "DestroyView", kClass, DestroyBuilder);
    // Scripts see the class as View only.
    duk_get_global_string(ctx, kClass);
    duk_put_global_string(ctx, "View");
    duk_push_global_object(ctx);
    duk_del_prop_string(ctx, -1, kClass);
    duk_pop(ctx);
    return true;
}

void StopViewAPI(duk_context*) { g_fromImage.Reset(); }

}  // namespace ove
