// The game's GUI root: the root elements bottom to top, focus, hover, capture and the active
// window, script handlers of elements, input routing and the safe destruction of elements.
#pragma once
#include <cstdint>
#include <functional>
#include <list>
#include <memory>

#include "gui/GUIElement.h"
#include "host/DeferredDelete.h"
#include "script/ScriptRuntime.h"

namespace ove {

class CRenderer;

class CGUIRoot final : public IGUIHost {
public:
    // `renderer` is the game's (it may come and go); `runtime` may be null (no script runs).
    CGUIRoot(const std::unique_ptr<CRenderer>& renderer, IScriptRuntime* runtime)
        : m_renderer(renderer), m_runtime(runtime) {}
    ~CGUIRoot() override;
    CGUIRoot(const CGUIRoot&) = delete;
    CGUIRoot& operator=(const CGUIRoot&) = delete;

    // ---- IGUIHost
    CFont* GetDefaultFont() override { return m_defaultFont; }
    void AddRootElement(CGUIElement* element) override;
    bool CallElementHandler(CGUIElement* element, const char* name, const int32_t* args, int count) override;
    CGUIElement* GetFocusElement() override;
    // Blurs the old element, focuses the new one (when it can take the focus) and brings its
    // window to the top.
    void SetFocusElement(CGUIElement* element) override;
    CGUIElement* GetMouseCapture() override { return m_capture; }
    void SetMouseCapture(CGUIElement* element) override { m_capture = element; }
    CGUIElement* GetActiveWindow() override;
    void BringToTop(CGUIElement* window) override;
    // Safe from inside the element's own handlers: while an event is being dispatched the element
    // is only detached and marked, and deleted once the dispatch is over.
    void DestroyGUIElement(CGUIElement* element) override;
    int32_t GetTargetWidth() override;
    int32_t GetTargetHeight() override;

    void SetDefaultFont(CFont* font) { m_defaultFont = font; }
    const std::list<CGUIElement*>& Roots() const { return m_roots; }
    CGUIElement* Focused() const { return m_focused; }
    CGUIElement* Hovered() const { return m_hovered; }
    // Animate on every root element, in list order.
    void Animate();
    // The top-most element under a render-target point, or null.
    CGUIElement* FindAt(int32_t x, int32_t y);
    // A key for the focused element or the active window and their ancestors; false when none took it.
    bool RouteKey(int32_t code);
    // A mouse event (game coordinates; kind as IWindowInput::MouseEvent); true when an element
    // consumed it. `moveCursor` runs once hover has changed, before the element sees the event.
    bool RouteMouse(int32_t gx, int32_t gy, int32_t kind, int32_t wheelDelta, const std::function<void()>& moveCursor);
    // Deletes every element (teardown: before the fonts and the renderer go).
    void DeleteAll();

private:
    const std::unique_ptr<CRenderer>& m_renderer;
    IScriptRuntime* m_runtime;
    CFont* m_defaultFont = nullptr;
    std::list<CGUIElement*> m_roots;
    CGUIElement* m_focused = nullptr;
    CGUIElement* m_hovered = nullptr;
    CGUIElement* m_capture = nullptr;
    TDeferredDelete<CGUIElement> m_doomed;  // destroyed while an event is dispatched
};

}  // namespace ove
