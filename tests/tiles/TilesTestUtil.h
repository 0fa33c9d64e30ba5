// Tile views for the tile-layer tests: every cel is one solid colour, so a pixel tells which
// tile (loop, cel) was drawn or read.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

#include "data/DataBin.h"
#include "data/View.h"
#include "image/Bitmap.h"

namespace tilestest {

// Colour of cel c of loop l: distinct, opaque.
inline std::uint32_t CelColour(int loop, int cel) {
    return 0xFF000000u | std::uint32_t(0x20 + loop * 0x40) << 16 | std::uint32_t(0x10 + cel * 0x30) << 8 | 0x80u;
}

// A VIEW file with loops[i] cels in loop i, each w x h (sizes[i] overrides per loop when given).
inline std::vector<std::uint8_t> ViewBytes(const std::vector<int>& loops, std::uint32_t w, std::uint32_t h,
                                           std::uint32_t oddLoop = ~0u, std::uint32_t oddWidth = 0) {
    ove::CViewWriter writer("VIEW", 32);
    for (std::size_t l = 0; l < loops.size(); ++l) {
        writer.AddLoop();
        for (int c = 0; c < loops[l]; ++c) {
            const std::uint32_t cw = l == oddLoop ? oddWidth : w;
            ove::CBitmap cel(cw, h, 32);
            for (std::uint32_t y = 0; y < h; ++y)
                for (std::uint32_t x = 0; x < cw; ++x) {
                    std::uint8_t* p = cel.TopRow(y) + x * 4;
                    const std::uint32_t argb = CelColour(int(l), c);
                    p[0] = std::uint8_t(argb);
                    p[1] = std::uint8_t(argb >> 8);
                    p[2] = std::uint8_t(argb >> 16);
                    p[3] = std::uint8_t(argb >> 24);
                }
            writer.AddCel(cel, 0, 0);
        }
    }
    ove::CBuffer buffer;
    writer.Write(&buffer);
    return buffer.Bytes();
}

inline ove::CView* NewView(const std::vector<std::uint8_t>& bytes, const char* name = "tiles",
                           ove::CRenderer* renderer = nullptr) {
    ove::CBuffer buffer(bytes);
    auto* view = new ove::CView(name);
    view->Load(&buffer, renderer);
    return view;
}

}  // namespace tilestest
