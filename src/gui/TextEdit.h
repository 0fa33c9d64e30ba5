// The editable line behind a text input: the characters it may hold, caret and selection, the
// typed values (integer, floating point) and the validation that undoes bad edits. Kept apart
// from the widget so that the editing rules can be checked without a window or a renderer.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace ove {

// Input types (script constants INPUT_TEXT, INPUT_INT, INPUT_FLOAT).
enum : std::int32_t { kInputText = 0, kInputInt = 1, kInputFloat = 2 };

// The characters an input accepts: the printable ones of code page 1252 (space to '~', and 0x80
// to 0xFF less the code page's undefined bytes), never control characters. Codes are signed
// bytes as the keyboard delivers them: the upper half is -128 to -1.
bool IsAcceptedCharacter(std::int32_t code);
// The accepted characters of a text, in order.
std::string FilterAccepted(std::string_view text);

// Whole-text parses: false when nothing or not everything parses. Integers are base 10 and
// saturate at the 64-bit range; floating-point values take the plain decimal form
// ([sign] digits [. digits] [e [sign] digits]), never hexadecimal, infinities or NaN.
bool ParseInteger(std::string_view text, std::int64_t* value);
bool ParseFloat(std::string_view text, double* value);
// "%lld"; and "%f" with trailing zeros, then a trailing point, removed.
std::string FormatInteger(std::int64_t value);
std::string FormatFloat(double value);

// What a valid text is.
struct STextRules {
    std::int32_t type = kInputText;
    std::int32_t maxLength = -1;  // text type; negative: unlimited
    std::int32_t intMinimum = INT32_MIN;
    std::int32_t intMaximum = INT32_MAX;
    double floatMinimum = -1.7976931348623157e308;
    double floatMaximum = 1.7976931348623157e308;
};

// One line of text with a caret and a selection. The selection runs between the anchor and
// the selection end (either order); equal values or -1 mean none. All indices stay within
// 0 .. length. Copyable: a copy is the undo state of an edit.
class CTextEdit {
public:
    const std::string& Text() const { return m_text; }
    std::int32_t Length() const { return static_cast<std::int32_t>(m_text.size()); }
    std::int32_t Caret() const { return m_caret; }
    std::int32_t Anchor() const { return m_anchor; }
    std::int32_t SelectionEnd() const { return m_end; }

    // Keeps only accepted characters; caret to the end, no selection.
    void SetText(std::string_view text);
    // Cuts the text to n characters (n >= 0), pulling caret and selection in.
    void Truncate(std::int32_t n);

    bool HasSelection() const { return m_anchor >= 0 && m_end >= 0 && m_anchor != m_end; }
    // The selected range [from, to); false without a selection.
    bool SelectionRange(std::int32_t* from, std::int32_t* to) const;
    std::string SelectedText() const;
    void Select(std::int32_t anchor, std::int32_t end, std::int32_t caret);
    void SelectNone() { m_anchor = m_end = -1; }

    // Removes [from, to) (clamped): a caret after the range moves back by the removed count,
    // one inside it goes to the range start; the selection is cleared.
    void DeleteRange(std::int32_t from, std::int32_t to);
    // Deletes the selection; false when there was none.
    bool DeleteSelection();
    // Inserts already filtered text at the caret; the caret ends after it.
    void Insert(std::string_view text);

    // Moves the caret to `to` (clamped). With `extend` the selection grows from the old caret
    // (the anchor is set when there is none) to the new one; without it the selection is cleared.
    void MoveCaret(std::int32_t to, bool extend);

    // Applies the rules. Numeric texts are tidied (leading spaces and superfluous leading zeros
    // go, an empty text becomes a selected "0") and clamped into range. False when the text
    // breaks the rules; the caller then restores its saved copy.
    bool Validate(const STextRules& rules);

private:
    // Removes the first n characters, shifting caret and selection.
    void DropFront(std::int32_t n);
    void SetZeroSelected();

    std::string m_text;
    std::int32_t m_caret = 0;
    std::int32_t m_anchor = -1;
    std::int32_t m_end = -1;
};

}  // namespace ove
