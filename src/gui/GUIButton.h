// Push buttons: a label with four states, and the graphic button drawn from view cels.
#pragma once
#include "gui/TextLabel.h"

namespace ove {

class CView;

enum : std::int32_t { kButtonNormal = 0, kButtonDisabled = 1, kButtonOver = 2, kButtonDown = 3 };

class CGUIButton : public CTextLabel {
public:
    // Centred text; the system look when the parent has it.
    explicit CGUIButton(CGUIElement* parent);

    void SetStyle(std::int32_t style) override;
    void Draw(CRenderer& renderer) override;
    void OnMouseEnter() override;  // state 2 (1 when disabled), then "onEnter"
    void OnMouseLeave() override;  // state 0 (1 when disabled), then "onLeave"
    bool OnLButtonDown(std::int32_t x, std::int32_t y) override;
    // A release after a press on the button clicks it ("onClick").
    bool OnLButtonUp(std::int32_t x, std::int32_t y) override;

    std::int32_t state = kButtonNormal;
};

// A button drawn from a view cel per state (default, disabled, over, down). The auto-size fields
// scale the picture.
class CGraphicButton : public CGUIButton {
public:
    static constexpr int kStates = 4;

    explicit CGraphicButton(CGUIElement* parent);
    ~CGraphicButton() override;

    void Draw(CRenderer& renderer) override;
    // Cycles the cels of the states that animate.
    void Animate() override;

    // Setting state 0's view sets it for all four states.
    void SetView(int state, CView* view);
    void SetLoop(int state, std::int32_t loop);
    void SetCel(int state, std::int32_t cel);  // -1: cycle through the loop
    CView* GetView(int state) const;
    // The view's name, or null.
    const char* GetViewName(int state) const;
    std::int32_t GetLoop(int state) const;
    std::int32_t GetCelSetting(int state) const;
    std::int32_t GetCurrentCel(int state) const;
    // With both auto-size fields negative: the client area takes the size of the current cel.
    void FitToCel();

private:
    struct SStatePicture {
        TResourceRef<CView> view;
        std::int32_t loop = 0;
        std::int32_t cel = 0;      // setting: fixed cel, or -1 to animate
        std::int32_t current = 0;  // cel shown
    };
    static int StateIndex(int state);
    SStatePicture m_pictures[kStates];
};

}  // namespace ove

namespace ove {
using CGUIGraphicButton = CGraphicButton;
}  // namespace ove
