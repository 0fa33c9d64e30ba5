// ovetool layers and dump end to end: a tile-set PNG written with libpng and a map in CSV or
// JSON become a layer set that the engine's loader reads back.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "data/FileFolder.h"
#include "data/ResourceCache.h"
#include "support/TestSupport.h"
#include "tiles/TileSetPng.h"
#include "tiles/TileLayerSet.h"

using namespace ove;
namespace fs = std::filesystem;

namespace {

const std::string kTool = OVE_BUILD_DIR "/ovetool";
constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

class LayersToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kTool)) GTEST_SKIP() << "ovetool not built";
        // A 2 x 2 tile set of 4 x 3 tiles: red, green / blue, white.
        const std::uint32_t colours[4] = {kRed, kGreen, kBlue, 0xFFFFFFFFu};
        ASSERT_TRUE(tiletest::WriteOpaquePng(dir / "set.png", 8, 6,
                                             [&](int x, int y) { return colours[(y / 3) * 2 + x / 4]; }));
    }

    int Tool(const std::string& args, std::string& output) {
        const fs::path log = dir / "tool.log";
        const int rc = ovetest::Run("cd '" + dir.path().string() + "' && '" + kTool + "' " + args + " > '" +
                                    log.string() + "' 2>&1");
        std::ifstream in(log);
        std::stringstream s;
        s << in.rdbuf();
        output = s.str();
        return rc;
    }

    bool Load(CTileLayerSet& set, std::optional<std::string>& props, std::string& error) {
        CFile file((dir / "world.OVT").c_str(), "rb");
        return set.Load(file, props, error);
    }

    ovetest::TempDir dir;
    CCompoundFolder folder;
};

}  // namespace

TEST_F(LayersToolTest, CsvMapBecomesALoadableSet) {
    dir.Write("map.csv", "1, 0,4\r\n3,2,1,\n\n");
    std::string out;
    ASSERT_EQ(Tool("layers world.OVT set.png 4 3 map.csv --name ground --priority 2 --mode-x repeat --scale 2", out), 0)
        << out;
    EXPECT_NE(out.find("5 tiles placed"), std::string::npos) << out;

    folder.Add(new CDirectory(dir.path().string()));
    CResourceCache cache(nullptr, nullptr, &folder);
    CTileLayerSet set(&cache);
    std::optional<std::string> props;
    std::string error;
    ASSERT_TRUE(Load(set, props, error)) << error;
    EXPECT_FALSE(props.has_value());
    ASSERT_EQ(set.Count(), 1u);
    const CTileLayer* l = set.Layer(0);
    EXPECT_EQ(l->name, "ground");
    EXPECT_EQ(l->Columns(), 3);
    EXPECT_EQ(l->Rows(), 2);
    EXPECT_EQ(l->priority, 2);
    EXPECT_EQ(l->modeX, kTileRepeat);
    EXPECT_EQ(l->modeY, kTileLimit);
    EXPECT_FLOAT_EQ(l->Scale(), 2.0f);
    EXPECT_EQ(l->CelWidth(), 4);
    EXPECT_EQ(l->CelHeight(), 3);
    EXPECT_EQ(l->PresentCount(), 5u);
    EXPECT_EQ(l->GetTile(1, 0), nullptr);
    // Tile n is cel n - 1, counted row by row over the picture.
    EXPECT_EQ(l->ReadWorldPixel(0, 0), kRed);
    EXPECT_EQ(l->ReadWorldPixel(8 + 1, 2), 0xFFFFFFFFu);
    EXPECT_EQ(l->ReadWorldPixel(0, 3), kBlue);
    EXPECT_EQ(l->ReadWorldPixel(4, 5), kGreen);

    ASSERT_EQ(Tool("dump world.OVT", out), 0) << out;
    EXPECT_NE(out.find("layer 0 [ground]: 3x2 tiles, view [set], modes REPEAT/LIMIT"), std::string::npos) << out;
    EXPECT_NE(out.find("5 static, 0 animated, 1 empty"), std::string::npos) << out;
    EXPECT_NE(out.find("PROP: none"), std::string::npos) << out;
}

TEST_F(LayersToolTest, JsonMapWithLayersAndProperties) {
    dir.Write("map.json",
              R"({"properties": {"music": "hall"},
                  "layers": [{"name": "back", "columns": 2, "rows": 1, "tiles": [2, 2], "mode_y": 3},
                             {"name": "front", "columns": 1, "rows": 2, "tiles": [0, 1], "priority": 5}]})");
    std::string out;
    ASSERT_EQ(Tool("layers world.OVT set.png 4 3 map.json --view tiles", out), 0) << out;
    EXPECT_TRUE(fs::exists(dir / "tiles.OVV"));

    folder.Add(new CDirectory(dir.path().string()));
    CResourceCache cache(nullptr, nullptr, &folder);
    CTileLayerSet set(&cache);
    std::optional<std::string> props;
    std::string error;
    ASSERT_TRUE(Load(set, props, error)) << error;
    ASSERT_EQ(set.Count(), 2u);
    EXPECT_EQ(set.Layer(0)->modeY, kTileRepeat);
    EXPECT_EQ(set.Layer(1)->priority, 5);
    EXPECT_EQ(set.Layer(0)->ReadWorldPixel(5, 0), kGreen);
    EXPECT_EQ(set.Layer(1)->PresentCount(), 1u);
    ASSERT_TRUE(props.has_value());
    EXPECT_EQ(*props, "{\"music\":\"hall\"}");

    ASSERT_EQ(Tool("dump world.OVT", out), 0) << out;
    EXPECT_NE(out.find("PROP: 16 bytes: {\"music\":\"hall\"}"), std::string::npos) << out;
}

TEST_F(LayersToolTest, BadMapsAreReported) {
    std::string out;
    dir.Write("wide.csv", "1,2\n1\n");
    EXPECT_EQ(Tool("layers world.OVT set.png 4 3 wide.csv", out), 1);
    EXPECT_NE(out.find("line 2 has 1 tiles, the first row 2"), std::string::npos) << out;
    dir.Write("range.csv", "5\n");
    EXPECT_EQ(Tool("layers world.OVT set.png 4 3 range.csv", out), 1);
    EXPECT_NE(out.find("tile 5 is not in the set of 4"), std::string::npos) << out;
    dir.Write("short.json", R"({"columns": 2, "rows": 2, "tiles": [1]})");
    EXPECT_EQ(Tool("layers world.OVT set.png 4 3 short.json", out), 1);
    EXPECT_NE(out.find("'tiles' has 1 entries"), std::string::npos) << out;
    dir.Write("bad.json", "{columns");
    EXPECT_EQ(Tool("layers world.OVT set.png 4 3 bad.json", out), 1);
    EXPECT_NE(out.find("bad JSON"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir / "world.OVT"));
}
