// ListBox: rows of text with optional icons, scrolling and a selected row.
#include <string>

#include "JSColour.h"
#include "JSGUIElements.h"
#include "JSViewConstructor.h"
#include "gui/ListBox.h"

namespace ove {
namespace guiapi {

namespace {

constexpr const char* kClass = "ListBox";

CListBox* Self(duk_context* ctx) { return This<CListBox>(ctx, kClass); }

duk_ret_t Constructor(duk_context* ctx) { return ConstructElement<CListBox>(ctx, kClass); }

std::int32_t AddItemText(CListBox* list, const char* text, std::size_t length, std::int32_t loop, std::int32_t cel) {
    bool converted = false;
    const std::string bytes = TextFromScript(text, length, &converted);
    return list->AddItem(bytes.c_str(), loop, cel);
}

duk_ret_t AddItem(duk_context* ctx) {
    CListBox* list = Self(ctx);
    duk_size_t length = 0;
    const char* text = duk_to_lstring(ctx, 0, &length);
    const std::int32_t loop = OptInt(ctx, 1, -1);
    const std::int32_t cel = OptInt(ctx, 2, -1);
    duk_push_int(ctx, AddItemText(list, text, length, loop, cel));
    return 1;
}

duk_ret_t Clear(duk_context* ctx) {
    Self(ctx)->Clear();
    return 0;
}

duk_ret_t GetItem(duk_context* ctx) {
    CListBox* list = Self(ctx);
    std::int32_t x = 0, y = 0;
    if (ReadPoint(ctx, 0, x, y) == 0)
        RaiseCallError(ctx, DUK_ERR_SYNTAX_ERROR, "needs a point: one object {x, y} or two numbers");
    const std::int32_t index = list->ItemAt(x, y);
    if (index < 0) duk_push_undefined(ctx);
    else duk_push_int(ctx, index);
    return 1;
}

template <void (CListBox::*Scroll)()>
duk_ret_t ScrollMethod(duk_context* ctx) {
    (Self(ctx)->*Scroll)();
    return 0;
}

duk_ret_t ToIndex(duk_context* ctx) {
    CListBox* list = Self(ctx);
    list->ToIndex(OptInt(ctx, 0, -1));
    return 0;
}

duk_ret_t GetCount(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetCount());
    return 1;
}

duk_ret_t GetIndex(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetIndex());
    return 1;
}
duk_ret_t SetIndex(duk_context* ctx) {
    CListBox* list = Self(ctx);
    list->SetIndex(ArgInt(ctx, 0));
    return 0;
}

duk_ret_t GetItemHeight(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetItemHeight());
    return 1;
}

duk_ret_t GetOffset(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetOffset());
    return 1;
}
duk_ret_t SetOffset(duk_context* ctx) {
    CListBox* list = Self(ctx);
    list->SetOffset(ArgInt(ctx, 0));
    return 0;
}

template <std::uint32_t CListBox::*Field>
duk_ret_t GetColourField(duk_context* ctx) {
    ColourToScript(ctx, Self(ctx)->*Field);
    return 1;
}
template <std::uint32_t CListBox::*Field>
duk_ret_t SetColourField(duk_context* ctx) {
    CListBox* list = Self(ctx);
    list->*Field = ArgColour(ctx, 0);
    return 0;
}

duk_ret_t GetView(duk_context* ctx) {
    CView* view = Self(ctx)->GetView();
    if (view && view->Name()) duk_push_string(ctx, view->Name());
    else duk_push_undefined(ctx);
    return 1;
}
duk_ret_t SetView(duk_context* ctx) {
    CListBox* list = Self(ctx);
    CView* view = ViewFromScriptValue(ctx, 0, true);
    if (!view) return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't load sprite [%s]", ViewValueName(ctx, 0));
    list->SetView(view);
    return 0;
}

const duk_function_list_entry kMethods[] = {
    {"AddItem", Guarded<AddItem>, 3},
    {"Clear", Clear, 0},
    {"GetItem", GetItem, DUK_VARARGS},
    {"LineUp", ScrollMethod<&CListBox::LineUp>, 0},
    {"LineDown", ScrollMethod<&CListBox::LineDown>, 0},
    {"PageUp", ScrollMethod<&CListBox::PageUp>, 0},
    {"PageDown", ScrollMethod<&CListBox::PageDown>, 0},
    {"ToStart", ScrollMethod<&CListBox::ToStart>, 0},
    {"ToEnd", ScrollMethod<&CListBox::ToEnd>, 0},
    {"ToIndex", ToIndex, 1},
    {nullptr, nullptr, 0},
};

const SAccessor kAccessors[] = {
    {"count", GetCount, nullptr},
    {"index", GetIndex, SetIndex},
    {"item_height", GetItemHeight, nullptr},
    {"offset", GetOffset, SetOffset},
    {"selection_background", GetColourField<&CListBox::selectionBackground>,
     SetColourField<&CListBox::selectionBackground>},
    {"selection_colour", GetColourField<&CListBox::selectionColour>, SetColourField<&CListBox::selectionColour>},
    {"view", GetView, Guarded<SetView>},
    {nullptr, nullptr, nullptr},
};

}  // namespace

void RegisterListBox(duk_context* ctx) {
    RegisterWidget(ctx, SClassDef{kClass, kElementClass, Guarded<Constructor>, 1, kMethods, kAccessors},
                   "CreateListBox", "DestroyListBox");
}

}  // namespace guiapi
}  // namespace ove
