// ovetool layers and dump end to end: a tile-set PNG written with libpng and a map in CSV or
// JSON become a layer set that the engine's loader reads back.
#include <gtest/gtest.h>

#include "LayersToolFixture.h"

using namespace ove;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

class LayersToolTest : public tilestest::CToolFixture {
protected:
    void SetUp() override {
        // A 2 x 2 tile set of 4 x 3 tiles: red, green / blue, white.
        const std::uint32_t colours[4] = {kRed, kGreen, kBlue, 0xFFFFFFFFu};
        ASSERT_TRUE(tilestest::WriteOpaquePng(dir / "set.png", 8, 6,
                                              [&](int x, int y) { return colours[(y / 3) * 2 + x / 4]; }));
    }
};

}  // namespace

TEST_F(LayersToolTest, CsvMapBecomesALoadableSet) {
    dir.Write("map.csv", "1, 0,4\r\n3,2,1,\n\n");
    ASSERT_TRUE(Import("set.png 4 3 map.csv --name ground --priority 2 --mode-x repeat --scale 2"));
    EXPECT_NE(out.find("5 tiles placed"), std::string::npos) << out;
    EXPECT_FALSE(props.has_value());
    ASSERT_EQ(set->Count(), 1u);
    const CTileLayer* l = set->Layer(0);
    // Modes: REPEAT across, LIMIT down.
    EXPECT_EQ(tilestest::Describe(*l), "ground 3x2 cel 4x3 modes 3/1 priority 2 visible 1 delay 0 scale 2 tiles 5");
    EXPECT_EQ(l->GetTile(1, 0), nullptr);
    // Tile n is cel n - 1, counted row by row over the picture.
    EXPECT_EQ(l->ReadWorldPixel(0, 0), kRed);
    EXPECT_EQ(l->ReadWorldPixel(8 + 1, 2), 0xFFFFFFFFu);
    EXPECT_EQ(l->ReadWorldPixel(0, 3), kBlue);
    EXPECT_EQ(l->ReadWorldPixel(4, 5), kGreen);

    ASSERT_EQ(Tool("dump world.OVT"), 0) << out;
    for (const char* line :
         {"layer 0 [ground]: 3x2 tiles, view [set], modes REPEAT/LIMIT", "5 static, 0 animated, 1 empty", "PROP: none"})
        EXPECT_NE(out.find(line), std::string::npos) << out;
}

TEST_F(LayersToolTest, JsonMapWithLayersAndProperties) {
    dir.Write("map.json",
              R"({"properties": {"music": "hall"},
                  "layers": [{"name": "back", "columns": 2, "rows": 1, "tiles": [2, 2], "mode_y": 3},
                             {"name": "front", "columns": 1, "rows": 2, "tiles": [0, 1], "priority": 5}]})");
    ASSERT_TRUE(Import("set.png 4 3 map.json --view tiles"));
    EXPECT_TRUE(fs::exists(dir / "tiles.OVV"));
    ASSERT_EQ(set->Count(), 2u);
    EXPECT_EQ(set->Layer(0)->modeY, kTileRepeat);
    EXPECT_EQ(set->Layer(1)->priority, 5);
    EXPECT_EQ(set->Layer(0)->ReadWorldPixel(5, 0), kGreen);
    EXPECT_EQ(set->Layer(1)->PresentCount(), 1u);
    EXPECT_EQ(props.value_or(""), "{\"music\":\"hall\"}");

    ASSERT_EQ(Tool("dump world.OVT"), 0) << out;
    EXPECT_NE(out.find("PROP: 16 bytes: {\"music\":\"hall\"}"), std::string::npos) << out;
}

TEST_F(LayersToolTest, BadMapsAreReported) {
    const struct {
        const char *file, *content, *message;
    } cases[] = {
        {"wide.csv", "1,2\n1\n", "line 2 has 1 tiles, the first row 2"},
        {"range.csv", "5\n", "tile 5 is not in the set of 4"},
        {"short.json", R"({"columns": 2, "rows": 2, "tiles": [1]})", "'tiles' has 1 entries"},
        {"bad.json", "{columns", "bad JSON"},
    };
    for (const auto& c : cases) {
        dir.Write(c.file, c.content);
        EXPECT_EQ(Tool(std::string("layers world.OVT set.png 4 3 ") + c.file), 1) << c.file;
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
    EXPECT_FALSE(fs::exists(dir / "world.OVT"));
}
