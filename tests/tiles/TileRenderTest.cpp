// Tile layers drawn headless on real GL: every screen pixel is checked against the tile the edge
// mode puts there.
#include <gtest/gtest.h>

#include <cmath>

#include "TilesTestUtil.h"
#include "support/RenderFixture.h"
#include "tiles/TileLayerSet.h"

using namespace ove;
using ovetest::GLRenderTest;
using ovetest::Hex;
using ovetest::PixelAt;

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;

// Column shown at screen column x for a 4-column layer of 4-pixel tiles, or -1 for none.
int ExpectedColumn(int x, int scroll, int scale, int mode) {
    int c = int(std::floor(double(x - scroll) / (4.0 * scale)));
    if (c >= 0 && c < 4) return c;
    if (mode == kTileClamp) return c < 0 ? 0 : 3;
    if (mode == kTileRepeat) return ((c % 4) + 4) % 4;
    return -1;
}

}  // namespace

TEST_F(GLRenderTest, TileLayerScrolledInEachMode) {
    Open(16, 8);
    renderer->SetBackdropColour(kBlack);
    TResourceRef<CView> view(tilestest::NewView(tilestest::ViewBytes({4}, 4, 4), "tiles", renderer.get()));
    CTileLayerSet set;
    CTileLayer* layer = set.AddLayer("row", 4, 2);
    ASSERT_TRUE(layer->SetView(view.Get()));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) ASSERT_TRUE(layer->SetTile(c, r, 0, c, 0, false));
    layer->priority = 3;
    renderer->SetTileLayers(&set);

    for (int mode : {kTileFixed, kTileLimit, kTileClamp, kTileRepeat}) {
        for (int scale : {1, 2}) {
            for (int scroll : {-6, 0, 5, -21}) {
                layer->modeX = mode;
                layer->SetScale(float(scale));
                layer->scrollX = scroll;
                auto img = Capture();
                for (int y = 0; y < 8; y += 3) {
                    for (int x = 0; x < 16; ++x) {
                        const int row = y / (4 * scale);
                        const int c = ExpectedColumn(x, scroll, scale, mode);
                        const std::uint32_t want = (c < 0 || row > 1) ? kBlack : tilestest::CelColour(0, c);
                        EXPECT_EQ(Hex(PixelAt(*img, x, y)), Hex(want))
                            << "mode " << mode << " scale " << scale << " scroll " << scroll << " at " << x << "," << y;
                    }
                }
            }
        }
    }

    // Hidden layers and layers without a view draw nothing; all tiles of one sheet go in one batch.
    layer->modeX = kTileRepeat;
    layer->SetScale(1.0f);
    layer->scrollX = 0;
    const auto before = renderer->DrawCallCount();
    Capture();
    const auto perFrame = renderer->DrawCallCount() - before;
    layer->visible = 0;
    auto hidden = Capture();
    EXPECT_EQ(Hex(PixelAt(*hidden, 5, 2)), Hex(kBlack));
    EXPECT_EQ(renderer->DrawCallCount() - before - perFrame, perFrame - 1);
    renderer->SetTileLayers(nullptr);
}
