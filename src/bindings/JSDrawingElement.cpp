#include "JSDrawingElement.h"

#include <algorithm>
#include <memory>

#include "JSColour.h"
#include "bindings/Bindings.h"
#include "render/Renderer.h"
#include "scene/DrawingElement.h"
#include "script/Binding.h"

namespace ove {

namespace {

// Bindings always hold the base pointer, whatever the class, so that every accessor can read it
// back as a CDrawingElement.
void* AsNative(CDrawingElement* element) { return element; }

CDrawingElement* ThisElement(duk_context* ctx) { return This<CDrawingElement>(ctx, "DrawingElement"); }

// Creates the element, hands it to the game's list and binds `this` to it.
template <class T>
duk_ret_t Construct(duk_context* ctx, const char* className) {
    RequireConstructorCall(ctx);
    IEngineServices* game = Engine(ctx);
    if (!game) RaiseCallError(ctx, DUK_ERR_ERROR, "no game is running");
    CDrawingElement* element = nullptr;
    {
        auto created = std::make_unique<T>();
        game->DrawingElements().push_back(created.get());
        element = created.release();
    }
    BindThis(ctx, AsNative(element), className);
    return 0;
}

duk_ret_t BaseConstructor(duk_context* ctx) {
    RaiseCallError(ctx, DUK_ERR_TYPE_ERROR, "a base class: make a Line or a Rectangle instead");
}
duk_ret_t LineConstructor(duk_context* ctx) { return Construct<C2DLine>(ctx, "Line"); }
duk_ret_t RectangleConstructor(duk_context* ctx) { return Construct<C2DRectangle>(ctx, "Rectangle"); }

void Destroy(duk_context* ctx, void* native) {
    auto* element = static_cast<CDrawingElement*>(native);
    if (IEngineServices* game = Engine(ctx)) {
        game->DrawingElements().remove(element);
        if (game->Renderer()) game->Renderer()->RemoveObject(element);
    }
    delete element;
}

// ---------------------------------------------------------------- properties

template <std::int32_t CDrawingElement::*Field>
duk_ret_t GetInt(duk_context* ctx) {
    duk_push_int(ctx, ThisElement(ctx)->*Field);
    return 1;
}

template <std::int32_t CDrawingElement::*Field>
duk_ret_t SetInt(duk_context* ctx) {
    const std::int32_t v = ArgInt(ctx, 0);
    ThisElement(ctx)->*Field = v;
    return 0;
}

duk_ret_t SetPriority(duk_context* ctx) {
    const std::int32_t v = ArgInt(ctx, 0);
    ThisElement(ctx)->SetPriority(v);
    return 0;
}

template <std::uint32_t CDrawingElement::*Field>
duk_ret_t GetColour(duk_context* ctx) {
    ColourToScript(ctx, ThisElement(ctx)->*Field);
    return 1;
}

template <std::uint32_t CDrawingElement::*Field>
duk_ret_t SetColour(duk_context* ctx) {
    const std::uint32_t argb = ArgColour(ctx, 0, true);
    ThisElement(ctx)->*Field = argb;
    return 0;
}

duk_ret_t GetVisible(duk_context* ctx) {
    duk_push_boolean(ctx, ThisElement(ctx)->visible != 0);
    return 1;
}

duk_ret_t SetVisible(duk_context* ctx) {
    const bool on = ArgBool(ctx, 0);
    ThisElement(ctx)->SetVisible(on);
    return 0;
}

duk_ret_t GetWidth(duk_context* ctx) {
    duk_push_int(ctx, static_cast<C2DLine*>(This<CDrawingElement>(ctx, "Line"))->width);
    return 1;
}

duk_ret_t SetWidth(duk_context* ctx) {
    const std::int32_t v = ArgInt(ctx, 0);
    static_cast<C2DLine*>(This<CDrawingElement>(ctx, "Line"))->width = v;
    return 0;
}

duk_ret_t GetBorder(duk_context* ctx) {
    duk_push_int(ctx, static_cast<C2DRectangle*>(This<CDrawingElement>(ctx, "Rectangle"))->border);
    return 1;
}

duk_ret_t SetBorder(duk_context* ctx) {
    const std::int32_t v = ArgInt(ctx, 0);
    static_cast<C2DRectangle*>(This<CDrawingElement>(ctx, "Rectangle"))->border = v;
    return 0;
}

const SAccessor kBaseAccessors[] = {
    {"x1", GetInt<&CDrawingElement::x1>, SetInt<&CDrawingElement::x1>},
    {"y1", GetInt<&CDrawingElement::y1>, SetInt<&CDrawingElement::y1>},
    {"x2", GetInt<&CDrawingElement::x2>, SetInt<&CDrawingElement::x2>},
    {"y2", GetInt<&CDrawingElement::y2>, SetInt<&CDrawingElement::y2>},
    {"priority", GetInt<&CDrawingElement::priority>, SetPriority},
    {"stroke", GetColour<&CDrawingElement::stroke>, SetColour<&CDrawingElement::stroke>},
    {"fill", GetColour<&CDrawingElement::fill>, SetColour<&CDrawingElement::fill>},
    {"visible", GetVisible, SetVisible},
    {nullptr, nullptr, nullptr},
};

const SAccessor kLineAccessors[] = {
    {"width", GetWidth, SetWidth},
    {nullptr, nullptr, nullptr},
};

const SAccessor kRectangleAccessors[] = {
    {"border", GetBorder, SetBorder},
    {nullptr, nullptr, nullptr},
};

}  // namespace

bool StartDrawingElementAPI(duk_context* ctx) {
    RegisterClass(ctx, SClassDef{"DrawingElement", nullptr, BaseConstructor, 0, nullptr, kBaseAccessors});
    RegisterClass(ctx, SClassDef{"Line", "DrawingElement", Guarded<LineConstructor>, 0, nullptr, kLineAccessors});
    RegisterClass(
        ctx, SClassDef{"Rectangle", "DrawingElement", Guarded<RectangleConstructor>, 0, nullptr, kRectangleAccessors});
    RegisterCreateFunction(ctx, "CreateLine", "Line", 0);
    RegisterCreateFunction(ctx, "CreateRectangle", "Rectangle", 0);
    RegisterDestroyFunction(ctx, "DestroyLine", "DrawingElement", Destroy);
    RegisterDestroyFunction(ctx, "DestroyRectangle", "DrawingElement", Destroy);
    return true;
}

void StopDrawingElementAPI(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    if (!game) return;
    // The script objects go with the heap; the elements they created go with them.
    for (CDrawingElement* element : game->DrawingElements()) {
        if (game->Renderer()) game->Renderer()->RemoveObject(element);
        delete element;
    }
    game->DrawingElements().clear();
}

}  // namespace ove
