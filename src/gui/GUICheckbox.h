// The check box: a box drawn in the element's style plus a caption label; the classic style shows
// the state as a "[X]" / "[ ]" label instead.
#pragma once
#include "gui/TextLabel.h"

namespace ove {

class CGUICheckbox : public CGUIElement {
public:
    // Takes the parent's style.
    explicit CGUICheckbox(CGUIElement* parent);

    void SetFont(CFont* font) override;
    void SetText(const char* text) override;
    const char* GetText() override;
    void SetColour(std::uint32_t colour) override;
    void SetTextEffect(std::int32_t effect, std::uint32_t colour) override;
    void SetAlignment(std::int32_t value) override;
    void SetStyle(std::int32_t style) override;
    void Draw(CRenderer& renderer) override;
    // Toggles ("onChange") unless disabled.
    bool OnLButtonUp(std::int32_t x, std::int32_t y) override;
    void OnMouseEnter() override {}
    void OnMouseLeave() override {}

    void SetChecked(bool on);
    bool IsChecked() const { return checked != 0; }
    // Caption auto-size from a maximum outer size.
    void AutoSize(std::int32_t w, std::int32_t h);
    // Outer size; the caption gets the rest of the client area (auto-size off).
    void Resize(std::int32_t w, std::int32_t h) override;
    void ResizeClient(std::int32_t w, std::int32_t h) override;

    CTextLabel* Caption() const { return m_caption; }
    CTextLabel* CheckMark() const { return m_checkMark; }

    std::int32_t boxWidth = 0;
    std::int32_t boxHeight = 0;
    std::uint8_t checked = 0;

private:
    void MeasureBox();
    void Fit();
    CTextLabel* m_caption = nullptr;    // owned as a child
    CTextLabel* m_checkMark = nullptr;  // owned as a child; only in the classic style
};

}  // namespace ove

namespace ove {
using CGUICheckBox = CGUICheckbox;
}  // namespace ove
