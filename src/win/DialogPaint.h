// Software drawing for the engine's own dialog windows: a pixel picture, filled rectangles,
// 3-D edges in the system colours and text in the dialog font (11-pixel sans serif, Latin-1).
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

namespace ove {

// Rectangle with its right and bottom edges excluded.
struct SDialogRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
    bool operator==(const SDialogRect&) const = default;
};

class CDialogPixels {
public:
    CDialogPixels(int width, int height, std::uint32_t colour = 0xFF000000u);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const std::uint32_t* Data() const { return m_pixels.data(); }
    // Black outside the picture.
    std::uint32_t At(int x, int y) const;

    // Everything is clipped to the picture.
    void Fill(const SDialogRect& r, std::uint32_t colour);
    void Frame(const SDialogRect& r, std::uint32_t colour);
    // Raised: light top-left, dark bottom-right (buttons); sunken: the reverse (fields).
    void Edge3D(const SDialogRect& r, bool raised);
    // Every other pixel of the outline, the keyboard focus mark.
    void FocusFrame(const SDialogRect& r, std::uint32_t colour);
    // Text whose cell (GlyphHeight() rows) starts at y; drawn only inside `clip`.
    void Text(int x, int y, std::string_view text, std::uint32_t colour, const SDialogRect& clip);
    // A small solid triangle pointing down, centred in r.
    void DownArrow(const SDialogRect& r, std::uint32_t colour);

private:
    void Put(int x, int y, std::uint32_t colour);
    int m_width, m_height;
    std::vector<std::uint32_t> m_pixels;
};

int DialogTextWidth(std::string_view text);
int DialogGlyphHeight();

}  // namespace ove
