// Shared body of the view and font targets: load without a renderer, then read every cel back.
#pragma once
#include "FuzzInput.h"
#include "resources/View.h"

namespace ove::fuzz {

inline void RunView(CView& view, const std::uint8_t* data, std::size_t size) {
    CBuffer bin = MakeBin(data, size);
    view.Load(&bin, nullptr);
    for (std::size_t loop = 0; loop < view.LoopCount() && loop < 64; ++loop) {
        const auto& cels = view.Loop(loop);
        for (std::size_t c = 0; c < cels.size() && c < 64; ++c) {
            const SCel& cel = cels[c];
            i32 l = i32(loop), i = i32(c);
            view.GetCelPixel(l, i, 0, 0);
            view.GetCelPixel(l, i, i32(cel.width) - 1, i32(cel.height) - 1);
            view.GetCelPixel(l, i, i32(cel.width), 0);  // just outside
            view.CelSheet(l, i);
        }
    }
    view.GetCel(0, 0);
    view.GetCel(-1, 0);
}

}  // namespace ove::fuzz
