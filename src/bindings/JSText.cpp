#include "JSText.h"

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "JSColour.h"
#include "JSGUIElements.h"
#include "bindings/Bindings.h"
#include "gui/TextLabel.h"
#include "resources/ResourceCache.h"
#include "script/Binding.h"
#include "text/SubstitutionTable.h"
#include "text/Text.h"

namespace ove {

namespace {

using guiapi::PushTextToScript;
using guiapi::TextFromScript;

// ---------------------------------------------------------------- state

// The settings every DrawTextAt uses; one set for the whole program.
struct STextSettings {
    TResourceRef<CFont> font;  // kept by ClearText
    std::uint32_t colour = 0xFFFFFFFFu;
    std::uint32_t background = 0x00000000u;
    std::int32_t effect = kEffectNone;
    std::uint32_t effectColour = 0xFF000000u;
    std::int32_t priority = 16;
    std::size_t used = 0;  // labels handed out since the last ClearText
};

STextSettings g_text;
// Hidden root labels, reused batch after batch; entries 0 .. used - 1 show the current batch.
std::vector<CTextLabel*> g_pool;
CSubstitutionTables g_tables;

void ResetTextSettings() {
    g_text.used = 0;
    g_text.background = 0x00000000u;
    g_text.effect = kEffectNone;
    g_text.colour = 0xFFFFFFFFu;
    g_text.effectColour = 0xFF000000u;
    g_text.priority = 16;
}

CFont* LoadFontNamed(duk_context* ctx, const char* name) {
    IEngineServices* game = Engine(ctx);
    if (!game || !game->Resources()) return nullptr;
    return game->Resources()->LoadFont(name);
}

duk_ret_t RaiseFontError(duk_context* ctx, const char* name) {
    return duk_error(ctx, DUK_ERR_REFERENCE_ERROR, "Couldn't load font [%s]", name);
}

// ---------------------------------------------------------------- drawing

void DrawTextNative(std::int32_t x, std::int32_t y, const char* text, std::size_t length) {
    IGUIHost* host = GetGUIHost();
    if (!host) return;
    bool converted = false;
    const std::string bytes = TextFromScript(text, length, &converted);

    if (g_text.used >= g_pool.size()) {
        auto* fresh = new CTextLabel(nullptr);  // joins the host's root list, which owns it
        fresh->noncorporeal = 1;
        g_pool.push_back(fresh);
    }
    CTextLabel* label = g_pool[g_text.used];

    label->SetStyle((g_text.background >> 24) != 0 ? kStyleFlat : kStyleNone);
    label->background = g_text.background;

    bool measured = false;
    std::int32_t width = 0, height = 0;
    if (g_text.font && label->GetFont() != g_text.font.Get()) {
        label->SetFont(g_text.font.Get());
        MeasureLine(g_text.font.Get(), bytes.c_str(), &width, &height);
        measured = true;
    }
    const char* shown = label->GetText();
    if (!measured && shown && bytes == shown) {
        // The same text as before in the same font: its size holds.
        width = label->x2 - label->x1;
        height = label->y2 - label->y1;
    } else {
        if (!measured) MeasureLine(label->GetFont(), bytes.c_str(), &width, &height);
        label->SetText(bytes.c_str());
    }
    // One pixel more than the text on the right and at the bottom.
    label->x1 = x;
    label->y1 = y;
    label->x2 = x + width;
    label->y2 = y + height;

    label->SetColour(g_text.colour);
    label->SetTextEffect(g_text.effect, g_text.effectColour);
    label->SetPriority(g_text.priority);
    label->SetVisible(true);
    ++g_text.used;
}

duk_ret_t DrawTextAt(duk_context* ctx) {
    const std::int32_t x = ArgInt(ctx, 0), y = ArgInt(ctx, 1);
    duk_size_t length = 0;
    const char* text = duk_to_lstring(ctx, 2, &length);
    DrawTextNative(x, y, text, length);
    return 0;
}

void ClearTextNative() {
    IGUIHost* host = GetGUIHost();
    const std::size_t used = std::min(g_text.used, g_pool.size());
    for (std::size_t i = 0; i < used; ++i) g_pool[i]->SetVisible(false);
    for (std::size_t i = used; i < g_pool.size(); ++i) {
        if (host) host->DestroyGUIElement(g_pool[i]);
        else delete g_pool[i];
    }
    g_pool.resize(used);
    ResetTextSettings();
}

duk_ret_t ClearText(duk_context*) {
    ClearTextNative();
    return 0;
}

// ---------------------------------------------------------------- settings

duk_ret_t SetTextFont(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    g_text.font.Reset();
    CFont* font = LoadFontNamed(ctx, name);
    if (!font) return RaiseFontError(ctx, name);
    g_text.font.Reset(font);
    return 0;
}

duk_ret_t SetTextColour(duk_context* ctx) {
    g_text.colour = ArgColour(ctx, 0);
    return 0;
}

duk_ret_t SetTextBackground(duk_context* ctx) {
    g_text.background = ArgColour(ctx, 0);
    return 0;
}

duk_ret_t SetTextEffect(duk_context* ctx) {
    const std::int32_t effect = ArgInt(ctx, 0);
    std::uint32_t colour = 0xFF000000u;
    if (!duk_is_undefined(ctx, 1) && !(duk_is_boolean(ctx, 1) && !duk_get_boolean(ctx, 1))) colour = ArgColour(ctx, 1);
    g_text.effect = effect;
    g_text.effectColour = colour;
    return 0;
}

duk_ret_t SetTextPriority(duk_context* ctx) {
    std::int32_t p = ArgInt(ctx, 0);
    if (p < 0) p = -2;
    else if (p == 0) p = 1;
    else if (p > 16) p = 16;
    g_text.priority = p;
    return 0;
}

// ---------------------------------------------------------------- fonts and measuring

duk_ret_t FontExists(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    IEngineServices* game = Engine(ctx);
    const bool exists = game && game->Resources() && game->Resources()->ResourceExists(name, "OVF");
    duk_push_boolean(ctx, exists);
    return 1;
}

duk_ret_t FontHeight(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    CFont* font = LoadFontNamed(ctx, name);
    if (!font) return RaiseFontError(ctx, name);
    duk_push_int(ctx, GetFontHeight(font));
    return 1;
}

void PushMeasure(duk_context* ctx, CFont* font, const char* text, std::size_t length) {
    bool converted = false;
    std::int32_t width = 0, height = 0;
    {
        const std::string bytes = TextFromScript(text, length, &converted);
        MeasureLine(font, bytes.c_str(), &width, &height);
    }
    duk_push_object(ctx);
    duk_push_int(ctx, width);
    duk_put_prop_string(ctx, -2, "w");
    duk_push_int(ctx, GetFontHeight(font));
    duk_put_prop_string(ctx, -2, "h");
}

duk_ret_t MeasureText(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    duk_size_t length = 0;
    const char* text = duk_to_lstring(ctx, 1, &length);
    CFont* font = LoadFontNamed(ctx, name);
    if (!font) return RaiseFontError(ctx, name);
    PushMeasure(ctx, font, text, length);
    return 1;
}

// The longest prefix (or, from the end, suffix) whose glyphs fit the width.
void PushMeasured(duk_context* ctx, CFont* font, const char* text, std::size_t length, double width,
                  std::int32_t direction) {
    bool converted = false;
    const std::string bytes = TextFromScript(text, length, &converted);
    double remaining = width;
    std::size_t first = 0, count = 0;
    if (direction == -1) {
        std::size_t i = bytes.size();
        while (i > 0) {
            const std::int32_t w = GetGlyphWidth(font, static_cast<unsigned char>(bytes[i - 1]));
            if (w > remaining) break;
            remaining -= w;
            --i;
        }
        first = i;
        count = bytes.size() - i;
    } else {
        while (count < bytes.size()) {
            const std::int32_t w = GetGlyphWidth(font, static_cast<unsigned char>(bytes[count]));
            if (w > remaining) break;
            remaining -= w;
            ++count;
        }
    }
    const std::string part = bytes.substr(first, count);
    PushTextToScript(ctx, part.c_str(), converted);
}

duk_ret_t MeasuredText(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    duk_size_t length = 0;
    const char* text = duk_to_lstring(ctx, 1, &length);
    const double width = ArgNumber(ctx, 2);
    const std::int32_t direction = OptInt(ctx, 3, 1);
    CFont* font = LoadFontNamed(ctx, name);
    if (!font) return RaiseFontError(ctx, name);
    PushMeasured(ctx, font, text, length, width, direction);
    return 1;
}

// ---------------------------------------------------------------- substitution tables

void RegisterTable(duk_context* ctx, const char* name, const char* file, std::int32_t priority) {
    IEngineServices* game = Engine(ctx);
    if (!game || !game->Folder()) return;
    g_tables.Register(*game->Folder(), name, file, priority);
}

duk_ret_t RegisterSubstitutionTable(duk_context* ctx) {
    const duk_idx_t n = duk_get_top(ctx);
    if (n != 2 && n != 3)
        return duk_error(ctx, DUK_ERR_SYNTAX_ERROR, "RegisterSubstitutionTable takes a name, a file and a priority");
    const char* name = ArgString(ctx, 0);
    const char* file = ArgString(ctx, 1);
    const std::int32_t priority = n == 3 ? ArgInt(ctx, 2) : INT32_MAX;
    RegisterTable(ctx, name, file, priority);
    return 0;
}

void RemoveTable(const char* name) { g_tables.Remove(name); }

duk_ret_t RemoveSubstitutionTable(duk_context* ctx) {
    const char* name = ArgString(ctx, 0);
    RemoveTable(name);
    return 0;
}

std::size_t ReloadTables(duk_context* ctx) {
    IEngineServices* game = Engine(ctx);
    if (!game || !game->Folder()) return g_tables.Tables().size();
    return g_tables.Reload(*game->Folder());
}

duk_ret_t ReloadSubstitutionTables(duk_context* ctx) {
    duk_push_uint(ctx, static_cast<duk_uint_t>(ReloadTables(ctx)));
    return 1;
}

void PushSubstituted(duk_context* ctx, const char* text, std::size_t length) {
    bool converted = false;
    const std::string result = g_tables.Apply(TextFromScript(text, length, &converted));
    if (converted) {
        PushTextToScript(ctx, result.c_str(), true);
    } else {
        duk_push_lstring(ctx, result.data(), result.size());
    }
}

duk_ret_t ApplySubstitutionTables(duk_context* ctx) {
    duk_size_t length = 0;
    const char* text = duk_to_lstring(ctx, 0, &length);
    PushSubstituted(ctx, text, length);
    return 1;
}

}  // namespace

const CSubstitutionTables& RegisteredSubstitutionTables() { return g_tables; }

bool StartTableAPI(duk_context* ctx) {
    g_tables.Clear();
    RegisterFunction(ctx, "RegisterSubstitutionTable", Guarded<RegisterSubstitutionTable>, DUK_VARARGS);
    RegisterFunction(ctx, "RemoveSubstitutionTable", Guarded<RemoveSubstitutionTable>, 1);
    RegisterFunction(ctx, "ReloadSubstitutionTables", Guarded<ReloadSubstitutionTables>, 0);
    RegisterFunction(ctx, "ApplySubstitutionTables", Guarded<ApplySubstitutionTables>, 1);
    return true;
}

void StopTableAPI(duk_context*) { g_tables.Clear(); }

bool StartTextAPI(duk_context* ctx) {
    g_pool.clear();
    g_text.font.Reset();
    ResetTextSettings();
    RegisterFunction(ctx, "DrawTextAt", Guarded<DrawTextAt>, 3);
    RegisterFunction(ctx, "ClearText", Guarded<ClearText>, 0);
    RegisterFunction(ctx, "SetTextFont", Guarded<SetTextFont>, 1);
    RegisterFunction(ctx, "SetTextColour", SetTextColour, 1);
    RegisterFunction(ctx, "SetTextBackground", SetTextBackground, 1);
    RegisterFunction(ctx, "SetTextEffect", SetTextEffect, 2);
    RegisterFunction(ctx, "SetTextPriority", SetTextPriority, 1);
    RegisterFunction(ctx, "FontExists", Guarded<FontExists>, 1);
    RegisterFunction(ctx, "FontHeight", Guarded<FontHeight>, 1);
    RegisterFunction(ctx, "MeasureText", Guarded<MeasureText>, 2);
    RegisterFunction(ctx, "MeasuredText", Guarded<MeasuredText>, 4);
    DefineGlobalNumber(ctx, "FROM_START", 1);
    DefineGlobalNumber(ctx, "FROM_END", -1);
    return true;
}

void StopTextAPI(duk_context*) {
    // The labels go with the heap's text: destroyed through the host, which is still whole here.
    IGUIHost* host = GetGUIHost();
    for (CTextLabel* label : g_pool) {
        if (host) host->DestroyGUIElement(label);
        else delete label;
    }
    g_pool.clear();
    g_text.font.Reset();
    ResetTextSettings();
}

}  // namespace ove
