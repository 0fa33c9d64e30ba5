// Pixel drawing on 32-bit pictures for script images: clearing, rectangles, single pixels and
// blending through a 256 x 256 multiplication table. Coordinates count from the top-left corner of
// the picture (memory rows are bottom-up). Colours are 0xAARRGGBB words; every function accepts
// only Rgbx8888 and Rgba8888 bitmaps and leaves others alone.
#pragma once
#include "image/Bitmap.h"

namespace ove {

// T[a][v] = (a * v) / 255, integer division. Built once, before the first use.
class CBlendTable {
public:
    CBlendTable();
    u8 operator()(u8 a, u8 v) const { return m_table[a][v]; }

private:
    u8 m_table[256][256];
};
const CBlendTable& GetBlendTable();

// Blends colour c with alpha a (1..254) into a B, G, R, A pixel: each colour channel becomes
// T[255 - a][p] + T[a][c], the alpha T[255 - a][p.a] + a, all with 8-bit wrap-around.
void BlendPixel(u8* pixel, u32 argb);

// Every pixel becomes the colour, no blending. True when the bitmap was drawn into.
bool ImageClear(CBitmapInterface& bitmap, u32 argb);
// The rectangle clipped to the picture; alpha 0 draws nothing, 255 sets, anything else blends.
// True when any pixel was touched.
bool ImageFillRect(CBitmapInterface& bitmap, i32 x, i32 y, i32 width, i32 height, u32 argb);
// The one-pixel outline of the rectangle with both corners included (corners in any order), with
// the fill's set-or-blend rule. Edges outside the picture are left out, the others clipped; each
// pixel is drawn once, also at the corners. True when any pixel was touched.
bool ImageDrawRect(CBitmapInterface& bitmap, i32 x1, i32 y1, i32 x2, i32 y2, u32 argb);
// The pixel as 0xAARRGGBB; 0 outside the picture.
u32 ImageGetPixel(const CBitmapInterface& bitmap, i32 x, i32 y);
// The pixel becomes the colour exactly; false (nothing) outside the picture.
bool ImageSetPixel(CBitmapInterface& bitmap, i32 x, i32 y, u32 argb);

}  // namespace ove
