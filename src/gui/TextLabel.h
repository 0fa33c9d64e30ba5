// The text label: an element that shows its text, optionally wrapped and reflowed to fit a
// maximum size (auto-size).
#pragma once
#include "gui/GUIElement.h"

namespace ove {

class CTextLabel : public CGUIElement {
public:
    // Inside a parent it takes the parent's text colour, effect and effect colour, and the system
    // look when the parent has it.
    explicit CTextLabel(CGUIElement* parent);

    void Draw(CRenderer& renderer) override;
    void SetFont(CFont* font) override;
    void SetText(const char* text) override;

    // Maximum outer size for reflow (negative: auto-size off), then reflows.
    virtual void AutoSize(std::int32_t width, std::int32_t height);
    // Auto-size off; outer size w x h.
    void Resize(std::int32_t w, std::int32_t h) override;
    // Client area w x h, then as Resize with the resulting outer size.
    void ResizeClient(std::int32_t w, std::int32_t h) override;
    // A change discards the reflowed copy (the text shows unreflowed until the next reflow).
    void SetWrapping(bool on);
    bool GetWrapping() const { return wrapping != 0; }
    // Rebuilds the reflowed copy and, with auto-size on, fits the client area to it.
    void Reflow();
    // The text drawn: the reflowed copy when there is one, else the text (null when none).
    const char* DisplayText();

    std::int32_t autoWidth = -1;
    std::int32_t autoHeight = -1;
    std::uint8_t wrapping = 0;

protected:
    std::optional<std::string> m_reflowed;
};

}  // namespace ove
