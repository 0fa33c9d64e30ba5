// The demo's own script logic, driven from a small test script that imports it: clicks name what
// the room's masks hold under the pointer, and keys pan the camera and leave the game.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "DemoTestUtil.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using demotest::SPicture;

// A copy of the built demo whose settings start test.ovs instead of main.ovs.
class DemoScript : public ::testing::Test {
protected:
    void SetUp() override {
        if (!demotest::CopyDemoForTest(m_game.path(), "")) FAIL() << demotest::kBuildDemoFirst;
    }

    demotest::SRun RunWith(const std::string& testScript) {
        m_game.Write("DATA/test.ovs", "Import('main');\n" + testScript);
        return demotest::RunEngine(m_game.path(), "--frames 600");
    }

    ovetest::TempDir m_game;
};

}  // namespace

TEST_F(DemoScript, ClicksNameWhatIsUnderThePointer) {
    const fs::path art = demotest::DemoArtDir();
    const SPicture click = demotest::ReadPng(art / "click.png");
    const SPicture control = demotest::ReadPng(art / "control.png");
    const SPicture walk = demotest::ReadPng(art / "walk.png");
    ASSERT_EQ(click.width, 480);
    const std::vector<std::string> names = demotest::HotspotNames();

    // Before the first frame the camera shows the whole room at the screen's width (320 x 160),
    // centred: room point = (sx * 480 / 320, (sy - 40) * 240 / 160).
    std::ostringstream points, expected;
    expected << "Alert: ";
    bool first = true;
    for (int sy = 41; sy < 200; sy += 9) {
        for (int sx = 2; sx < 320; sx += 11) {
            const int bx = sx * 480 / 320, by = (sy - 40) * 240 / 160;
            const int hotspot = click.At(bx, by)[0];
            std::string what;
            if (hotspot) what = names.at(std::size_t(hotspot) - 1);
            else if (walk.At(bx, by)[0]) what = control.At(bx, by)[0] == 1 ? "the way out" : "the floor";
            else what = "nothing";
            points << "[" << sx << "," << sy << "],";
            expected << (first ? "" : "|") << "OVE Demo - " << what;
            first = false;
        }
    }
    expected << "\n";
    // A press names the spot once; holding the button while moving and letting go do not.
    demotest::SRun r = RunWith("var P = [" + points.str() + R"(];
var titles = [];
SetTitle = function (text) { titles.push(text); };
Run = function () {
    for (var i = 0; i < P.length; i++) {
        onMouseEvent(P[i][0], P[i][1], 1);
        onMouseEvent(P[i][0] + 1, P[i][1], 1);
        onMouseEvent(P[i][0] + 1, P[i][1], 0);
    }
    Alert(titles.join("|"));
};
)");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, expected.str());
}

TEST_F(DemoScript, KeysPanTheCameraAndEscapeLeaves) {
    // Keys come out newest first: Escape ends the loop after this turn, the arrows still count.
    demotest::SRun r = RunWith(R"(
var demoRun = Run;
Run = function () {
    PostKey(RIGHT); PostKey(RIGHT); PostKey(LEFT); PostKey(RIGHT); PostKey(ESCAPE);
    demoRun();
    Alert(Camera.target, Camera.autoPan, Camera.zoom < 0.1);
};
)");
    ASSERT_EQ(r.status, 0) << r.err;
    // From the middle (240): +64 +64 -64 +64 = 368, held at 320 so that the screen stays in the room.
    EXPECT_EQ(r.err, "Alert: 320 false true\n");
}

TEST_F(DemoScript, HeroWalksRoundTheChestAndHidesBehindIt) {
    const SPicture room = demotest::ReadPng(demotest::DemoArtDir() / "room.png");
    ASSERT_EQ(room.width, 480);
    // The camera holds still at full size with the room's left edge on the screen's, so room and
    // screen pixels coincide. The hero starts in front of the chest and is sent to a spot behind
    // it (y 188) or in front of it (y 204); the chest's front is blocked, so the way goes round.
    auto walk = [&](int y, std::string& result) {
        ovetest::TempDir out;
        const fs::path shotPath = out / "shot.bmp";
        m_game.Write("DATA/test.ovs", "Import('main');\n" + std::string(R"(
Run = function () {
    Camera.autoPan = false; Camera.zoom = 1; Camera.x = Camera.target = 160; Camera.Place(); Hero.Follow();
    Hero.sprite.x = 110; Hero.sprite.y = 230;
    onMouseEvent(150, )") + std::to_string(y) +
                                          R"(, 1); onMouseEvent(150, 0, 0);
    var moved = Hero.sprite.Moving();
    for (var i = 0; i < 300 && running; i++) { Animate(); Display(); }
    Alert(moved, Hero.sprite.x, Hero.sprite.y, Hero.sprite.priority, Hero.sprite.Moving());
};
)");
        demotest::SRun r = demotest::RunEngine(m_game.path(), "--screenshot " + demotest::Quote(shotPath.string()));
        EXPECT_EQ(r.status, 0) << r.err;
        result = r.err;
        return demotest::ReadBmp(shotPath);
    };
    // Pixels of the hero's cel (16 x 32, centred, feet at y) that differ from the room, split by
    // whether the chest (128..180 x 158..197) covers them.
    auto differences = [&](const SPicture& shot, int y, int& onChest, int& offChest) {
        onChest = offChest = 0;
        for (int py = y - 31; py <= y; ++py)
            for (int px = 150 - 8; px < 150 + 8; ++px) {
                if (shot.Rgb(px, py) == room.Rgb(px, py)) continue;
                (px >= 128 && px <= 180 && py >= 158 && py <= 197 ? onChest : offChest)++;
            }
    };
    std::string result;
    int onChest = 0, offChest = 0;
    SPicture behind = walk(188, result);
    ASSERT_EQ(behind.width, 320);
    EXPECT_EQ(result, "Alert: true 150 188 11 false\n");
    differences(behind, 188, onChest, offChest);
    EXPECT_EQ(onChest, 0) << "the chest hides the hero behind it";
    EXPECT_GT(offChest, 0) << "his hair shows above the chest";

    SPicture front = walk(204, result);
    ASSERT_EQ(front.width, 320);
    EXPECT_EQ(result, "Alert: true 150 204 12 false\n");
    differences(front, 204, onChest, offChest);
    EXPECT_GT(onChest, 40) << "the hero stands in front of the chest";
}

TEST_F(DemoScript, BagOptionsSaveAndLoad) {
    // Clicking the bookshelf names it at the bottom and, once the hero is there, puts a book in
    // the bag; a saved game brings the hero, the camera and the bag back after they changed.
    demotest::SRun r = RunWith(R"(
Run = function () {
    var p = BackdropToScreen(400, 120);
    onMouseEvent(p.x, p.y, 1); onMouseEvent(p.x, p.y, 0);
    var said = Gui.status.text;
    for (var i = 0; i < 600 && Hero.sprite.Moving(); i++) Animate();
    Gui.ToggleBag();
    var listed = Gui.bag.list.count;
    Hero.sprite.CancelWalking(); Hero.sprite.x = 300; Hero.sprite.y = 230; Camera.autoPan = false;
    var saved = SaveGame();
    Hero.sprite.x = 10; Camera.autoPan = true; Gui.items = [];
    var loaded = LoadGame();
    Alert(said, listed, saved, loaded, Hero.sprite.x, Hero.sprite.y, Camera.autoPan, Gui.items.join("+"), Gui.bag.list.count);
};
)");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Alert: bookshelf 2 true true 300 230 false a candle+a red book 2\n");
}

TEST_F(DemoScript, SaveAndLoadBringTheHallBack) {
    // Saved in the hall with the box open and loaded from the study: the hall comes back with its
    // tile layers, the box's open tiles, the keeper and the bag. A save that is not the game's own
    // changes nothing.
    demotest::SRun r = RunWith(R"(
function Where() {
    var layer = Rooms.layers ? Rooms.layers.GetLayer("hall") : null;
    return [Rooms.name, GetBackdrop(), Hero.sprite.x, Hero.sprite.y, Rooms.boxOpen,
            layer ? layer.GetTile(3, 10).base_cel : "-", Rooms.keeper ? Rooms.keeper.name : "-",
            Gui.items.join("+")].join(",");
}
Run = function () {
    Rooms.Enter("hall", 200, 220);
    Gui.Take("a golden crown");
    Rooms.boxOpen = true; Rooms.ShowBoxOpen();
    var saved = SaveGame();
    Rooms.boxOpen = false; Gui.items = []; Rooms.Enter("room", 72, 215);
    var before = Where();
    var loaded = LoadGame();
    Alert(saved, before, loaded, Where());
    var w = new FileWriter(SAVE_FILE); w.Write(3, "{}"); w.Close();
    var odd = LoadGame();
    w = new FileWriter(SAVE_FILE); w.Write("{\"room\": \"attic\", \"x\": 1, \"y\": 2, \"target\": 0, \"items\": []}"); w.Close();
    Alert(odd, LoadGame(), Where());
};
)");
    ASSERT_EQ(r.status, 0) << r.err;
    // The closed box's top left tile is tile 4 of the tile set, the open one's tile 6.
    EXPECT_EQ(
        r.err,
        "Alert: true room,room,72,215,false,-,-, true hall,hall,200,220,true,6,the keeper,a candle+a golden crown\n"
        "Alert: false false hall,hall,200,220,true,6,the keeper,a candle+a golden crown\n");
    // The save is in the engine's own folder for saves, not in the game's.
    EXPECT_TRUE(std::filesystem::exists(demotest::PlayerHome(m_game.path()) / "config/ove/ove-demo/demo.sav"));
    EXPECT_FALSE(std::filesystem::exists(m_game / "demo.sav"));
}
