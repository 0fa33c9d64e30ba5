#include "Window.h"

#include <algorithm>

namespace ove {

CWindow::CWindow() = default;

CWindow::~CWindow() { Destroy(); }

bool CWindow::Create(const std::string& title, int width, int height, const SNativeWindowOptions& options,
                     void (*beforeCreate)(), std::string* error) {
    if (m_created) return false;
    if (beforeCreate) beforeCreate();
    m_handle = CreateNativeWindow(title, width, height, options, error);
    if (!m_handle) return false;
    m_created = true;
    AttachMessageTarget(m_handle, this);
    int w = 0, h = 0;
    GetNativeClientSize(m_handle, w, h);
    m_clientWidth = w;
    m_clientHeight = h;
    if (OnCreate() == -1) {
        Destroy();
        return false;
    }
    return true;
}

bool CWindow::CreateChild(CWindow* parent, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    if (m_created || !parent || parent == this) return false;
    m_parent = parent;
    parent->m_children.push_back(this);
    m_left = x;
    m_top = y;
    m_clientWidth = width;
    m_clientHeight = height;
    m_created = true;
    if (OnCreate() == -1) {
        Destroy();
        return false;
    }
    return true;
}

void CWindow::Destroy() {
    if (!m_created) return;
    OnDestroy();
    m_created = false;
    m_modalEnded = true;
    DetachMessageTarget(this);
    for (CWindow* child : m_children) child->m_parent = nullptr;
    m_children.clear();
    if (m_parent) {
        std::erase(m_parent->m_children, this);
        m_parent = nullptr;
    }
    if (m_handle) {
        DestroyNativeWindow(m_handle);
        m_handle = nullptr;
    }
}

SDL_Window* CWindow::GetHandle() const {
    const CWindow* w = this;
    while (w->m_parent) w = w->m_parent;
    return w->m_handle;
}

std::int32_t CWindow::RunModal() {
    Show(EShow::Show);
    m_modalEnded = false;
    m_modalCode = 0;
    while (!m_modalEnded) {
        if (!WaitAndPumpEvents(50)) {
            PostQuit();
            return 0;
        }
    }
    return m_modalCode;
}

void CWindow::EndModal(std::int32_t code) {
    m_modalCode = code;
    m_modalEnded = true;
}

void CWindow::Show(EShow command) { ShowNativeWindow(m_handle, command); }

bool CWindow::IsHandle(SDL_Window* handle) const { return handle != nullptr && handle == m_handle; }

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
    m_clientWidth = width;
    m_clientHeight = height;
    return true;
}
bool CWindow::OnSysChar(std::int32_t, std::uint32_t) { return false; }
bool CWindow::OnSysKeyDown(std::int32_t, std::uint32_t) { return false; }
bool CWindow::OnSysKeyUp(std::int32_t, std::uint32_t) { return false; }
bool CWindow::OnTimer(std::uint32_t) { return false; }
bool CWindow::OnMessage(const SMessage&) { return false; }

CWindow* CWindow::ChildAt(std::int32_t x, std::int32_t y) const {
    // The child created last lies on top.
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
        const CWindow* c = *it;
        if (x >= c->m_left && y >= c->m_top && x < c->m_left + c->m_clientWidth && y < c->m_top + c->m_clientHeight) {
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
            local.x -= child->m_left;
            local.y -= child->m_top;
            child->WindowProc(local);
            return;
        }
        break;
    case EMessage::Size:
        // Repeats of the size the window already has (the system confirming a change that
        // was made here) are not news.
        if (message.x == m_clientWidth && message.y == m_clientHeight) return;
        break;
    default: break;
    }
    if (!Dispatch(message) && message.message == EMessage::Close) Destroy();
}

bool CWindow::Dispatch(const SMessage& m) {
    const bool dbl = m_doubleClicks && m.clicks >= 2 && m.clicks % 2 == 0;
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
    if (m_parent) {
        MoveWindow(m_left, m_top, width, height);
        return;
    }
    if (!m_handle) return;
    SetNativeClientSize(m_handle, width, height);
    // Like the system does, report the new size at once rather than at the next pump.
    int w = 0, h = 0;
    GetNativeClientSize(m_handle, w, h);
    if (w != m_clientWidth || h != m_clientHeight) {
        SMessage m;
        m.message = EMessage::Size;
        m.x = w;
        m.y = h;
        WindowProc(m);
    }
}

void CWindow::MoveWindow(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    if (!m_parent) {
        SetClientSize(width, height);
        return;
    }
    const bool moved = x != m_left || y != m_top;
    m_left = x;
    m_top = y;
    if (width != m_clientWidth || height != m_clientHeight) OnSize(0, width, height);
    if (moved) OnMove(x, y);
}

void CWindow::SetTitle(const std::string& title) { SetNativeWindowTitle(m_handle, title); }

std::string CWindow::GetTitle() const { return GetNativeWindowTitle(m_handle); }

SWindowRect CWindow::GetWindowRect() const { return GetNativeFrameRect(m_handle); }

void CWindow::MoveBy(std::int32_t dx, std::int32_t dy) { MoveNativeWindowBy(m_handle, dx, dy); }

void CWindow::SetTimer(std::uint32_t id, std::uint32_t intervalMs) { SetWindowTimer(this, id, intervalMs); }

void CWindow::KillTimer(std::uint32_t id) { KillWindowTimer(this, id); }

}  // namespace ove
