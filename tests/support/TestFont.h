// Fonts built in memory for text and GUI tests. Every glyph is `height` rows of white whose last
// column is transparent (so neighbouring glyphs stay apart): ' ' is 2 wide and fully transparent,
// '\n' 4, 'W' 6, 'i' 2, glyph 0 1 and every other code 3.
#pragma once
#include <memory>

#include "image/Bitmap.h"
#include "io/DataBin.h"
#include "resources/View.h"

namespace texttest {

inline int GlyphWidth(int c) { return c == 0 ? 1 : c == ' ' || c == 'i' ? 2 : c == '\n' ? 4 : c == 'W' ? 6 : 3; }

// A 32-bit cel of w x h pixels, each pixel(x, y).
template <class F>
std::unique_ptr<ove::CBitmap> Cel(int w, int h, F pixel) {
    auto cel = std::make_unique<ove::CBitmap>(static_cast<ove::u32>(w), static_cast<ove::u32>(h), 32u);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(cel->TopRow(static_cast<ove::u32>(y)));
        for (int x = 0; x < w; ++x) row[x] = pixel(x, y);
    }
    return cel;
}

// Loads what the writer holds as a new T (a CView or a CFont).
template <class T>
T* Load(ove::CViewWriter& writer, const char* name, ove::CRenderer* renderer) {
    ove::CBuffer buffer;
    writer.Write(&buffer);
    buffer.Seek(0);
    auto* t = new T(name);
    t->Load(&buffer, renderer);
    return t;
}

// A font of `glyphs` glyphs (all 256 by default). Null renderer: no textures (measuring only).
inline ove::CFont* MakeFont(ove::CRenderer* renderer, int height = 5, int glyphs = 256, int loops = 1) {
    ove::CViewWriter writer("FONT", 32);
    writer.blendMode = 1;
    for (int l = 0; l < loops; ++l) {
        writer.AddLoop();
        for (int c = 0; c < (l == 0 ? glyphs : 1); ++c) {
            const int w = GlyphWidth(c);
            writer.AddCel(
                *Cel(w, height, [&](int x, int) { return (c != ' ' && x < w - 1) || w == 1 ? 0xFFFFFFFFu : 0u; }), 0,
                0);
        }
    }
    return Load<ove::CFont>(writer, "test", renderer);
}

// A test font held for the life of the object.
struct FontHolder {
    explicit FontHolder(int height = 5, int glyphs = 256, int loops = 1)
        : font(MakeFont(nullptr, height, glyphs, loops)), ref(font) {}
    ove::CFont* font;
    ove::TResourceRef<ove::CFont> ref;
};

}  // namespace texttest
