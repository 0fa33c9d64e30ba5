// ovetool layers with maps saved by Tiled (JSON): hand-written maps become layer sets that the
// engine's loader reads back with the right tiles, turns, animation and properties.
#include <gtest/gtest.h>

#include <tuple>

#include "LayersToolFixture.h"
#include "support/DeflateTestUtil.h"

using namespace ove;
using pngtest::ZlibDeflate;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu, kWhite = 0xFFFFFFFFu,
                        kMark = 0xFF000000u;

std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t v = std::uint32_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= std::uint32_t(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= bytes[i + 2];
        out += k[v >> 18 & 63];
        out += k[v >> 12 & 63];
        out += i + 1 < bytes.size() ? k[v >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? k[v & 63] : '=';
    }
    return out;
}

std::vector<std::uint8_t> LittleEndian(const std::vector<std::uint32_t>& gids) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t g : gids)
        for (int b = 0; b < 4; ++b) out.push_back(std::uint8_t(g >> (8 * b)));
    return out;
}

class TiledImportTest : public tilestest::CToolFixture {
protected:
    void SetUp() override {
        // Four 4 x 4 tiles, red, green / blue, white, each marked black at (1, 0) so that a turn
        // shows where the mark goes.
        const std::uint32_t colours[4] = {kRed, kGreen, kBlue, kWhite};
        fs::create_directories(dir / "art");
        ASSERT_TRUE(tilestest::WriteOpaquePng(dir / "art" / "set.png", 8, 8, [&](int x, int y) {
            return x % 4 == 1 && y % 4 == 0 ? kMark : colours[(y / 4) * 2 + x / 4];
        }));
    }
};

// Each (x, y) of the layer's world reads its colour.
void ExpectWorldPixels(const CTileLayer& l, std::initializer_list<std::tuple<int, int, std::uint32_t>> want) {
    for (auto [x, y, colour] : want) EXPECT_EQ(l.ReadWorldPixel(x, y), colour) << "at " << x << "," << y;
}

const char* kTileset = R"({"firstgid": 1, "name": "ground", "image": "art/set.png", "imagewidth": 8,
    "imageheight": 8, "tilewidth": 4, "tileheight": 4, "columns": 2, "tilecount": 4, "margin": 0, "spacing": 0,
    "tiles": [{"id": 2, "properties": [{"name": "solid", "type": "bool", "value": true}]}]})";

std::string Map(const std::string& layers, const std::string& tileset = kTileset, const std::string& extra = "") {
    return R"({"type": "map", "tiledversion": "1.10.2", "orientation": "orthogonal", "renderorder": "right-down",
        "infinite": false, "width": 3, "height": 2, "tilewidth": 4, "tileheight": 4,)" +
           extra + R"( "tilesets": [)" + tileset + R"(], "layers": [)" + layers + "]}";
}

}  // namespace

TEST_F(TiledImportTest, LayersTilesAndPropertiesComeThrough) {
    // The front layer's data is base64 of raw little-endian ids: 0, 0, 3 / 0, 0, 0.
    const std::string front = Base64(LittleEndian({0, 0, 3, 0, 0, 0}));
    dir.Write("hall.tmj",
              Map(R"({"type": "tilelayer", "id": 1, "name": "back", "width": 3, "height": 2, "visible": true,
                      "data": [1, 2, 0, 4, 4, 3],
                      "properties": [{"name": "priority", "type": "int", "value": 3},
                                     {"name": "music", "type": "string", "value": "hall"}]},
                     {"type": "objectgroup", "id": 2, "name": "things", "objects": []},
                     {"type": "group", "id": 3, "name": "top", "visible": false, "layers": [
                       {"type": "tilelayer", "id": 4, "name": "front", "width": 3, "height": 2,
                        "encoding": "base64", "data": ")" +
                      front + R"("}]})",
                  kTileset, R"( "properties": [{"name": "title", "type": "string", "value": "Hall"}],)"));
    ASSERT_TRUE(Import("hall.tmj"));
    EXPECT_NE(out.find("layer 'things' (objectgroup) skipped"), std::string::npos) << out;
    EXPECT_NE(out.find("2 layers, 6 tiles placed"), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(dir / "hall.OVV")) << "the view is named after the map";

    ASSERT_EQ(set->Count(), 2u);
    const CTileLayer* back = set->Layer(0);
    const CTileLayer* front2 = set->Layer(1);
    EXPECT_EQ(tilestest::Describe(*back), "back 3x2 cel 4x4 modes 1/1 priority 3 visible 1 delay 0 scale 1 tiles 5");
    EXPECT_EQ(tilestest::Describe(*front2), "front 3x2 cel 4x4 modes 1/1 priority 0 visible 0 delay 0 scale 1 tiles 1")
        << "a layer in a hidden group is hidden";

    // Tile id n of the set is loop 0, cel n - 1.
    EXPECT_EQ(tilestest::Tiles(*back, {{1, 1}, {2, 0}}), "0/3/3 -");
    ExpectWorldPixels(*back, {{0, 2, kRed}, {1, 0, kMark}, {6, 1, kGreen}, {10, 6, kBlue}, {2, 7, kWhite}});
    EXPECT_EQ(front2->ReadWorldPixel(8, 3), kBlue);

    EXPECT_EQ(props.value_or(""), R"({"title":"Hall","layers":{"back":{"priority":3,"music":"hall"}},)"
                                  R"("tiles":{"0":{"2":{"solid":true}}}})");
}

TEST_F(TiledImportTest, CompressedDataTurnedTilesAndAnimation) {
    const std::uint32_t H = 0x80000000u, V = 0x40000000u, D = 0x20000000u;
    // Row 0: tile 1 as it is, mirrored, flipped, turned a quarter clockwise; row 1 the animated
    // tile 4 (frames: tile 4, then tile 1, 250 ms each) and the same with its mark mirrored.
    // Window bits 15 make a zlib stream, 31 a gzip one.
    const std::string ids0 = Base64(ZlibDeflate(LittleEndian({1, 1 | H, 1 | V, 1 | D | H}), 9, Z_DEFAULT_STRATEGY, 15));
    const std::string ids1 = Base64(ZlibDeflate(LittleEndian({4, 4 | H, 0, 2}), 9, Z_DEFAULT_STRATEGY, 31));
    const std::string tileset = R"({"firstgid": 1, "source": "ground.tsj"})";
    dir.Write("ground.tsj", R"({"type": "tileset", "name": "ground", "image": "art/set.png", "tilewidth": 4,
        "tileheight": 4, "columns": 2, "tilecount": 4,
        "tiles": [{"id": 3, "animation": [{"tileid": 3, "duration": 250}, {"tileid": 0, "duration": 250}],
                   "properties": [{"name": "water", "type": "bool", "value": true}]}]})");
    const std::string layer = R"({"type": "tilelayer", "name": "L", "width": 4, "height": 1,
        "encoding": "base64", "compression": "zlib", "data": ")" +
                              ids0 + R"("},
        {"type": "tilelayer", "name": "M", "width": 4, "height": 1,
        "encoding": "base64", "compression": "gzip", "data": ")" +
                              ids1 + R"("})";
    dir.Write("turns.json", Map(layer, tileset));
    ASSERT_TRUE(Import("turns.json --view tiles"));
    const CTileLayer* l = set->Layer(0);
    // The mark of tile 1 sits at (1, 0): mirrored (2, 0), flipped (1, 3), turned clockwise (3, 1).
    ExpectWorldPixels(*l, {{1, 0, kMark},
                           {4 + 2, 0, kMark},
                           {4 + 1, 0, kRed},
                           {8 + 1, 3, kMark},
                           {8 + 1, 0, kRed},
                           {12 + 3, 1, kMark},
                           {12 + 1, 0, kRed}});
    // Loops: 0 the set, then one per turn and per animation in the order they are met.
    EXPECT_EQ(tilestest::Tiles(*l, {{0, 0}, {1, 0}, {3, 0}}), "0/0/0 1/0/0 3/0/0");
    CTileLayer* m = set->Layer(1);
    EXPECT_EQ(tilestest::Tiles(*m, {{0, 0}, {1, 0}}), "4/0/0* 5/0/0*");
    EXPECT_EQ(m->delay, 14) << "250 ms at 60 frames a second is a step every 15 frames";
    ExpectWorldPixels(*m, {{0, 1, kWhite}, {1, 0, kMark}, {4 + 2, 0, kMark}});
    set->Animate();  // the next frame of the animation: tile 1
    ExpectWorldPixels(*m, {{0, 1, kRed}, {4 + 2, 1, kRed}});
    // A tile's properties are found under every loop that holds it: the set's loops (turned or
    // not) at its id, its animation's loops at base cel 0.
    const std::string wet = R"({"water":true})";
    EXPECT_EQ(props.value_or(""), R"({"tiles":{"0":{"3":)" + wet + R"(},"1":{"3":)" + wet + R"(},"2":{"3":)" + wet +
                                      R"(},"3":{"3":)" + wet + R"(},"4":{"0":)" + wet + R"(},"5":{"0":)" + wet + "}}}");
}

TEST_F(TiledImportTest, BadMapsAreReported) {
    const std::string layer = R"({"type": "tilelayer", "name": "L", "width": 3, "height": 2, "data": [1,1,1,1,1,1]})";
    struct SCase {
        std::string map, message;
    } cases[] = {
        {Map(layer, kTileset, R"( "infinite": true,)"), "infinite maps are not supported"},
        {Map(layer).replace(Map(layer).find("orthogonal"), 10, "isometric"), "only orthogonal maps"},
        {Map(R"({"type": "tilelayer", "name": "L", "width": 3, "height": 2, "data": [1, 2]})"),
         "'data' has 2 tiles, width x height is 6"},
        {Map(R"({"type": "tilelayer", "name": "L", "width": 3, "height": 2, "data": [1,1,1,1,1,9]})"),
         "row 1, column 2: tile id 9 is beyond the 4 tiles of tile set 'ground'"},
        {Map(R"({"type": "tilelayer", "name": "L", "width": 3, "height": 2, "encoding": "base64",
                 "compression": "zlib", "data": "eJwDAAAAAAE="})"),
         "compressed data holds 0 tiles, width x height is 6"},
        {Map(R"({"type": "tilelayer", "name": "L", "width": 3, "height": 2, "encoding": "base64",
                 "compression": "zlib", "data": "AAAAAAAAAAAA"})"),
         "damaged compressed data"},
        {Map(R"({"type": "tilelayer", "name": "L", "width": 3, "height": 2, "encoding": "base64",
                 "compression": "zstd", "data": "AAAA"})"),
         "compression 'zstd' is not supported"},
        {Map(layer, R"({"firstgid": 1, "source": "ground.tsx"})"), "XML tile sets are not read"},
        {Map(layer, R"({"firstgid": 1, "name": "big", "image": "art/set.png", "tilewidth": 8, "tileheight": 8})"),
         "tile set 'big' has 8 x 8 tiles, the map 4 x 4"},
        {Map(layer, R"({"firstgid": 1, "name": "lost", "image": "art/none.png", "tilewidth": 4, "tileheight": 4})"),
         "none.png"},
        {Map(R"({"type": "objectgroup", "name": "only"})"), "the map has no tile layers"},
        {Map(layer).substr(0, 120), "bad JSON"},
        {R"({"columns": 1})", "not a Tiled map"},
    };
    for (const SCase& c : cases) {
        dir.Write("bad.tmj", c.map);
        EXPECT_EQ(Tool("layers world.OVT bad.tmj"), 1) << c.message;
        EXPECT_NE(out.find(c.message), std::string::npos) << "expected: " << c.message << "\ngot: " << out;
        EXPECT_FALSE(fs::exists(dir / "world.OVT")) << c.message;
    }
    // Given as a plain map with a tile-set picture, a Tiled map is pointed to the right form.
    dir.Write("good.json", Map(layer));
    EXPECT_EQ(Tool("layers world.OVT art/set.png 4 4 good.json"), 1);
    EXPECT_NE(out.find("good.json is a Tiled map, which names its own tile sets"), std::string::npos) << out;
}
