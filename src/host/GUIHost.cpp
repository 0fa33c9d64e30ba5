// The game host's side of the GUI: the root list, focus, the active window, script handlers of
// elements and their safe destruction.
#include <algorithm>
#include <unordered_set>

#include "gui/GUIWindow.h"
#include "host/Game.h"
#include "render/Renderer.h"

namespace ove {

// Held while anything may call into element handlers: destroyed elements stay allocated (marked)
// until the outermost dispatch ends, so that the code that called the handler can still look.
using SGUIDispatch = TDeferredDelete<CGUIElement>::CPass;

void CGame::AddRootElement(CGUIElement* element) {
    if (element) guiWindows.push_back(element);
}

bool CGame::CallElementHandler(CGUIElement* element, const char* name, const int32_t* args, int count) {
    if (!runtime_ || !element || !element->scriptObject || element->IsDestroyed()) return false;
    SGUIDispatch dispatch(doomedElements_);
    // An error in the handler becomes the pending fatal that ends the script's Run.
    return runtime_->CallElementHandler(element->scriptObject, name,
                                        std::span<const int32_t>(args, static_cast<std::size_t>(count)));
}

CGUIElement* CGame::GetFocusElement() {
    return focused && focused->CanFocus() && focused->IsVisible() ? focused : nullptr;
}

void CGame::SetFocusElement(CGUIElement* element) {
    if (element == focused) return;
    SGUIDispatch dispatch(doomedElements_);
    CGUIElement* old = focused;
    if (old && old->CanFocus() && !old->SuppressBlurEvent()) old->CallScriptHandler("onBlur");
    // The blur handler may have destroyed the element that was to get the focus.
    if (element && element->IsDestroyed()) element = nullptr;
    if (element && element->CanFocus()) {
        focused = element;
        BringToTop(element->GetWindow());
        if (!element->SuppressFocusEvent()) element->CallScriptHandler("onFocus");
    } else {
        focused = nullptr;
    }
}

CGUIElement* CGame::GetActiveWindow() {
    for (auto it = guiWindows.rbegin(); it != guiWindows.rend(); ++it) {
        CGUIElement* window = (*it)->GetWindow();
        if (window && window->IsVisible()) return window;
    }
    return nullptr;
}

void CGame::BringToTop(CGUIElement* window) {
    if (!window) return;
    auto it = std::find(guiWindows.begin(), guiWindows.end(), window);
    if (it == guiWindows.end()) return;
    guiWindows.splice(guiWindows.end(), guiWindows, it);
    // The renderer draws its queue in order: the window moves to the end there as well.
    if (renderer && renderer->IsGUIElementQueued(window)) {
        renderer->RemoveGUIElement(window);
        renderer->AddGUIElement(window);
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

void CGame::DestroyGUIElement(CGUIElement* element) {
    if (!element || element->IsDestroyed()) return;
    if (CGUIElement* parent = element->GetParent())
        parent->DetachChild(element);
    else
        guiWindows.remove(element);
    if (renderer && renderer->IsGUIElementQueued(element)) renderer->RemoveGUIElement(element);

    std::vector<CGUIElement*> subtree;
    CollectSubtree(element, subtree);
    const std::unordered_set<CGUIElement*> gone(subtree.begin(), subtree.end());
    for (CGUIElement* e : subtree) {
        if (focused == e) focused = nullptr;
        if (hovered == e) hovered = nullptr;
        if (mouseCapture == e) mouseCapture = nullptr;
        e->MarkDestroyed();
        if (runtime_ && e->scriptObject) runtime_->ForgetElement(e->scriptObject);
        e->scriptObject = 0;
    }
    for (CGUIElement* root : guiWindows) ForgetInWindows(root, gone);

    doomedElements_.Delete(element);
}

void CGame::DeleteGUIElements() {
    focused = hovered = mouseCapture = nullptr;
    std::list<CGUIElement*> roots;
    roots.swap(guiWindows);
    for (CGUIElement* e : roots) {
        if (renderer) renderer->RemoveGUIElement(e);
        delete e;
    }
    doomedElements_.DeleteDoomed();
}

int32_t CGame::GetTargetWidth() { return renderer ? renderer->GetWidth() : 0; }
int32_t CGame::GetTargetHeight() { return renderer ? renderer->GetHeight() : 0; }

void CGame::AnimateGUI() {
    SGUIDispatch dispatch(doomedElements_);
    const std::vector<CGUIElement*> roots(guiWindows.begin(), guiWindows.end());
    for (CGUIElement* e : roots)
        if (!e->IsDestroyed()) e->Animate();
}

CGUIElement* CGame::FindGUIElementAt(int32_t x, int32_t y) {
    for (auto it = guiWindows.rbegin(); it != guiWindows.rend(); ++it)
        if (CGUIElement* hit = (*it)->FindElementAt(x, y)) return hit;
    return nullptr;
}

// ---------------------------------------------------------------- input routing

void CGame::RouteKey(int32_t code) {
    SGUIDispatch dispatch(doomedElements_);
    CGUIElement* target = GetFocusElement();
    if (!target) target = GetActiveWindow();
    for (CGUIElement* e = target; e; e = e->GetParent()) {
        if (e->OnKey(code) || e->IsDestroyed()) return;
        if (CallElementHandler(e, "onKey", &code, 1)) return;
    }
    QueueKey(code);
}

// Routes a mouse event (game coordinates) through the GUI; true when an element consumed it.
bool CGame::RouteMouseToGUI(int32_t gx, int32_t gy, int32_t kind, int32_t wheelDelta) {
    SGUIDispatch dispatch(doomedElements_);
    CGUIElement* hit = mouseCapture ? mouseCapture : FindGUIElementAt(gx, gy);
    if (hit != hovered) {
        if (CGUIElement* old = hovered) old->OnMouseLeave();
        if (hit && !hit->IsDestroyed()) hit->OnMouseEnter();
        if (hit && hit->IsDestroyed()) hit = nullptr;
    }
    if (kind != 0) {
        auto* top = dynamic_cast<CGUIWindow*>(GetActiveWindow());
        const bool modal = top && top->IsModal();
        if (hit && hit->GetWindow() != top) {
            if (modal)
                hit = top;
            else
                BringToTop(hit->GetWindow());
        } else if (!hit && modal) {
            hit = top;
        }
    }
    MoveCursorSprite(gx, gy);
    hovered = hit;
    if (!hit) {
        if (kind == 1 && focused) SetFocusElement(nullptr);
        return false;
    }
    bool consumed = hit->OnMove(gx, gy);
    if (kind == 0 || hit->IsDestroyed()) return consumed;
    if (kind == 1 && hit->CanFocus() && hit != focused) {
        SetFocusElement(hit);
        if (focused == hit && !hit->IsDestroyed()) {
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
