#include "DialogPaint.h"

#include <algorithm>

#include "platform/SystemColours.h"

namespace ove {

namespace {
#include "DialogFontData.inc"

const std::uint16_t* GlyphOf(unsigned char c) { return c >= 32 ? kGlyphs[c - 32] : nullptr; }
}  // namespace

int DialogTextWidth(std::string_view text) {
    int w = 0;
    for (char c : text)
        if (const std::uint16_t* g = GlyphOf(static_cast<unsigned char>(c))) w += g[0];
    return w;
}

int DialogGlyphHeight() { return kGlyphHeight; }

CDialogPixels::CDialogPixels(int width, int height, std::uint32_t colour)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_pixels(static_cast<size_t>(m_width) * static_cast<size_t>(m_height), colour) {}

std::uint32_t CDialogPixels::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0xFF000000u;
    return m_pixels[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
}

void CDialogPixels::Put(int x, int y, std::uint32_t colour) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    m_pixels[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)] = colour;
}

void CDialogPixels::Fill(const SDialogRect& r, std::uint32_t colour) {
    int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    int x1 = std::min(r.x + r.width, m_width), y1 = std::min(r.y + r.height, m_height);
    for (int y = y0; y < y1; ++y)
        std::fill_n(m_pixels.begin() + static_cast<std::ptrdiff_t>(y) * m_width + x0, std::max(x1 - x0, 0), colour);
}

void CDialogPixels::Frame(const SDialogRect& r, std::uint32_t colour) {
    if (r.width <= 0 || r.height <= 0) return;
    Fill({r.x, r.y, r.width, 1}, colour);
    Fill({r.x, r.y + r.height - 1, r.width, 1}, colour);
    Fill({r.x, r.y, 1, r.height}, colour);
    Fill({r.x + r.width - 1, r.y, 1, r.height}, colour);
}

void CDialogPixels::Edge3D(const SDialogRect& r, bool raised) {
    if (r.width < 4 || r.height < 4) return;
    const std::uint32_t light = GetSystemColour(kSysWindow), face = GetSystemColour(kSysButtonFace);
    const std::uint32_t shadow = GetSystemColour(kSysGrayText), dark = GetSystemColour(kSysWindowText);
    auto corner = [&](const SDialogRect& q, std::uint32_t topLeft, std::uint32_t bottomRight) {
        Fill({q.x, q.y, q.width - 1, 1}, topLeft);
        Fill({q.x, q.y, 1, q.height - 1}, topLeft);
        Fill({q.x, q.y + q.height - 1, q.width, 1}, bottomRight);
        Fill({q.x + q.width - 1, q.y, 1, q.height}, bottomRight);
    };
    SDialogRect inner{r.x + 1, r.y + 1, r.width - 2, r.height - 2};
    if (raised) {
        corner(r, light, dark);
        corner(inner, face, shadow);
    } else {
        corner(r, shadow, light);
        corner(inner, dark, face);
    }
}

void CDialogPixels::FocusFrame(const SDialogRect& r, std::uint32_t colour) {
    for (int x = r.x; x < r.x + r.width; x += 2) {
        Put(x, r.y, colour);
        Put(x, r.y + r.height - 1, colour);
    }
    for (int y = r.y; y < r.y + r.height; y += 2) {
        Put(r.x, y, colour);
        Put(r.x + r.width - 1, y, colour);
    }
}

void CDialogPixels::Text(int x, int y, std::string_view text, std::uint32_t colour, const SDialogRect& clip) {
    for (char ch : text) {
        const std::uint16_t* g = GlyphOf(static_cast<unsigned char>(ch));
        if (!g) continue;  // no glyph: skipped
        for (int row = 0; row < kGlyphHeight; ++row) {
            std::uint16_t bits = g[1 + row];
            for (int col = 0; bits && col < 16; ++col, bits = static_cast<std::uint16_t>(bits << 1)) {
                if ((bits & 0x8000u) && clip.Contains(x + col, y + row)) Put(x + col, y + row, colour);
            }
        }
        x += g[0];
    }
}

void CDialogPixels::DownArrow(const SDialogRect& r, std::uint32_t colour) {
    // 7, 5, 3, 1 pixels wide.
    int cx = r.x + r.width / 2, top = r.y + (r.height - 4) / 2;
    for (int i = 0; i < 4; ++i) Fill({cx - 3 + i, top + i, 7 - 2 * i, 1}, colour);
}

}  // namespace ove
