#include "GameWindow.h"

#include <algorithm>

#include "platform/Keys.h"

namespace ove {

std::optional<SWindowRect> FitViewport(std::int32_t cw, std::int32_t ch, std::int32_t gw, std::int32_t gh,
                                       bool flexible) {
    if (cw < 1 || ch < 1) return std::nullopt;
    if (flexible) return SWindowRect{0, 0, cw, ch};
    if (gw < 1 || gh < 1) return std::nullopt;
    std::int64_t width, height;
    if (static_cast<float>(cw) / static_cast<float>(ch) < static_cast<float>(gw) / static_cast<float>(gh)) {
        width = cw;
        height = static_cast<std::int64_t>(gh) * cw / gw;
    } else {
        width = static_cast<std::int64_t>(gw) * ch / gh;
        height = ch;
    }
    SWindowRect r;
    r.width = static_cast<std::int32_t>(width);
    r.height = static_cast<std::int32_t>(height);
    r.x = (cw - r.width) >> 1;
    r.y = (ch - r.height) >> 1;
    return r;
}

// ---------------------------------------------------------------- viewport

CGameViewport::CGameViewport() {
    // The game sees every click as a click; double clicks are its own business.
    m_doubleClicks = false;
}

CGameViewport::~CGameViewport() {
    ReleaseCursor();
    Destroy();
}

void CGameViewport::SetActive(bool active) {
    m_active = active ? 1 : 0;
    if (!active) ReleaseCursor();
}

void CGameViewport::ConfineCursor() {
    if (m_cursorClipped || !m_active) return;
    SDL_Window* handle = GetHandle();
    if (!handle) return;
    // The title bar stays reachable so that the window can still be moved and closed.
    const std::int32_t caption = GetNativeCaptionHeight(handle);
    SWindowRect r{GetLeft(), GetTop() - caption, GetClientWidth(), GetClientHeight() + caption};
    ConfineNativePointer(handle, &r);
    m_cursorClipped = 1;
}

void CGameViewport::ReleaseCursor() {
    if (!m_cursorClipped) return;
    ConfineNativePointer(GetHandle(), nullptr);
    m_cursorClipped = 0;
}

bool CGameViewport::Button(std::int32_t x, std::int32_t y, std::int32_t kind) {
    if (m_game) m_game->MouseEvent(x, y, kind, 0);
    return true;
}

bool CGameViewport::OnLButtonDown(std::uint32_t, std::int32_t x, std::int32_t y) {
    return Button(x, y, kMouseEventLeftDown);
}
bool CGameViewport::OnLButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) {
    return Button(x, y, kMouseEventLeftUp);
}
bool CGameViewport::OnRButtonDown(std::uint32_t, std::int32_t x, std::int32_t y) {
    return Button(x, y, kMouseEventRightDown);
}
bool CGameViewport::OnRButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) {
    return Button(x, y, kMouseEventRightUp);
}
bool CGameViewport::OnMButtonDown(std::uint32_t, std::int32_t x, std::int32_t y) {
    return Button(x, y, kMouseEventMiddleDown);
}
bool CGameViewport::OnMButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) {
    return Button(x, y, kMouseEventMiddleUp);
}

bool CGameViewport::OnMouseWheel(std::uint32_t, std::int32_t delta, std::int32_t x, std::int32_t y) {
    // Whole notches only: a touchpad's fraction of a notch scrolls nothing.
    const std::int32_t steps = delta / 120;
    if (steps != 0 && m_game) m_game->MouseEvent(x, y, kMouseEventWheel, steps);
    return true;
}

bool CGameViewport::OnMouseMove(std::uint32_t, std::int32_t x, std::int32_t y) {
    m_lastMouseX = x;
    m_lastMouseY = y;
    if (!m_game) return true;
    if (!m_game->IsFlexibleResolution()) {
        // The pointer is held inside a fixed-size game, except that resting near an edge for a
        // moment lets it go.
        const bool inside = x >= kEdgeMargin && y >= kEdgeMargin && x <= GetClientWidth() - kEdgeMargin &&
                            y <= GetClientHeight() - kEdgeMargin;
        if (inside) {
            if (m_edgeTimer) {
                KillTimer(m_edgeTimer);
                m_edgeTimer = 0;
            }
            ConfineCursor();
        } else if (!m_edgeTimer) {
            SetTimer(kEdgeTimer, kEdgeDelayMs);
            m_edgeTimer = kEdgeTimer;
        }
    }
    m_game->MouseEvent(x, y, kMouseEventMove, 0);
    return true;
}

bool CGameViewport::OnTimer(std::uint32_t id) {
    if (id != kEdgeTimer || !m_edgeTimer) return false;
    KillTimer(m_edgeTimer);
    m_edgeTimer = 0;
    ReleaseCursor();
    return true;
}

// ---------------------------------------------------------------- game window

CGameWindow::CGameWindow() { m_doubleClicks = false; }

CGameWindow::~CGameWindow() {
    if (!m_systemCursorShown) ShowSystemCursor(true);
    m_viewport.reset();
    Destroy();
}

bool CGameWindow::Create(void (*beforeCreate)(), std::string* error, std::int32_t width, std::int32_t height) {
    SNativeWindowOptions options;
    options.opengl = true;
    options.resizable = true;
    options.hidden = true;
    // Created at its final size: some video drivers (the offscreen one among them) never resize
    // the drawing surface after creation.
    m_initialWidth = std::max(1, width);
    m_initialHeight = std::max(1, height);
    return CWindow::Create("", m_initialWidth, m_initialHeight, options, beforeCreate, error);
}

std::int32_t CGameWindow::OnCreate() {
    m_viewport = std::make_unique<CGameViewport>();
    if (!m_viewport->CreateChild(this, 0, 0, m_initialWidth, m_initialHeight)) return -1;
    m_viewport->AttachGame(m_game);
    return 0;
}

void CGameWindow::AttachGame(IWindowInput* game) {
    m_game = game;
    if (m_viewport) m_viewport->AttachGame(game);
    ApplyMinimumSize();
}

void CGameWindow::SetMinClientSize(std::int32_t width, std::int32_t height) {
    m_minClientWidth = width;
    m_minClientHeight = height;
    ApplyMinimumSize();
}

bool CGameWindow::OnGetMinMaxInfo(SMinMaxInfo& info) {
    std::int32_t w = m_minClientWidth, h = m_minClientHeight;
    if (m_game && m_game->GetGameWidth() > 0 && m_game->GetGameHeight() > 0) {
        w = std::min(m_game->GetGameWidth(), w);
        h = std::min(m_game->GetGameHeight(), h);
    }
    info.minTrackWidth = w;
    info.minTrackHeight = h;
    return true;
}

void CGameWindow::ApplyMinimumSize() {
    SMinMaxInfo info;
    if (!OnGetMinMaxInfo(info)) return;
    if (info.minTrackWidth == m_appliedMinimum.minTrackWidth &&
        info.minTrackHeight == m_appliedMinimum.minTrackHeight) {
        return;
    }
    if (!GetHandle()) return;
    SetNativeMinimumClientSize(GetHandle(), info.minTrackWidth, info.minTrackHeight);
    m_appliedMinimum = info;
}

void CGameWindow::LayoutViewport(std::int32_t cw, std::int32_t ch) {
    if (!m_viewport) return;
    const bool flexible = !m_game || m_game->IsFlexibleResolution();
    std::optional<SWindowRect> r = FitViewport(cw, ch, m_game ? m_game->GetGameWidth() : 0,
                                               m_game ? m_game->GetGameHeight() : 0, flexible);
    if (!r) {
        if (cw < 1 || ch < 1) return;   // minimised: keep the last layout
        r = SWindowRect{0, 0, cw, ch};  // game size not known yet: fill the window
    }
    m_viewport->MoveWindow(r->x, r->y, r->width, r->height);
    if (!m_game) return;
    m_game->ViewportChanged(r->x, r->y, r->width, r->height);
    if (flexible) m_game->Resize(cw, ch);
    else m_game->Resize(-1, -1);
}

void CGameWindow::UpdateLayout() {
    LayoutViewport(GetClientWidth(), GetClientHeight());
    ApplyMinimumSize();
}

bool CGameWindow::OnSize(std::int32_t type, std::int32_t width, std::int32_t height) {
    LayoutViewport(width, height);
    if (m_viewport) m_viewport->ReleaseCursor();
    CWindow::OnSize(type, width, height);
    ApplyMinimumSize();
    return true;
}

bool CGameWindow::OnPaint() {
    if (m_game) m_game->ContentLost();
    return true;
}

bool CGameWindow::OnMove(std::int32_t, std::int32_t) {
    if (m_viewport) m_viewport->ReleaseCursor();
    return false;
}

bool CGameWindow::OnClose() {
    // The host learns of it at its next pump and calls the script's Quit().
    PostQuit();
    return true;
}

bool CGameWindow::OnChar(std::int32_t character, std::uint32_t) {
    if (m_game) m_game->RouteKey(static_cast<std::int8_t>(static_cast<std::uint8_t>(character)));
    return true;
}

bool CGameWindow::OnKeyDown(std::int32_t, std::uint32_t flags) {
    // A key that types a character is reported by its character message.
    if (flags & kKeyFlagCharacter) return true;
    if (m_game) m_game->RouteKey(KeyFlagsScanCode(flags) * 256);
    return true;
}

bool CGameWindow::OnSysKeyDown(std::int32_t virtualKey, std::uint32_t flags) {
    if (flags & kKeyFlagAlt) {
        if (virtualKey == kVkReturn) {
            // Holding the keys down does not flip the screen mode back and forth.
            if (!(flags & kKeyFlagRepeat) && m_game) m_game->ToggleFullScreen();
            return true;
        }
        if (virtualKey >= 'A' && virtualKey <= 'Z') {
            if (m_game) m_game->RouteKey(256 + virtualKey);
            return true;
        }
        return false;  // Alt+F4 and the like are the system's
    }
    if (virtualKey == kVkF10) {
        if (m_game) m_game->RouteKey(68 * 256);
        return true;
    }
    return false;
}

bool CGameWindow::OnActivateApp(bool active) {
    // Staying above other windows while active is left to the window manager, which keeps a
    // full-screen window on top of its own accord.
    if (m_viewport) m_viewport->SetActive(active);
    if (m_game) m_game->ActivateApp(active);
    return false;
}

bool CGameWindow::OnSetCursor(std::int32_t hitTest) {
    if (hitTest == kHitClient && m_game && m_game->HasCursorObject()) {
        if (m_systemCursorShown) {
            ShowSystemCursor(false);
            m_systemCursorShown = 0;
        }
        return true;
    }
    if (!m_systemCursorShown) {
        ShowSystemCursor(true);
        m_systemCursorShown = 1;
    }
    return false;
}

void CGameWindow::PostClose() { PostWindowClose(GetHandle()); }

void CGameWindow::KeepOnMonitor() {
    SDL_Window* handle = GetHandle();
    SWindowRect work;
    if (!handle || !GetWorkArea(handle, work)) return;
    const SWindowRect w = GetWindowRect();
    const std::int32_t right = w.x + w.width, bottom = w.y + w.height;
    std::int32_t dx = right >= work.x + work.width ? work.x + work.width - right : 0;
    std::int32_t dy = bottom >= work.y + work.height ? work.y + work.height - bottom : 0;
    if (w.x + dx < work.x) dx = work.x - w.x;
    if (w.y + dy < work.y) dy = work.y - w.y;
    MoveBy(dx, dy);
}

void CGameWindow::SetFullScreenStyle(bool on) {
    if (m_viewport) m_viewport->ReleaseCursor();
    SetNativeFullScreen(GetHandle(), on);
    m_topmostWhenActive = on ? 1 : 0;
}

bool CGameWindow::BackToViewport(std::int32_t x, std::int32_t y) {
    if (!m_viewport) return false;
    // A release after a drag that left the window arrives here too: it is delivered at the
    // last point without moving the pointer.
    if (x >= 0 && y >= 0 && x < GetClientWidth() && y < GetClientHeight()) {
        WarpNativePointer(GetHandle(), m_viewport->GetLeft() + m_viewport->GetLastMouseX(),
                          m_viewport->GetTop() + m_viewport->GetLastMouseY());
    }
    return true;
}

bool CGameWindow::OnLButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) &&
           m_viewport->OnLButtonDown(keys, m_viewport->GetLastMouseX(), m_viewport->GetLastMouseY());
}
bool CGameWindow::OnLButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) &&
           m_viewport->OnLButtonUp(keys, m_viewport->GetLastMouseX(), m_viewport->GetLastMouseY());
}
bool CGameWindow::OnRButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) &&
           m_viewport->OnRButtonDown(keys, m_viewport->GetLastMouseX(), m_viewport->GetLastMouseY());
}
bool CGameWindow::OnRButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) &&
           m_viewport->OnRButtonUp(keys, m_viewport->GetLastMouseX(), m_viewport->GetLastMouseY());
}
bool CGameWindow::OnMButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) &&
           m_viewport->OnMButtonDown(keys, m_viewport->GetLastMouseX(), m_viewport->GetLastMouseY());
}
bool CGameWindow::OnMButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) &&
           m_viewport->OnMButtonUp(keys, m_viewport->GetLastMouseX(), m_viewport->GetLastMouseY());
}
bool CGameWindow::OnMouseWheel(std::uint32_t keys, std::int32_t delta, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) &&
           m_viewport->OnMouseWheel(keys, delta, m_viewport->GetLastMouseX(), m_viewport->GetLastMouseY());
}

}  // namespace ove
