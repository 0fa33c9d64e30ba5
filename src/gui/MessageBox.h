// The message box: a window showing a wrapped text that sizes itself to the text and centres
// itself on the render target.
#pragma once
#include <cstdint>

#include "gui/GUIWindow.h"
#include "gui/TextLabel.h"

namespace ove {

class CTextBox : public CGUIWindow {
public:
    // Creates the inner label (noncorporeal, wrapping) and auto-sizes to the target width - 80
    // and the target height.
    explicit CTextBox(CGUIElement* parent);

    // Applied to the inner label; text and font changes fit and centre the box.
    void SetText(const char* text) override;
    const char* GetText() override;
    void SetFont(CFont* font) override;
    void SetColour(std::uint32_t colour) override;
    void SetTextEffect(std::int32_t effect, std::uint32_t colour) override;
    void SetAlignment(std::int32_t value) override;
    // The window's title; the window then fits its children where it stands.
    void SetTitle(const char* title);
    const char* GetTitle() { return CGUIElement::GetText(); }
    // Maximum outer size of the box: the label reflows into it, then the box fits and centres.
    using CGUIWindow::AutoSize;
    void AutoSize(std::int32_t w, std::int32_t h);
    // Outer size w x h; the label fills the client area (its auto-size off).
    void Resize(std::int32_t w, std::int32_t h) override;
    void ResizeClient(std::int32_t w, std::int32_t h) override;
    void SetWrapping(bool on);
    bool GetWrapping() const;
    CTextLabel* Label() const { return m_label; }

private:
    // With the label's auto-size on: client area := the label's outer size (false when it is off).
    bool Fit();
    // Fit, then centred on the target.
    void FitAndCentre();

    CTextLabel* m_label = nullptr;  // owned as a child
};

}  // namespace ove
