// The built demo, run as a new user would run it: from its data folder and from its packed
// archive, headless for a few seconds.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "DemoTestUtil.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using demotest::Quote;
using demotest::SPicture;

// Enough frames for the opening zoom (90 turns of the game loop, each drawing one or two frames)
// to finish: the room is then shown at full size.
constexpr int kFrames = 300;

bool DemoBuilt() {
    return fs::exists(demotest::DemoDir() / "DATA" / "main.ovs") && fs::exists(demotest::PackedDemoDir() / "GAME.DAT");
}

// The rows at the top where the demo's buttons sit.
constexpr int kButtonRows = 22;

// Finds the horizontal offset at which the screenshot (below the buttons) is most like a 1:1 crop
// of the room picture; returns the share of those pixels that match there.
double BestCrop(const SPicture& shot, const SPicture& room, int& bestOffset) {
    long best = -1;
    bestOffset = 0;
    for (int left = 0; left + shot.width <= room.width; ++left) {
        long same = 0;
        for (int y = kButtonRows; y < shot.height && y < room.height; ++y)
            for (int x = 0; x < shot.width; ++x) same += shot.Rgb(x, y) == room.Rgb(left + x, y);
        if (same > best) {
            best = same;
            bestOffset = left;
        }
    }
    return double(best) / (double(shot.width) * (shot.height - kButtonRows));
}

void CheckDemoRun(const fs::path& gameDir) {
    ovetest::TempDir out;
    const fs::path shotPath = out / "demo.bmp";
    demotest::SRun r = demotest::RunEngine(
        gameDir, "--frames " + std::to_string(kFrames) + " --screenshot " + Quote(shotPath.string()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "the demo runs without messages";

    const SPicture shot = demotest::ReadBmp(shotPath);
    ASSERT_EQ(shot.width, 320);
    ASSERT_EQ(shot.height, 240);
    std::set<std::uint32_t> colours;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) colours.insert(shot.Rgb(x, y));
    EXPECT_GE(colours.size(), 10u) << "the screenshot is blank or nearly so";

    // After the zoom the camera shows part of the room at full size, edge to edge.
    const SPicture room = demotest::ReadPng(demotest::DemoArtDir() / "room.png");
    ASSERT_EQ(room.height, 240);
    int left = 0;
    const double share = BestCrop(shot, room, left);
    EXPECT_GE(share, 0.99) << "best match at room x " << left << " covers only " << share * 100 << "% of the screen";
}

}  // namespace

TEST(Demo, RunsFromItsDataFolderAndFromItsPackedArchive) {
    if (!DemoBuilt()) FAIL() << demotest::kBuildDemoFirst;
    // The packed folder holds nothing but the archive, so every file comes out of it.
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(demotest::PackedDemoDir())) names.insert(e.path().filename().string());
    EXPECT_EQ(names, std::set<std::string>{"GAME.DAT"});
    for (const fs::path& dir : {demotest::DemoDir(), demotest::PackedDemoDir()}) {
        SCOPED_TRACE(dir.string());
        CheckDemoRun(dir);
    }
}

// The build made every data file with the tools: the archive holds the data folder's files,
// the hero has its mirrored loop and the font all 256 glyphs.
TEST(Demo, DataBuiltByTheTools) {
    if (!DemoBuilt()) FAIL() << demotest::kBuildDemoFirst;
    const fs::path data = demotest::DemoDir() / "DATA";
    for (const char* name : {"main.ovs", "camera.ovs", "settings.xml", "room.OVP", "hero.OVV", "small.OVF"})
        EXPECT_TRUE(fs::exists(data / name)) << name;

    ovetest::TempDir unpacked;
    demotest::SRun r = demotest::RunTool("unpack " + Quote((demotest::PackedDemoDir() / "GAME.DAT").string()) + " " +
                                         Quote(unpacked.path().string()) + " --game");
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> inData, inArchive;
    for (const auto& e : fs::directory_iterator(data)) inData.insert(e.path().filename().string());
    for (const auto& e : fs::directory_iterator(unpacked.path())) {
        inArchive.insert(e.path().filename().string());
        EXPECT_EQ(ovetest::ReadFileBytes(e.path()), ovetest::ReadFileBytes(data / e.path().filename()))
            << e.path().filename();
    }
    EXPECT_EQ(inArchive, inData);

    const demotest::SRun hero = demotest::RunTool("dump " + Quote((data / "hero.OVV").string()));
    ASSERT_EQ(hero.status, 0) << hero.err;
    EXPECT_NE(hero.out.find("loops: 4"), std::string::npos) << hero.out;
    EXPECT_NE(hero.out.find("loop 1: mirror of loop 0"), std::string::npos) << hero.out;
    const demotest::SRun font = demotest::RunTool("dump " + Quote((data / "small.OVF").string()));
    ASSERT_EQ(font.status, 0) << font.err;
    EXPECT_EQ(font.out.rfind("FONT:", 0), 0u) << font.out.substr(0, 200);
    EXPECT_NE(font.out.find("loop 0: 256 cels"), std::string::npos);
}
