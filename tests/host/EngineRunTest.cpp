// Runs the real engine binary on small games, as a user would.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "image/Bitmap.h"
#include "image/ImageLoad.h"
#include "support/TestSupport.h"

namespace {

struct SRun {
    int status = -1;
    std::string err;
};

SRun RunEngine(const std::filesystem::path& gameDir, const std::string& extra = "") {
    ovetest::TempDir out;
    std::string cmd = std::string("cd '") + gameDir.string() + "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy '" +
                      OVE_BUILD_DIR + "/ove' --headless " + extra + " 2>'" + (out / "err").string() + "' >/dev/null";
    SRun r;
    r.status = ovetest::Run(cmd);
    auto bytes = ovetest::ReadFileBytes(out / "err");
    r.err.assign(bytes.begin(), bytes.end());
    return r;
}

const char* kLifecycle = R"(
var running = true;
function Init() { Alert("init"); }
function Run() { Alert("run", PARAMS); }
function Quit() { Alert("quit"); }
)";

}  // namespace

TEST(Engine, CallsInitThenRunAndExitsCleanly) {
    ovetest::TempDir game;
    game.Write("DATA/main.ovs", kLifecycle);
    SRun r = RunEngine(game.path(), "level2 'two words'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Alert: init\nAlert: run level2 \"two words\"\n");
}

TEST(Engine, MissingMainScriptIsAnError) {
    ovetest::TempDir game;
    game.Write("DATA/other.ovs", "function Init() {}");
    SRun r = RunEngine(game.path());
    EXPECT_EQ(r.status, 1);
    // The box's text, after a line that says what was looked for where.
    EXPECT_EQ(r.err.rfind("ove: looked for main.OVS", 0), 0u) << r.err;
    EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), "Error: Couldn't load main script\n");
}

TEST(Engine, UncaughtErrorInInitIsReportedWithItsText) {
    ovetest::TempDir game;
    game.Write("DATA/main.ovs", "function Init() { nosuchthing(); } function Run() { Alert('ran'); }");
    SRun r = RunEngine(game.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Error: ERROR: ReferenceError: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("ran"), std::string::npos) << "Run() must not be called after Init() failed";
}

TEST(Engine, UncaughtErrorInRunEndsTheEngine) {
    ovetest::TempDir game;
    game.Write("DATA/main.ovs", "function Init() {} function Run() { throw new RangeError('boom'); }");
    SRun r = RunEngine(game.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: ERROR: RangeError: boom\n");
}

TEST(Engine, SettingsChooseTheMainScript) {
    ovetest::TempDir game;
    game.Write("DATA/settings.xml", "<settings><default script=\"start\"/></settings>");
    game.Write("DATA/main.ovs", "function Init() { Alert('wrong'); } function Run() {}");
    game.Write("DATA/start.OVS", "function Init() { Alert('start'); } function Run() {}");
    SRun r = RunEngine(game.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Alert: start\n");
}

TEST(Engine, ClosingTheWindowCallsQuitAndEndsTheLoop) {
    ovetest::TempDir game;
    game.Write("DATA/main.ovs", R"(
var running = true, frames = 0;
function Init() {}
function Run() { while (running) { Display(); frames++; } Alert('left after', frames); }
function Quit() { running = false; Alert('quit'); }
)");
    SRun r = RunEngine(game.path(), "--frames 5");
    EXPECT_EQ(r.status, 0) << r.err;
    // Five frames are rendered; the sixth Display() finds the window closed and returns early.
    EXPECT_EQ(r.err, "Alert: quit\nAlert: left after 6\n");
}

TEST(Engine, ZeroFramesClosesTheWindowBeforeTheFirstFrame) {
    ovetest::TempDir game;
    game.Write("DATA/main.ovs", R"(
var running = true, frames = 0;
function Init() {}
function Run() { while (running) { Display(); frames++; } Alert('frames', frames); }
function Quit() { running = false; }
)");
    SRun r = RunEngine(game.path(), "--frames 0");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Alert: frames 1\n");
}

TEST(Engine, WorkingDirectoryAndCaseInsensitiveNames) {
    ovetest::TempDir game;
    game.Write("DATA/Main.OVS", "function Init() { Import('Lib'); } function Run() { Alert(hello()); }");
    game.Write("DATA/lib.ovs", "function hello() { return 'hi'; }");
    SRun r = RunEngine(game.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Alert: hi\n");
}

TEST(Engine, RunsFromAPackedArchive) {
    ovetest::TempDir src, game;
    src.Write("main.ovs", "function Init() { Import('more'); } function Run() { Alert(word); }");
    src.Write("more.ovs", "var word = 'packed';");
    std::string pack = std::string("'") + OVE_BUILD_DIR + "/ovetool' pack '" + src.path().string() + "' '" +
                       (game / "GAME.DAT").string() + "' >/dev/null 2>&1";
    ASSERT_EQ(ovetest::Run(pack), 0);
    SRun r = RunEngine(game.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Alert: packed\n");
}

TEST(Engine, DataDirectoryWinsOverThePackedArchive) {
    ovetest::TempDir src, game;
    src.Write("main.ovs", "function Init() {} function Run() { Alert('from archive'); }");
    ASSERT_EQ(ovetest::Run(std::string("'") + OVE_BUILD_DIR + "/ovetool' pack '" + src.path().string() + "' '" +
                           (game / "GAME.DAT").string() + "' >/dev/null 2>&1"),
              0);
    game.Write("DATA/main.ovs", "function Init() {} function Run() { Alert('from directory'); }");
    SRun r = RunEngine(game.path());
    EXPECT_EQ(r.err, "Alert: from directory\n");
}

TEST(Engine, ScreenshotCoversTheWholeGameWhenTheWindowIsLarger) {
    // The window is twice the game's size; the whole frame must reach the screenshot.
    ovetest::TempDir game;
    game.Write("DATA/settings.xml", "<settings><game width=\"160\" height=\"120\"/>"
                                    "<window width=\"480\" height=\"240\"/></settings>");
    game.Write("DATA/main.ovs", "var running = true; function Init() { SetBackdrop(0x3060C0); }"
                                "function Run() { while (running) Display(); } function Quit() { running = false; }");
    SRun r = RunEngine(game.path(), "--frames 3 --screenshot shot.bmp");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string error;
    auto shot = ove::LoadImageFile((game / "shot.bmp").string(), &error);
    ASSERT_TRUE(shot) << error;
    ASSERT_EQ(shot->Width(), 160u);
    ASSERT_EQ(shot->Height(), 120u);
    int wrong = 0;
    for (unsigned y = 0; y < shot->Height(); ++y) {
        const unsigned char* row = shot->TopRow(y);
        for (unsigned x = 0; x < shot->Width(); ++x) {
            const unsigned char* p = row + 4 * x;  // blue, green, red, alpha
            if (p[0] != 0xC0 || p[1] != 0x60 || p[2] != 0x30) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}
