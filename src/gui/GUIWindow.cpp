#include "gui/GUIWindow.h"

#include "platform/SystemColours.h"
#include "render/Renderer.h"

namespace ove {

CGUIWindow::CGUIWindow(CGUIElement* parent) : CGUIElement(parent) {}

std::int32_t CGUIWindow::GetTopInset() { return frameTop + padTop + TitleBarHeight(); }

std::int32_t CGUIWindow::TitleBarHeight() {
    const char* title = GetText();
    return title && GetFont() ? GetFontHeight(GetFont()) + 3 : 0;
}

void CGUIWindow::SetStyle(std::int32_t s) { CGUIElement::SetStyle(s); }
void CGUIWindow::Draw(CRenderer& renderer) { DrawChildren(renderer); }
bool CGUIWindow::OnMove(std::int32_t x, std::int32_t y) { return CGUIElement::OnMove(x, y) || modal; }
bool CGUIWindow::OnLButtonDown(std::int32_t x, std::int32_t y) { return CGUIElement::OnLButtonDown(x, y) || modal; }
bool CGUIWindow::OnLButtonUp(std::int32_t x, std::int32_t y) { return CGUIElement::OnLButtonUp(x, y) || modal; }
bool CGUIWindow::OnMButtonDown(std::int32_t x, std::int32_t y) { return CGUIElement::OnMButtonDown(x, y) || modal; }
bool CGUIWindow::OnMButtonUp(std::int32_t x, std::int32_t y) { return CGUIElement::OnMButtonUp(x, y) || modal; }
bool CGUIWindow::OnRButtonDown(std::int32_t x, std::int32_t y) { return CGUIElement::OnRButtonDown(x, y) || modal; }
bool CGUIWindow::OnRButtonUp(std::int32_t x, std::int32_t y) { return CGUIElement::OnRButtonUp(x, y) || modal; }
bool CGUIWindow::OnKey(std::int32_t) { return false; }
CGUIElement* CGUIWindow::GetWindow() { return m_parent ? m_parent->GetWindow() : this; }
void CGUIWindow::BeginModal() {}
void CGUIWindow::EndModal() {}
void CGUIWindow::AutoSize() {}
void CGUIWindow::ForgetWindow(CGUIElement* window) {
    if (previousActive == window) previousActive = nullptr;
}

}  // namespace ove
