// The window class family: a CWindow turns the messages of its SDL window into calls of virtual
// handlers. A top-level CWindow owns one SDL window; a child CWindow is a rectangle of its
// parent's client area that receives the mouse messages over it (the SDL window is shared).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Events.h"
#include "platform/NativeWindow.h"

struct SDL_Window;

namespace ove {

// Smallest client size the user may give the window by dragging its frame.
struct SMinMaxInfo {
    std::int32_t minTrackWidth = 0;
    std::int32_t minTrackHeight = 0;
};

// Hit-test value of the client area (SetCursor messages).
constexpr std::int32_t kHitClient = 1;

class CWindow : public IMessageTarget {
public:
    CWindow();
    virtual ~CWindow();
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    // Creates the SDL window (hidden unless options say otherwise), then calls OnCreate; a
    // result of -1 from it destroys the window again. `beforeCreate`, when given, runs just
    // before the SDL window is made (OpenGL attributes must be set then). False on failure,
    // with SDL's reason in `error`.
    bool Create(const std::string& title, int width, int height, const SNativeWindowOptions& options,
                void (*beforeCreate)() = nullptr, std::string* error = nullptr);
    // Makes this window a child occupying (x, y, width, height) of the parent's client area,
    // then calls OnCreate. The parent need not have an SDL window yet.
    bool CreateChild(CWindow* parent, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
    // Calls OnDestroy, detaches the children and destroys the SDL window.
    void Destroy();
    bool IsCreated() const { return m_created; }

    // ---- virtual operations
    // Shows the window and processes messages until EndModal; returns its code, or 0 when the
    // game is asked to quit meanwhile (the request stays pending for the main loop).
    virtual std::int32_t RunModal();
    virtual void EndModal(std::int32_t code);
    virtual void Show(EShow command = EShow::ShowNormal);
    virtual bool IsHandle(SDL_Window* handle) const;
    virtual bool IsDialog() const { return false; }

    // Message handlers: true when the message was handled. A handler that leaves a message
    // unhandled lets the default happen, which is nothing except for Close (the window is
    // destroyed).
    virtual bool OnActivate(bool active);
    virtual bool OnActivateApp(bool active);
    virtual bool OnChar(std::int32_t character, std::uint32_t flags);
    virtual bool OnClose();           // ends a modal loop with 0; not handled
    virtual std::int32_t OnCreate();  // 0, or -1 to refuse the creation
    virtual bool OnDestroy();
    virtual bool OnDisplayChange(std::int32_t bits, std::int32_t width, std::int32_t height);
    virtual bool OnDropFiles(const std::string& path);
    virtual bool OnGetMinMaxInfo(SMinMaxInfo& info);
    virtual bool OnKeyDown(std::int32_t virtualKey, std::uint32_t flags);
    virtual bool OnKeyUp(std::int32_t virtualKey, std::uint32_t flags);
    virtual bool OnKillFocus();
    virtual bool OnLButtonDblClk(std::uint32_t keys, std::int32_t x, std::int32_t y);
    virtual bool OnLButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y);
    virtual bool OnLButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y);
    virtual bool OnMButtonDblClk(std::uint32_t keys, std::int32_t x, std::int32_t y);
    virtual bool OnMButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y);
    virtual bool OnMButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y);
    virtual bool OnMouseMove(std::uint32_t keys, std::int32_t x, std::int32_t y);
    // delta: 120 per notch; x, y: client coordinates of the pointer.
    virtual bool OnMouseWheel(std::uint32_t keys, std::int32_t delta, std::int32_t x, std::int32_t y);
    virtual bool OnMove(std::int32_t x, std::int32_t y);
    virtual bool OnPaint();
    virtual bool OnRButtonDblClk(std::uint32_t keys, std::int32_t x, std::int32_t y);
    virtual bool OnRButtonDown(std::uint32_t keys, std::int32_t x, std::int32_t y);
    virtual bool OnRButtonUp(std::uint32_t keys, std::int32_t x, std::int32_t y);
    virtual bool OnSetCursor(std::int32_t hitTest);
    virtual bool OnSetFocus();
    virtual bool OnSize(std::int32_t type, std::int32_t width, std::int32_t height);  // stores the client size
    virtual bool OnSysChar(std::int32_t character, std::uint32_t flags);
    virtual bool OnSysKeyDown(std::int32_t virtualKey, std::uint32_t flags);
    virtual bool OnSysKeyUp(std::int32_t virtualKey, std::uint32_t flags);
    virtual bool OnTimer(std::uint32_t id);
    virtual bool OnMessage(const SMessage& message);

    // The window procedure: mouse messages over a child go to the child (in its coordinates),
    // everything else to the handlers above.
    void WindowProc(const SMessage& message) override;

    // The SDL window this window draws on (a child's is its parent's).
    SDL_Window* GetHandle() const;
    CWindow* GetParent() const { return m_parent; }
    std::int32_t GetClientWidth() const { return m_clientWidth; }
    std::int32_t GetClientHeight() const { return m_clientHeight; }
    // Position of a child in its parent's client area (0, 0 for a top-level window).
    std::int32_t GetLeft() const { return m_left; }
    std::int32_t GetTop() const { return m_top; }
    // Resizes the client area (a top-level window keeps its position).
    void SetClientSize(std::int32_t width, std::int32_t height);
    // Places a child; sends it Size and Move when they change.
    void MoveWindow(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
    void SetTitle(const std::string& title);
    std::string GetTitle() const;
    // The window with its frame on the desktop.
    SWindowRect GetWindowRect() const;
    void MoveBy(std::int32_t dx, std::int32_t dy);

protected:
    void SetTimer(std::uint32_t id, std::uint32_t intervalMs);
    void KillTimer(std::uint32_t id);
    // Whether a second click within the double-click time arrives as a double click.
    bool m_doubleClicks = true;

private:
    bool Dispatch(const SMessage& message);
    CWindow* ChildAt(std::int32_t x, std::int32_t y) const;

    SDL_Window* m_handle = nullptr;
    std::int32_t m_clientWidth = 0;
    std::int32_t m_clientHeight = 0;
    CWindow* m_parent = nullptr;
    std::vector<CWindow*> m_children;
    std::int32_t m_left = 0;
    std::int32_t m_top = 0;
    bool m_created = false;
    bool m_modalEnded = false;
    std::int32_t m_modalCode = 0;
};

}  // namespace ove
