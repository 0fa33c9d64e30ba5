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
    if (element) roots_.push_back(element);
}

bool CGUIRoot::CallElementHandler(CGUIElement* element, const char* name, const int32_t* args, int count) {
    if (!runtime_ || !element || !element->scriptObject || element->IsDestroyed()) return false;
    SGUIDispatch dispatch(doomed_);
    // An error in the handler becomes the pending fatal that ends the script's Run.
    return runtime_->CallElementHandler(element->scriptObject, name,
                                        std::span<const int32_t>(args, static_cast<std::size_t>(count)));
}

CGUIElement* CGUIRoot::GetFocusElement() {
    return focused_ && focused_->CanFocus() && focused_->IsVisible() ? focused_ : nullptr;
}

void CGUIRoot::SetFocusElement(CGUIElement* element) {
    if (element == focused_) return;
    SGUIDispatch dispatch(doomed_);
    CGUIElement* old = focused_;
    if (old && old->CanFocus() && !old->SuppressBlurEvent()) old->CallScriptHandler("onBlur");
    // The blur handler may have destroyed the element that was to get the focus.
    if (element && element->IsDestroyed()) element = nullptr;
    if (element && element->CanFocus()) {
        focused_ = element;
        BringToTop(element->GetWindow());
        if (!element->SuppressFocusEvent()) element->CallScriptHandler("onFocus");
    } else {
        focused_ = nullptr;
    }
}

CGUIElement* CGUIRoot::GetActiveWindow() {
    for (auto it = roots_.rbegin(); it != roots_.rend(); ++it) {
        CGUIElement* window = (*it)->GetWindow();
        if (window && window->IsVisible()) return window;
    }
    return nullptr;
}

void CGUIRoot::BringToTop(CGUIElement* window) {
    if (!window) return;
    auto it = std::find(roots_.begin(), roots_.end(), window);
    if (it == roots_.end()) return;
    roots_.splice(roots_.end(), roots_, it);
    // The renderer draws its queue in order: the window moves to the end there as well.
    if (renderer_ && renderer_->IsGUIElementQueued(window)) {
        renderer_->RemoveGUIElement(window);
        renderer_->AddGUIElement(window);
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
    if (CGUIElement* parent = element->GetParent())
        parent->DetachChild(element);
    else
        roots_.remove(element);
    if (renderer_ && renderer_->IsGUIElementQueued(element)) renderer_->RemoveGUIElement(element);

    std::vector<CGUIElement*> subtree;
    CollectSubtree(element, subtree);
    const std::unordered_set<CGUIElement*> gone(subtree.begin(), subtree.end());
    for (CGUIElement* e : subtree) {
        if (focused_ == e) focused_ = nullptr;
        if (hovered_ == e) hovered_ = nullptr;
        if (capture_ == e) capture_ = nullptr;
        e->MarkDestroyed();
        if (runtime_ && e->scriptObject) runtime_->ForgetElement(e->scriptObject);
        e->scriptObject = 0;
    }
    for (CGUIElement* root : roots_) ForgetInWindows(root, gone);

    doomed_.Delete(element);
}

void CGUIRoot::DeleteAll() {
    focused_ = hovered_ = capture_ = nullptr;
    std::list<CGUIElement*> roots;
    roots.swap(roots_);
    for (CGUIElement* e : roots) {
        if (renderer_) renderer_->RemoveGUIElement(e);
        delete e;
    }
    doomed_.DeleteDoomed();
}

int32_t CGUIRoot::GetTargetWidth() { return renderer_ ? renderer_->GetWidth() : 0; }
int32_t CGUIRoot::GetTargetHeight() { return renderer_ ? renderer_->GetHeight() : 0; }

CGUIRoot::~CGUIRoot() { DeleteAll(); }

void CGUIRoot::Animate() {
    SGUIDispatch dispatch(doomed_);
    const std::vector<CGUIElement*> roots(roots_.begin(), roots_.end());
    for (CGUIElement* e : roots)
        if (!e->IsDestroyed()) e->Animate();
}

CGUIElement* CGUIRoot::FindAt(int32_t x, int32_t y) {
    for (auto it = roots_.rbegin(); it != roots_.rend(); ++it)
        if (CGUIElement* hit = (*it)->FindElementAt(x, y)) return hit;
    return nullptr;
}

// ---------------------------------------------------------------- input routing

bool CGUIRoot::RouteKey(int32_t code) {
    SGUIDispatch dispatch(doomed_);
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
    SGUIDispatch dispatch(doomed_);
    CGUIElement* hit = capture_ ? capture_ : FindAt(gx, gy);
    if (hit != hovered_) {
        if (CGUIElement* old = hovered_) old->OnMouseLeave();
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
    moveCursor();
    hovered_ = hit;
    if (!hit) {
        if (kind == 1 && focused_) SetFocusElement(nullptr);
        return false;
    }
    bool consumed = hit->OnMove(gx, gy);
    if (kind == 0 || hit->IsDestroyed()) return consumed;
    if (kind == 1 && hit->CanFocus() && hit != focused_) {
        SetFocusElement(hit);
        if (focused_ == hit && !hit->IsDestroyed()) {
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
