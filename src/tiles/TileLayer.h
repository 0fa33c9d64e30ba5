// A tile layer: a grid of cells, each showing one cel of the layer's view, scrolled and scaled on
// its own and drawn at a priority level between the scene objects.
//
// Coordinates: world = layer pixels at scale 1; tile = column/row; screen = logical screen pixels.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "render/Renderer.h"
#include "resources/View.h"

namespace ove {

// Edge behaviour of an axis.
enum ETileMode : std::int32_t { kTileFixed = 0, kTileLimit = 1, kTileClamp = 2, kTileRepeat = 3 };

struct STile {
    std::int32_t loop = 0;
    std::int32_t current = 0;  // current cel
    std::int32_t base = 0;     // base cel
    std::uint8_t animated = 0;
    std::uint8_t present = 0;
};

class CTileLayer {
public:
    // Layers larger than this many cells are refused (a corrupt file or a typo must not take all
    // memory).
    static constexpr std::int64_t kMaxCells = std::int64_t(1) << 22;
    // The visible range drawn along one axis is cut to this many tiles: at tiny scales the tiles are
    // far below a pixel and drawing them all would stall the frame.
    static constexpr std::int32_t kMaxDrawSpan = 1024;
    // Vertices collected before a batch is sent even when the texture did not change.
    static constexpr std::size_t kMaxBatchVertices = 6 * 16384;

    // Negative sizes count as 0. Throws std::length_error beyond kMaxCells.
    CTileLayer(std::string name, std::int32_t columns, std::int32_t rows);
    CTileLayer(const CTileLayer&) = delete;
    CTileLayer& operator=(const CTileLayer&) = delete;

    // ---- fields
    std::string name;
    std::int32_t modeX = kTileLimit, modeY = kTileLimit;
    std::int32_t scrollX = 0, scrollY = 0;
    std::int32_t offsetX = 0, offsetY = 0;
    std::int32_t delay = 0;
    std::int32_t delayCounter = 0;
    std::uint8_t visible = 1;
    std::int32_t priority = 0;
    // The script object bound to this layer (0 = none); kept by the script binding.
    std::uintptr_t scriptHandle = 0;

    std::int32_t Columns() const { return m_columns; }
    std::int32_t Rows() const { return m_rows; }
    std::int32_t CelWidth() const { return m_celWidth; }
    std::int32_t CelHeight() const { return m_celHeight; }
    float Scale() const { return m_scale; }
    // Ignores scales that are not finite and positive (they would make every conversion divide by
    // zero or flip the layer).
    void SetScale(float scale);
    std::int32_t Width() const;
    std::int32_t Height() const;
    std::int32_t ScreenWidth() const;
    std::int32_t ScreenHeight() const;

    // ---- coordinates
    void TileToWorld(std::int32_t c, std::int32_t r, std::int32_t& x, std::int32_t& y) const;
    void WorldToTile(std::int32_t x, std::int32_t y, std::int32_t& c, std::int32_t& r) const;
    void WorldToScreen(std::int32_t x, std::int32_t y, std::int32_t& sx, std::int32_t& sy) const;
    void ScreenToWorld(std::int32_t x, std::int32_t y, std::int32_t& wx, std::int32_t& wy) const;
    void TileToScreen(std::int32_t c, std::int32_t r, std::int32_t& sx, std::int32_t& sy) const;
    void ScreenToTile(std::int32_t x, std::int32_t y, std::int32_t& c, std::int32_t& r) const;

    // ---- tiles
    // The record shown at (c, r) after the edge modes, or null (no tile there or not present).
    const STile* GetTile(std::int32_t c, std::int32_t r) const;
    const STile* GetWorldTile(std::int32_t x, std::int32_t y) const;
    const STile* GetScreenTile(std::int32_t x, std::int32_t y) const;
    // The stored record inside the grid, present or not; null outside.
    const STile* CellAt(std::int32_t c, std::int32_t r) const;
    // Stores a tile when the layer has a view and every index is valid; false (nothing changed)
    // otherwise.
    bool SetTile(std::int32_t c, std::int32_t r, std::int32_t loop, std::int32_t base, std::int32_t current,
                 bool animated);
    void ClearTile(std::int32_t c, std::int32_t r);
    void Clear();
    std::size_t PresentCount() const;

    // ---- view
    // Takes a reference to the view (null removes it). A view whose cels are not all the same size
    // is refused: false, nothing changed. Present tiles are fitted to the new view.
    bool SetView(CView* view);
    CView* View() const { return m_view.Get(); }

    // ---- scrolling (W x H: the game's screen size)
    void CenterOnWorld(std::int32_t x, std::int32_t y, std::int32_t screenWidth, std::int32_t screenHeight);
    void CenterOnTile(std::int32_t c, std::int32_t r, std::int32_t screenWidth, std::int32_t screenHeight);
    void CenterOnScreen(std::int32_t x, std::int32_t y, std::int32_t screenWidth, std::int32_t screenHeight);

    // The pixel (0xAARRGGBB) under a world point; 0 where no tile is.
    std::uint32_t ReadWorldPixel(std::int32_t x, std::int32_t y) const;

    // One frame of tile animation.
    void Animate();

    // Draws the visible part of the layer (when visible and with a view).
    void Draw(CRenderer& renderer);

private:
    // Index along an axis after its mode; false when nothing is shown there.
    static bool MapIndex(std::int32_t mode, std::int32_t count, std::int32_t& index);
    void CenterAxis(std::int32_t p, std::int32_t mode, std::int32_t count, std::int32_t cel, std::int32_t screen,
                    std::int32_t& scroll) const;

    std::int32_t m_celWidth = 0, m_celHeight = 0;
    std::int32_t m_columns = 0, m_rows = 0;
    float m_scale = 1.0f;
    std::vector<STile> m_tiles;
    TResourceRef<CView> m_view;
    std::vector<SVertex> m_vertices;  // drawing scratch, reused every frame
};

}  // namespace ove
