// The one-line text input: caret, selection, clipboard, and typed values (text, integer, floating
// point) whose edits are validated and undone when they break the input's rules.
#pragma once
#include <cstdint>

#include "gui/GUIElement.h"
#include "gui/TextEdit.h"

namespace ove {

class CTextInput : public CGUIElement {
public:
    // Inside a parent with the system look it takes that look.
    explicit CTextInput(CGUIElement* parent);

    void Draw(CRenderer& renderer) override;
    bool CanFocus() override { return disabled == 0; }
    // Keeps only accepted characters; caret to the end, scroll to 0.
    void SetText(const char* text) override;
    const char* GetText() override { return m_edit.Text().c_str(); }
    void SetStyle(std::int32_t style) override;
    bool OnKey(std::int32_t key) override;

    // 0 text, 1 integer, 2 floating point; other values are ignored. Validates the text.
    void SetType(std::int32_t type);
    std::int32_t GetType() const { return m_rules.type; }
    // Negative: unlimited (-1). A longer text is cut.
    void SetMaxLength(std::int32_t n);
    std::int32_t GetMaxLength() const { return m_rules.maxLength; }
    // Bounds; a current value beyond a new bound is replaced by it.
    void SetIntMaximum(std::int32_t v);
    void SetIntMinimum(std::int32_t v);
    void SetFloatMaximum(double v);
    void SetFloatMinimum(double v);
    std::int32_t GetIntMaximum() const { return m_rules.intMaximum; }
    std::int32_t GetIntMinimum() const { return m_rules.intMinimum; }
    double GetFloatMaximum() const { return m_rules.floatMaximum; }
    double GetFloatMinimum() const { return m_rules.floatMinimum; }
    void SetIntValue(std::int64_t v);
    void SetFloatValue(double v);
    // False when the whole text does not parse.
    bool GetIntValue(std::int64_t* v) const;
    bool GetFloatValue(double* v) const;
    void SelectAll();
    void SelectNone() { m_edit.SelectNone(); }
    // Font height + vertical insets.
    std::int32_t GetOptimalHeight();

    const CTextEdit& Edit() const { return m_edit; }
    std::int32_t GetScroll() const { return m_scroll; }

    std::uint32_t selectionBackground = 0xFFFFFFFFu;
    std::uint32_t selectionColour = 0xFF000000u;
    std::uint8_t readOnly = 0;

private:
    // Runs an edit: saves the state, applies it, validates (restoring the saved state when
    // invalid). True when the result is valid; the caller then reports "onChange".
    template <class Apply>
    bool RunEdit(Apply&& apply);
    void Copy();
    // Pastes the clipboard text; true when something was pasted and kept.
    bool Paste();
    bool MoveCaret(std::int32_t to);
    // Reports a change to script; returns true (the key was consumed).
    bool Changed();

    CTextEdit m_edit;
    STextRules m_rules;
    std::int32_t m_scroll = 0;
};

}  // namespace ove
