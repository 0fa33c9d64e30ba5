// The GUI element base: a rectangle with a frame style, colours, padding, text and font, a parent
// and owned children, a link to its script object and the virtual event handlers. Root elements
// (no parent) belong to the GUI host, which routes input to them and queues them for drawing;
// children are drawn by their parent.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "render/SpriteBase.h"
#include "resources/View.h"
#include "text/Text.h"

namespace ove {

class CRenderer;
class CGUIElement;

// Frame styles.
enum : std::int32_t {
    kStyleNone = 0,
    kStyle3DShadow = 1,
    kStyle3DRaised = 2,
    kStyle3DInset = 3,
    kStyleRaised = 4,
    kStyleInset = 5,
    kStyleClassic = 6,
    kStyleFlat = 7,
    kStyleSolid = 8,
    kStyleSolidShadow = 9,
    kStyleOS = 10,
};

// What elements need of the game host. The host owns the root elements, tracks focus, hover,
// capture and the active window, and finds an element's script object under its "gui@" key.
class IGUIHost {
public:
    virtual ~IGUIHost() = default;
    // Font given to elements created without a parent (may be null).
    virtual CFont* GetDefaultFont() = 0;
    // A parentless element was constructed: it joins the root list (on top of the others).
    virtual void AddRootElement(CGUIElement* element) = 0;
    // Calls the element's script method `name` with integer arguments when its script object has
    // one; true when a function was found and called (its result is ignored).
    virtual bool CallElementHandler(CGUIElement* element, const char* name, const std::int32_t* args, int count) = 0;
    // The focused element while it CanFocus and IsVisible, else null.
    virtual CGUIElement* GetFocusElement() = 0;
    virtual void SetFocusElement(CGUIElement* element) = 0;
    virtual CGUIElement* GetMouseCapture() = 0;
    virtual void SetMouseCapture(CGUIElement* element) = 0;
    // The window of the top-most root element whose window is visible, or null.
    virtual CGUIElement* GetActiveWindow() = 0;
    // Moves the root element to the top of the root list (and of the drawing order).
    virtual void BringToTop(CGUIElement* window) = 0;
    // Detaches the element from its parent or the root list, forgets it as focused, hovered or
    // captured element, releases its script object and deletes it with its children (later, when
    // an event is being dispatched).
    virtual void DestroyGUIElement(CGUIElement* element) = 0;
    // Size of the render target (the game size).
    virtual std::int32_t GetTargetWidth() = 0;
    virtual std::int32_t GetTargetHeight() = 0;
};

// The process-wide GUI host (the game); null when none.
IGUIHost* GetGUIHost();
void SetGUIHost(IGUIHost* host);

// Whether a key (a virtual-key code such as kVkShift or kVkControl) is held now. Reads the live
// keyboard unless a query was installed (tests hold keys that way; null restores the keyboard).
bool IsKeyHeld(std::int32_t virtualKey);
using KeyHeldQuery = bool (*)(std::int32_t virtualKey);
void SetKeyHeldQuery(KeyHeldQuery query);

// 0xAARRGGBB shades of a border colour for the 3D styles: each of red, green and blue mixed with
// white or black by t/255, alpha kept.
std::uint32_t MixColour(std::uint32_t base, std::uint32_t with, int t);

class CGUIElement : public CSpriteBase {
public:
    // Joins the parent's children and takes its font; without a parent takes the host's default
    // font and joins the host's root list.
    explicit CGUIElement(CGUIElement* parent);
    // Deletes the children that are still attached. The host's DestroyGUIElement is the way to
    // get rid of an element that may be focused, hovered or referenced by script.
    ~CGUIElement() override;

    // ---- drawable
    float GetDepth() override { return 0.0f; }
    void Draw(CRenderer& renderer) override = 0;
    bool IsNoncorporeal() override { return noncorporeal != 0; }
    bool IsOnTop() override { return onTop != 0; }
    bool IsVisible() override;
    // Background alpha below 255, or for the shadow styles a shadow alpha below 255.
    bool IsTranslucent() override;

    // ---- virtual operations
    virtual void SetAlignment(std::int32_t value);
    virtual std::int32_t GetBottomInset();
    virtual std::int32_t GetLeftInset();
    virtual std::int32_t GetRightInset();
    virtual std::int32_t GetTopInset();
    virtual CFont* GetFont();
    // Drops the current font; keeps the new one (with a reference) only when it has loops.
    virtual void SetFont(CFont* font);
    virtual void SetOnTop(bool on);
    virtual std::int32_t GetPriority();            // 16 on top, else 15
    virtual void SetPriority(std::int32_t value);  // on top exactly when -2
    virtual const char* GetText();                 // null when none
    virtual void SetText(const char* text);        // copies up to the terminating zero; null: none
    virtual std::uint32_t GetColour();
    virtual void SetColour(std::uint32_t colour);
    virtual void SetTextEffect(std::int32_t effect, std::uint32_t colour);
    virtual void SetStyle(std::int32_t style);
    virtual bool CanFocus() { return false; }
    virtual void OnMouseEnter() {}
    virtual void OnMouseLeave() {}
    virtual bool SuppressBlurEvent() { return false; }
    virtual bool SuppressFocusEvent() { return false; }
    // Handlers: true = consumed. The mouse ones call the script method of the same name (x, y in
    // render-target pixels) and are consumed when it exists.
    virtual bool OnKey(std::int32_t key);
    virtual bool OnMove(std::int32_t x, std::int32_t y);
    virtual bool OnLButtonDown(std::int32_t x, std::int32_t y);
    virtual bool OnLButtonUp(std::int32_t x, std::int32_t y);
    virtual bool OnMButtonDown(std::int32_t x, std::int32_t y);
    virtual bool OnMButtonUp(std::int32_t x, std::int32_t y);
    virtual bool OnRButtonDown(std::int32_t x, std::int32_t y);
    virtual bool OnRButtonUp(std::int32_t x, std::int32_t y);
    virtual bool OnWheel(std::int32_t delta);
    // Ticks the children in list order.
    virtual void Animate();
    // The window the element belongs to (the parent's; none at the root).
    virtual CGUIElement* GetWindow();
    // Outer size w x h from (x1, y1); widgets that fit themselves override these.
    virtual void Resize(std::int32_t w, std::int32_t h);
    // Client area w x h.
    virtual void ResizeClient(std::int32_t w, std::int32_t h);

    // ---- geometry (absolute values are render-target pixels)
    std::int32_t ClientLeft();  // absolute
    std::int32_t ClientTop();
    std::int32_t ClientWidth();
    std::int32_t ClientHeight();
    std::int32_t AbsX1();
    std::int32_t AbsY1();
    std::int32_t AbsX2();
    std::int32_t AbsY2();
    STextRect ClientRect();
    // Out of line: the library's arithmetic wraps (see its build), its users' need not.
    std::int32_t Width() const;
    std::int32_t Height() const;
    void MoveTo(std::int32_t x, std::int32_t y);
    void MoveBy(std::int32_t dx, std::int32_t dy);
    void SetPadding(std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t left);
    void SetFrameWidths(std::int32_t top, std::int32_t right, std::int32_t bottom, std::int32_t left);

    // The top-most visible, corporeal element at (x, y), relative to the parent's client origin
    // (render-target pixels at the root); null when none.
    CGUIElement* FindElementAt(std::int32_t x, std::int32_t y);
    // (x, y) inside the absolute rectangle, corners included.
    bool HitTestRect(std::int32_t x, std::int32_t y);
    // Sets the blend mode by translucency and draws the frame of a style over the outer rectangle.
    void DrawFrame(CRenderer& renderer, std::int32_t style);
    // Draws the visible children in list order.
    void DrawChildren(CRenderer& renderer);
    // Draws the element's text in its client rectangle with its font, colours and effect.
    void DrawLabelText(CRenderer& renderer, const char* text, bool wrapping);
    // Calls the script method through the host; false without a host or method.
    bool CallScriptHandler(const char* name, std::initializer_list<std::int32_t> args = {});

    CGUIElement* GetParent() const { return m_parent; }
    const std::vector<CGUIElement*>& Children() const { return m_children; }
    std::int32_t GetAlignment() const { return alignment; }
    std::int32_t GetStyle() const { return style; }
    std::int32_t GetTextEffect() const { return effect; }
    std::uint32_t GetEffectColour() const { return effectColour; }
    // True once the host has destroyed the element (its deletion may be pending).
    bool IsDestroyed() const { return m_destroyed; }

    // Destroys an element through the host, or deletes it when there is none.
    static void Destroy(CGUIElement* element);

    // ---- fields (after visible and visibilityChanged of the drawable base)
    std::int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // inclusive, relative to the parent's client origin
    std::int32_t alignment = 0;
    std::uint8_t onTop = 0;
    std::uint8_t noncorporeal = 0;
    std::uint8_t disabled = 0;
    std::int32_t frameTop = 0, frameRight = 0, frameBottom = 0, frameLeft = 0;
    std::int32_t padTop = 0, padRight = 0, padBottom = 0, padLeft = 0;
    std::int32_t effect = kEffectNone;
    std::int32_t style = kStyleNone;
    std::uint32_t colour = 0xFF000000u;
    std::uint32_t effectColour = 0xFF000000u;
    std::uint32_t background = 0xFFFFFFFFu;
    std::uint32_t border = 0xFF000000u;
    std::uint32_t shadow = 0x80000000u;
    // Key of the script object (its native address as the binding layer stores it); 0 = none.
    std::uintptr_t scriptObject = 0;

protected:
    TResourceRef<CFont> m_font;
    std::optional<std::string> m_text;
    std::vector<CGUIElement*> m_children;  // owned
    CGUIElement* m_parent = nullptr;       // not owned

public:
    // ---- for the host's destruction: take a child out of the tree (its parent link cleared) and
    // mark an element destroyed
    void DetachChild(CGUIElement* child);
    void MarkDestroyed() { m_destroyed = true; }

private:
    bool m_destroyed = false;
};

}  // namespace ove
