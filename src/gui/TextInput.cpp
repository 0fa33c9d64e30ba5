#include "gui/TextInput.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "gui/Ticks.h"
#include "platform/Clipboard.h"
#include "platform/Keys.h"
#include "platform/SystemColours.h"
#include "render/Renderer.h"
#include "text/Text.h"

namespace ove {

namespace {

enum : std::int32_t {
    kKeyCtrlA = 1,
    kKeyCtrlC = 3,
    kKeyBackspace = 8,
    kKeyCtrlV = 22,
    kKeyCtrlX = 24,
    kKeyHome = 0x4700,
    kKeyUp = 0x4800,
    kKeyLeft = 0x4B00,
    kKeyRight = 0x4D00,
    kKeyEnd = 0x4F00,
    kKeyDown = 0x5000,
    kKeyInsert = 0x5200,
    kKeyDelete = 0x5300,
    kFirstNonCharacter = 267,
};

const SCel* Glyph(const CFont* font, unsigned char c) {
    return static_cast<std::int32_t>(c) < GetGlyphCount(font) ? font->GetCel(0, c) : nullptr;
}

}  // namespace

CTextInput::CTextInput(CGUIElement* parent) : CGUIElement(parent) {
    if (parent && parent->GetStyle() == kStyleOS) SetStyle(kStyleOS);
}

void CTextInput::SetText(const char* text) {
    m_edit.SetText(text ? text : "");
    m_scroll = 0;
}

void CTextInput::SetStyle(std::int32_t s) {
    if (s != kStyleOS) {
        CGUIElement::SetStyle(s);
        return;
    }
    style = kStyleOS;
    background = GetSystemColour(kSysWindow);
    colour = GetSystemColour(kSysWindowText);
    selectionBackground = GetSystemColour(kSysHighlight);
    selectionColour = GetSystemColour(kSysHighlightText);
    SetFrameWidths(1, 1, 1, 1);
    border = GetSystemColour(kSysButtonFace);
    SetPadding(1, 1, 1, 1);
}

void CTextInput::SetType(std::int32_t type) {
    if (type < kInputText || type > kInputFloat) return;
    m_rules.type = type;
    if (m_edit.Validate(m_rules)) return;
    // Nothing to undo here: a text the new type cannot hold starts over from empty (a selected
    // "0" for the numeric types) rather than staying unparseable.
    if (type == kInputText) {
        m_edit.Truncate(m_rules.maxLength);
    } else {
        m_edit.SetText("");
        m_edit.Validate(m_rules);
    }
    m_scroll = 0;
}

void CTextInput::SetMaxLength(std::int32_t n) {
    m_rules.maxLength = n < 0 ? -1 : n;
    if (n >= 0) m_edit.Truncate(n);
}

void CTextInput::SetIntMaximum(std::int32_t v) {
    m_rules.intMaximum = v;
    std::int64_t cur;
    if (GetIntValue(&cur) && cur > v) SetIntValue(v);
}

void CTextInput::SetIntMinimum(std::int32_t v) {
    m_rules.intMinimum = v;
    std::int64_t cur;
    if (GetIntValue(&cur) && cur < v) SetIntValue(v);
}

void CTextInput::SetFloatMaximum(double v) {
    m_rules.floatMaximum = v;
    double cur;
    if (GetFloatValue(&cur) && cur > v) SetFloatValue(v);
}

void CTextInput::SetFloatMinimum(double v) {
    m_rules.floatMinimum = v;
    double cur;
    if (GetFloatValue(&cur) && cur < v) SetFloatValue(v);
}

void CTextInput::SetIntValue(std::int64_t v) { SetText(FormatInteger(v).c_str()); }
void CTextInput::SetFloatValue(double v) { SetText(FormatFloat(v).c_str()); }
bool CTextInput::GetIntValue(std::int64_t* v) const { return ParseInteger(m_edit.Text(), v); }
bool CTextInput::GetFloatValue(double* v) const { return ParseFloat(m_edit.Text(), v); }

void CTextInput::SelectAll() {
    if (m_edit.Length() > 0) m_edit.Select(0, m_edit.Length(), m_edit.Length());
    else m_edit.SelectNone();
}

std::int32_t CTextInput::GetOptimalHeight() { return GetFontHeight(m_font.Get()) + GetTopInset() + GetBottomInset(); }

template <class Apply>
bool CTextInput::RunEdit(Apply&& apply) {
    CTextEdit saved = m_edit;
    std::forward<Apply>(apply)();
    if (m_edit.Validate(m_rules)) return true;
    m_edit = std::move(saved);
    return false;
}

void CTextInput::Copy() {
    if (m_edit.HasSelection()) SetClipboardText(m_edit.SelectedText());
}

bool CTextInput::Paste() {
    if (!ClipboardHasText()) return false;
    std::string paste = FilterAccepted(GetClipboardText());
    const std::string before = m_edit.Text();
    bool pasted = false;
    const bool valid = RunEdit([&] {
        m_edit.DeleteSelection();
        if (m_rules.type == kInputText && m_rules.maxLength > 0) {
            const std::int32_t room = std::max(m_rules.maxLength - m_edit.Length(), 0);
            if (static_cast<std::int32_t>(paste.size()) > room) paste.resize(static_cast<std::size_t>(room));
        }
        m_edit.Insert(paste);
        pasted = !paste.empty();
    });
    return valid && (pasted || m_edit.Text() != before);
}

bool CTextInput::MoveCaret(std::int32_t to) {
    m_edit.MoveCaret(to, IsKeyHeld(kVkShift));
    return true;
}

bool CTextInput::Changed() {
    // Last thing a key handler does: the script may destroy this input.
    CallScriptHandler("onChange");
    return true;
}

bool CTextInput::OnKey(std::int32_t key) {
    if (disabled) return false;
    const bool shift = IsKeyHeld(kVkShift);
    const bool control = IsKeyHeld(kVkControl);
    const bool writable = readOnly == 0;

    auto cut = [this] {
        if (!m_edit.HasSelection()) return true;
        Copy();
        return RunEdit([this] { m_edit.DeleteSelection(); }) ? Changed() : true;
    };
    auto paste = [this] { return Paste() ? Changed() : true; };

    switch (key) {
    case kKeyCtrlA:
        if (m_edit.Length() > 0) m_edit.Select(0, m_edit.Length(), 0);
        return true;
    case kKeyCtrlC:
        if (m_edit.HasSelection()) {
            Copy();
            return true;
        }
        if (!writable) return false;
        SetText("");
        return true;
    case kKeyCtrlV:
        if (!writable) return false;
        return paste();
    case kKeyCtrlX:
        if (!writable) return false;
        return cut();
    case kKeyBackspace:
        if (!writable) return false;
        return RunEdit([this] {
            if (!m_edit.DeleteSelection() && m_edit.Caret() > 0) m_edit.DeleteRange(m_edit.Caret() - 1, m_edit.Caret());
        })
                   ? Changed()
                   : true;
    case kKeyInsert:
        if (control) {
            Copy();
            return true;
        }
        if (shift) return writable ? paste() : false;
        return false;
    case kKeyDelete:
        if (!writable) return false;
        if (shift) return cut();
        return RunEdit([this] {
            if (!m_edit.DeleteSelection()) m_edit.DeleteRange(m_edit.Caret(), m_edit.Caret() + 1);
        })
                   ? Changed()
                   : true;
    case kKeyHome: return MoveCaret(0);
    case kKeyEnd: return MoveCaret(m_edit.Length());
    case kKeyLeft: return MoveCaret(m_edit.Caret() - 1);
    case kKeyRight: return MoveCaret(m_edit.Caret() + 1);
    case kKeyUp:
    case kKeyDown: {
        if (m_rules.type != kInputInt || !writable) return false;
        // The number the text starts with (0 for none, as for a lone sign), one step on. The
        // bounds apply at the next validation.
        const std::string& t = m_edit.Text();
        long long v = std::strtoll(t.c_str(), nullptr, 10);
        if (key == kKeyUp) v = v == LLONG_MAX ? v : v + 1;
        else v = v == LLONG_MIN ? v : v - 1;
        SetIntValue(v);
        return Changed();
    }
    default: break;
    }
    if (key >= kFirstNonCharacter || !writable || !IsAcceptedCharacter(key)) return false;
    const char c = static_cast<char>(key);
    const bool valid = RunEdit([&] {
        m_edit.DeleteSelection();
        m_edit.Insert(std::string_view(&c, 1));
    });
    return valid ? Changed() : true;
}

void CTextInput::Draw(CRenderer& renderer) {
    if (style == kStyleOS) {
        background = GetSystemColour(disabled || readOnly ? kSysButtonFace : kSysWindow);
        colour = GetSystemColour(disabled ? kSysGrayText : kSysButtonText);
    }
    DrawFrame(renderer, style == kStyleOS ? kStyleInset : style);
    const CFont* font = m_font.Get();
    if (!font) return;

    const STextRect client = ClientRect();
    const std::int32_t left = client.left, top = client.top;
    const std::int32_t right = left + client.width, bottom = top + client.height;
    renderer.SetClipRect(left, top, right, bottom);

    const std::string& text = m_edit.Text();
    const std::int32_t caret = m_edit.Caret();
    std::int32_t caretX = 0;
    for (std::int32_t i = 0; i < caret; ++i) caretX += GetGlyphWidth(font, static_cast<unsigned char>(text[i]));
    if (caretX < m_scroll) m_scroll = std::max(caretX - (client.width >> 3), 0);
    if (caretX > m_scroll + client.width) m_scroll = caretX - client.width + (client.width >> 3);

    const std::int32_t y = (top + bottom - GetFontHeight(font)) / 2;
    const int fontBlend = static_cast<int>(font->BlendMode());
    renderer.SetBlendMode(fontBlend);
    std::int32_t selFrom = -1, selTo = -1;
    const bool selection = m_edit.SelectionRange(&selFrom, &selTo);

    std::int32_t x = left - m_scroll;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(text.size()); ++i) {
        if (selection && i == selFrom) {
            std::int32_t w = 0;
            for (std::int32_t j = selFrom; j < selTo; ++j)
                w += GetGlyphWidth(font, static_cast<unsigned char>(text[j]));
            renderer.SetBlendMode(kBlendOpaque);
            renderer.FillRect(float(x), float(top), float(x + w), float(bottom), selectionBackground, 0.0f);
            renderer.SetBlendMode(fontBlend);
        }
        const SCel* g = Glyph(font, static_cast<unsigned char>(text[i]));
        if (!g) continue;
        const std::int32_t w = static_cast<std::int32_t>(g->width);
        if (x + w > left && x < right) {
            const bool selected = selection && i >= selFrom && i < selTo;
            renderer.DrawCel(*g, kAlignLeft, kAlignTop, float(x), float(y), 0.0f, selected ? selectionColour : colour);
        }
        x += w;
    }

    IGUIHost* host = GetGUIHost();
    if (host && host->GetFocusElement() == this) {
        const std::int32_t cx = left - m_scroll + caretX;
        const std::uint32_t caretColour = selection ? background : colour;
        if (style == kStyleClassic) {
            if (const SCel* g = Glyph(font, '_'))
                renderer.DrawCel(*g, kAlignLeft, kAlignTop, float(cx), float(y), 0.0f, caretColour);
        } else {
            const std::uint32_t alpha = (GetGUITickCount() & 0x200) ? 0xFF000000u : 0x80000000u;
            renderer.FillRect(float(cx), float(top), float(cx + 1), float(bottom), (caretColour & 0xFFFFFFu) | alpha,
                              0.0f);
        }
    }
    renderer.ResetClip();
}

}  // namespace ove
