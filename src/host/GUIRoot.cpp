#include "host/GUIRoot.h"

#include <algorithm>
#include <unordered_set>

#include "gui/GUIWindow.h"
#include "render/Renderer.h"

namespace ove {

// Held while anything may call into element handlers: destroyed elements stay allocated (marked)
// until the outermost dispatch ends, so that the code that called the handler can still look.
using SGUIDispatch = TDeferredDelete<CGUIElement>::CPass;

void CGUIRoot::AddRootElement(CGUIElement* element) {
    if (element) m_roots.push_back(element);
}

bool CGUIRoot::CallElementHandler(CGUIElement* element, const char* name, const int32_t* args, int count) {
    if (!m_runtime || !element || !element->scriptObject || element->IsDestroyed()) return false;
    SGUIDispatch dispatch(m_doomed);
    // An error in the handler becomes the pending fatal that ends the script's Run.
    return m_runtime->CallElementHandler(element->scriptObject, name,
                                         std::span<const int32_t>(args, static_cast<std::size_t>(count)));
}

CGUIElement* CGUIRoot::GetFocusElement() {
    return m_focused && m_focused->CanFocus() && m_focused->IsVisible() ? m_focused : nullptr;
}

void CGUIRoot::SetFocusElement(CGUIElement* element) {
    if (element == m_focused) return;
    SGUIDispatch dispatch(m_doomed);
    CGUIElement* old = m_focused;
    if (old && old->CanFocus() && !old->SuppressBlurEvent()) old->CallScriptHandler("onBlur");
    // The blur handler may have destroyed the element that was to get the focus.
    if (element && element->IsDestroyed()) element = nullptr;
    if (element && element->CanFocus()) {
        m_focused = element;
        BringToTop(element->GetWindow());
        if (!element->SuppressFocusEvent()) element->CallScriptHandler("onFocus");
    } else {
        m_focused = nullptr;
    }
}

CGUIElement* CGUIRoot::GetActiveWindow() {
    for (auto it = m_roots.rbegin(); it != m_roots.rend(); ++it) {
        CGUIElement* window = (*it)->GetWindow();
        if (window && window->IsVisible()) return window;
    }
    return nullptr;
}

void CGUIRoot::BringToTop(CGUIElement* window) {
    if (!window) return;
    auto it = std::find(m_roots.begin(), m_roots.end(), window);
    if (it == m_roots.end()) return;
    m_roots.splice(m_roots.end(), m_roots, it);
    // The renderer draws its queue in order: the window moves to the end there as well.
    if (m_renderer && m_renderer->IsGUIElementQueued(window)) {
        m_renderer->RemoveGUIElement(window);
        m_renderer->AddGUIElement(window);
    }
}

namespace {

void CollectSubtree(CGUIElement* e, std::vector<CGUIElement*>& out) {
    out.push_back(e);
    for (CGUIElement* child : e->Children()) CollectSubtree(child, out);
}

void ForgetInWindows(CGUIElement* e, const std::unordered_set<CGUIElement*>& gone) {
    if (auto* w = dynamic_cast<CGUIWindow*>(e); w && gone.count(w->previousActive)) w->previousActive = nullptr;
    for (CGUIElement* child : e->Children()) ForgetInWindows(child, gone);
}

}  // namespace

void CGUIRoot::DestroyGUIElement(CGUIElement* element) {
    if (!element || element->IsDestroyed()) return;
    if (CGUIElement* parent = element->GetParent()) parent->DetachChild(element);
    else m_roots.remove(element);
    if (m_renderer && m_renderer->IsGUIElementQueued(element)) m_renderer->RemoveGUIElement(element);

    std::vector<CGUIElement*> subtree;
    CollectSubtree(element, subtree);
    const std::unordered_set<CGUIElement*> gone(subtree.begin(), subtree.end());
    for (CGUIElement* e : subtree) {
        if (m_focused == e) m_focused = nullptr;
        if (m_hovered == e) m_hovered = nullptr;
        if (m_capture == e) m_capture = nullptr;
        e->MarkDestroyed();
        if (m_runtime && e->scriptObject) m_runtime->ForgetElement(e->scriptObject);
        e->scriptObject = 0;
    }
    for (CGUIElement* root : m_roots) ForgetInWindows(root, gone);

    m_doomed.Delete(element);
}

void CGUIRoot::DeleteAll() {
    m_focused = m_hovered = m_capture = nullptr;
    std::list<CGUIElement*> roots;
    roots.swap(m_roots);
    for (CGUIElement* e : roots) {
        if (m_renderer) m_renderer->RemoveGUIElement(e);
        delete e;
    }
    m_doomed.DeleteDoomed();
}

int32_t CGUIRoot::GetTargetWidth() { return m_renderer ? m_renderer->GetWidth() : 0; }
int32_t CGUIRoot::GetTargetHeight() { return m_renderer ? m_renderer->GetHeight() : 0; }

CGUIRoot::~CGUIRoot() { DeleteAll(); }

void CGUIRoot::Animate() {
    SGUIDispatch dispatch(m_doomed);
    const std::vector<CGUIElement*> roots(m_roots.begin(), m_roots.end());
    for (CGUIElement* e : roots)
        if (!e->IsDestroyed()) e->Animate();
}

CGUIElement* CGUIRoot::FindAt(int32_t x, int32_t y) {
    for (auto it = m_roots.rbegin(); it != m_roots.rend(); ++it)
        if (CGUIElement* hit = (*it)->FindElementAt(x, y)) return hit;
    return nullptr;
}

// ---------------------------------------------------------------- input routing

bool CGUIRoot::RouteKey(int32_t code) {
    SGUIDispatch dispatch(m_doomed);
    CGUIElement* target = GetFocusElement();
    if (!target) target = GetActiveWindow();
    for (CGUIElement* e = target; e; e = e->GetParent()) {
        if (e->OnKey(code) || e->IsDestroyed()) return true;
        if (CallElementHandler(e, "onKey", &code, 1)) return true;
    }
    return false;
}

// Routes a mouse event (game coordinates) through the GUI; true when an element consumed it.
bool CGUIRoot::RouteMouse(int32_t gx, int32_t gy, int32_t kind, int32_t wheelDelta,
                          const std::function<void()>& moveCursor) {
    SGUIDispatch dispatch(m_doomed);
    CGUIElement* hit = m_capture ? m_capture : FindAt(gx, gy);
    if (hit != m_hovered) {
        if (CGUIElement* old = m_hovered) old->OnMouseLeave();
        if (hit && !hit->IsDestroyed()) hit->OnMouseEnter();
        if (hit && hit->IsDestroyed()) hit = nullptr;
    }
    if (kind != 0) {
        auto* top = dynamic_cast<CGUIWindow*>(GetActiveWindow());
        const bool modal = top && top->IsModal();
        if (hit && hit->GetWindow() != top) {
            if (modal) hit = top;
            else BringToTop(hit->GetWindow());
        } else if (!hit && modal) {
            hit = top;
        }
    }
    moveCursor();
    m_hovered = hit;
    if (!hit) {
        if (kind == 1 && m_focused) SetFocusElement(nullptr);
        return false;
    }
    bool consumed = hit->OnMove(gx, gy);
    if (kind == 0 || hit->IsDestroyed()) return consumed;
    if (kind == 1 && hit->CanFocus() && hit != m_focused) {
        SetFocusElement(hit);
        if (m_focused == hit && !hit->IsDestroyed()) {
            hit->OnLButtonDown(gx, gy);
            return true;
        }
        if (hit->IsDestroyed()) return true;
    }
    for (CGUIElement* e = hit; e; e = e->GetParent()) {
        bool taken = false;
        switch (kind) {
        case 1: taken = e->OnLButtonDown(gx, gy); break;
        case 2: taken = e->OnRButtonDown(gx, gy); break;
        case 3: taken = e->OnLButtonUp(gx, gy); break;
        case 4: taken = e->OnRButtonUp(gx, gy); break;
        case 5: taken = e->OnMButtonDown(gx, gy); break;
        case 6: taken = e->OnMButtonUp(gx, gy); break;
        case 7: taken = e->OnWheel(wheelDelta); break;
        default: break;
        }
        // A handler that destroyed its own element ends the walk: its ancestors are gone too, or
        // no longer its ancestors.
        if (taken || e->IsDestroyed()) return true;
    }
    return false;
}

}  // namespace ove
