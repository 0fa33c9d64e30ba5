// The game window and its viewport: the one SDL window of the game, the rectangle inside it
// that shows the game (letter-boxed when the game has a fixed size), and the translation of
// keyboard and mouse input into the game host's key codes and mouse events.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>

#include "win/Window.h"

namespace ove {

// What the game windows need from the game host. The host implements it and attaches itself
// with CGameWindow::AttachGame.
class IWindowInput {
public:
    // A key code: a character as a signed byte, scan code x 256, or 256 + letter for Alt chords.
    virtual void RouteKey(std::int32_t code) = 0;
    // x, y in viewport client coordinates; kind as EMouseKind; wheelDelta in notches (kind 7).
    virtual void MouseEvent(std::int32_t x, std::int32_t y, std::int32_t kind, std::int32_t wheelDelta) = 0;
    // New client size of a flexible game, or (-1, -1) when a fixed-size game only needs a frame.
    virtual void Resize(std::int32_t width, std::int32_t height) = 0;
    virtual void ActivateApp(bool active) = 0;
    // The window's contents were lost (exposed again): the next frame must be drawn in full.
    virtual void ContentLost() {}
    // Alt+Enter: switch between window and full screen.
    virtual void ToggleFullScreen() = 0;
    // The viewport now occupies this rectangle of the window's client area (window pixels).
    virtual void ViewportChanged(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) = 0;
    // The game's logical size (0 while unknown) and whether it follows the window.
    virtual std::int32_t GetGameWidth() const = 0;
    virtual std::int32_t GetGameHeight() const = 0;
    virtual bool IsFlexibleResolution() const = 0;
    // The game draws its own mouse cursor (the system cursor is hidden over the client area).
    virtual bool HasCursorObject() const = 0;

    virtual ~IWindowInput() = default;
};

// Mouse event kinds of IWindowInput::MouseEvent.
enum EMouseKind : std::int32_t {
    kMouseEventMove = 0,
    kMouseEventLeftDown = 1,
    kMouseEventRightDown = 2,
    kMouseEventLeftUp = 3,
    kMouseEventRightUp = 4,
    kMouseEventMiddleDown = 5,
    kMouseEventMiddleUp = 6,
    kMouseEventWheel = 7,
};

// Where the viewport goes in a client area of cw x ch: all of it for a flexible game; for a
// game of fixed size gw x gh the largest rectangle of the game's proportions, centred. None
// when a size is below 1.
std::optional<SWindowRect> FitViewport(std::int32_t cw, std::int32_t ch, std::int32_t gw, std::int32_t gh,
                                       bool flexible);

class CGameViewport : public CWindow {
public:
    static constexpr std::uint32_t kEdgeTimer = 1;
    static constexpr std::uint32_t kEdgeDelayMs = 200;
    static constexpr std::int32_t kEdgeMargin = 5;

    CGameViewport();
    ~CGameViewport() override;

    void AttachGame(IWindowInput* game) { m_game = game; }
    void SetActive(bool active);
    bool IsActive() const { return m_active != 0; }
    bool IsCursorClipped() const { return m_cursorClipped != 0; }
    bool IsEdgeTimerPending() const { return m_edgeTimer != 0; }
    std::int32_t GetLastMouseX() const { return m_lastMouseX; }
    std::int32_t GetLastMouseY() const { return m_lastMouseY; }
    // Keeps the pointer over the viewport and the title bar above it.
    void ConfineCursor();
    void ReleaseCursor();

    bool OnLButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnLButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnRButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnRButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnMButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnMButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnMouseWheel(std::uint32_t keys, std::int32_t delta, std::int32_t x, std::int32_t y) override;
    bool OnMouseMove(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnTimer(std::uint32_t id) override;

private:
    bool Button(std::int32_t x, std::int32_t y, std::int32_t kind);

    IWindowInput* m_game = nullptr;
    std::uint8_t m_active = 0;
    std::uint8_t m_cursorClipped = 0;
    std::int32_t m_lastMouseX = 0;
    std::int32_t m_lastMouseY = 0;
    std::uint32_t m_edgeTimer = 0;
};

class CGameWindow : public CWindow {
public:
    CGameWindow();
    ~CGameWindow() override;

    // Creates the hidden SDL window (OpenGL, resizable, empty title, client 320 x 240 unless
    // told otherwise) and the viewport. `beforeCreate` runs first: the renderer sets its OpenGL
    // attributes there.
    bool Create(void (*beforeCreate)() = nullptr, std::string* error = nullptr, std::int32_t width = 320,
                std::int32_t height = 240);
    // Stores the game in the window and the viewport (null detaches).
    void AttachGame(IWindowInput* game);
    CGameViewport* GetViewport() const { return m_viewport.get(); }
    // The SDL window the renderer draws on.
    SDL_Window* GetSDLWindow() const { return GetHandle(); }
    // Processes pending input (PumpEvents); false when the game was asked to quit.
    static bool PumpMessages() { return PumpEvents(); }
    // Asks for the window to be closed as if the user had clicked its close box: the next pump
    // handles it.
    void PostClose();
    // Moves the window so that it lies inside the work area of its display (right and bottom
    // edges first, then left and top).
    void KeepOnMonitor();

    // The window may not be made smaller than min(game size, this) by dragging.
    void SetMinClientSize(std::int32_t width, std::int32_t height);
    // Lays the viewport out again for the current client size (after the game's size or mode
    // changed, e.g. once the renderer exists).
    void UpdateLayout();
    // Full screen at the desktop resolution, or back to the window.
    void SetFullScreenStyle(bool on);
    bool IsSystemCursorShown() const { return m_systemCursorShown != 0; }
    bool IsTopmostWhenActive() const { return m_topmostWhenActive != 0; }

    std::int32_t OnCreate() override;
    bool OnClose() override;
    bool OnChar(std::int32_t character, std::uint32_t flags) override;
    bool OnKeyDown(std::int32_t virtualKey, std::uint32_t flags) override;
    bool OnSysKeyDown(std::int32_t virtualKey, std::uint32_t flags) override;
    bool OnActivateApp(bool active) override;
    bool OnGetMinMaxInfo(SMinMaxInfo& info) override;
    bool OnSize(std::int32_t type, std::int32_t width, std::int32_t height) override;
    bool OnPaint() override;
    bool OnMove(std::int32_t x, std::int32_t y) override;
    bool OnSetCursor(std::int32_t hitTest) override;
    // Buttons and the wheel over the margins around the viewport act at the last point the
    // pointer had inside the viewport.
    bool OnLButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnLButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnRButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnRButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnMButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnMButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) override;
    bool OnMouseWheel(std::uint32_t keys, std::int32_t delta, std::int32_t x, std::int32_t y) override;

private:
    void LayoutViewport(std::int32_t cw, std::int32_t ch);
    void ApplyMinimumSize();
    // Brings the pointer back to the viewport's last point (when it is over the margins).
    bool BackToViewport(std::int32_t x, std::int32_t y);

    IWindowInput* m_game = nullptr;
    std::unique_ptr<CGameViewport> m_viewport;
    std::int32_t m_initialWidth = 320;
    std::int32_t m_initialHeight = 240;
    std::int32_t m_minClientWidth = 320;
    std::int32_t m_minClientHeight = 240;
    std::uint8_t m_systemCursorShown = 1;
    std::uint8_t m_topmostWhenActive = 0;
    SMinMaxInfo m_appliedMinimum;
};

}  // namespace ove
