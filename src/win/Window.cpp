#include "Window.h"

#include <algorithm>

namespace ove {

CWindow::CWindow() = default;

CWindow::~CWindow() { Destroy(); }

bool CWindow::Create(const std::string& title, int width, int height, const SNativeWindowOptions& options,
                     void (*beforeCreate)(), std::string* error) {
    if (created_) return false;
    if (beforeCreate) beforeCreate();
    handle_ = CreateNativeWindow(title, width, height, options, error);
    if (!handle_) return false;
    created_ = true;
    AttachMessageTarget(handle_, this);
    int w = 0, h = 0;
    GetNativeClientSize(handle_, w, h);
    clientWidth_ = w;
    clientHeight_ = h;
    if (OnCreate() == -1) {
        Destroy();
        return false;
    }
    return true;
}

bool CWindow::CreateChild(CWindow* parent, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    if (created_ || !parent || parent == this) return false;
    parent_ = parent;
    parent->children_.push_back(this);
    left_ = x;
    top_ = y;
    clientWidth_ = width;
    clientHeight_ = height;
    created_ = true;
    if (OnCreate() == -1) {
        Destroy();
        return false;
    }
    return true;
}

void CWindow::Destroy() {
    if (!created_) return;
    OnDestroy();
    created_ = false;
    modalEnded_ = true;
    DetachMessageTarget(this);
    for (CWindow* child : children_) child->parent_ = nullptr;
    children_.clear();
    if (parent_) {
        std::erase(parent_->children_, this);
        parent_ = nullptr;
    }
    if (handle_) {
        DestroyNativeWindow(handle_);
        handle_ = nullptr;
    }
}

SDL_Window* CWindow::GetHandle() const {
    const CWindow* w = this;
    while (w->parent_) w = w->parent_;
    return w->handle_;
}

std::int32_t CWindow::RunModal() {
    Show(EShow::Show);
    modalEnded_ = false;
    modalCode_ = 0;
    while (!modalEnded_) {
        if (!WaitAndPumpEvents(50)) {
            PostQuit();
            return 0;
        }
    }
    return modalCode_;
}

void CWindow::EndModal(std::int32_t code) {
    modalCode_ = code;
    modalEnded_ = true;
}

void CWindow::Show(EShow command) { ShowNativeWindow(handle_, command); }

bool CWindow::IsHandle(SDL_Window* handle) const { return handle != nullptr && handle == handle_; }

bool CWindow::OnActivate(bool) { return false; }
bool CWindow::OnActivateApp(bool) { return false; }
bool CWindow::OnChar(std::int32_t, std::uint32_t) { return false; }
bool CWindow::OnClose() {
    EndModal(0);
    return false;
}
std::int32_t CWindow::OnCreate() { return 0; }
bool CWindow::OnDestroy() { return true; }
bool CWindow::OnDisplayChange(std::int32_t, std::int32_t, std::int32_t) { return true; }
bool CWindow::OnDropFiles(const std::string&) { return true; }
bool CWindow::OnGetMinMaxInfo(SMinMaxInfo&) { return false; }
bool CWindow::OnKeyDown(std::int32_t, std::uint32_t) { return false; }
bool CWindow::OnKeyUp(std::int32_t, std::uint32_t) { return false; }
bool CWindow::OnKillFocus() { return false; }
bool CWindow::OnLButtonDblClk(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnLButtonDown(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnLButtonUp(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnMButtonDblClk(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnMButtonDown(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnMButtonUp(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnMouseMove(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnMouseWheel(std::uint32_t, std::int32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnMove(std::int32_t, std::int32_t) { return false; }
bool CWindow::OnPaint() { return false; }
bool CWindow::OnRButtonDblClk(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnRButtonDown(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnRButtonUp(std::uint32_t, std::int32_t, std::int32_t) { return false; }
bool CWindow::OnSetCursor(std::int32_t) { return false; }
bool CWindow::OnSetFocus() { return false; }
bool CWindow::OnSize(std::int32_t, std::int32_t width, std::int32_t height) {
    clientWidth_ = width;
    clientHeight_ = height;
    return true;
}
bool CWindow::OnSysChar(std::int32_t, std::uint32_t) { return false; }
bool CWindow::OnSysKeyDown(std::int32_t, std::uint32_t) { return false; }
bool CWindow::OnSysKeyUp(std::int32_t, std::uint32_t) { return false; }
bool CWindow::OnTimer(std::uint32_t) { return false; }
bool CWindow::OnMessage(const SMessage&) { return false; }

CWindow* CWindow::ChildAt(std::int32_t x, std::int32_t y) const {
    // The child created last lies on top.
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        const CWindow* c = *it;
        if (x >= c->left_ && y >= c->top_ && x < c->left_ + c->clientWidth_ && y < c->top_ + c->clientHeight_) {
            return *it;
        }
    }
    return nullptr;
}

void CWindow::WindowProc(const SMessage& message) {
    switch (message.message) {
    case EMessage::MouseMove:
    case EMessage::LButtonDown:
    case EMessage::LButtonUp:
    case EMessage::RButtonDown:
    case EMessage::RButtonUp:
    case EMessage::MButtonDown:
    case EMessage::MButtonUp:
    case EMessage::MouseWheel:
        if (CWindow* child = ChildAt(message.x, message.y)) {
            SMessage local = message;
            local.x -= child->left_;
            local.y -= child->top_;
            child->WindowProc(local);
            return;
        }
        break;
    case EMessage::Size:
        // Repeats of the size the window already has (the system confirming a change that
        // was made here) are not news.
        if (message.x == clientWidth_ && message.y == clientHeight_) return;
        break;
    default: break;
    }
    if (!Dispatch(message) && message.message == EMessage::Close) Destroy();
}

bool CWindow::Dispatch(const SMessage& m) {
    const bool dbl = doubleClicks_ && m.clicks >= 2 && m.clicks % 2 == 0;
    switch (m.message) {
    case EMessage::Close: return OnClose();
    case EMessage::Size: return OnSize(m.param, m.x, m.y);
    case EMessage::Move: return OnMove(m.x, m.y);
    case EMessage::Paint: return OnPaint();
    case EMessage::Activate: return OnActivate(m.param != 0);
    case EMessage::ActivateApp: return OnActivateApp(m.param != 0);
    case EMessage::SetFocus: return OnSetFocus();
    case EMessage::KillFocus: return OnKillFocus();
    case EMessage::SetCursor: return OnSetCursor(m.param);
    case EMessage::KeyDown: return OnKeyDown(m.param, m.flags);
    case EMessage::KeyUp: return OnKeyUp(m.param, m.flags);
    case EMessage::SysKeyDown: return OnSysKeyDown(m.param, m.flags);
    case EMessage::SysKeyUp: return OnSysKeyUp(m.param, m.flags);
    case EMessage::Char: return OnChar(m.param, m.flags);
    case EMessage::SysChar: return OnSysChar(m.param, m.flags);
    case EMessage::MouseMove: return OnMouseMove(m.flags, m.x, m.y);
    case EMessage::LButtonDown: return dbl ? OnLButtonDblClk(m.flags, m.x, m.y) : OnLButtonDown(m.flags, m.x, m.y);
    case EMessage::LButtonUp: return OnLButtonUp(m.flags, m.x, m.y);
    case EMessage::RButtonDown: return dbl ? OnRButtonDblClk(m.flags, m.x, m.y) : OnRButtonDown(m.flags, m.x, m.y);
    case EMessage::RButtonUp: return OnRButtonUp(m.flags, m.x, m.y);
    case EMessage::MButtonDown: return dbl ? OnMButtonDblClk(m.flags, m.x, m.y) : OnMButtonDown(m.flags, m.x, m.y);
    case EMessage::MButtonUp: return OnMButtonUp(m.flags, m.x, m.y);
    case EMessage::MouseWheel: return OnMouseWheel(m.flags, m.param, m.x, m.y);
    case EMessage::Timer: return OnTimer(static_cast<std::uint32_t>(m.param));
    case EMessage::DisplayChange: return OnDisplayChange(m.param, m.x, m.y);
    case EMessage::DropFiles: return OnDropFiles(m.text ? m.text : "");
    }
    return OnMessage(m);
}

void CWindow::SetClientSize(std::int32_t width, std::int32_t height) {
    if (parent_) {
        MoveWindow(left_, top_, width, height);
        return;
    }
    if (!handle_) return;
    SetNativeClientSize(handle_, width, height);
    // Like the system does, report the new size at once rather than at the next pump.
    int w = 0, h = 0;
    GetNativeClientSize(handle_, w, h);
    if (w != clientWidth_ || h != clientHeight_) {
        SMessage m;
        m.message = EMessage::Size;
        m.x = w;
        m.y = h;
        WindowProc(m);
    }
}

void CWindow::MoveWindow(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    if (!parent_) {
        SetClientSize(width, height);
        return;
    }
    const bool moved = x != left_ || y != top_;
    left_ = x;
    top_ = y;
    if (width != clientWidth_ || height != clientHeight_) OnSize(0, width, height);
    if (moved) OnMove(x, y);
}

void CWindow::SetTitle(const std::string& title) { SetNativeWindowTitle(handle_, title); }

std::string CWindow::GetTitle() const { return GetNativeWindowTitle(handle_); }

SWindowRect CWindow::GetWindowRect() const { return GetNativeFrameRect(handle_); }

void CWindow::MoveBy(std::int32_t dx, std::int32_t dy) { MoveNativeWindowBy(handle_, dx, dy); }

void CWindow::SetTimer(std::uint32_t id, std::uint32_t intervalMs) { SetWindowTimer(this, id, intervalMs); }

void CWindow::KillTimer(std::uint32_t id) { KillWindowTimer(this, id); }

}  // namespace ove
