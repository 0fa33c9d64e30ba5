// Views built in memory and a world stand-in for the sprite tests.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "image/Bitmap.h"
#include "resources/View.h"
#include "scene/SpriteWorld.h"

namespace scenetest {

inline void FillBitmap(ove::CBitmap& b, std::uint32_t argb) {
    for (ove::u32 y = 0; y < b.Height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(b.TopRow(y));
        for (ove::u32 x = 0; x < b.Width(); ++x) row[x] = argb;
    }
}

// A view of `loops` loops with `cels` cels each of w x h (cel i of loop l filled with a colour
// that encodes l and i), built through the view builder without a renderer.
class CTestView {
public:
    CTestView(int loops, int cels, int w = 4, int h = 6, int mirroredLoops = 0) {
        ove::CBitmap sheet(static_cast<ove::u32>(w), static_cast<ove::u32>(h), 32u);
        for (int l = 0; l < loops; ++l) {
            builder.NewLoop();
            for (int i = 0; i < cels; ++i) {
                FillBitmap(sheet, 0xFF000000u | std::uint32_t(l) << 8 | std::uint32_t(i));
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

#include "image/RunMask.h"
#include "io/DataBin.h"
#include "walk/BackdropPicture.h"

namespace scenetest {

// A VIEW file: `loops` loops of `cels` cels of w x h filled with `argb`, hot spots (0, 0), then
// `mirrors` loops mirroring loop 0. `paint` may draw each cel (loop, cel, bitmap) after the fill.
inline std::vector<unsigned char> ViewFile(int loops, int cels, int w, int h, std::uint32_t argb, int mirrors = 0,
                                           std::uint32_t blend = 1,
                                           const std::function<void(int, int, ove::CBitmap&)>& paint = nullptr) {
    ove::CViewWriter writer;
    writer.blendMode = blend;
    for (int l = 0; l < loops; ++l) {
        writer.AddLoop();
        for (int c = 0; c < cels; ++c) {
            ove::CBitmap picture(static_cast<ove::u32>(w), static_cast<ove::u32>(h), 32u);
            FillBitmap(picture, argb);
            if (paint) paint(l, c, picture);
            writer.AddCel(picture, 0, 0);
        }
    }
    for (int m = 0; m < mirrors; ++m) writer.AddMirror(0);
    ove::CBuffer buffer;
    writer.Write(&buffer);
    return {buffer.Bytes().begin(), buffer.Bytes().end()};
}

// A PICT file of w x h in one colour whose walk, depth and click masks come from functions of
// (x, y) (null: no such mask).
using MaskFn = std::function<std::uint8_t(int, int)>;
inline std::vector<unsigned char> PictureFile(int w, int h, std::uint32_t argb, const MaskFn& walk,
                                              const MaskFn& depth = nullptr, const MaskFn& click = nullptr) {
    ove::CBackdropPicture picture;
    auto bitmap = std::make_unique<ove::CBitmap>(static_cast<ove::u32>(w), static_cast<ove::u32>(h), 32u);
    FillBitmap(*bitmap, argb);
    picture.SetImage(std::move(bitmap));
    auto mask = [&](const MaskFn& f, ove::CBackdropPicture::EMask which) {
        if (!f) return;
        std::vector<ove::u8> values;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) values.push_back(f(x, y));
        picture.SetMask(which, std::make_unique<ove::CRunMask>(
                                   ove::CRunMask::Encode(values.data(), static_cast<ove::u32>(values.size()))));
    };
    mask(walk, ove::CBackdropPicture::kWalk);
    mask(depth, ove::CBackdropPicture::kDepth);
    mask(click, ove::CBackdropPicture::kClick);
    if (click) picture.SetHotspotName(1, "door");
    ove::CBuffer buffer;
    picture.Save(&buffer);
    return {buffer.Bytes().begin(), buffer.Bytes().end()};
}

}  // namespace scenetest
