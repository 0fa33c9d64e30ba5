// The demo played from start to end by a script that clicks like a player: through the door into
// the hall, where the box is locked and the keeper talks, back to the study for the key in the
// chest, then the box opens and "The End" shows.
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
SRect SpriteBox(int x, int y) {
    return {x - 9, y - 32, x + 8, y + 1};
}

class DemoPlayThrough : public ::testing::Test {
protected:
    void SetUp() override {
        if (!demotest::CopyDemoForTest(game_.path(), " font=\"small\"")) FAIL() << demotest::kBuildDemoFirst;
        // Inside the game's folder: a game may not write anywhere else.
        std::filesystem::create_directory(shots_);
        tiles_ = demotest::ReadPng(demotest::DemoArtDir() / "hall-tiles.png");
        map_ = ReadMap(demotest::DemoArtDir() / "hall-map.csv");
    }

    // Runs the test script after the helpers that play: Turns(n) runs n turns of the game loop,
    // Until(condition) runs turns until it holds, Click(x, y, buttons) presses and lets go,
    // ClickRoom clicks a room pixel and Shot(name) saves the screen as name.bmp in shots_.
    demotest::SRun Play(const std::string& script) {
        game_.Write("DATA/test.ovs", "Import('main');\nvar SHOTS = '" + shots_.string() + "/';\n" + R"(
function Turns(n) { for (var i = 0; i < n && running; i++) Turn(); }
function Until(condition) {
    for (var i = 0; i < 3000 && running && !condition(); i++) Turn();
    if (!condition()) throw new Error("gave up waiting for " + condition);
}
function Click(x, y, buttons) { onMouseEvent(x, y, buttons || 1); onMouseEvent(x, y, 0); }
function ClickRoom(x, y) { var p = BackdropToScreen(x, y); Click(p.x, p.y); }
function Arrived() { return !Hero.sprite.Moving(); }
function Shot(name) { Display(); SaveImage(SHOTS + name + ".bmp", RenderToImage(WIDTH, HEIGHT)); }
)" + script);
        return demotest::RunEngine(game_.path(), "");
    }

    SPicture Shot(const std::string& name) { return demotest::ReadBmp(shots_ / (name + ".bmp")); }

    ovetest::TempDir game_;
    std::filesystem::path shots_ = game_ / "shots";
    SPicture tiles_;
    std::vector<std::vector<int>> map_;
};

}  // namespace

TEST_F(DemoPlayThrough, FromTheFirstClickToTheEnd) {
    ASSERT_EQ(tiles_.width, 128);
    ASSERT_EQ(map_.size(), 15u);
    const demotest::SRun r = Play(R"(
var said = [];
function Heard() {
    var line = (Talk.shown.who === Hero.sprite ? "hero: " : "keeper: ") + Talk.shown.text;
    if (said[said.length - 1] !== line) said.push(line);
}
function Listen() {
    for (var i = 0; i < 3000 && Talk.Busy() && !Ending.shown; i++) {
        if (Talk.shown) Heard();
        Turn();
    }
}
Run = function () {
    Camera.autoPan = false;
    Until(function () { return Camera.zoom >= 1; });

    // Through the door into the hall.
    ClickRoom(72, 120); Until(function () { return Rooms.name === "hall"; });
    var entered = [GetBackdrop(), Hero.sprite.x, Hero.sprite.y, Rooms.keeper.x, Rooms.keeper.y];
    Turns(2); Shot("hall");

    // Pointing at the box names it; a right click describes it; without the key it stays shut.
    onMouseEvent(64, 176, 0);
    var hover = Gui.status.text;
    Click(64, 176, 2); Turns(1);
    var described = Talk.shown ? Talk.shown.text : "";
    Click(10, 120); Turns(1);
    ClickRoom(64, 176); Until(Arrived); Listen();
    var shut = Rooms.boxOpen;

    // The keeper talks; the test skips through with clicks after a glance at his first line.
    var k = BackdropToScreen(Rooms.keeper.x, Rooms.keeper.y - 16);
    Click(k.x, k.y); Until(Arrived); Turns(1);
    Shot("keeper");
    for (var i = 0; i < 20 && Talk.shown; i++) { Heard(); Click(10, 120); Turns(1); }

    // Back to the study for the key in the chest, and into the hall again.
    ClickRoom(272, 100); Until(function () { return Rooms.name === "room"; });
    var back = [Hero.sprite.x, Hero.sprite.y];
    ClickRoom(154, 166); Until(Arrived); Listen();
    var bag = Gui.items.join("+");
    ClickRoom(72, 120); Until(function () { return Rooms.name === "hall"; });

    // The key opens the box: its tiles change, the keeper speaks, then the end.
    ClickRoom(64, 176); Until(Arrived); Turns(1);
    var box = [Rooms.boxOpen, Gui.items.join("+"), Hero.sprite.x, Hero.sprite.y];
    Shot("open");
    Listen();
    Until(function () { return Ending.shown; });
    Turns(2); Shot("end");
    Alert([entered, hover, described, shut, back, bag, box, running].join("|"));
    Alert(said.join("\n"));
    // After the end clicks do nothing, and Escape leaves.
    Click(64, 176); PostKey(ESCAPE); Turns(5);
    Alert(Hero.sprite.Moving(), running);
};
)");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream out(r.err);
    std::string summary, line;
    std::getline(out, summary);
    EXPECT_EQ(summary,
              "Alert: hall,272,180,150,200|box|A small box with a brass lock.|false|72,215|a candle+a brass key|"
              "true,a candle+a golden crown,98,192|true");
    std::string said, last;
    while (std::getline(out, line)) said += line + "\n", last = line;
    EXPECT_EQ(last, "Alert: false false") << "the end ignores clicks and Escape leaves";
    // The story's lines in the order spoken: the locked box, the keeper's welcome, the key, the
    // hero's joy at the box and the keeper's thanks.
    std::size_t from = 0;
    for (const char* s : {"hero: It's locked.", "keeper: Welcome to the hall", "hero: I take a brass key.",
                          "hero: The key fits!", "keeper: Well done."}) {
        const std::size_t at = said.find(s, from);
        EXPECT_NE(at, std::string::npos) << "'" << s << "' in its turn in:\n" << said;
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
            if (hall.Rgb(x, y) != HallPixel(tiles_, map_, x, y)) ++wrong;
        }
    EXPECT_GT(checked, 60000);
    EXPECT_EQ(wrong, 0) << "of " << checked << " pixels";
    int heroPixels = 0;
    for (int y = hero.y1; y <= hero.y2; ++y)
        for (int x = hero.x1; x <= hero.x2; ++x) heroPixels += hall.Rgb(x, y) != HallPixel(tiles_, map_, x, y);
    EXPECT_GT(heroPixels, 100) << "the hero stands at the hall's entrance";

    // The keeper's first line: a dark box over his head with light blue letters in it.
    const SPicture talk = Shot("keeper");
    ASSERT_EQ(talk.width, 320);
    int darker = 0, blue = 0;
    for (int y = 22; y < keeper.y1; ++y)
        for (int x = 60; x < 240; ++x) {
            const std::uint32_t got = talk.Rgb(x, y), tile = HallPixel(tiles_, map_, x, y);
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
        for (int x = 48; x < 80; ++x) boxWrong += open.Rgb(x, y) != HallPixel(tiles_, map_, x, y, 2);
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
            if (r >= g && g > b && b * 3 < r * 2)
                box = &gold;
            else if (std::abs(r - g) <= 3 && std::abs(g - b) <= 3)
                box = &grey;
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
