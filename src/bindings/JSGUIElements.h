// The GUI script API: GUIElement and its widgets (Label, Button, GraphicButton, Checkbox, Window,
// MessageBox, TextInput, ListBox), AnimateGUI, FindElementAt and the effect, style and input-type
// constants. Helpers here are shared by the widget families that live in files of their own
// (JSGraphicButton, JSListBox, JSWindow).
#pragma once
#include <duktape.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "gui/GUIElement.h"
#include "script/Binding.h"

namespace ove {

bool StartGUIAPI(duk_context* ctx);
void StopGUIAPI(duk_context* ctx);

namespace guiapi {

inline constexpr const char* kElementClass = "GUIElement";

// Script text as the engine's one-byte text: valid UTF-8 goes through the code page, a binary
// string keeps its bytes. *converted tells which happened.
std::string TextFromScript(const char* text, std::size_t length, bool* converted);
// Pushes engine text back to script: through UTF-8 when it was converted on the way in.
void PushTextToScript(duk_context* ctx, const char* text, bool converted);

// Sets an element's text from the string at `index` (any value is converted to a string first).
// Raises only while converting the value (before any C++ work).
duk_ret_t SetElementTextFrom(duk_context* ctx, CGUIElement* element, duk_idx_t index);
// Pushes the element's text ("" when it has none).
void PushElementText(duk_context* ctx, CGUIElement* element);

// The render target's size (0 without a game).
std::int32_t TargetWidth();
std::int32_t TargetHeight();

// Constructor body shared by every widget: checks `new`, takes the parent when the first argument
// is a bound GUIElement, creates the element and binds it under "gui@".
template <class T>
duk_ret_t ConstructElement(duk_context* ctx, const char* className) {
    if (!duk_is_constructor_call(ctx))
        RaiseCallError(ctx, DUK_ERR_TYPE_ERROR, "must be called with new (new %s())", className);
    if (!GetGUIHost()) return duk_error(ctx, DUK_ERR_ERROR, "Cannot create %s without a game", className);
    auto* parent = static_cast<CGUIElement*>(GetNativeIf(ctx, 0, kElementClass));
    T* element = new T(parent);  // owned by its parent or the host's root list
    element->scriptObject = BindThisHandle(ctx, element, className, kGuiPrefix);
    return 0;
}

// The DestroyX destroyer of every widget: the host releases the "gui@" entry and deletes the
// element with its children (later, when a handler of theirs is running).
void DestroyElement(duk_context* ctx, void* native);

// Registers the constructor of a widget class plus its CreateX and DestroyX globals.
void RegisterWidget(duk_context* ctx, const SClassDef& def, const char* createName, const char* destroyName);

// Setter for x2 and y2 of widgets that resize through their own Resize (labels, check boxes,
// message boxes).
duk_ret_t SetX2ByResize(duk_context* ctx);
duk_ret_t SetY2ByResize(duk_context* ctx);

// `AutoSize` with 0 to 2 arguments whose missing values default to the target's size.
void ReadAutoSize(duk_context* ctx, std::int32_t* width, std::int32_t* height);

// The name a failed view load reports for a value: the value's text for a string or number,
// "[generated]" for a View object, "[unknown]" for anything else. Each binding raises the error
// itself, so that the error names its own source file.
const char* ViewValueName(duk_context* ctx, duk_idx_t index);

void RegisterGraphicButton(duk_context* ctx);
void RegisterListBox(duk_context* ctx);
void RegisterWindows(duk_context* ctx);

}  // namespace guiapi
}  // namespace ove
