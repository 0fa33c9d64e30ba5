#include "image/ImageDraw.h"

#include <algorithm>
#include <cstdint>

namespace ove {

namespace {

bool Is32Bit(const CBitmapInterface& b) {
    return !b.IsEmpty() && (b.Format() == PixelFormat::Rgba8888 || b.Format() == PixelFormat::Rgbx8888);
}

void StorePixel(u8* p, u32 argb) {
    p[0] = u8(argb);
    p[1] = u8(argb >> 8);
    p[2] = u8(argb >> 16);
    p[3] = u8(argb >> 24);
}

// Draws columns [x0, x1) of picture row y (already clipped) with the set-or-blend rule.
void Span(CBitmapInterface& b, i32 y, i32 x0, i32 x1, u32 argb) {
    u8* p = b.TopRow(u32(y)) + std::size_t(x0) * 4;
    const u32 a = argb >> 24;
    if (a == 255) {
        for (i32 x = x0; x < x1; ++x, p += 4) StorePixel(p, argb);
    } else {
        for (i32 x = x0; x < x1; ++x, p += 4) BlendPixel(p, argb);
    }
}

}  // namespace

CBlendTable::CBlendTable() {
    for (u32 a = 0; a < 256; ++a)
        for (u32 v = 0; v < 256; ++v) m_table[a][v] = u8((a * v) / 255);
}

const CBlendTable& GetBlendTable() {
    static const CBlendTable table;
    return table;
}

void BlendPixel(u8* p, u32 argb) {
    const CBlendTable& t = GetBlendTable();
    const u8 a = u8(argb >> 24), keep = u8(255 - a);
    p[0] = u8(t(keep, p[0]) + t(a, u8(argb)));
    p[1] = u8(t(keep, p[1]) + t(a, u8(argb >> 8)));
    p[2] = u8(t(keep, p[2]) + t(a, u8(argb >> 16)));
    p[3] = u8(t(keep, p[3]) + a);
}

bool ImageClear(CBitmapInterface& b, u32 argb) {
    if (!Is32Bit(b)) return false;
    for (u32 y = 0; y < b.Height(); ++y) {
        u8* p = b.Row(y);
        for (u32 x = 0; x < b.Width(); ++x, p += 4) StorePixel(p, argb);
    }
    return true;
}

bool ImageFillRect(CBitmapInterface& b, i32 x, i32 y, i32 width, i32 height, u32 argb) {
    if (!Is32Bit(b) || (argb >> 24) == 0) return false;
    // 64-bit edges: x + width must not wrap.
    const std::int64_t x0 = std::max<std::int64_t>(x, 0), y0 = std::max<std::int64_t>(y, 0);
    const std::int64_t x1 = std::min<std::int64_t>(std::int64_t(x) + width, b.Width());
    const std::int64_t y1 = std::min<std::int64_t>(std::int64_t(y) + height, b.Height());
    if (x0 >= x1 || y0 >= y1) return false;
    for (std::int64_t row = y0; row < y1; ++row) Span(b, i32(row), i32(x0), i32(x1), argb);
    return true;
}

bool ImageDrawRect(CBitmapInterface& b, i32 x1, i32 y1, i32 x2, i32 y2, u32 argb) {
    if (!Is32Bit(b) || (argb >> 24) == 0) return false;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    const i32 w = i32(b.Width()), h = i32(b.Height());
    if (x2 < 0 || y2 < 0 || x1 >= w || y1 >= h) return false;
    const i32 cx0 = std::max(x1, 0), cx1 = std::min(x2, w - 1);  // inclusive columns inside
    const i32 cy0 = std::max(y1, 0), cy1 = std::min(y2, h - 1);  // inclusive rows inside
    bool touched = false;
    if (y1 >= 0) Span(b, y1, cx0, cx1 + 1, argb), touched = true;
    if (y2 < h && y2 != y1) Span(b, y2, cx0, cx1 + 1, argb), touched = true;
    // The sides leave out the rows the top and bottom edges drew.
    const i32 sy0 = std::max(y1 + 1, cy0), sy1 = std::min(y2 - 1, cy1);
    for (i32 y = sy0; y <= sy1; ++y) {
        if (x1 >= 0) Span(b, y, x1, x1 + 1, argb), touched = true;
        if (x2 < w && x2 != x1) Span(b, y, x2, x2 + 1, argb), touched = true;
    }
    return touched;
}

u32 ImageGetPixel(const CBitmapInterface& b, i32 x, i32 y) {
    if (!Is32Bit(b) || x < 0 || y < 0 || u32(x) >= b.Width() || u32(y) >= b.Height()) return 0;
    const u8* p = b.TopRow(u32(y)) + std::size_t(x) * 4;
    return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}

bool ImageSetPixel(CBitmapInterface& b, i32 x, i32 y, u32 argb) {
    if (!Is32Bit(b) || x < 0 || y < 0 || u32(x) >= b.Width() || u32(y) >= b.Height()) return false;
    StorePixel(b.TopRow(u32(y)) + std::size_t(x) * 4, argb);
    return true;
}

}  // namespace ove
