// A game made from scratch the way an author would: pictures drawn as PNG, turned into a backdrop
// picture by ovetool, shown by a script that sizes and moves it, and checked on the engine's
// screenshot against where each block of the picture must land.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>

#include "DemoTestUtil.h"
#include "support/PngTestUtil.h"
#include "support/TestSupport.h"

namespace {

using demotest::Quote;
using demotest::SPicture;

constexpr int kBlock = 16;           // picture pixels per block side
constexpr int kCols = 4, kRows = 3;  // a 64 x 48 picture
constexpr int kPicW = kBlock * kCols, kPicH = kBlock * kRows;
constexpr int kScreenW = 320, kScreenH = 240;

// Twelve colours far apart from each other and from black.
std::uint32_t BlockColour(int col, int row) {
    static const std::uint32_t colours[kRows][kCols] = {
        {0xE02020, 0x20C020, 0x2040E0, 0xE0E020},
        {0xE020E0, 0x20E0E0, 0xF08000, 0x8000F0},
        {0xFFFFFF, 0x808080, 0x00A080, 0xA05020},
    };
    return colours[row][col];
}

// Where the picture is expected on the screen: shown at w x h with its top-left corner at (ox, oy).
struct SLayout {
    int w, h, ox, oy;
};

// The block under the centre of one screen pixel along one axis, or -1 outside the picture;
// `edge` is set when a block boundary (or the picture's edge) cuts through the pixel, which may
// then show either side. Boundaries on pixel borders cut nothing: those pixels must be exact.
int BlockAlong(int s, int offset, int shown, int picture, int blocks, bool& edge) {
    const double centre = s + 0.5;
    const double scale = double(shown) / picture;  // screen pixels per picture pixel
    edge = false;
    for (int k = 0; k <= blocks; ++k)
        if (std::fabs(centre - (offset + k * kBlock * scale)) < 0.5) edge = true;
    const double u = (centre - offset) / scale;
    if (u < 0 || u >= picture) return -1;
    return int(u) / kBlock;
}

// Counts the screenshot pixels not cut by a block edge that differ from the layout; reports a few.
int CountMismatches(const SPicture& shot, const SLayout& l, std::string& report) {
    int bad = 0;
    std::ostringstream os;
    for (int y = 0; y < shot.height; ++y) {
        bool edgeY;
        const int row = BlockAlong(y, l.oy, l.h, kPicH, kRows, edgeY);
        for (int x = 0; x < shot.width; ++x) {
            bool edgeX;
            const int col = BlockAlong(x, l.ox, l.w, kPicW, kCols, edgeX);
            if (edgeX || edgeY) continue;
            const std::uint32_t want = (row < 0 || col < 0) ? 0x000000 : BlockColour(col, row);
            const std::uint32_t got = shot.Rgb(x, y);
            if (got != want) {
                if (bad < 8) os << " (" << x << "," << y << ") got " << std::hex << got << " want " << want << std::dec;
                ++bad;
            }
        }
    }
    report = os.str();
    return bad;
}

// Draws the blocks as a PNG with libpng and makes it the game's picture "blocks" with ovetool.
void AddBlocksPicture(const ovetest::TempDir& game) {
    pngtest::PngPicture picture;
    picture.width = kPicW;
    picture.height = kPicH;
    std::vector<pngtest::Bytes> rows(kPicH);
    for (int y = 0; y < kPicH; ++y)
        for (int x = 0; x < kPicW; ++x) {
            const std::uint32_t c = BlockColour(x / kBlock, y / kBlock);
            for (int shift : {16, 8, 0}) rows[std::size_t(y)].push_back(std::uint8_t(c >> shift));
        }
    ovetest::TempDir work;
    work.Write("blocks.png", pngtest::WritePng(picture, rows));
    std::filesystem::create_directories(game / "DATA");
    demotest::SRun tool = demotest::RunTool("pict " + Quote((game / "DATA/blocks.OVP").string()) + " --image " +
                                            Quote((work / "blocks.png").string()));
    ASSERT_EQ(tool.status, 0) << tool.err;
}

struct SCase {
    const char* name;
    const char* before;  // script run in Init()
    const char* after;   // script run in the fourth turn of the game loop
    SLayout expected;
    int windowWidth = 0, windowHeight = 0;  // the window, when not the game's size
};

// Builds the game, runs it for 20 frames and returns the screenshot; the script reports the shown
// size after `after` with an alert. (Wait renders too while time is left, so a loop of the script
// may draw more than one frame: the change comes early enough to be on the last frame anyway.)
SPicture RunCase(const SCase& c, std::string& alerts) {
    ovetest::TempDir game;
    AddBlocksPicture(game);

    std::string settings = "<settings><game width=\"320\" height=\"240\"/>";
    if (c.windowWidth)
        settings += "<window width=\"" + std::to_string(c.windowWidth) + "\" height=\"" +
                    std::to_string(c.windowHeight) + "\"/>";
    settings += "</settings>";
    game.Write("DATA/settings.xml", settings);
    game.Write("DATA/main.ovs", std::string(R"(
var running = true, turn = 0;
function Init() { SetBackdrop("blocks"); )") +
                                    c.before + R"( }
function Run() {
    while (running) {
        Mark();
        if (++turn == 4) {
            )" + c.after + R"(
            Alert(GetBackdropWidth(), GetBackdropHeight(), GetBackdropXOffset(), GetBackdropYOffset());
        }
        Animate();
        Display();
        Wait(1 / 60);
    }
}
function Quit() { running = false; }
)");
    demotest::SRun run = demotest::RunEngine(game.path(), "--frames 20 --screenshot shot.bmp");
    EXPECT_EQ(run.status, 0) << run.err;
    alerts = run.err;
    return demotest::ReadBmp(game / "shot.bmp");
}

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const SCase& c, std::ostream* os) { *os << c.name; }

class BackdropLayout : public ::testing::TestWithParam<SCase> {};

TEST_P(BackdropLayout, ScreenshotShowsThePictureWhereTheScriptPutIt) {
    const SCase& c = GetParam();
    std::string alerts;
    const SPicture shot = RunCase(c, alerts);
    ASSERT_EQ(shot.width, kScreenW) << "the screenshot is taken at the game's size";
    ASSERT_EQ(shot.height, kScreenH);
    const SLayout& l = c.expected;
    EXPECT_EQ(alerts, "Alert: " + std::to_string(l.w) + " " + std::to_string(l.h) + " " + std::to_string(l.ox) + " " +
                          std::to_string(l.oy) + "\n");
    std::string report;
    EXPECT_EQ(CountMismatches(shot, l, report), 0) << c.name << ":" << report;
}

const SCase kCases[] = {
    // Twice the size: 64 x 48 shown at 128 x 96, the height following the width.
    {"double",
     "SetBackdropDimensions(32, 24);",
     "SetBackdropDimensions(128, 0); SetBackdropOffset(37, 21);",
     {128, 96, 37, 21}},
    // Stretched unevenly and pushed off the top-left corner.
    {"stretched", "", "SetBackdropDimensions(96, 120); SetBackdropOffset(-20, -10);", {96, 120, -20, -10}},
    // Block edges between pixels: the pixels they cut may go either way.
    {"uneven", "", "SetBackdropDimensions(90, 70); SetBackdropOffset(7, 9);", {90, 70, 7, 9}},
    // Half size, the width following the height.
    {"half",
     "SetBackdropOffset(5, 5);",
     "SetBackdropDimensions(0, 24); SetBackdropOffset(150, 100);",
     {32, 24, 150, 100}},
    // Natural size, mostly beyond the bottom-right corner.
    {"corner",
     "SetBackdropDimensions(200, 0);",
     "SetBackdropDimensions(0, 0); SetBackdropOffset(300, 230);",
     {64, 48, 300, 230}},
    // Setting the same picture again puts it back at (0, 0) and keeps its shown size.
    {"same picture again",
     "SetBackdropDimensions(128, 0); SetBackdropOffset(37, 21);",
     "SetBackdrop('blocks');",
     {128, 96, 0, 0}},
    // A window twice the game's size: the screenshot is still the game's 320 x 240 picture.
    {"large window", "", "SetBackdropDimensions(128, 0); SetBackdropOffset(37, 21);", {128, 96, 37, 21}, 640, 480},
};

INSTANTIATE_TEST_SUITE_P(Cases, BackdropLayout, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SCase>& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 if (ch == ' ') ch = '_';
                             return n;
                         });

// A colour backdrop fills the whole screen; a picture set afterwards replaces it.
TEST(Backdrop, ColourThenPicture) {
    ovetest::TempDir game;
    ASSERT_NO_FATAL_FAILURE(AddBlocksPicture(game));
    const std::string loop = R"(
var running = true, turn = 0;
function Run() {
    while (running) { Mark(); if (++turn == 3) Change(); Animate(); Display(); Wait(1 / 60); }
}
function Quit() { running = false; }
function Init() { SetBackdrop(RGB(0x336699)); }
)";
    game.Write("DATA/main.ovs", loop + "function Change() { Alert(GetBackdrop().rgb.toString(16)); }");
    demotest::SRun colourOnly = demotest::RunEngine(game.path(), "--frames 20 --screenshot colour.bmp");
    ASSERT_EQ(colourOnly.status, 0) << colourOnly.err;
    EXPECT_EQ(colourOnly.err, "Alert: 336699\n");
    const SPicture colour = demotest::ReadBmp(game / "colour.bmp");
    ASSERT_EQ(colour.width, kScreenW);
    int other = 0;
    for (int y = 0; y < colour.height; ++y)
        for (int x = 0; x < colour.width; ++x) other += colour.Rgb(x, y) != 0x336699;
    EXPECT_EQ(other, 0) << "the colour backdrop must fill the screen";

    game.Write("DATA/main.ovs",
               loop + "function Change() { SetBackdrop('blocks'); SetBackdropOffset(100, 50); Alert(GetBackdrop()); }");
    demotest::SRun picture = demotest::RunEngine(game.path(), "--frames 20 --screenshot picture.bmp");
    ASSERT_EQ(picture.status, 0) << picture.err;
    EXPECT_EQ(picture.err, "Alert: blocks\n");
    const SPicture shot = demotest::ReadBmp(game / "picture.bmp");
    ASSERT_EQ(shot.width, kScreenW);
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col)
            EXPECT_EQ(shot.Rgb(100 + col * kBlock + kBlock / 2, 50 + row * kBlock + kBlock / 2), BlockColour(col, row))
                << "block " << col << "," << row;
}

}  // namespace
