#include "gui/TextEdit.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/CodePage.h"

namespace ove {

namespace {

constexpr char kAccepted[] =
    " 0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ`~!@#$%^&*()-_=+[]{};:'\"\\|,.<>/?";
static_assert(sizeof kAccepted - 1 == 95);

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool IsAcceptedCharacter(std::int32_t code) {
    if (code > 0 && code < 128) return std::strchr(kAccepted, static_cast<char>(code)) != nullptr;
    // The upper half arrives as negative bytes; the code page's five holes read as C1 controls.
    if (code >= -128 && code < 0) return Cp1252ToUnicode(static_cast<std::uint8_t>(code)) >= 0xA0;
    return false;
}

std::string FilterAccepted(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (IsAcceptedCharacter(static_cast<signed char>(c))) out.push_back(c);
    return out;
}

bool ParseInteger(std::string_view text, std::int64_t* value) {
    if (text.empty() || text.size() > 4096) return false;
    std::string s(text);  // zero-terminated for strtoll
    char* stop = nullptr;
    errno = 0;
    long long v = std::strtoll(s.c_str(), &stop, 10);
    if (stop == s.c_str() || *stop != 0) return false;
    *value = v;  // out of range saturates (strtoll's ERANGE result)
    return true;
}

bool ParseFloat(std::string_view text, double* value) {
    // Plain decimal only: strtod would also take hex, "inf" and "nan".
    std::size_t i = 0, n = text.size();
    if (n == 0 || n > 4096) return false;
    while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (text[i] == '+' || text[i] == '-') ++i;
    std::size_t digits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < n && IsDigit(text[i])) ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != n) return false;
    std::string s(text);
    double v = std::strtod(s.c_str(), nullptr);  // overflow gives +-HUGE_VAL, clamped by the caller
    *value = v;
    return true;
}

std::string FormatInteger(std::int64_t value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value));
    return buf;
}

std::string FormatFloat(double value) {
    if (!std::isfinite(value)) value = value < 0 ? -1.7976931348623157e308 : 1.7976931348623157e308;
    int n = std::snprintf(nullptr, 0, "%f", value);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(s.data(), s.size(), "%f", value);
    s.resize(static_cast<std::size_t>(n));
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    return s;
}

void CTextEdit::SetText(std::string_view text) {
    m_text = FilterAccepted(text);
    m_caret = Length();
    m_anchor = m_end = -1;
}

void CTextEdit::Truncate(std::int32_t n) {
    if (n < 0 || n >= Length()) return;
    m_text.resize(static_cast<std::size_t>(n));
    m_caret = std::min(m_caret, n);
    if (m_anchor > n) m_anchor = n;
    if (m_end > n) m_end = n;
}

bool CTextEdit::SelectionRange(std::int32_t* from, std::int32_t* to) const {
    if (!HasSelection()) return false;
    *from = std::min(m_anchor, m_end);
    *to = std::max(m_anchor, m_end);
    return true;
}

std::string CTextEdit::SelectedText() const {
    std::int32_t a, b;
    if (!SelectionRange(&a, &b)) return {};
    return m_text.substr(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
}

void CTextEdit::Select(std::int32_t anchor, std::int32_t end, std::int32_t caret) {
    auto clamp = [this](std::int32_t v) { return std::clamp(v, 0, Length()); };
    m_anchor = anchor < 0 ? -1 : clamp(anchor);
    m_end = end < 0 ? -1 : clamp(end);
    m_caret = clamp(caret);
}

void CTextEdit::DeleteRange(std::int32_t from, std::int32_t to) {
    from = std::clamp(from, 0, Length());
    to = std::clamp(to, from, Length());
    const std::int32_t n = to - from;
    m_text.erase(static_cast<std::size_t>(from), static_cast<std::size_t>(n));
    if (m_caret >= to) m_caret -= n;
    else if (m_caret > from) m_caret = from;
    SelectNone();
}

bool CTextEdit::DeleteSelection() {
    std::int32_t a, b;
    if (!SelectionRange(&a, &b)) return false;
    DeleteRange(a, b);
    return true;
}

void CTextEdit::Insert(std::string_view text) {
    m_text.insert(static_cast<std::size_t>(m_caret), text);
    m_caret += static_cast<std::int32_t>(text.size());
}

void CTextEdit::MoveCaret(std::int32_t to, bool extend) {
    to = std::clamp(to, 0, Length());
    if (extend) {
        if (m_anchor < 0) m_anchor = m_caret;
        m_end = to;
    } else {
        SelectNone();
    }
    m_caret = to;
}

void CTextEdit::DropFront(std::int32_t n) {
    m_text.erase(0, static_cast<std::size_t>(n));
    m_caret = std::max(m_caret - n, 0);
    if (m_anchor >= 0) m_anchor = std::max(m_anchor - n, 0);
    if (m_end >= 0) m_end = std::max(m_end - n, 0);
}

void CTextEdit::SetZeroSelected() {
    m_text = "0";
    Select(0, 1, 1);
}

bool CTextEdit::Validate(const STextRules& rules) {
    if (rules.type != kInputInt && rules.type != kInputFloat) return rules.maxLength < 0 || Length() <= rules.maxLength;

    if (m_text.empty()) {
        SetZeroSelected();
        return true;
    }
    std::int32_t spaces = 0;
    while (spaces < Length() && std::isspace(static_cast<unsigned char>(m_text[static_cast<std::size_t>(spaces)])))
        ++spaces;
    DropFront(spaces);
    std::int32_t zeros = 0;
    while (zeros + 1 < Length() && m_text[static_cast<std::size_t>(zeros)] == '0' &&
           IsDigit(m_text[static_cast<std::size_t>(zeros) + 1]))
        ++zeros;
    DropFront(zeros);
    if (m_text.empty()) {
        SetZeroSelected();
        return true;
    }

    if (rules.type == kInputInt) {
        if (rules.intMinimum < 0 && m_text == "-") return true;
        std::int64_t v;
        if (!ParseInteger(m_text, &v)) return false;
        if (v < rules.intMinimum) SetText(FormatInteger(rules.intMinimum));
        else if (v > rules.intMaximum) SetText(FormatInteger(rules.intMaximum));
        return true;
    }
    if (rules.floatMinimum < 0 && m_text == "-") return true;
    double v;
    if (!ParseFloat(m_text, &v)) return false;
    if (v < rules.floatMinimum) SetText(FormatFloat(rules.floatMinimum));
    else if (v > rules.floatMaximum) SetText(FormatFloat(rules.floatMaximum));
    return true;
}

}  // namespace ove
