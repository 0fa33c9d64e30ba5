// Tile views for the tile-layer tests: every cel is one solid colour, so a pixel tells which
// tile (loop, cel) was drawn or read.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "io/DataBin.h"
#include "io/FileFolder.h"
#include "resources/ResourceCache.h"
#include "resources/View.h"
#include "support/SceneTestUtil.h"
#include "support/TestSupport.h"
#include "tiles/TileLayerSet.h"

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
            scenetest::FillBitmap(cel, CelColour(int(l), c));
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

// A layer's settings in one line, to compare them all at once.
inline std::string Describe(const ove::CTileLayer& l) {
    std::ostringstream s;
    s << l.name << " " << l.Columns() << "x" << l.Rows() << " cel " << l.CelWidth() << "x" << l.CelHeight() << " modes "
      << l.modeX << "/" << l.modeY << " priority " << l.priority << " visible " << int(l.visible) << " delay "
      << l.delay << " scale " << l.Scale() << " tiles " << l.PresentCount();
    return s.str();
}

// "loop/base/current" of each tile, '*' after animated ones, "-" for no tile; space-separated.
inline std::string Tiles(const ove::CTileLayer& l, std::initializer_list<std::pair<int, int>> cells) {
    std::string out;
    for (auto [c, r] : cells) {
        const ove::STile* t = l.GetTile(c, r);
        out += out.empty() ? "" : " ";
        out += t ? std::to_string(t->loop) + "/" + std::to_string(t->base) + "/" + std::to_string(t->current) +
                       (t->animated ? "*" : "")
                 : "-";
    }
    return out;
}

}  // namespace tilestest
