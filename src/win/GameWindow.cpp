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
    doubleClicks_ = false;
}

CGameViewport::~CGameViewport() {
    ReleaseCursor();
    Destroy();
}

void CGameViewport::SetActive(bool active) {
    active_ = active ? 1 : 0;
    if (!active) ReleaseCursor();
}

void CGameViewport::ConfineCursor() {
    if (cursorClipped_ || !active_) return;
    SDL_Window* handle = GetHandle();
    if (!handle) return;
    // The title bar stays reachable so that the window can still be moved and closed.
    const std::int32_t caption = GetNativeCaptionHeight(handle);
    SWindowRect r{GetLeft(), GetTop() - caption, GetClientWidth(), GetClientHeight() + caption};
    ConfineNativePointer(handle, &r);
    cursorClipped_ = 1;
}

void CGameViewport::ReleaseCursor() {
    if (!cursorClipped_) return;
    ConfineNativePointer(GetHandle(), nullptr);
    cursorClipped_ = 0;
}

bool CGameViewport::Button(std::int32_t x, std::int32_t y, std::int32_t kind) {
    if (game_) game_->MouseEvent(x, y, kind, 0);
    return true;
}

bool CGameViewport::OnLButtonDown(std::uint32_t, std::int32_t x, std::int32_t y) { return Button(x, y, kMouseEventLeftDown); }
bool CGameViewport::OnLButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) { return Button(x, y, kMouseEventLeftUp); }
bool CGameViewport::OnRButtonDown(std::uint32_t, std::int32_t x, std::int32_t y) { return Button(x, y, kMouseEventRightDown); }
bool CGameViewport::OnRButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) { return Button(x, y, kMouseEventRightUp); }
bool CGameViewport::OnMButtonDown(std::uint32_t, std::int32_t x, std::int32_t y) { return Button(x, y, kMouseEventMiddleDown); }
bool CGameViewport::OnMButtonUp(std::uint32_t, std::int32_t x, std::int32_t y) { return Button(x, y, kMouseEventMiddleUp); }

bool CGameViewport::OnMouseWheel(std::uint32_t, std::int32_t delta, std::int32_t x, std::int32_t y) {
    // Whole notches only: a touchpad's fraction of a notch scrolls nothing.
    const std::int32_t steps = delta / 120;
    if (steps != 0 && game_) game_->MouseEvent(x, y, kMouseEventWheel, steps);
    return true;
}

bool CGameViewport::OnMouseMove(std::uint32_t, std::int32_t x, std::int32_t y) {
    lastMouseX_ = x;
    lastMouseY_ = y;
    if (!game_) return true;
    if (!game_->IsFlexibleResolution()) {
        // The pointer is held inside a fixed-size game, except that resting near an edge for a
        // moment lets it go.
        const bool inside = x >= kEdgeMargin && y >= kEdgeMargin && x <= GetClientWidth() - kEdgeMargin &&
                            y <= GetClientHeight() - kEdgeMargin;
        if (inside) {
            if (edgeTimer_) {
                KillTimer(edgeTimer_);
                edgeTimer_ = 0;
            }
            ConfineCursor();
        } else if (!edgeTimer_) {
            SetTimer(kEdgeTimer, kEdgeDelayMs);
            edgeTimer_ = kEdgeTimer;
        }
    }
    game_->MouseEvent(x, y, kMouseEventMove, 0);
    return true;
}

bool CGameViewport::OnTimer(std::uint32_t id) {
    if (id != kEdgeTimer || !edgeTimer_) return false;
    KillTimer(edgeTimer_);
    edgeTimer_ = 0;
    ReleaseCursor();
    return true;
}

// ---------------------------------------------------------------- game window

CGameWindow::CGameWindow() {
    doubleClicks_ = false;
}

CGameWindow::~CGameWindow() {
    if (!systemCursorShown_) ShowSystemCursor(true);
    viewport_.reset();
    Destroy();
}

bool CGameWindow::Create(void (*beforeCreate)(), std::string* error, std::int32_t width, std::int32_t height) {
    SNativeWindowOptions options;
    options.opengl = true;
    options.resizable = true;
    options.hidden = true;
    // Created at its final size: some video drivers (the offscreen one among them) never resize
    // the drawing surface after creation.
    initialWidth_ = std::max(1, width);
    initialHeight_ = std::max(1, height);
    return CWindow::Create("", initialWidth_, initialHeight_, options, beforeCreate, error);
}

std::int32_t CGameWindow::OnCreate() {
    viewport_ = std::make_unique<CGameViewport>();
    if (!viewport_->CreateChild(this, 0, 0, initialWidth_, initialHeight_)) return -1;
    viewport_->AttachGame(game_);
    return 0;
}

void CGameWindow::AttachGame(IWindowInput* game) {
    game_ = game;
    if (viewport_) viewport_->AttachGame(game);
    ApplyMinimumSize();
}

void CGameWindow::SetMinClientSize(std::int32_t width, std::int32_t height) {
    minClientWidth_ = width;
    minClientHeight_ = height;
    ApplyMinimumSize();
}

bool CGameWindow::OnGetMinMaxInfo(SMinMaxInfo& info) {
    std::int32_t w = minClientWidth_, h = minClientHeight_;
    if (game_ && game_->GetGameWidth() > 0 && game_->GetGameHeight() > 0) {
        w = std::min(game_->GetGameWidth(), w);
        h = std::min(game_->GetGameHeight(), h);
    }
    info.minTrackWidth = w;
    info.minTrackHeight = h;
    return true;
}

void CGameWindow::ApplyMinimumSize() {
    SMinMaxInfo info;
    if (!OnGetMinMaxInfo(info)) return;
    if (info.minTrackWidth == appliedMinimum_.minTrackWidth && info.minTrackHeight == appliedMinimum_.minTrackHeight) {
        return;
    }
    if (!GetHandle()) return;
    SetNativeMinimumClientSize(GetHandle(), info.minTrackWidth, info.minTrackHeight);
    appliedMinimum_ = info;
}

void CGameWindow::LayoutViewport(std::int32_t cw, std::int32_t ch) {
    if (!viewport_) return;
    const bool flexible = !game_ || game_->IsFlexibleResolution();
    std::optional<SWindowRect> r =
        FitViewport(cw, ch, game_ ? game_->GetGameWidth() : 0, game_ ? game_->GetGameHeight() : 0, flexible);
    if (!r) {
        if (cw < 1 || ch < 1) return;  // minimised: keep the last layout
        r = SWindowRect{0, 0, cw, ch};  // game size not known yet: fill the window
    }
    viewport_->MoveWindow(r->x, r->y, r->width, r->height);
    if (!game_) return;
    game_->ViewportChanged(r->x, r->y, r->width, r->height);
    if (flexible) game_->Resize(cw, ch);
    else game_->Resize(-1, -1);
}

void CGameWindow::UpdateLayout() {
    LayoutViewport(GetClientWidth(), GetClientHeight());
    ApplyMinimumSize();
}

bool CGameWindow::OnSize(std::int32_t type, std::int32_t width, std::int32_t height) {
    LayoutViewport(width, height);
    if (viewport_) viewport_->ReleaseCursor();
    CWindow::OnSize(type, width, height);
    ApplyMinimumSize();
    return true;
}

bool CGameWindow::OnPaint() {
    if (game_) game_->ContentLost();
    return true;
}

bool CGameWindow::OnMove(std::int32_t, std::int32_t) {
    if (viewport_) viewport_->ReleaseCursor();
    return false;
}

bool CGameWindow::OnClose() {
    // The host learns of it at its next pump and calls the script's Quit().
    PostQuit();
    return true;
}

bool CGameWindow::OnChar(std::int32_t character, std::uint32_t) {
    if (game_) game_->RouteKey(static_cast<std::int8_t>(static_cast<std::uint8_t>(character)));
    return true;
}

bool CGameWindow::OnKeyDown(std::int32_t, std::uint32_t flags) {
    // A key that types a character is reported by its character message.
    if (flags & kKeyFlagCharacter) return true;
    if (game_) game_->RouteKey(KeyFlagsScanCode(flags) * 256);
    return true;
}

bool CGameWindow::OnSysKeyDown(std::int32_t virtualKey, std::uint32_t flags) {
    if (flags & kKeyFlagAlt) {
        if (virtualKey == kVkReturn) {
            // Holding the keys down does not flip the screen mode back and forth.
            if (!(flags & kKeyFlagRepeat) && game_) game_->ToggleFullScreen();
            return true;
        }
        if (virtualKey >= 'A' && virtualKey <= 'Z') {
            if (game_) game_->RouteKey(256 + virtualKey);
            return true;
        }
        return false;  // Alt+F4 and the like are the system's
    }
    if (virtualKey == kVkF10) {
        if (game_) game_->RouteKey(68 * 256);
        return true;
    }
    return false;
}

bool CGameWindow::OnActivateApp(bool active) {
    // Staying above other windows while active is left to the window manager, which keeps a
    // full-screen window on top of its own accord.
    if (viewport_) viewport_->SetActive(active);
    if (game_) game_->ActivateApp(active);
    return false;
}

bool CGameWindow::OnSetCursor(std::int32_t hitTest) {
    if (hitTest == kHitClient && game_ && game_->HasCursorObject()) {
        if (systemCursorShown_) {
            ShowSystemCursor(false);
            systemCursorShown_ = 0;
        }
        return true;
    }
    if (!systemCursorShown_) {
        ShowSystemCursor(true);
        systemCursorShown_ = 1;
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
    if (viewport_) viewport_->ReleaseCursor();
    SetNativeFullScreen(GetHandle(), on);
    topmostWhenActive_ = on ? 1 : 0;
}

bool CGameWindow::BackToViewport(std::int32_t x, std::int32_t y) {
    if (!viewport_) return false;
    // A release after a drag that left the window arrives here too: it is delivered at the
    // last point without moving the pointer.
    if (x >= 0 && y >= 0 && x < GetClientWidth() && y < GetClientHeight()) {
        WarpNativePointer(GetHandle(), viewport_->GetLeft() + viewport_->GetLastMouseX(),
                          viewport_->GetTop() + viewport_->GetLastMouseY());
    }
    return true;
}

bool CGameWindow::OnLButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) && viewport_->OnLButtonDown(keys, viewport_->GetLastMouseX(), viewport_->GetLastMouseY());
}
bool CGameWindow::OnLButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) && viewport_->OnLButtonUp(keys, viewport_->GetLastMouseX(), viewport_->GetLastMouseY());
}
bool CGameWindow::OnRButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) && viewport_->OnRButtonDown(keys, viewport_->GetLastMouseX(), viewport_->GetLastMouseY());
}
bool CGameWindow::OnRButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) && viewport_->OnRButtonUp(keys, viewport_->GetLastMouseX(), viewport_->GetLastMouseY());
}
bool CGameWindow::OnMButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) && viewport_->OnMButtonDown(keys, viewport_->GetLastMouseX(), viewport_->GetLastMouseY());
}
bool CGameWindow::OnMButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) && viewport_->OnMButtonUp(keys, viewport_->GetLastMouseX(), viewport_->GetLastMouseY());
}
bool CGameWindow::OnMouseWheel(std::uint32_t keys, std::int32_t delta, std::int32_t x, std::int32_t y) {
    return BackToViewport(x, y) &&
           viewport_->OnMouseWheel(keys, delta, viewport_->GetLastMouseX(), viewport_->GetLastMouseY());
}

}  // namespace ove
