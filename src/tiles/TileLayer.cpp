#include "TileLayer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace ove {

namespace {

// Truncation towards zero into the 32-bit range: NaN gives 0, anything beyond saturates (a plain
// cast would be undefined there).
std::int32_t Trunc32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= double(INT32_MAX)) return INT32_MAX;
    if (v <= double(INT32_MIN)) return INT32_MIN;
    return std::int32_t(v);
}

std::int32_t Clamp32(std::int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : std::int32_t(v); }

// Floor division for a positive divisor.
std::int32_t FloorDiv(std::int32_t a, std::int32_t b) {
    std::int32_t q = a / b;
    if ((a % b) != 0 && a < 0) --q;
    return q;
}

}  // namespace

CTileLayer::CTileLayer(std::string layerName, std::int32_t columns, std::int32_t rows)
    : name(std::move(layerName)), m_columns(std::max(columns, 0)), m_rows(std::max(rows, 0)) {
    if (std::int64_t(m_columns) * m_rows > kMaxCells) throw std::length_error("Tile layer too large");
    m_tiles.resize(std::size_t(m_columns) * std::size_t(m_rows));
}

void CTileLayer::SetScale(float scale) {
    if (std::isfinite(scale) && scale > 0.0f) m_scale = scale;
}

std::int32_t CTileLayer::Width() const { return Clamp32(std::int64_t(m_columns) * m_celWidth); }
std::int32_t CTileLayer::Height() const { return Clamp32(std::int64_t(m_rows) * m_celHeight); }
std::int32_t CTileLayer::ScreenWidth() const { return Trunc32(double(float(Width()) * m_scale)); }
std::int32_t CTileLayer::ScreenHeight() const { return Trunc32(double(float(Height()) * m_scale)); }

// ---------------------------------------------------------------- coordinates

void CTileLayer::TileToWorld(std::int32_t c, std::int32_t r, std::int32_t& x, std::int32_t& y) const {
    x = Clamp32(std::int64_t(c) * m_celWidth);
    y = Clamp32(std::int64_t(r) * m_celHeight);
}

void CTileLayer::WorldToTile(std::int32_t x, std::int32_t y, std::int32_t& c, std::int32_t& r) const {
    // Without a view there is no cel size: everything is tile 0.
    c = m_celWidth > 0 ? FloorDiv(x, m_celWidth) : 0;
    r = m_celHeight > 0 ? FloorDiv(y, m_celHeight) : 0;
}

void CTileLayer::WorldToScreen(std::int32_t x, std::int32_t y, std::int32_t& sx, std::int32_t& sy) const {
    sx = Clamp32(std::int64_t(Trunc32(double(float(x) * m_scale))) + offsetX + scrollX);
    sy = Clamp32(std::int64_t(Trunc32(double(float(y) * m_scale))) + offsetY + scrollY);
}

void CTileLayer::ScreenToWorld(std::int32_t x, std::int32_t y, std::int32_t& wx, std::int32_t& wy) const {
    wx = Trunc32(double(std::int64_t(x) - offsetX - scrollX) / double(m_scale));
    wy = Trunc32(double(std::int64_t(y) - offsetY - scrollY) / double(m_scale));
}

void CTileLayer::TileToScreen(std::int32_t c, std::int32_t r, std::int32_t& sx, std::int32_t& sy) const {
    std::int32_t x, y;
    TileToWorld(c, r, x, y);
    WorldToScreen(x, y, sx, sy);
}

void CTileLayer::ScreenToTile(std::int32_t x, std::int32_t y, std::int32_t& c, std::int32_t& r) const {
    std::int32_t wx, wy;
    ScreenToWorld(x, y, wx, wy);
    WorldToTile(wx, wy, c, r);
}

// ---------------------------------------------------------------- tiles

bool CTileLayer::MapIndex(std::int32_t mode, std::int32_t count, std::int32_t& index) {
    if (count <= 0) return false;
    if (index >= 0 && index < count) return true;
    switch (mode) {
    case kTileClamp: index = index < 0 ? 0 : count - 1; return true;
    case kTileRepeat:
        index %= count;
        if (index < 0) index += count;
        return true;
    default: return false;
    }
}

const STile* CTileLayer::CellAt(std::int32_t c, std::int32_t r) const {
    if (c < 0 || r < 0 || c >= m_columns || r >= m_rows) return nullptr;
    return &m_tiles[std::size_t(r) * std::size_t(m_columns) + std::size_t(c)];
}

const STile* CTileLayer::GetTile(std::int32_t c, std::int32_t r) const {
    if (!MapIndex(modeX, m_columns, c) || !MapIndex(modeY, m_rows, r)) return nullptr;
    const STile* tile = CellAt(c, r);
    return tile && tile->present ? tile : nullptr;
}

const STile* CTileLayer::GetWorldTile(std::int32_t x, std::int32_t y) const {
    std::int32_t c, r;
    WorldToTile(x, y, c, r);
    return GetTile(c, r);
}

const STile* CTileLayer::GetScreenTile(std::int32_t x, std::int32_t y) const {
    std::int32_t c, r;
    ScreenToTile(x, y, c, r);
    return GetTile(c, r);
}

bool CTileLayer::SetTile(std::int32_t c, std::int32_t r, std::int32_t loop, std::int32_t base, std::int32_t current,
                         bool animated) {
    if (!m_view || !CellAt(c, r)) return false;
    if (loop < 0 || std::size_t(loop) >= m_view->LoopCount()) return false;
    const std::size_t cels = m_view->CelCount(loop);
    if (base < 0 || std::size_t(base) >= cels) return false;
    if (animated && (current < 0 || std::size_t(current) >= cels)) return false;
    STile& t = m_tiles[std::size_t(r) * std::size_t(m_columns) + std::size_t(c)];
    t.loop = loop;
    t.base = base;
    t.current = animated ? current : base;
    t.animated = animated ? 1 : 0;
    t.present = 1;
    return true;
}

void CTileLayer::ClearTile(std::int32_t c, std::int32_t r) {
    if (CellAt(c, r)) m_tiles[std::size_t(r) * std::size_t(m_columns) + std::size_t(c)] = STile{};
}

void CTileLayer::Clear() { std::fill(m_tiles.begin(), m_tiles.end(), STile{}); }

std::size_t CTileLayer::PresentCount() const {
    return std::size_t(std::count_if(m_tiles.begin(), m_tiles.end(), [](const STile& t) { return t.present != 0; }));
}

// ---------------------------------------------------------------- view

bool CTileLayer::SetView(CView* view) {
    std::int32_t w = 0, h = 0;
    if (view) {
        bool first = true;
        for (std::size_t l = 0; l < view->LoopCount(); ++l) {
            for (const SCel& cel : view->Loop(l)) {
                if (first) {
                    w = std::int32_t(cel.width);
                    h = std::int32_t(cel.height);
                    first = false;
                } else if (std::int32_t(cel.width) != w || std::int32_t(cel.height) != h) {
                    return false;
                }
            }
        }
    }
    m_celWidth = w;
    m_celHeight = h;
    m_view.Reset(view);
    const std::size_t loops = view ? view->LoopCount() : 0;
    for (STile& t : m_tiles) {
        if (!t.present) continue;
        if (t.loop < 0 || std::size_t(t.loop) >= loops) t.loop = 0;
        const std::size_t cels = view ? view->CelCount(t.loop) : 0;
        if (t.base < 0 || std::size_t(t.base) >= cels) t.base = 0;
        if (t.current < 0 || std::size_t(t.current) >= cels) t.current = t.base;
    }
    return true;
}

// ---------------------------------------------------------------- scrolling

void CTileLayer::CenterAxis(std::int32_t p, std::int32_t mode, std::int32_t count, std::int32_t cel,
                            std::int32_t screen, std::int32_t& scroll) const {
    const std::int32_t half = (screen - 1) >> 1;
    const std::int64_t t = Trunc32(double(float(p) * m_scale) - half);
    std::int64_t s = -t;
    if (mode == kTileLimit) {
        // Keep the layer's last pixel from moving left of the screen's last pixel. Both sides of the
        // comparison are screen pixels (the layer's scaled width against the screen's width).
        const std::int64_t last = std::int64_t(Trunc32(double(float(std::int64_t(count) * cel) * m_scale))) - 1;
        const std::int64_t span = std::int64_t(screen) - 1;
        if (span + t > last) s = span - last;
        s = std::min<std::int64_t>(s, 0);
    }
    scroll = Clamp32(s);
}

void CTileLayer::CenterOnWorld(std::int32_t x, std::int32_t y, std::int32_t screenWidth, std::int32_t screenHeight) {
    CenterAxis(x, modeX, m_columns, m_celWidth, screenWidth, scrollX);
    CenterAxis(y, modeY, m_rows, m_celHeight, screenHeight, scrollY);
}

void CTileLayer::CenterOnTile(std::int32_t c, std::int32_t r, std::int32_t screenWidth, std::int32_t screenHeight) {
    const std::int32_t x = Clamp32(std::int64_t(c) * m_celWidth + m_celWidth / 2);
    const std::int32_t y = Clamp32(std::int64_t(r) * m_celHeight + m_celHeight / 2);
    CenterOnWorld(x, y, screenWidth, screenHeight);
}

void CTileLayer::CenterOnScreen(std::int32_t x, std::int32_t y, std::int32_t screenWidth, std::int32_t screenHeight) {
    std::int32_t wx, wy;
    ScreenToWorld(x, y, wx, wy);
    CenterOnWorld(wx, wy, screenWidth, screenHeight);
}

std::uint32_t CTileLayer::ReadWorldPixel(std::int32_t x, std::int32_t y) const {
    const STile* tile = GetWorldTile(x, y);
    if (!tile || !m_view || m_celWidth <= 0 || m_celHeight <= 0) return 0;
    // Remainders keep the sign of the point: a negative world point reads outside the cel (0).
    return m_view->GetCelPixel(tile->loop, tile->current, x % m_celWidth, y % m_celHeight);
}

// ---------------------------------------------------------------- animation and drawing

void CTileLayer::Animate() {
    if (delayCounter > 0) {
        --delayCounter;
        return;
    }
    if (m_view) {
        for (STile& t : m_tiles) {
            if (!t.present || !t.animated) continue;
            const std::size_t cels = m_view->CelCount(t.loop);
            if (cels == 0) continue;
            t.current = std::int32_t((std::size_t(t.current) + 1) % cels);
        }
    }
    delayCounter = std::max(delay, 0);
}

void CTileLayer::Draw(CRenderer& renderer) {
    if (!visible || !m_view) return;
    const float z = CRenderer::PriorityDepth(priority);
    const float rhw = 1.0f / (z + 1.0f);
    renderer.SetFiltering(m_view->Smooth() != 0);
    renderer.SetBlendMode(int(m_view->BlendMode() <= 2 ? m_view->BlendMode() : 1));

    std::int32_t c0, r0, c1, r1;
    ScreenToTile(0, 0, c0, r0);
    ScreenToTile(renderer.GetWidth() - 1, renderer.GetHeight() - 1, c1, r1);
    // Fixed and limited axes show nothing outside the grid: no need to visit those indices.
    if (modeX == kTileFixed || modeX == kTileLimit) {
        c0 = std::max(c0, 0);
        c1 = std::min(c1, m_columns - 1);
    }
    if (modeY == kTileFixed || modeY == kTileLimit) {
        r0 = std::max(r0, 0);
        r1 = std::min(r1, m_rows - 1);
    }
    if (c1 < c0 || r1 < r0) return;
    c1 = std::int32_t(std::min<std::int64_t>(c1, std::int64_t(c0) + kMaxDrawSpan - 1));
    r1 = std::int32_t(std::min<std::int64_t>(r1, std::int64_t(r0) + kMaxDrawSpan - 1));

    const std::size_t needed = std::min(std::size_t(c1 - c0 + 3) * std::size_t(r1 - r0 + 3) * 6, kMaxBatchVertices);
    if (m_vertices.size() < needed) m_vertices.resize(needed);
    const std::size_t capacity = m_vertices.size() - m_vertices.size() % 6;

    std::size_t count = 0;
    TextureHandle texture = nullptr;
    bool bound = false;
    auto flush = [&]() {
        if (count) renderer.DrawTriangles(m_vertices.data(), int(count));
        count = 0;
    };
    for (std::int64_t r = r0; r <= r1; ++r) {
        std::int32_t mr = std::int32_t(r);
        if (!MapIndex(modeY, m_rows, mr)) continue;
        for (std::int64_t c = c0; c <= c1; ++c) {
            std::int32_t mc = std::int32_t(c);
            if (!MapIndex(modeX, m_columns, mc)) continue;
            const STile& tile = m_tiles[std::size_t(mr) * std::size_t(m_columns) + std::size_t(mc)];
            if (!tile.present) continue;
            const SCel* cel = m_view->GetCel(tile.loop, tile.current);
            if (!cel) continue;
            if (!bound || cel->texture != texture) {
                flush();
                texture = cel->texture;
                bound = true;
                renderer.SetTexture(texture);
            } else if (count + 6 > capacity) {
                flush();
            }
            std::int32_t x0, y0, x1, y1;
            TileToScreen(std::int32_t(c), std::int32_t(r), x0, y0);
            TileToScreen(Clamp32(c + 1), Clamp32(r + 1), x1, y1);
            const float fx0 = float(x0), fy0 = float(y0), fx1 = float(x1), fy1 = float(y1);
            SVertex* v = &m_vertices[count];
            v[0] = {fx0, fy0, z, rhw, 0xFFFFFFFFu, cel->uLeft, cel->vTop};
            v[1] = {fx1, fy0, z, rhw, 0xFFFFFFFFu, cel->uRight, cel->vTop};
            v[2] = {fx1, fy1, z, rhw, 0xFFFFFFFFu, cel->uRight, cel->vBottom};
            v[3] = v[0];
            v[4] = v[2];
            v[5] = {fx0, fy1, z, rhw, 0xFFFFFFFFu, cel->uLeft, cel->vBottom};
            count += 6;
        }
    }
    flush();
}

}  // namespace ove
