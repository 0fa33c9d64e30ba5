// One cel of a view or font as the renderer draws it: a rectangle of a texture sheet with a hot spot.
#pragma once
#include <cstdint>

namespace ove {

// Texture owned by the renderer (CRenderer::CreateTexture / ReleaseTexture). Opaque to everyone else.
struct STexture;
using TextureHandle = STexture*;

struct SCel {
    std::int32_t x = 0;  // position in the sheet
    std::int32_t y = 0;
    std::int32_t xOffset = 0;  // hot spot: the cel is drawn with its origin shifted by these
    std::int32_t yOffset = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    float uLeft = 0.0f;
    float vTop = 0.0f;
    float uRight = 0.0f;
    float vBottom = 0.0f;
    TextureHandle texture = nullptr;  // the sheet's texture
    // Some pixel has an alpha strictly between 0 and 255. Cels without such pixels look the same
    // drawn without blending (the alpha test drops the transparent ones).
    std::uint8_t translucent = 1;
};

// Alignments: horizontal 0 left, 1 centre, 2 right; vertical 0 top, 1 middle, 2 bottom.
enum : int { kAlignLeft = 0, kAlignCentre = 1, kAlignRight = 2 };
enum : int { kAlignTop = 0, kAlignMiddle = 1, kAlignBottom = 2 };

struct SCelCorner {
    float x, y;  // relative to the drawing position
    float u, v;
};

// The quad for drawing a cel at a display size (its own size, or a forced one). The top-left corner
// relative to the drawing position is (xOffset - a, yOffset - b) with a = 0, width >> 1, width - 1
// and b likewise for the three alignments. Corners: top-left, top-right, bottom-right, bottom-left.
void Place(const SCel& cel, int horizontal, int vertical, std::int32_t width, std::int32_t height,
           SCelCorner corners[4]);

}  // namespace ove
