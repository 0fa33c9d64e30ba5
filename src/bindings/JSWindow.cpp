// Window (framed, titled, movable, modal) and MessageBox (a window that fits and centres itself
// around a wrapped text).
#include "JSColour.h"
#include "JSGUIElements.h"
#include "gui/GUIWindow.h"
#include "gui/MessageBox.h"
#include "script/ScriptHost.h"

namespace ove {
namespace guiapi {

namespace {

CGUIWindow* SelfWindow(duk_context* ctx) { return This<CGUIWindow>(ctx, "Window"); }
CTextBox* SelfBox(duk_context* ctx) { return This<CTextBox>(ctx, "MessageBox"); }

duk_ret_t WindowConstructor(duk_context* ctx) { return ConstructElement<CGUIWindow>(ctx, "Window"); }
duk_ret_t BoxConstructor(duk_context* ctx) { return ConstructElement<CTextBox>(ctx, "MessageBox"); }

// ---------------------------------------------------------------- Window

duk_ret_t WindowAutoSize(duk_context* ctx) {
    SelfWindow(ctx)->AutoSize();
    return 0;
}

duk_ret_t BeginModal(duk_context* ctx) {
    SelfWindow(ctx)->BeginModal();
    return 0;
}

duk_ret_t EndModal(duk_context* ctx) {
    SelfWindow(ctx)->EndModal();
    return 0;
}

duk_ret_t GetMovable(duk_context* ctx) {
    duk_push_boolean(ctx, SelfWindow(ctx)->movable != 0);
    return 1;
}
duk_ret_t SetMovable(duk_context* ctx) {
    CGUIWindow* w = SelfWindow(ctx);
    w->movable = duk_to_boolean(ctx, 0) ? 1 : 0;
    return 0;
}

template <std::uint32_t CGUIWindow::*Field>
duk_ret_t GetColourField(duk_context* ctx) {
    ColourToScript(ctx, SelfWindow(ctx)->*Field);
    return 1;
}
template <std::uint32_t CGUIWindow::*Field>
duk_ret_t SetColourField(duk_context* ctx) {
    CGUIWindow* w = SelfWindow(ctx);
    w->*Field = ArgColour(ctx, 0);
    return 0;
}

const duk_function_list_entry kWindowMethods[] = {
    {"AutoSize", WindowAutoSize, 0},
    {"BeginModal", BeginModal, 0},
    {"EndModal", EndModal, 0},
    {nullptr, nullptr, 0},
};

const SAccessor kWindowAccessors[] = {
    {"movable", GetMovable, SetMovable},
    {"title_background", GetColourField<&CGUIWindow::titleBackground>, SetColourField<&CGUIWindow::titleBackground>},
    {"title_colour", GetColourField<&CGUIWindow::titleColour>, SetColourField<&CGUIWindow::titleColour>},
    {nullptr, nullptr, nullptr},
};

// ---------------------------------------------------------------- MessageBox

duk_ret_t BoxAutoSize(duk_context* ctx) {
    CTextBox* box = SelfBox(ctx);
    std::int32_t w, h;
    ReadAutoSize(ctx, &w, &h);
    box->AutoSize(w, h);
    return 0;
}

// The title is the window's own text, apart from the message; read back as UTF-8.
void ApplyTitle(CTextBox* box, const char* text, std::size_t length) {
    bool converted = false;
    const std::string bytes = TextFromScript(text, length, &converted);
    box->SetTitle(bytes.c_str());
}

duk_ret_t GetTitle(duk_context* ctx) {
    PushTextToScript(ctx, SelfBox(ctx)->GetTitle(), true);
    return 1;
}
duk_ret_t SetTitle(duk_context* ctx) {
    CTextBox* box = SelfBox(ctx);
    duk_size_t length = 0;
    const char* text = duk_to_lstring(ctx, 0, &length);
    ApplyTitle(box, text, length);
    return 0;
}

duk_ret_t GetBoxWrapping(duk_context* ctx) {
    duk_push_boolean(ctx, SelfBox(ctx)->GetWrapping());
    return 1;
}
duk_ret_t SetBoxWrapping(duk_context* ctx) {
    CTextBox* box = SelfBox(ctx);
    box->SetWrapping(duk_to_boolean(ctx, 0));
    return 0;
}

duk_ret_t BoxResize(duk_context* ctx) {
    CTextBox* box = SelfBox(ctx);
    const std::int32_t w = ArgInt(ctx, 0), h = ArgInt(ctx, 1);
    box->Resize(w, h);
    return 0;
}

duk_ret_t BoxResizeClient(duk_context* ctx) {
    CTextBox* box = SelfBox(ctx);
    const std::int32_t w = ArgInt(ctx, 0), h = ArgInt(ctx, 1);
    box->ResizeClient(w, h);
    return 0;
}

duk_ret_t GetX2(duk_context* ctx) {
    duk_push_int(ctx, SelfBox(ctx)->x2);
    return 1;
}
duk_ret_t GetY2(duk_context* ctx) {
    duk_push_int(ctx, SelfBox(ctx)->y2);
    return 1;
}

const duk_function_list_entry kBoxMethods[] = {
    {"AutoSize", Guarded<BoxAutoSize>, DUK_VARARGS},
    {"Resize", BoxResize, 2},
    {"ResizeClient", BoxResizeClient, 2},
    {nullptr, nullptr, 0},
};

const SAccessor kBoxAccessors[] = {
    {"title", GetTitle, Guarded<SetTitle>},
    {"wrapping", GetBoxWrapping, Guarded<SetBoxWrapping>},
    {"x2", GetX2, SetX2ByResize},
    {"y2", GetY2, SetY2ByResize},
    {nullptr, nullptr, nullptr},
};

}  // namespace

void RegisterWindows(duk_context* ctx) {
    RegisterWidget(ctx,
                   SClassDef{"Window", kElementClass, Guarded<WindowConstructor>, 1, kWindowMethods, kWindowAccessors},
                   "CreateWindow", "DestroyWindow");
    RegisterWidget(ctx, SClassDef{"MessageBox", "Window", Guarded<BoxConstructor>, 1, kBoxMethods, kBoxAccessors},
                   "CreateMessageBox", "DestroyMessageBox");
}

}  // namespace guiapi
}  // namespace ove
