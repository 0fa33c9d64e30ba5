#include "JSGUIElements.h"

#include <cmath>
#include <functional>
#include <unordered_set>

#include "JSColour.h"
#include "bindings/Bindings.h"
#include "gui/GUIButton.h"
#include "gui/GUICheckbox.h"
#include "gui/TextInput.h"
#include "gui/TextLabel.h"
#include "platform/CodePage.h"
#include "resources/ResourceCache.h"
#include "script/ScriptHost.h"

namespace ove {

namespace guiapi {

namespace {

// Elements whose text came from a binary (not UTF-8) script string: read back byte for byte.
std::unordered_set<const CGUIElement*> g_rawText;

CGUIElement* Self(duk_context* ctx) { return This<CGUIElement>(ctx, kElementClass); }

}  // namespace

// ---------------------------------------------------------------- shared helpers

namespace {

bool IsSurrogateHalf(const char* p, std::size_t left) {
    return left >= 3 && static_cast<unsigned char>(p[0]) == 0xED && (static_cast<unsigned char>(p[1]) & 0xE0) == 0xA0 &&
           (static_cast<unsigned char>(p[2]) & 0xC0) == 0x80;
}

// The script engine keeps characters beyond U+FFFF as surrogate pairs whose halves are encoded
// like 3-byte characters, which strict UTF-8 refuses. Each pair (or stray half) becomes U+FFFD,
// which the code page shows as "?" like any other character it lacks.
std::string ReplaceSurrogates(const char* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length;) {
        if (!IsSurrogateHalf(text + i, length - i)) {
            out += text[i++];
            continue;
        }
        const bool high = (static_cast<unsigned char>(text[i + 1]) & 0xF0) == 0xA0;
        i += 3;
        if (high && IsSurrogateHalf(text + i, length - i) && (static_cast<unsigned char>(text[i + 1]) & 0xF0) == 0xB0)
            i += 3;
        out += "\xEF\xBF\xBD";
    }
    return out;
}

}  // namespace

std::string TextFromScript(const char* text, std::size_t length, bool* converted) {
    const std::string utf8 = ReplaceSurrogates(text, length);
    *converted = IsValidUtf8(utf8);
    return *converted ? Utf8ToCp1252(utf8, '?') : std::string(text, length);
}

void PushTextToScript(duk_context* ctx, const char* text, bool converted) {
    if (!text) text = "";
    if (!converted) {
        duk_push_string(ctx, text);
        return;
    }
    const std::string utf8 = Cp1252ToUtf8(text);
    duk_push_lstring(ctx, utf8.data(), utf8.size());
}

namespace {

void ApplyText(CGUIElement* element, const char* text, std::size_t length) {
    bool converted = false;
    const std::string bytes = TextFromScript(text, length, &converted);
    element->SetText(bytes.c_str());
    if (converted) g_rawText.erase(element);
    else g_rawText.insert(element);
}

}  // namespace

duk_ret_t SetElementTextFrom(duk_context* ctx, CGUIElement* element, duk_idx_t index) {
    duk_size_t length = 0;
    const char* text = duk_to_lstring(ctx, index, &length);
    char message[256];
    try {
        ApplyText(element, text, length);
        return 0;
    } catch (...) {
        DescribeCurrentException(message, sizeof message);
    }
    return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
}

void PushElementText(duk_context* ctx, CGUIElement* element) {
    PushTextToScript(ctx, element->GetText(), g_rawText.count(element) == 0);
}

std::int32_t TargetWidth() {
    IGUIHost* host = GetGUIHost();
    return host ? host->GetTargetWidth() : 0;
}

std::int32_t TargetHeight() {
    IGUIHost* host = GetGUIHost();
    return host ? host->GetTargetHeight() : 0;
}

void DestroyElement(duk_context*, void* native) {
    auto* element = static_cast<CGUIElement*>(native);
    g_rawText.erase(element);
    if (IGUIHost* host = GetGUIHost()) host->DestroyGUIElement(element);
    else delete element;
}

void RegisterWidget(duk_context* ctx, const SClassDef& def, const char* createName, const char* destroyName) {
    RegisterClass(ctx, def);
    RegisterCreateFunction(ctx, createName, def.name, 1);
    // Any element may be destroyed through any of the DestroyX functions.
    RegisterDestroyFunction(ctx, destroyName, kElementClass, DestroyElement);
}

duk_ret_t SetX2ByResize(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t v = ArgInt(ctx, 0);
    e->Resize(v - e->x1 + 1, e->Height());
    return 0;
}

duk_ret_t SetY2ByResize(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t v = ArgInt(ctx, 0);
    e->Resize(e->Width(), v - e->y1 + 1);
    return 0;
}

void ReadAutoSize(duk_context* ctx, std::int32_t* width, std::int32_t* height) {
    // Missing and undefined both mean "the target's size".
    const duk_idx_t n = duk_get_top(ctx);
    *width = n >= 1 ? OptInt(ctx, 0, TargetWidth()) : TargetWidth();
    *height = n >= 2 ? OptInt(ctx, 1, TargetHeight()) : TargetHeight();
}

const char* ViewValueName(duk_context* ctx, duk_idx_t index) {
    if (IsInstance(ctx, index, "ViewConstructor")) return "[generated]";
    if (duk_is_string(ctx, index) || duk_is_number(ctx, index)) return duk_to_string(ctx, index);
    return "[unknown]";
}

namespace {

// ---------------------------------------------------------------- fonts

// The named font through the game's resource cache, or null.
CFont* LoadFontNamed(duk_context* ctx, const char* name) {
    IEngineServices* game = Engine(ctx);
    if (!game || !game->Resources()) return nullptr;
    return game->Resources()->LoadFont(name);
}

// ---------------------------------------------------------------- GUIElement methods

duk_ret_t Center(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->MoveTo((TargetWidth() >> 1) - (e->Width() >> 1), (TargetHeight() >> 1) - (e->Height() >> 1));
    return 0;
}

duk_ret_t CenterAt(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    e->MoveTo(x - (e->Width() >> 1), y - (e->Height() >> 1));
    return 0;
}

duk_ret_t Focus(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    IGUIHost* host = GetGUIHost();
    bool has = false;
    if (host) {
        // The blur and focus handlers run in here and may destroy the element: compare only.
        host->SetFocusElement(e);
        has = host->GetFocusElement() == e;
    }
    RaisePendingFatal(ctx);
    duk_push_boolean(ctx, has);
    return 1;
}

duk_ret_t HitTestRect(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    duk_push_boolean(ctx, e->HitTestRect(x, y));
    return 1;
}

duk_ret_t MoveBy(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t dx = ArgInt(ctx, 0), dy = ArgInt(ctx, 1);
    e->MoveBy(dx, dy);
    return 0;
}

duk_ret_t MoveTo(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    e->MoveTo(x, y);
    return 0;
}

// Through the element's own Resize: labels, check boxes and message boxes fit themselves.
duk_ret_t Resize(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t w = ArgInt(ctx, 0), h = ArgInt(ctx, 1);
    e->Resize(w, h);
    return 0;
}

duk_ret_t ResizeClient(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t w = ArgInt(ctx, 0), h = ArgInt(ctx, 1);
    e->ResizeClient(w, h);
    return 0;
}

duk_ret_t SetPadding(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const duk_idx_t n = duk_get_top(ctx);
    std::int32_t v[4] = {0, 0, 0, 0};
    for (duk_idx_t i = 0; i < n && i < 4; ++i) v[i] = ArgInt(ctx, i);
    switch (n) {
    case 0:
    case 1: e->SetPadding(v[0], v[0], v[0], v[0]); break;
    case 2: e->SetPadding(v[0], v[1], v[0], v[1]); break;
    case 3: e->SetPadding(v[0], v[1], v[2], v[1]); break;
    default: e->SetPadding(v[0], v[1], v[2], v[3]); break;
    }
    return 0;
}

// ---------------------------------------------------------------- GUIElement properties

duk_ret_t GetParent(duk_context* ctx) {
    CGUIElement* parent = Self(ctx)->GetParent();
    if (parent && parent->scriptObject) PushBound(ctx, parent->scriptObject, kGuiPrefix);
    else duk_push_null(ctx);
    return 1;
}

duk_ret_t GetText(duk_context* ctx) {
    PushElementText(ctx, Self(ctx));
    return 1;
}
duk_ret_t SetText(duk_context* ctx) { return SetElementTextFrom(ctx, Self(ctx), 0); }

duk_ret_t GetTextEffect(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetTextEffect());
    return 1;
}
duk_ret_t SetTextEffect(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->SetTextEffect(ArgInt(ctx, 0), 0xFF000000u);
    return 0;
}

duk_ret_t GetEffectColour(duk_context* ctx) {
    ColourToScript(ctx, Self(ctx)->GetEffectColour());
    return 1;
}
duk_ret_t SetEffectColour(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    // A number is taken as it is: the effect's alpha rule decides the alpha.
    const std::uint32_t colour = ArgColour(ctx, 0, false);
    e->SetTextEffect(e->GetTextEffect(), colour);
    return 0;
}

duk_ret_t GetAlignment(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetAlignment());
    return 1;
}
duk_ret_t SetAlignment(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->SetAlignment(ArgInt(ctx, 0));
    return 0;
}

duk_ret_t GetPadding(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->padTop);
    return 1;
}
duk_ret_t SetPaddingAll(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t v = ArgInt(ctx, 0);
    e->SetPadding(v, v, v, v);
    return 0;
}

// Edges: a pointer to the field of the element.
template <std::int32_t CGUIElement::*Field>
duk_ret_t GetEdge(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->*Field);
    return 1;
}
template <std::int32_t CGUIElement::*Field>
duk_ret_t SetEdge(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->*Field = ArgInt(ctx, 0);
    return 0;
}

duk_ret_t GetClientX1(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    duk_push_int(ctx, e->x1 + e->GetLeftInset());
    return 1;
}
duk_ret_t SetClientX1(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t v = ArgInt(ctx, 0);
    e->x1 = v - e->GetLeftInset();
    return 0;
}
duk_ret_t GetClientY1(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    duk_push_int(ctx, e->y1 + e->GetTopInset());
    return 1;
}
duk_ret_t SetClientY1(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t v = ArgInt(ctx, 0);
    e->y1 = v - e->GetTopInset();
    return 0;
}
duk_ret_t GetClientX2(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    duk_push_int(ctx, e->x2 - e->GetRightInset());
    return 1;
}
duk_ret_t SetClientX2(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t v = ArgInt(ctx, 0);
    e->x2 = v + e->GetRightInset();
    return 0;
}
duk_ret_t GetClientY2(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    duk_push_int(ctx, e->y2 - e->GetBottomInset());
    return 1;
}
duk_ret_t SetClientY2(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::int32_t v = ArgInt(ctx, 0);
    e->y2 = v + e->GetBottomInset();
    return 0;
}

duk_ret_t GetClientWidth(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->ClientWidth());
    return 1;
}
duk_ret_t GetClientHeight(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->ClientHeight());
    return 1;
}
duk_ret_t GetWidth(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->Width());
    return 1;
}
duk_ret_t GetHeight(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->Height());
    return 1;
}

duk_ret_t GetPriority(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetPriority());
    return 1;
}
duk_ret_t SetPriority(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->SetPriority(ArgInt(ctx, 0));
    return 0;
}

template <std::uint32_t CGUIElement::*Field>
duk_ret_t GetColourField(duk_context* ctx) {
    ColourToScript(ctx, Self(ctx)->*Field);
    return 1;
}
template <std::uint32_t CGUIElement::*Field>
duk_ret_t SetColourField(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->*Field = ArgColour(ctx, 0);
    return 0;
}

duk_ret_t SetBorder(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const std::uint32_t colour = ArgColour(ctx, 0);
    e->border = colour;
    if (e->GetStyle() == kStyleSolidShadow) e->shadow = colour;
    return 0;
}

duk_ret_t GetColour(duk_context* ctx) {
    ColourToScript(ctx, Self(ctx)->GetColour());
    return 1;
}
duk_ret_t SetColour(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->SetColour(ArgColour(ctx, 0));
    return 0;
}

duk_ret_t GetFontName(duk_context* ctx) {
    CFont* font = Self(ctx)->GetFont();
    if (!font) RaiseCallError(ctx, DUK_ERR_REFERENCE_ERROR, "the element has no font");
    duk_push_string(ctx, font->Name() ? font->Name() : "");
    return 1;
}
duk_ret_t SetFontName(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    const char* name = duk_to_string(ctx, 0);
    CFont* font = LoadFontNamed(ctx, name);
    if (!font) return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't load font [%s]", name);
    e->SetFont(font);
    return 0;
}

duk_ret_t GetStyle(duk_context* ctx) {
    duk_push_int(ctx, Self(ctx)->GetStyle());
    return 1;
}
duk_ret_t SetStyle(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->SetStyle(ArgInt(ctx, 0));
    return 0;
}

template <std::uint8_t CGUIElement::*Field>
duk_ret_t GetFlag(duk_context* ctx) {
    duk_push_boolean(ctx, (Self(ctx)->*Field) != 0);
    return 1;
}
template <std::uint8_t CGUIElement::*Field>
duk_ret_t SetFlag(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->*Field = duk_to_boolean(ctx, 0) ? 1 : 0;
    return 0;
}

duk_ret_t GetVisible(duk_context* ctx) {
    duk_push_boolean(ctx, Self(ctx)->IsVisible());
    return 1;
}
duk_ret_t SetVisible(duk_context* ctx) {
    CGUIElement* e = Self(ctx);
    e->SetVisible(duk_to_boolean(ctx, 0));
    return 0;
}

// Behaves as DestroyX for an object that is collected while still bound.
duk_ret_t Finalizer(duk_context* ctx) {
    auto* element = static_cast<CGUIElement*>(GetNativeIf(ctx, 0, kElementClass));
    if (!element) return 0;
    SetNativePointer(ctx, 0, nullptr);
    try {
        DestroyElement(ctx, element);
    } catch (...) {
    }
    return 0;
}

duk_ret_t ElementConstructor(duk_context* ctx) {
    return duk_error(ctx, DUK_ERR_TYPE_ERROR, "GUIElement cannot be constructed directly");
}

const duk_function_list_entry kElementMethods[] = {
    {"Center", Center, 0},
    {"CenterAt", CenterAt, 2},
    {"Focus", Focus, 0},
    {"HitTestRect", HitTestRect, 2},
    {"MoveBy", MoveBy, 2},
    {"MoveTo", MoveTo, 2},
    {"Resize", Resize, 2},
    {"ResizeClient", ResizeClient, 2},
    {"SetPadding", SetPadding, DUK_VARARGS},
    {nullptr, nullptr, 0},
};

const SAccessor kElementAccessors[] = {
    {"parent", GetParent, nullptr},
    {"text", GetText, SetText},
    {"text_effect", GetTextEffect, SetTextEffect},
    {"effect_colour", GetEffectColour, SetEffectColour},
    {"alignment", GetAlignment, SetAlignment},
    {"padding", GetPadding, SetPaddingAll},
    {"x1", GetEdge<&CGUIElement::x1>, SetEdge<&CGUIElement::x1>},
    {"y1", GetEdge<&CGUIElement::y1>, SetEdge<&CGUIElement::y1>},
    {"x2", GetEdge<&CGUIElement::x2>, SetEdge<&CGUIElement::x2>},
    {"y2", GetEdge<&CGUIElement::y2>, SetEdge<&CGUIElement::y2>},
    {"client_x1", GetClientX1, SetClientX1},
    {"client_y1", GetClientY1, SetClientY1},
    {"client_x2", GetClientX2, SetClientX2},
    {"client_y2", GetClientY2, SetClientY2},
    {"client_width", GetClientWidth, nullptr},
    {"client_height", GetClientHeight, nullptr},
    {"width", GetWidth, nullptr},
    {"height", GetHeight, nullptr},
    {"priority", GetPriority, SetPriority},
    {"background", GetColourField<&CGUIElement::background>, SetColourField<&CGUIElement::background>},
    {"border", GetColourField<&CGUIElement::border>, SetBorder},
    {"shadow", GetColourField<&CGUIElement::shadow>, SetColourField<&CGUIElement::shadow>},
    {"colour", GetColour, SetColour},
    {"font", GetFontName, Guarded<SetFontName>},
    {"style", GetStyle, Guarded<SetStyle>},
    {"disabled", GetFlag<&CGUIElement::disabled>, SetFlag<&CGUIElement::disabled>},
    {"noncorporeal", GetFlag<&CGUIElement::noncorporeal>, SetFlag<&CGUIElement::noncorporeal>},
    {"visible", GetVisible, SetVisible},
    {nullptr, nullptr, nullptr},
};

// ---------------------------------------------------------------- Label and Button

// Label members also serve check boxes, whose native class is not a label: the check box answers
// for itself, and for the label's own state its caption stands in.
CGUIElement* SelfLabelLike(duk_context* ctx) { return This<CGUIElement>(ctx, "Label"); }

CTextLabel* SelfLabel(duk_context* ctx) {
    CGUIElement* e = SelfLabelLike(ctx);
    if (auto* label = dynamic_cast<CTextLabel*>(e)) return label;
    if (auto* box = dynamic_cast<CGUICheckbox*>(e)) return box->Caption();
    RaiseCallError(ctx, DUK_ERR_TYPE_ERROR, "Label expected");
}

duk_ret_t LabelConstructor(duk_context* ctx) { return ConstructElement<CTextLabel>(ctx, "Label"); }
duk_ret_t ButtonConstructor(duk_context* ctx) { return ConstructElement<CGUIButton>(ctx, "Button"); }

duk_ret_t LabelAutoSize(duk_context* ctx) {
    CGUIElement* e = SelfLabelLike(ctx);
    std::int32_t w, h;
    ReadAutoSize(ctx, &w, &h);
    if (auto* box = dynamic_cast<CGUICheckbox*>(e)) box->AutoSize(w, h);
    else SelfLabel(ctx)->AutoSize(w, h);
    return 0;
}

duk_ret_t GetWrapping(duk_context* ctx) {
    duk_push_boolean(ctx, SelfLabel(ctx)->GetWrapping());
    return 1;
}
duk_ret_t SetWrapping(duk_context* ctx) {
    CTextLabel* label = SelfLabel(ctx);
    label->SetWrapping(duk_to_boolean(ctx, 0));
    return 0;
}

const duk_function_list_entry kLabelMethods[] = {
    {"AutoSize", Guarded<LabelAutoSize>, DUK_VARARGS},
    {"Resize", Resize, 2},
    {"ResizeClient", ResizeClient, 2},
    {nullptr, nullptr, 0},
};

const SAccessor kLabelAccessors[] = {
    {"wrapping", GetWrapping, Guarded<SetWrapping>},
    {"x2", GetEdge<&CGUIElement::x2>, SetX2ByResize},
    {"y2", GetEdge<&CGUIElement::y2>, SetY2ByResize},
    {nullptr, nullptr, nullptr},
};

// ---------------------------------------------------------------- Checkbox

CGUICheckbox* SelfCheckbox(duk_context* ctx) { return This<CGUICheckbox>(ctx, "Checkbox"); }

duk_ret_t CheckboxConstructor(duk_context* ctx) { return ConstructElement<CGUICheckbox>(ctx, "Checkbox"); }

duk_ret_t GetChecked(duk_context* ctx) {
    duk_push_boolean(ctx, SelfCheckbox(ctx)->IsChecked());
    return 1;
}
duk_ret_t SetChecked(duk_context* ctx) {
    CGUICheckbox* box = SelfCheckbox(ctx);
    box->SetChecked(duk_to_boolean(ctx, 0));
    return 0;
}

// AutoSize, Resize, ResizeClient, wrapping, x2 and y2 come from Label.
const SAccessor kCheckboxAccessors[] = {
    {"checked", GetChecked, Guarded<SetChecked>},
    {nullptr, nullptr, nullptr},
};

// ---------------------------------------------------------------- TextInput

CTextInput* SelfInput(duk_context* ctx) { return This<CTextInput>(ctx, "TextInput"); }

duk_ret_t InputConstructor(duk_context* ctx) { return ConstructElement<CTextInput>(ctx, "TextInput"); }

duk_ret_t SelectAll(duk_context* ctx) {
    SelfInput(ctx)->SelectAll();
    return 0;
}
duk_ret_t SelectNone(duk_context* ctx) {
    SelfInput(ctx)->SelectNone();
    return 0;
}

duk_ret_t GetInputType(duk_context* ctx) {
    duk_push_int(ctx, SelfInput(ctx)->GetType());
    return 1;
}
duk_ret_t SetInputType(duk_context* ctx) {
    CTextInput* input = SelfInput(ctx);
    input->SetType(ArgInt(ctx, 0));
    return 0;
}

// A number as a 64-bit integer: fractions truncated, beyond the range clamped, NaN 0.
std::int64_t ToInt64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775807.0) return INT64_MAX;
    if (v <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

duk_ret_t GetValue(duk_context* ctx) {
    CTextInput* input = SelfInput(ctx);
    switch (input->GetType()) {
    case kInputInt: {
        std::int64_t v = 0;
        if (input->GetIntValue(&v)) duk_push_number(ctx, static_cast<double>(v));
        else duk_push_undefined(ctx);
        return 1;
    }
    case kInputFloat: {
        double v = 0;
        if (input->GetFloatValue(&v)) duk_push_number(ctx, v);
        else duk_push_undefined(ctx);
        return 1;
    }
    default: PushElementText(ctx, input); return 1;
    }
}
duk_ret_t SetValue(duk_context* ctx) {
    CTextInput* input = SelfInput(ctx);
    switch (input->GetType()) {
    case kInputInt: input->SetIntValue(ToInt64(ArgNumber(ctx, 0))); return 0;
    case kInputFloat: input->SetFloatValue(ArgNumber(ctx, 0)); return 0;
    default: return SetElementTextFrom(ctx, input, 0);
    }
}

duk_ret_t GetMax(duk_context* ctx) {
    CTextInput* input = SelfInput(ctx);
    switch (input->GetType()) {
    case kInputInt: duk_push_int(ctx, input->GetIntMaximum()); break;
    case kInputFloat: duk_push_number(ctx, input->GetFloatMaximum()); break;
    default: duk_push_int(ctx, input->GetMaxLength()); break;
    }
    return 1;
}
duk_ret_t SetMax(duk_context* ctx) {
    CTextInput* input = SelfInput(ctx);
    switch (input->GetType()) {
    case kInputInt: input->SetIntMaximum(ArgInt(ctx, 0)); break;
    case kInputFloat: input->SetFloatMaximum(ArgNumber(ctx, 0)); break;
    default: input->SetMaxLength(ArgInt(ctx, 0)); break;
    }
    return 0;
}

duk_ret_t GetMin(duk_context* ctx) {
    CTextInput* input = SelfInput(ctx);
    switch (input->GetType()) {
    case kInputInt: duk_push_int(ctx, input->GetIntMinimum()); break;
    case kInputFloat: duk_push_number(ctx, input->GetFloatMinimum()); break;
    default: duk_push_undefined(ctx); break;
    }
    return 1;
}
duk_ret_t SetMin(duk_context* ctx) {
    CTextInput* input = SelfInput(ctx);
    switch (input->GetType()) {
    case kInputInt: input->SetIntMinimum(ArgInt(ctx, 0)); break;
    case kInputFloat: input->SetFloatMinimum(ArgNumber(ctx, 0)); break;
    default: break;
    }
    return 0;
}

duk_ret_t GetOptimalHeight(duk_context* ctx) {
    duk_push_int(ctx, SelfInput(ctx)->GetOptimalHeight());
    return 1;
}

duk_ret_t GetReadOnly(duk_context* ctx) {
    duk_push_boolean(ctx, SelfInput(ctx)->readOnly != 0);
    return 1;
}
duk_ret_t SetReadOnly(duk_context* ctx) {
    CTextInput* input = SelfInput(ctx);
    input->readOnly = duk_to_boolean(ctx, 0) ? 1 : 0;
    return 0;
}

template <std::uint32_t CTextInput::*Field>
duk_ret_t GetInputColour(duk_context* ctx) {
    ColourToScript(ctx, SelfInput(ctx)->*Field);
    return 1;
}
template <std::uint32_t CTextInput::*Field>
duk_ret_t SetInputColour(duk_context* ctx) {
    CTextInput* input = SelfInput(ctx);
    input->*Field = ArgColour(ctx, 0);
    return 0;
}

const duk_function_list_entry kInputMethods[] = {
    {"SelectAll", SelectAll, 0},
    {"SelectNone", SelectNone, 0},
    {nullptr, nullptr, 0},
};

const SAccessor kInputAccessors[] = {
    {"type", GetInputType, Guarded<SetInputType>},
    {"value", GetValue, Guarded<SetValue>},
    {"max", GetMax, Guarded<SetMax>},
    {"min", GetMin, Guarded<SetMin>},
    {"optimal_height", GetOptimalHeight, nullptr},
    {"read_only", GetReadOnly, SetReadOnly},
    {"selection_background", GetInputColour<&CTextInput::selectionBackground>,
     SetInputColour<&CTextInput::selectionBackground>},
    {"selection_colour", GetInputColour<&CTextInput::selectionColour>, SetInputColour<&CTextInput::selectionColour>},
    {nullptr, nullptr, nullptr},
};

// ---------------------------------------------------------------- globals

duk_ret_t AnimateGUI(duk_context* ctx) {
    if (IEngineServices* game = Engine(ctx)) game->AnimateGUI();
    RaisePendingFatal(ctx);
    return 0;
}

duk_ret_t FindElementAt(duk_context* ctx) {
    const std::int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    IEngineServices* game = Engine(ctx);
    CGUIElement* e = game ? game->FindGUIElementAt(x, y) : nullptr;
    while (e && !e->scriptObject) e = e->GetParent();
    if (e) PushBound(ctx, e->scriptObject, kGuiPrefix);
    else duk_push_null(ctx);
    return 1;
}

struct SConstant {
    const char* name;
    std::int32_t value;
};

const SConstant kConstants[] = {
    {"EFFECT_NONE", kEffectNone},
    {"EFFECT_OUTLINE", kEffectOutline},
    {"EFFECT_RAISED", kEffectRaised},
    {"EFFECT_SHADOW", kEffectShadow},
    {"INPUT_TEXT", kInputText},
    {"INPUT_INT", kInputInt},
    {"INPUT_FLOAT", kInputFloat},
    {"STYLE_NONE", kStyleNone},
    {"STYLE_3D_SHADOW", kStyle3DShadow},
    {"STYLE_3D_RAISED", kStyle3DRaised},
    {"STYLE_3D_INSET", kStyle3DInset},
    {"STYLE_RAISED", kStyleRaised},
    {"STYLE_INSET", kStyleInset},
    {"STYLE_CLASSIC", kStyleClassic},
    {"STYLE_FLAT", kStyleFlat},
    {"STYLE_SOLID", kStyleSolid},
    {"STYLE_SOLID_SHADOW", kStyleSolidShadow},
    {"STYLE_OS", kStyleOS},
};

// Drops the script side of every element (the heap is going): the elements themselves stay with
// the host, which deletes them at its own teardown.
void UnbindTree(duk_context* ctx, CGUIElement* e) {
    if (e->scriptObject) UnbindHandle(ctx, e->scriptObject, kGuiPrefix);
    e->scriptObject = 0;
    for (CGUIElement* child : e->Children()) UnbindTree(ctx, child);
}

}  // namespace
}  // namespace guiapi

bool StartGUIAPI(duk_context* ctx) {
    using namespace guiapi;
    g_rawText.clear();
    RegisterClass(ctx, SClassDef{kElementClass, nullptr, ElementConstructor, 1, kElementMethods, kElementAccessors});
    PushPrototype(ctx, kElementClass);
    duk_push_c_function(ctx, Finalizer, 2);
    duk_set_finalizer(ctx, -2);
    duk_pop(ctx);

    RegisterWidget(ctx, SClassDef{"Label", kElementClass, Guarded<LabelConstructor>, 1, kLabelMethods, kLabelAccessors},
                   "CreateLabel", "DestroyLabel");
    RegisterWidget(ctx, SClassDef{"Button", "Label", Guarded<ButtonConstructor>, 1, nullptr, nullptr}, "CreateButton",
                   "DestroyButton");
    RegisterGraphicButton(ctx);
    RegisterWidget(ctx, SClassDef{"Checkbox", "Label", Guarded<CheckboxConstructor>, 1, nullptr, kCheckboxAccessors},
                   "CreateCheckbox", "DestroyCheckbox");
    RegisterWindows(ctx);
    RegisterWidget(ctx,
                   SClassDef{"TextInput", kElementClass, Guarded<InputConstructor>, 1, kInputMethods, kInputAccessors},
                   "CreateInput", "DestroyInput");
    RegisterListBox(ctx);

    RegisterFunction(ctx, "AnimateGUI", AnimateGUI, 0);
    RegisterFunction(ctx, "FindElementAt", FindElementAt, 2);
    for (const SConstant& c : kConstants) DefineGlobalNumber(ctx, c.name, c.value);
    return true;
}

void StopGUIAPI(duk_context* ctx) {
    using namespace guiapi;
    g_rawText.clear();
    if (IEngineServices* game = Engine(ctx))
        for (CGUIElement* root : game->GUIRoots()) UnbindTree(ctx, root);
}

}  // namespace ove
