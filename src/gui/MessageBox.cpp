#include "gui/MessageBox.h"

namespace ove {

CTextBox::CTextBox(CGUIElement* parent) : CGUIWindow(parent) {
    // The label is a child: the element tree owns and deletes it.
    m_label = new CTextLabel(this);
    m_label->noncorporeal = 1;
    m_label->SetWrapping(true);
    if (IGUIHost* host = GetGUIHost()) AutoSize(host->GetTargetWidth() - 80, host->GetTargetHeight());
}

void CTextBox::SetText(const char* text) {
    m_label->SetText(text);
    FitAndCentre();
}

const char* CTextBox::GetText() { return m_label->GetText(); }

void CTextBox::SetFont(CFont* font) {
    CGUIWindow::SetFont(font);  // the title is drawn with it too
    m_label->SetFont(font);
    FitAndCentre();
}

void CTextBox::SetColour(std::uint32_t c) {
    CGUIWindow::SetColour(c);
    m_label->SetColour(c);
}

void CTextBox::SetTextEffect(std::int32_t e, std::uint32_t c) {
    CGUIWindow::SetTextEffect(e, c);
    m_label->SetTextEffect(e, c);
}

void CTextBox::SetAlignment(std::int32_t value) {
    CGUIWindow::SetAlignment(value);
    m_label->SetAlignment(value);
}

void CTextBox::SetTitle(const char* title) {
    CGUIElement::SetText(title);
    // Fitting through the window's AutoSize would pin the message to its current size (zero wide
    // before any text), so a title set first would wrap the message a letter a line. Either way
    // the box stays where it is: only text and font changes centre it.
    if (m_label->autoWidth >= 0 && m_label->autoHeight >= 0) Fit();
    else CGUIWindow::AutoSize();
}

void CTextBox::AutoSize(std::int32_t w, std::int32_t h) {
    m_label->AutoSize(w - (GetLeftInset() + GetRightInset()), h - (GetTopInset() + GetBottomInset()));
    FitAndCentre();
}

void CTextBox::Resize(std::int32_t w, std::int32_t h) {
    CGUIElement::Resize(w, h);
    m_label->Resize(ClientWidth(), ClientHeight());
    m_label->Reflow();  // auto-size is off now: drop breaks made for the old size
}

void CTextBox::ResizeClient(std::int32_t w, std::int32_t h) {
    CGUIElement::ResizeClient(w, h);
    Resize(Width(), Height());
}

void CTextBox::SetWrapping(bool on) { m_label->SetWrapping(on); }
bool CTextBox::GetWrapping() const { return m_label->GetWrapping(); }

bool CTextBox::Fit() {
    if (m_label->autoWidth < 0 || m_label->autoHeight < 0) return false;
    CGUIElement::ResizeClient(m_label->Width(), m_label->Height());
    return true;
}

void CTextBox::FitAndCentre() {
    if (!Fit()) return;
    IGUIHost* host = GetGUIHost();
    if (!host) return;
    MoveTo((host->GetTargetWidth() >> 1) - (Width() >> 1), (host->GetTargetHeight() >> 1) - (Height() >> 1));
}

}  // namespace ove
