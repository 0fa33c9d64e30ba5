// "ovetool new" as a new author would use it: the folder it makes runs at once, shows its room,
// hero and text, and a second run never overwrites the author's work.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "DemoTestUtil.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using demotest::Quote;

// Counts the pixels of a rectangle within `tolerance` of an 0xRRGGBB colour in every channel.
int CountNear(const demotest::SPicture& p, int x0, int y0, int x1, int y1, std::uint32_t rgb, int tolerance) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const std::uint32_t c = p.Rgb(x, y);
            bool near = true;
            for (int s = 0; s < 24; s += 8)
                near = near && std::abs(int(c >> s & 255) - int(rgb >> s & 255)) <= tolerance;
            n += near;
        }
    return n;
}

}  // namespace

TEST(NewGame, RunsAtOnceAndShowsItsRoom) {
    ovetest::TempDir tmp;
    const fs::path game = tmp / "Castle & Co";  // a name to be escaped in the XML and the script
    demotest::SRun made = demotest::RunTool("new " + Quote(game.string()));
    ASSERT_EQ(made.status, 0) << made.err;
    for (const char* f : {"settings.xml", "main.ovs", "room.OVP", "hero.OVV", "small.OVF"})
        EXPECT_TRUE(fs::exists(game / f)) << f;

    const fs::path shot = tmp / "shot.bmp";
    demotest::SRun run = demotest::RunEngine(game, "--frames 30 --screenshot " + Quote(shot.string()));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "") << "the new game runs without messages";
    const demotest::SPicture p = demotest::ReadBmp(shot);
    ASSERT_EQ(p.width, 320);
    ASSERT_EQ(p.height, 240);
    // Sky above, floor below, the hero's blue shirt where he stands (x 160, feet at y 200),
    // and the title in white text in the top-left corner.
    EXPECT_GT(CountNear(p, 0, 20, 60, 40, 0x5675AA, 20), 1200) << "sky";
    EXPECT_GT(CountNear(p, 0, 160, 319, 239, 0x8A6A48, 8) + CountNear(p, 0, 160, 319, 239, 0x9E7C56, 8), 24000)
        << "floor";
    EXPECT_GT(CountNear(p, 150, 175, 170, 195, 0x3050C0, 8), 40) << "hero";
    EXPECT_GT(CountNear(p, 0, 0, 200, 16, 0xFFFFFF, 10), 100) << "title text";
}

TEST(NewGame, NeverOverwrites) {
    ovetest::TempDir tmp;
    tmp.Write("mine/main.ovs", "// my game\n");
    demotest::SRun r = demotest::RunTool("new " + Quote((tmp / "mine").string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not empty"), std::string::npos) << r.err;
    const auto kept = ovetest::ReadFileBytes(tmp / "mine" / "main.ovs");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "// my game\n");
    EXPECT_FALSE(fs::exists(tmp / "mine" / "settings.xml"));

    tmp.Write("file", "x");
    r = demotest::RunTool("new " + Quote((tmp / "file").string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is not a folder"), std::string::npos) << r.err;

    fs::create_directory(tmp / "empty");
    r = demotest::RunTool("new " + Quote((tmp / "empty").string()));
    EXPECT_EQ(r.status, 0) << "an empty folder is filled: " << r.err;
    EXPECT_TRUE(fs::exists(tmp / "empty" / "main.ovs"));
    r = demotest::RunTool("new");
    EXPECT_EQ(r.status, 1);
}
