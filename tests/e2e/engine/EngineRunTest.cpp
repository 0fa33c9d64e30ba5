// Runs the real engine binary on small games, as a user would.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "e2e/demo/DemoTestUtil.h"
#include "image/Bitmap.h"
#include "image/ImageLoad.h"
#include "support/TestSupport.h"

namespace {

using demotest::Quote;
using demotest::RunEngine;
using demotest::SRun;

// Quit() ends the loop; the sixth Display() after five frames finds the window closed and returns early.
const char* kFrameLoop = R"(
var running = true, frames = 0;
function Init() {}
function Run() { while (running) { Display(); frames++; } Alert('left after', frames); }
function Quit() { running = false; Alert('quit'); }
)";

}  // namespace

// clang-format off
TEST(Engine, GamesRunToTheirEndWithTheirOutput) {
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        const char* args;
        int status;
        const char* err;
    } cases[] = {
        {"Init, then Run with the parameters; no Quit at a normal end",
         {{"DATA/main.ovs", "function Init() { Alert('init'); } function Run() { Alert('run', PARAMS); } "
                            "function Quit() { Alert('quit'); }"}},
         "level2 'two words'", 0, "Alert: init\nAlert: run level2 \"two words\"\n"},
        {"settings choose the main script",
         {{"DATA/settings.xml", "<settings><default script=\"start\"/></settings>"},
          {"DATA/main.ovs", "function Init() { Alert('wrong'); } function Run() {}"},
          {"DATA/start.OVS", "function Init() { Alert('start'); } function Run() {}"}},
         "", 0, "Alert: start\n"},
        {"names ignore case",
         {{"DATA/Main.OVS", "function Init() { Import('Lib'); } function Run() { Alert(hello()); }"},
          {"DATA/lib.ovs", "function hello() { return 'hi'; }"}},
         "", 0, "Alert: hi\n"},
        {"closing the window calls Quit", {{"DATA/main.ovs", kFrameLoop}}, "--frames 5", 0,
         "Alert: quit\nAlert: left after 6\n"},
        {"zero frames closes the window before the first frame", {{"DATA/main.ovs", kFrameLoop}}, "--frames 0", 0,
         "Alert: quit\nAlert: left after 1\n"},
        {"a strict script's top-level functions are globals like any other's",
         {{"DATA/main.ovs", "'use strict';\nfunction Init() { Import('util'); Alert('init', twice(2)); }\n"
                            "function Run() { Alert('run'); }\nfunction Quit() {}\n"},
          {"DATA/util.ovs", "\"use strict\";\nfunction twice(n) { return 2 * n; }\n"}},
         "", 0, "Alert: init 4\nAlert: run\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ovetest::TempDir game;
        for (const auto& [name, text] : c.files) game.Write(name, text);
        SRun r = RunEngine(game.path(), c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err, c.err);
    }
}
// clang-format on

// The box keeps its text; standard error also says where: file, line and the script's stack.
// (A missing main script: EngineStartup.MissingScriptBadScreenshotAndUsage.)
TEST(Engine, ScriptErrorsSayWhereTheyHappened) {
    const char* rooms = "var rooms = {};\nfunction Enter(name) {\n  var r = rooms[name];\n  undefinedThing.go(r);\n}\n";
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        std::vector<std::string> said;  // in this order on standard error
    } cases[] = {
        {"an error in Init ends the start: Run is not called",
         {{"DATA/main.ovs", "function Init() { nosuchthing(); } function Run() { Alert('ran'); }"}},
         {"main.ovs:1: ReferenceError: ", "Error: ERROR: ReferenceError: identifier 'nosuchthing' undefined\n"}},
        {"a runtime error in a module, called from the main script",
         {{"DATA/main.ovs", "function Init() { Import('rooms'); }\nfunction Run() {\n  Enter('hall');\n}\n"},
          {"DATA/rooms.ovs", rooms}},
         {"rooms.ovs:4: ReferenceError: identifier 'undefinedThing' undefined\n", "at Enter (rooms.ovs:4)",
          "at Run (main.ovs:3)", "Error: ERROR: ReferenceError: identifier 'undefinedThing' undefined\n"}},
        {"a syntax error names its file and line",
         {{"DATA/main.ovs", "function Init() { Import('rooms'); }\nfunction Run() {}\n"},
          {"DATA/rooms.ovs", "var a = 1;\nvar b = 2;\nvar c = (;\n"}},
         {"rooms.ovs:3: SyntaxError: ", "Error: ERROR: SyntaxError: "}},
        {"an error in a callback the engine calls",
         {{"DATA/main.ovs",
           "function Init() {}\nfunction Run() {\n  var s = CreateSprite();\n"
           "  s.MoveTo(s.x, s.y, function () {\n    null.x;\n  });\n}\n"}},
         {"main.ovs:5: TypeError: ", "at Run (main.ovs:6)", "Error: ERROR: TypeError: "}},
        {"an error in a private heap",
         {{"DATA/main.ovs", "function Init() {}\nfunction Run() { LoadScript('mod'); }\n"},
          {"DATA/mod.ovs", "var x = 1;\nthrow new Error('broken module');\n"}},
         {"ERROR@mod: mod.ovs:2: Error: broken module\n", "Error: ERROR@mod: Error: broken module\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ovetest::TempDir game;
        for (const auto& [name, text] : c.files) game.Write(name, text);
        SRun r = RunEngine(game.path(), "");
        EXPECT_EQ(r.status, 1) << r.err;
        std::size_t at = 0;
        for (const std::string& text : c.said) {
            std::size_t found = r.err.find(text, at);
            ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << text << "\n" << r.err;
            at = found + text.size();
        }
        EXPECT_EQ(r.err.find("Alert: ran"), std::string::npos) << "Run() must not be called after Init() failed";
    }
}

TEST(Engine, RunsFromAPackedArchiveUnlessThereIsADataFolder) {
    ovetest::TempDir src, game;
    // The archive still answers after the game changes the current directory.
    src.Write("main.ovs",
              "function Init() { SetCurrentDirectory('sub'); Import('more'); } function Run() { Alert(word); }");
    src.Write("more.ovs", "var word = 'packed';");
    ASSERT_EQ(
        demotest::RunTool("pack " + Quote(src.path().string()) + " " + Quote((game / "GAME.DAT").string())).status, 0);
    std::filesystem::create_directory(game / "sub");
    SRun r = RunEngine(game.path(), "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Alert: packed\n");
    game.Write("DATA/main.ovs", "function Init() {} function Run() { Alert('from directory'); }");
    EXPECT_EQ(RunEngine(game.path(), "").err, "Alert: from directory\n");
}

// A relative screenshot path is the caller's, not the game folder's. (The pixels of a frame in a
// window larger than the game: BackdropLayout's "large window" case.)
// clang-format off
TEST(Engine, ScreenshotPathIsTheCallersAndTheShotHasTheGameSize) {
    ovetest::TempDir game, caller;
    game.Write("DATA/settings.xml", "<settings><game width=\"160\" height=\"120\"/>"
                                    "<window width=\"480\" height=\"240\"/></settings>");
    game.Write("DATA/main.ovs", "var running = true; function Init() { SetBackdrop(0x3060C0); }"
                                "function Run() { while (running) Display(); } function Quit() { running = false; }");
    SRun r = RunEngine(caller.path(), "--game " + Quote(game.path().string()) + " --frames 3 --screenshot shot.bmp");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(game / "shot.bmp"));
    std::string error;
    auto shot = ove::LoadImageFile((caller / "shot.bmp").string(), &error);
    ASSERT_TRUE(shot) << error;
    EXPECT_EQ(shot->Width(), 160u);
    EXPECT_EQ(shot->Height(), 120u);
}
// clang-format on
