// The window: a framed element with an optional title bar (its text), children, dragging, modality
// and Tab navigation between its children.
#pragma once
#include "gui/GUIElement.h"

namespace ove {

class CGUIWindow : public CGUIElement {
public:
    explicit CGUIWindow(CGUIElement* parent);

    std::int32_t GetTopInset() override;  // adds the title bar
    void SetStyle(std::int32_t style) override;
    void Draw(CRenderer& renderer) override;
    bool OnMove(std::int32_t x, std::int32_t y) override;
    bool OnLButtonDown(std::int32_t x, std::int32_t y) override;
    bool OnLButtonUp(std::int32_t x, std::int32_t y) override;
    bool OnMButtonDown(std::int32_t x, std::int32_t y) override;
    bool OnMButtonUp(std::int32_t x, std::int32_t y) override;
    bool OnRButtonDown(std::int32_t x, std::int32_t y) override;
    bool OnRButtonUp(std::int32_t x, std::int32_t y) override;
    bool OnKey(std::int32_t key) override;  // Tab / Shift+Tab between the children
    CGUIElement* GetWindow() override;

    // Font height + 3 with a title and a font, else 0.
    std::int32_t TitleBarHeight();
    void BeginModal();
    void EndModal();
    // Client area fitted to the children.
    void AutoSize();
    bool IsModal() const { return modal != 0; }
    // Forgets a window that is going away (the host calls it on every window).
    void ForgetWindow(CGUIElement* window);

    std::uint32_t titleBackground = 0xFF000000u;
    std::uint32_t titleColour = 0xFFFFFFFFu;
    std::uint8_t movable = 0;
    std::uint8_t dragging = 0;
    std::int32_t dragX = 0, dragY = 0;
    std::uint8_t modal = 0;
    CGUIElement* previousActive = nullptr;  // not owned
};

}  // namespace ove
