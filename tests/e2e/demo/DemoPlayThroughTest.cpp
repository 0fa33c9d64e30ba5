// The demo played from start to end by a recorded session (playthrough.rec) replayed headless:
// through the door into the hall, where the box is locked and the keeper talks, back to the study
// for the key in the chest, then the box opens and "The End" shows.
// Screenshots taken on the way are checked against the art: the hall must show its tile map,
// the box its open tiles, the keeper's line must stand over his head, and the end screen must be
// black apart from its centred text.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DemoTestUtil.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using demotest::SPicture;

constexpr int kTile = 16;
constexpr int kTileSetColumns = 8;  // hall-tiles.png is 8 tiles wide

struct SRect {
    int x1, y1, x2, y2;  // inclusive
    bool Contains(int x, int y) const { return x >= x1 && x <= x2 && y >= y1 && y <= y2; }
};

// The hall's map as drawn by draw.sh: tile numbers from 1, rows top to bottom.
std::vector<std::vector<int>> ReadMap(const fs::path& csv) {
    std::vector<std::vector<int>> map;
    std::ifstream in(csv);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        std::vector<int> row;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) row.push_back(std::stoi(cell));
        map.push_back(row);
    }
    return map;
}

// What the hall's tile layer puts at a screen pixel (the layer is not scrolled), with each tile
// `shift` tiles further on in the tile set.
std::uint32_t HallPixel(const SPicture& tiles, const std::vector<std::vector<int>>& map, int x, int y, int shift = 0) {
    const int t = map.at(std::size_t(y / kTile)).at(std::size_t(x / kTile)) - 1 + shift;
    return tiles.Rgb(t % kTileSetColumns * kTile + x % kTile, t / kTileSetColumns * kTile + y % kTile);
}

// The cel box of a 16 x 32 sprite standing at (x, y), one pixel wider all round.
SRect SpriteBox(int x, int y) { return {x - 9, y - 32, x + 8, y + 1}; }

class DemoPlayThrough : public ::testing::Test {
protected:
    void SetUp() override {
        if (!demotest::CopyDemoForTest(m_game.path(), " font=\"small\"")) FAIL() << demotest::kBuildDemoFirst;
        m_game.Write("DATA/test.ovs", "Import('main');\n");  // the demo as it is
        fs::copy_file(fs::path(OVE_TEST_SOURCE_DIR) / "e2e" / "demo" / "playthrough.rec", m_game / "playthrough.rec");
        m_tiles = demotest::ReadPng(demotest::DemoArtDir() / "hall-tiles.png");
        m_map = ReadMap(demotest::DemoArtDir() / "hall-map.csv");
    }

    // The replay asks for screenshots of its own ("shot TURN name.png" lines).
    SPicture Shot(const std::string& name) { return demotest::ReadPng(m_game / (name + ".png")); }

    ovetest::TempDir m_game;
    SPicture m_tiles;
    std::vector<std::vector<int>> m_map;
};

}  // namespace

TEST_F(DemoPlayThrough, FromTheFirstClickToTheEnd) {
    ASSERT_EQ(m_tiles.width, 128);
    ASSERT_EQ(m_map.size(), 15u);
    // --verbose: the demo says each line of the story with debug().
    const demotest::SRun r = demotest::RunEngine(m_game.path(), "--verbose --replay playthrough.rec --frames 1400");
    ASSERT_EQ(r.status, 0) << r.err;
    // The story's lines in the order spoken: the box described, locked, the keeper's welcome, the
    // key, the hero's joy at the box and the keeper's thanks; Escape ended the game before the
    // frame limit, so nothing came after.
    std::size_t from = 0;
    for (const char* s : {"says: A small box with a brass lock.", "says: It's locked.", "says: Welcome to the hall",
                          "says: I take a brass key.", "says: The key fits!", "says: Well done."}) {
        const std::size_t at = r.err.find(s, from);
        EXPECT_NE(at, std::string::npos) << "'" << s << "' in its turn in:\n" << r.err;
        if (at != std::string::npos) from = at;
    }

    // The hall as drawn by its tile map, apart from the buttons at the top, the status line at the
    // bottom and the two people.
    const SRect hero = SpriteBox(272, 180), keeper = SpriteBox(150, 200);
    const SPicture hall = Shot("hall");
    ASSERT_EQ(hall.width, 320);
    ASSERT_EQ(hall.height, 240);
    int checked = 0, wrong = 0;
    for (int y = 22; y < 240 - 14; ++y)
        for (int x = 0; x < 320; ++x) {
            if (hero.Contains(x, y) || keeper.Contains(x, y)) continue;
            ++checked;
            if (hall.Rgb(x, y) != HallPixel(m_tiles, m_map, x, y)) ++wrong;
        }
    EXPECT_GT(checked, 60000);
    EXPECT_EQ(wrong, 0) << "of " << checked << " pixels";
    int heroPixels = 0;
    for (int y = hero.y1; y <= hero.y2; ++y)
        for (int x = hero.x1; x <= hero.x2; ++x) heroPixels += hall.Rgb(x, y) != HallPixel(m_tiles, m_map, x, y);
    EXPECT_GT(heroPixels, 100) << "the hero stands at the hall's entrance";

    // The keeper's first line: a dark box over his head with light blue letters in it.
    const SPicture talk = Shot("keeper");
    ASSERT_EQ(talk.width, 320);
    int darker = 0, blue = 0;
    for (int y = 22; y < keeper.y1; ++y)
        for (int x = 60; x < 240; ++x) {
            const std::uint32_t got = talk.Rgb(x, y), tile = HallPixel(m_tiles, m_map, x, y);
            const int r = int(got >> 16), g = int(got >> 8 & 255), b = int(got & 255);
            const int tileSum = int(tile >> 16) + int(tile >> 8 & 255) + int(tile & 255);
            if (r + g + b + 60 < tileSum) ++darker;
            if (b > 200 && b > r + 40) ++blue;
        }
    EXPECT_GT(darker, 500) << "the line's dark box";
    EXPECT_GT(blue, 20) << "the keeper's light blue letters";

    // The box's four cells now show the open box, two tiles further on in the tile set.
    const SPicture open = Shot("open");
    ASSERT_EQ(open.width, 320);
    int boxWrong = 0;
    for (int y = 160; y < 192; ++y)
        for (int x = 48; x < 80; ++x) boxWrong += open.Rgb(x, y) != HallPixel(m_tiles, m_map, x, y, 2);
    EXPECT_EQ(boxWrong, 0);

    // The end: black but for two lines of text, centred, a large gold title over a grey line.
    const SPicture end = Shot("end");
    ASSERT_EQ(end.width, 320);
    SRect gold{320, 240, -1, -1}, grey{320, 240, -1, -1};
    int other = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const std::uint32_t c = end.Rgb(x, y);
            const int r = int(c >> 16), g = int(c >> 8 & 255), b = int(c & 255);
            // The letters' smoothed edges fade into the black: tell the colours apart where they
            // are bright enough to be sure (gold has about half as much blue as red).
            if (r + g + b < 90) continue;
            SRect* box = nullptr;
            if (r >= g && g > b && b * 3 < r * 2) box = &gold;
            else if (std::abs(r - g) <= 3 && std::abs(g - b) <= 3) box = &grey;
            if (!box) {
                ++other;
                continue;
            }
            box->x1 = std::min(box->x1, x), box->y1 = std::min(box->y1, y);
            box->x2 = std::max(box->x2, x), box->y2 = std::max(box->y2, y);
        }
    EXPECT_EQ(other, 0);
    ASSERT_GE(gold.x2, 0) << "no title";
    ASSERT_GE(grey.x2, 0) << "no second line";
    EXPECT_GT(gold.y2 - gold.y1, 16) << "the title is large";
    EXPECT_LT(gold.y2, grey.y1) << "the title stands above the other line";
    EXPECT_NEAR(gold.x1, 319 - gold.x2, 3) << "the title is centred";
    EXPECT_NEAR(grey.x1, 319 - grey.x2, 3) << "the line is centred";
    EXPECT_NEAR(gold.y1 + grey.y2, 239, 12) << "the text sits in the middle";
}
