// Tile layers without a renderer: coordinates, edge modes, centring, views, animation and the
// LYRS file, including damaged ones.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>

#include "TilesTestUtil.h"
#include "io/FileFolder.h"
#include "resources/ResourceCache.h"
#include "support/TestSupport.h"
#include "tiles/TileLayerSet.h"

using namespace ove;
using tilestest::CelColour;

namespace {

// A layer with a 16 x 8 cel view of 2 loops (3 and 2 cels).
struct LayerWithView {
    LayerWithView(std::int32_t columns, std::int32_t rows) : layer("ground", columns, rows) {
        view.Reset(tilestest::NewView(tilestest::ViewBytes({3, 2}, 16, 8)));
        EXPECT_TRUE(layer.SetView(view.Get()));
    }
    TResourceRef<CView> view;
    CTileLayer layer;
};

// One of the layer's point conversions as a pair.
using Conversion = void (CTileLayer::*)(std::int32_t, std::int32_t, std::int32_t&, std::int32_t&) const;
std::pair<int, int> Convert(const CTileLayer& l, Conversion f, int x, int y) {
    std::int32_t a, b;
    (l.*f)(x, y, a, b);
    return {a, b};
}
std::pair<int, int> Screen(const CTileLayer& l, int x, int y) { return Convert(l, &CTileLayer::WorldToScreen, x, y); }
std::pair<int, int> Scroll(const CTileLayer& l) { return {l.scrollX, l.scrollY}; }

}  // namespace

TEST(TileLayer, DefaultsAndConversions) {
    LayerWithView w(10, 5);
    CTileLayer& l = w.layer;
    EXPECT_EQ(tilestest::Describe(l), "ground 10x5 cel 16x8 modes 1/1 priority 0 visible 1 delay 0 scale 1 tiles 0");
    EXPECT_EQ(l.Width(), 160);
    EXPECT_EQ(l.Height(), 40);

    EXPECT_EQ(Convert(l, &CTileLayer::WorldToTile, -1, 8), std::make_pair(-1, 1));  // floor, not truncation
    EXPECT_EQ(Convert(l, &CTileLayer::WorldToTile, 31, -9), std::make_pair(1, -2));

    l.SetScale(1.5f);
    l.offsetX = 3;
    l.scrollX = -10;
    l.offsetY = -2;
    EXPECT_EQ(Screen(l, 5, 5), std::make_pair(int(7) + 3 - 10, 7 - 2));  // trunc(7.5) = 7
    EXPECT_EQ(l.ScreenWidth(), 240);
    // (0 - 3 + 10) / 1.5 = 4.67, (0 + 2) / 1.5 = 1.33
    EXPECT_EQ(Convert(l, &CTileLayer::ScreenToWorld, 0, 0), std::make_pair(4, 1));
    EXPECT_EQ(Convert(l, &CTileLayer::TileToScreen, 2, 1), std::make_pair(48 + 3 - 10, 12 - 2));  // world (32, 8)

    // Scales that would break every division are ignored.
    l.SetScale(0.0f);
    l.SetScale(-2.0f);
    l.SetScale(std::nanf(""));
    EXPECT_FLOAT_EQ(l.Scale(), 1.5f);
    // Far-out points saturate instead of overflowing.
    l.SetScale(1000.0f);
    l.offsetX = 100;
    EXPECT_EQ(Screen(l, INT32_MAX, INT32_MIN), std::make_pair(INT32_MAX, INT32_MIN));
}

TEST(TileLayer, EdgeModes) {
    LayerWithView w(4, 2);
    CTileLayer& l = w.layer;
    for (int c = 0; c < 4; ++c) ASSERT_TRUE(l.SetTile(c, 0, 0, c % 3, 0, false));
    ASSERT_TRUE(l.SetTile(3, 1, 1, 1, 0, false));

    l.modeX = kTileRepeat;
    ASSERT_NE(l.GetTile(-1, 0), nullptr);
    EXPECT_EQ(l.GetTile(-1, 0), l.GetTile(3, 0));
    EXPECT_EQ(l.GetTile(4, 0), l.GetTile(0, 0));
    EXPECT_EQ(l.GetTile(-9, 0), l.GetTile(3, 0));
    EXPECT_EQ(l.GetTile(0, 2), nullptr);  // y is still LIMIT

    l.modeX = kTileClamp;
    l.modeY = kTileClamp;
    EXPECT_EQ(l.GetTile(-5, 0), l.GetTile(0, 0));
    EXPECT_EQ(l.GetTile(50, 7), l.GetTile(3, 1));
    EXPECT_EQ(l.GetTile(2, 1), nullptr);  // inside, but not present

    for (int mode : {kTileFixed, kTileLimit}) {
        l.modeX = l.modeY = mode;
        EXPECT_EQ(l.GetTile(-1, 0), nullptr);
        EXPECT_EQ(l.GetTile(4, 0), nullptr);
        EXPECT_NE(l.GetTile(3, 0), nullptr);
    }
    EXPECT_EQ(l.GetWorldTile(3 * 16 + 15, 8 + 7), l.GetTile(3, 1));
}

TEST(TileLayer, CentringLimitsAtBothEnds) {
    LayerWithView w(40, 30);  // 640 x 240 world pixels
    CTileLayer& l = w.layer;
    const int W = 320, H = 200;
    l.CenterOnWorld(10, 10, W, H);  // near the start: stays at 0
    EXPECT_EQ(Scroll(l), std::make_pair(0, 0));
    l.CenterOnWorld(300, 120, W, H);  // in the middle: point at the centre
    EXPECT_EQ(Scroll(l), std::make_pair(-(300 - 159), -(120 - 99)));
    l.CenterOnWorld(630, 235, W, H);  // near the end: last pixel on the last screen pixel
    EXPECT_EQ(Scroll(l), std::make_pair(W - l.Width(), H - l.Height()));
    EXPECT_EQ(Screen(l, l.Width() - 1, l.Height() - 1), std::make_pair(W - 1, H - 1));

    // Scaled, the end is still the layer's last pixel on the screen's last one.
    l.SetScale(2.0f);
    l.CenterOnWorld(639, 0, W, H);
    EXPECT_EQ(Screen(l, 639, 0).first, W - 2);  // world pixel 639 covers screen pixels W-2 and W-1
    // A layer narrower than the screen stays at its start.
    CTileLayer narrow("n", 2, 2);
    narrow.SetView(w.view.Get());
    narrow.CenterOnWorld(31, 15, W, H);
    EXPECT_EQ(narrow.scrollX, 0);

    // Not limited: the point simply goes to the centre, past the end too.
    l.SetScale(1.0f);
    l.modeX = kTileRepeat;
    l.CenterOnWorld(630, 0, W, H);
    EXPECT_EQ(l.scrollX, -(630 - 159));
    l.CenterOnTile(2, 0, W, H);  // world x = 2 * 16 + 8
    EXPECT_EQ(l.scrollX, -(40 - 159));
}

TEST(TileLayer, SetTileRulesAndViewFitting) {
    LayerWithView w(3, 3);
    CTileLayer& l = w.layer;
    EXPECT_FALSE(l.SetTile(3, 0, 0, 0, 0, false));  // outside
    EXPECT_FALSE(l.SetTile(0, 0, 2, 0, 0, false));  // no loop 2
    EXPECT_FALSE(l.SetTile(0, 0, 1, 2, 0, false));  // loop 1 has 2 cels
    EXPECT_FALSE(l.SetTile(0, 0, 0, 0, 3, true));   // animated current out of range
    EXPECT_TRUE(l.SetTile(0, 0, 0, 1, 7, false));   // current ignored when static
    EXPECT_EQ(l.GetTile(0, 0)->current, 1);
    EXPECT_TRUE(l.SetTile(1, 0, 0, 2, 1, true));
    EXPECT_TRUE(l.SetTile(2, 0, 1, 1, 0, true));
    EXPECT_EQ(l.PresentCount(), 3u);

    CTileLayer empty("e", 1, 1);
    EXPECT_FALSE(empty.SetTile(0, 0, 0, 0, 0, false));  // no view

    // Mixed cel sizes: refused, nothing changes.
    TResourceRef<CView> mixed(tilestest::NewView(tilestest::ViewBytes({1, 1}, 16, 8, 1, 12)));
    EXPECT_FALSE(l.SetView(mixed.Get()));
    EXPECT_EQ(l.View(), w.view.Get());
    EXPECT_EQ(l.CelWidth(), 16);

    // A smaller view: loop 1 is gone, cels 1 and 2 of loop 0 are gone.
    TResourceRef<CView> small(tilestest::NewView(tilestest::ViewBytes({1}, 4, 4)));
    ASSERT_TRUE(l.SetView(small.Get()));
    EXPECT_EQ(l.CelWidth(), 4);
    EXPECT_EQ(l.CelHeight(), 4);
    EXPECT_EQ(tilestest::Tiles(l, {{2, 0}, {1, 0}}), "0/0/0* 0/0/0*");
    EXPECT_EQ(w.view->RefCount(), 1u);  // the layer let go of the old view

    l.ClearTile(0, 0);
    EXPECT_EQ(l.GetTile(0, 0), nullptr);
    l.ClearTile(-1, 99);  // outside: harmless
    l.Clear();
    EXPECT_EQ(l.PresentCount(), 0u);
    EXPECT_THROW(CTileLayer("huge", 65535, 65535), std::length_error);
}

TEST(TileLayer, AnimationHonoursDelay) {
    LayerWithView w(2, 1);
    CTileLayer& l = w.layer;
    ASSERT_TRUE(l.SetTile(0, 0, 0, 0, 1, true));   // 3 cels
    ASSERT_TRUE(l.SetTile(1, 0, 0, 2, 2, false));  // static
    l.delay = 2;
    std::vector<int> seen;
    for (int frame = 0; frame < 7; ++frame) {
        l.Animate();
        seen.push_back(l.GetTile(0, 0)->current);
    }
    // Advances at once, then waits two frames between steps, wrapping after cel 2.
    EXPECT_EQ(seen, (std::vector<int>{2, 2, 2, 0, 0, 0, 1}));
    EXPECT_EQ(l.GetTile(1, 0)->current, 2);
    EXPECT_EQ(l.GetTile(0, 0)->base, 0);

    l.delay = -5;  // a negative delay animates every frame instead of stalling
    l.delayCounter = 0;
    l.Animate();
    l.Animate();
    EXPECT_EQ(l.GetTile(0, 0)->current, 0);
}

TEST(TileLayer, ReadWorldPixel) {
    LayerWithView w(2, 2);
    CTileLayer& l = w.layer;
    ASSERT_TRUE(l.SetTile(1, 1, 1, 1, 0, false));
    EXPECT_EQ(l.ReadWorldPixel(16 + 3, 8 + 7), CelColour(1, 1));
    EXPECT_EQ(l.ReadWorldPixel(3, 3), 0u);   // no tile
    EXPECT_EQ(l.ReadWorldPixel(40, 3), 0u);  // outside
    l.modeX = kTileRepeat;
    l.modeY = kTileRepeat;
    // A negative point finds the repeated tile but reads outside its cel.
    EXPECT_EQ(l.ReadWorldPixel(-13, 15), 0u);
    EXPECT_EQ(l.ReadWorldPixel(48, 15), CelColour(1, 1));
    l.SetView(nullptr);
    EXPECT_EQ(l.ReadWorldPixel(16, 8), 0u);
}

// ---------------------------------------------------------------- LYRS files

class LayerFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_data.Write("tiles.OVV", tilestest::ViewBytes({3, 2}, 16, 8));
        m_data.Write("odd.OVV", tilestest::ViewBytes({1, 1}, 16, 8, 1, 5));
        m_folder.Add(new CDirectory(m_data.path().string()));
        m_folder.SetLocalFirst(false);
    }
    std::vector<std::uint8_t> Saved(const CTileLayerSet& set, const std::string* props) {
        CBuffer out;
        EXPECT_TRUE(set.Save(out, props));
        return out.Bytes();
    }
    // Loads into `set`; the properties and the error go to m_props and m_error.
    bool LoadBytes(CTileLayerSet& set, const std::vector<std::uint8_t>& bytes) {
        CBuffer in(bytes);
        return set.Load(in, m_props, m_error);
    }

    std::optional<std::string> m_props;
    std::string m_error;
    ovetest::TempDir m_data;
    CCompoundFolder m_folder;
    CResourceCache m_cache{nullptr, nullptr, &m_folder};
};

TEST_F(LayerFileTest, RoundTripWithAndWithoutProperties) {
    CTileLayerSet set(&m_cache);
    CTileLayer* a = set.AddLayer("back", 3, 2);
    set.InsertLayer("front", 1, 1, 0);
    ASSERT_TRUE(a->SetView(m_cache.LoadView("tiles")));
    a->modeX = kTileRepeat;
    a->modeY = kTileClamp;
    a->priority = 7;
    a->visible = 0;
    a->delay = 3;
    a->SetScale(0.75f);
    ASSERT_TRUE(a->SetTile(0, 0, 1, 1, 0, false));
    ASSERT_TRUE(a->SetTile(2, 1, 0, 2, 0, true));

    const std::string props = "{\"level\":3}";
    auto bytes = Saved(set, &props);
    ASSERT_EQ(std::memcmp(bytes.data(), "LYRS", 4), 0);

    CTileLayerSet copy(&m_cache);
    ASSERT_TRUE(LoadBytes(copy, bytes)) << m_error;
    ASSERT_EQ(copy.Count(), 2u);
    EXPECT_EQ(copy.Layer(0)->name, "front");
    EXPECT_EQ(copy.Layer(0)->View(), nullptr);
    const CTileLayer* c = copy.Find("back");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(tilestest::Describe(*c), "back 3x2 cel 16x8 modes 3/2 priority 7 visible 0 delay 3 scale 0.75 tiles 2");
    EXPECT_EQ(c->View(), m_cache.LoadView("tiles"));
    EXPECT_EQ(tilestest::Tiles(*c, {{0, 0}, {2, 1}}), "1/1/1 0/2/2*") << "loading starts animations at their base";
    ASSERT_TRUE(m_props.has_value());
    EXPECT_EQ(*m_props, props);

    // Saved again without properties: no PROP chunk at all, and the rest is identical.
    auto plain = Saved(copy, nullptr);
    EXPECT_EQ(plain.size(), bytes.size() - 8 - props.size());
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), bytes.begin()));
    ASSERT_TRUE(LoadBytes(copy, plain)) << m_error;
    EXPECT_FALSE(m_props.has_value());
}

TEST_F(LayerFileTest, TileWordKinds) {
    STile t;
    t.present = 1;
    t.animated = 1;
    t.loop = 0x12345;  // only 15 bits fit
    t.base = 9;
    const std::uint32_t w = EncodeTileWord(t);
    EXPECT_EQ(w, (9u << 17) | (0x2345u << 2) | 2u);
    EXPECT_EQ(TileWordLoop(w), 0x2345);
    EXPECT_EQ(TileWordBase(w), 9);

    SLayerFile file;
    SLayerRecord rec;
    rec.columns = 3;
    rec.rows = 1;
    rec.name = "k";
    rec.viewName = "tiles";
    // static loop 1 cel 1, kind 3 naming a valid tile, animated loop 0 cel 2
    rec.words = {(1u << 17) | (1u << 2) | 1u, (1u << 17) | (1u << 2) | 3u, (2u << 17) | 2u};
    file.layers.push_back(rec);
    CBuffer out;
    ASSERT_TRUE(WriteLayerFile(out, file));
    CTileLayerSet set(&m_cache);
    ASSERT_TRUE(LoadBytes(set, out.Bytes())) << m_error;
    // Kind 3 leaves the (empty) cell as it was.
    EXPECT_EQ(tilestest::Tiles(*set.Layer(0), {{0, 0}, {1, 0}, {2, 0}}), "1/1/1 - 0/2/2*");
}

TEST_F(LayerFileTest, DamagedFilesFailFastAndChangeNothing) {
    CTileLayerSet good(&m_cache);
    CTileLayer* l = good.AddLayer("name", 4, 3);
    ASSERT_TRUE(l->SetView(m_cache.LoadView("tiles")));
    const std::string props = "{\"a\":1}";
    const auto bytes = Saved(good, &props);

    CTileLayerSet target(&m_cache);
    target.AddLayer("keep", 1, 1);
    // Every truncation fails (before the PROP chunk starts) or loses only the properties.
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + std::ptrdiff_t(n));
        const bool ok = LoadBytes(target, cut);
        const std::size_t propStart = bytes.size() - 8 - props.size();
        if (n < propStart) {
            EXPECT_FALSE(ok) << n;
            ASSERT_EQ(target.Count(), 1u);
            EXPECT_EQ(target.Layer(0)->name, "keep");
        } else if (n < propStart + 8) {
            EXPECT_TRUE(ok) << n;  // a few stray bytes after the layers are not a chunk
            EXPECT_FALSE(m_props.has_value());
        } else {
            EXPECT_FALSE(ok) << n;  // PROP length beyond the data
        }
        target.ReplaceLayers({});
        target.AddLayer("keep", 1, 1);
    }

    auto load = [&](std::vector<std::uint8_t> b) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = LoadBytes(target, b);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        return ok;
    };
    auto put32 = [](std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
    };
    // 16 bytes claiming 2^31 - 1 layers, or a negative count.
    std::vector<std::uint8_t> head = {'L', 'Y', 'R', 'S', 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(load(head));
    EXPECT_NE(m_error.find("layer count"), std::string::npos) << m_error;
    put32(head, 4, 0x80000000u);
    EXPECT_FALSE(load(head));
    // Fields of the first layer's header changed: (offset, value).
    auto changed = [&](std::initializer_list<std::pair<std::size_t, std::uint32_t>> fields) {
        auto b = bytes;
        for (auto [at, v] : fields) put32(b, 8 + at, v);
        return b;
    };
    // A header claiming 65535 x 65535 tiles, or more than the data holds.
    EXPECT_FALSE(load(changed({{8, 65535}, {12, 65535}})));
    EXPECT_FALSE(load(changed({{8, 1000}, {12, 1000}})));
    EXPECT_NE(m_error.find("truncated tiles"), std::string::npos) << m_error;
    // A layer of no columns and 1.4 billion rows (found by fuzzing): no tiles to walk.
    const std::vector<std::uint8_t> tall = {
        0x4C, 0x59, 0x52, 0x53, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
        0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x4C, 0x59, 0x52, 0x53, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00,
        0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    ASSERT_TRUE(load(tall)) << m_error;
    ASSERT_EQ(target.Count(), 2u);
    EXPECT_EQ(target.Layer(1)->Columns(), 0);
    EXPECT_EQ(target.Layer(1)->Rows(), 1397905740);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoadBytes(target, Saved(target, nullptr)), true) << m_error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    target.ReplaceLayers({});
    target.AddLayer("keep", 1, 1);
    // A name length beyond the data, a bad mode, a bad scale (NaN), a wrong tag.
    EXPECT_FALSE(load(changed({{0, 4}})));
    EXPECT_FALSE(load(changed({{24, 0xFFC00000u}})));
    auto damaged = bytes;
    damaged[8 + 28] = damaged[8 + 29] = 0xFF;
    EXPECT_FALSE(load(damaged));
    damaged = bytes;
    damaged[0] = 'X';
    EXPECT_FALSE(load(damaged));
    ASSERT_EQ(target.Count(), 1u);
    EXPECT_EQ(target.Layer(0)->name, "keep");
}

TEST_F(LayerFileTest, MissingOrMixedViewsFailTheLoad) {
    for (const char* viewName : {"nosuch", "odd"}) {
        SLayerFile file;
        SLayerRecord rec;
        rec.columns = rec.rows = 1;
        rec.words = {0};
        rec.viewName = viewName;
        file.layers.push_back(rec);
        CBuffer out;
        ASSERT_TRUE(WriteLayerFile(out, file));
        CTileLayerSet set(&m_cache);
        EXPECT_FALSE(LoadBytes(set, out.Bytes()));
        EXPECT_NE(m_error.find(viewName), std::string::npos) << m_error;
        EXPECT_EQ(set.Count(), 0u);
    }
}
