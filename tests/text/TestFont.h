// Fonts built in memory for text and GUI tests. Every glyph is `height` rows of white whose last
// column is transparent (so neighbouring glyphs stay apart): ' ' is 2 wide and fully transparent,
// '\n' 4, 'W' 6, 'i' 2, glyph 0 1 and every other code 3.
#pragma once
#include <memory>

#include "data/DataBin.h"
#include "data/View.h"
#include "image/Bitmap.h"

namespace texttest {

inline int GlyphWidth(int c) {
    switch (c) {
        case 0: return 1;
        case ' ': return 2;
        case '\n': return 4;
        case 'W': return 6;
        case 'i': return 2;
        default: return 3;
    }
}

// A font of `glyphs` glyphs (all 256 by default). Null renderer: no textures (measuring only).
inline ove::CFont* MakeFont(ove::CRenderer* renderer, int height = 5, int glyphs = 256, int loops = 1) {
    ove::CViewWriter writer("FONT", 32);
    writer.blendMode = 1;
    for (int l = 0; l < loops; ++l) {
        writer.AddLoop();
        for (int c = 0; c < (l == 0 ? glyphs : 1); ++c) {
            const int w = GlyphWidth(c);
            ove::CBitmap cel(static_cast<ove::u32>(w), static_cast<ove::u32>(height), 32u);
            for (int y = 0; y < height; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(cel.TopRow(static_cast<ove::u32>(y)));
                for (int x = 0; x < w; ++x) row[x] = (c != ' ' && x < w - 1) || w == 1 ? 0xFFFFFFFFu : 0u;
            }
            writer.AddCel(cel, 0, 0);
        }
    }
    ove::CBuffer buffer;
    writer.Write(&buffer);
    buffer.Seek(0);
    auto* font = new ove::CFont("test");
    font->Load(&buffer, renderer);
    return font;
}

}  // namespace texttest
