// Views built in memory and a world stand-in for the sprite tests.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "data/View.h"
#include "image/Bitmap.h"
#include "scene/SpriteWorld.h"

namespace scenetest {

// A view of `loops` loops with `cels` cels each of w x h (cel i of loop l filled with a colour
// that encodes l and i), built through the view builder without a renderer.
class CTestView {
public:
    CTestView(int loops, int cels, int w = 4, int h = 6, int mirroredLoops = 0) {
        ove::CBitmap sheet(static_cast<ove::u32>(w), static_cast<ove::u32>(h), 32u);
        for (int l = 0; l < loops; ++l) {
            builder.NewLoop();
            for (int i = 0; i < cels; ++i) {
                for (int y = 0; y < h; ++y) {
                    auto* row = reinterpret_cast<std::uint32_t*>(sheet.TopRow(static_cast<ove::u32>(y)));
                    for (int x = 0; x < w; ++x) row[x] = 0xFF000000u | std::uint32_t(l) << 8 | std::uint32_t(i);
                }
                builder.NewCel(&sheet, 0, 0, w, h);
            }
        }
        for (int m = 0; m < mirroredLoops; ++m) builder.NewLoop(0);
        view = builder.Fixate(nullptr);
    }
    ove::CViewBuilder builder;
    ove::CView* view = nullptr;
};

class CTestWorld : public ove::ISpriteWorld {
public:
    void MapBackdropToScreen(std::int32_t bx, std::int32_t by, std::int32_t& sx, std::int32_t& sy) const override {
        sx = bx * scale + offsetX;
        sy = by * scale + offsetY;
    }
    void MapScreenToBackdrop(std::int32_t sx, std::int32_t sy, std::int32_t& bx, std::int32_t& by) const override {
        bx = (sx - offsetX) / scale;
        by = (sy - offsetY) / scale;
    }
    void LayerToScreen(const void*, std::int32_t x, std::int32_t y, std::int32_t& sx, std::int32_t& sy) const override {
        sx = x + 1000;
        sy = y + 2000;
    }
    std::int32_t AutoPriorityHeight() const override { return height; }
    std::uint32_t RandomNumber() override { return random; }
    void CallCallback(std::int32_t key) override {
        called.push_back(key);
        if (onCall) onCall(key);
    }
    void ReleaseCallback(std::int32_t key) override { released.push_back(key); }

    std::int32_t scale = 1, offsetX = 0, offsetY = 0;
    std::int32_t height = 200;
    std::uint32_t random = 0;
    std::vector<std::int32_t> called, released;
    std::function<void(std::int32_t)> onCall;
};

}  // namespace scenetest
