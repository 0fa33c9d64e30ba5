// A game from a stranger, run beside a folder of the player's files: none of the file APIs may
// reach outside the game's folder and the player folders, whatever the path looks like.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/demo/DemoTestUtil.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using ovetest::ReadFileText;

// Each line tries one thing and says what came of it.
const char* kAttacker = R"(
var out = '../outside/', abs = PARAMS + '/';
var r = [];
function t(name, f) { var v; try { v = f(); } catch (e) { v = e.name; } r.push(name + '=' + v); }
function Init() {}
function Run() {
  t('read', function () { return ReadTextFile(out + 'secret.txt'); });
  t('readAbsolute', function () { return ReadTextFile(abs + 'secret.txt'); });
  t('readLink', function () { return ReadTextFile('escape/secret.txt'); });
  t('reader', function () { return new FileReader(out + 'secret.txt').valid; });
  t('list', function () { return GetFiles(out + '*').length; });
  t('table', function () { RegisterSubstitutionTable('t', abs + 'words.tbl'); return ApplySubstitutionTables('cat'); });
  t('import', function () { Import(out + 'evil'); return typeof evil; });
  t('image', function () { return LoadImage(abs + 'pic.bmp').width; });
  t('writer', function () { return new FileWriter(out + 'w.dat').valid; });
  t('writeLink', function () { return new FileWriter('escape/secret.txt').valid; });
  t('saveImage', function () { SaveImage(out + 'secret.bmp', new Image(2, 2)); return 'done'; });
  t('saveLayers', function () { new TileLayers().Save(abs + 'secret.txt'); return 'done'; });
  t('delete', function () { return DeleteFile(out + 'secret.txt'); });
  t('mkdir', function () { return CreateDirectory(out + 'made'); });
  t('renameIn', function () { return RenameFile(out + 'secret.txt', 'stolen.txt'); });
  t('renameOut', function () { return RenameFile('mine.txt', out + 'mine.txt'); });
  t('chdir', function () { return SetCurrentDirectory(out); });
  t('loose', function () { return ReadTextFile('mine.txt'); });
  t('save', function () {
    CreateDirectory(FOLDER_APPDATA + '/MyGame');
    var w = new FileWriter(FOLDER_APPDATA + '/MyGame/save.dat'); w.Write(42); w.Close();
    return new FileReader(FOLDER_APPDATA + '/MyGame/save.dat').Read();
  });
  t('export', function () { SaveImage(FOLDER_MY_DOCUMENTS + '/shot.bmp', new Image(2, 2)); return 'done'; });
  Alert(r.join(' '));
}
)";

TEST(FileConfinement, EscapesFailWithAWarningAndLegitimateUseWorks) {
    ovetest::TempDir root;
    const fs::path game = root / "game", outside = root / "outside", home = root / "home";
    root.Write("game/DATA/main.ovs", kAttacker);
    root.Write("game/mine.txt", "mine");
    root.Write("outside/secret.txt", "secret");
    root.Write("outside/words.tbl", "cat=dog\n");
    root.Write("outside/evil.ovs", "var evil = 1;");
    // A 1x1 24-bit picture.
    root.Write("outside/pic.bmp",
               std::vector<unsigned char>{'B', 'M', 58, 0, 0, 0, 0, 0, 0,  0, 54, 0, 0, 0, 40,  0, 0, 0, 1, 0,
                                          0,   0,   1,  0, 0, 0, 1, 0, 24, 0, 0,  0, 0, 0, 4,   0, 0, 0, 0, 0,
                                          0,   0,   0,  0, 0, 0, 0, 0, 0,  0, 0,  0, 0, 0, 255, 0, 0, 0});
    fs::create_directory_symlink(outside, game / "escape");
    fs::create_directories(home / "Documents");

    ovetest::TempDir out;
    std::string cmd = "cd '" + game.string() + "' && HOME='" + home.string() + "' XDG_CONFIG_HOME='" +
                      (home / "config").string() + "' XDG_DATA_HOME='" + (home / "data").string() +
                      "' SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy '" + OVE_BUILD_DIR + "/ove' --headless '" +
                      outside.string() + "' 2>'" + (out / "err").string() + "' >/dev/null";
    ASSERT_EQ(ovetest::Run(cmd), 0) << ReadFileText(out / "err");
    const std::string err = ReadFileText(out / "err");

    const std::string results = err.substr(err.rfind("Alert: ") + 7);
    EXPECT_EQ(results,
              "read=Error readAbsolute=Error readLink=Error reader=false list=0 table=cat import=ReferenceError "
              "image=Error writer=false writeLink=false saveImage=done saveLayers=Error delete=false mkdir=false "
              "renameIn=false renameOut=false chdir=false loose=mine save=42 export=done\n");
    // Nothing outside changed; the player folders got what the game saved and exported.
    EXPECT_EQ(ReadFileText(outside / "secret.txt"), "secret");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator{}), 4);
    EXPECT_TRUE(fs::exists(game / "mine.txt"));
    EXPECT_TRUE(fs::exists(home / "config/ove/MyGame/save.dat"));
    EXPECT_TRUE(fs::exists(home / "Documents/shot.bmp"));
    // Each refusal says which call and which path.
    for (const char* call :
         {"ReadTextFile", "FileReader", "GetFiles", "RegisterSubstitutionTable", "Import", "FileWriter", "SaveImage",
          "TileLayers.Save", "DeleteFile", "CreateDirectory", "RenameFile", "SetCurrentDirectory"})
        EXPECT_NE(err.find(std::string("ove: ") + call + ": refused to "), std::string::npos) << call << "\n" << err;

    // Trust lifts the read confinement only.
    cmd.replace(cmd.find("--headless"), 10, "--headless --trust-game");
    ASSERT_EQ(ovetest::Run(cmd), 0);
    const std::string trusted = ReadFileText(out / "err");
    EXPECT_NE(trusted.find("read=secret readAbsolute=secret readLink=secret reader=true"), std::string::npos)
        << trusted;
    EXPECT_NE(trusted.find("writer=false writeLink=false"), std::string::npos) << trusted;
    EXPECT_EQ(ReadFileText(outside / "secret.txt"), "secret");
}

// Runaway scripts end the run with a message that says what happened, and where.
TEST(FileConfinement, RunawayScriptsAreStopped) {
    const struct {
        const char* what;
        const char* script;
        const char* said;
    } cases[] = {
        {"an endless loop in Run", "function Init() {}\nfunction Run() {\n  var n = 0;\n  while (true) { n++; }\n}\n",
         "main.ovs:4: RangeError"},
        {"an endless loop in a handler the engine calls",
         "var t;\nfunction Init() { t = new TextInput(); t.Focus();\n  t.onKey = function () {\n    for (;;) {}\n  "
         "};\n}\n"
         "function Run() { PostKey(9); }\n",
         "main.ovs:4: RangeError"},
        {"callbacks nesting without end",
         "var t;\nfunction Init() { t = new TextInput(); t.Focus(); t.onKey = function () { PostKey(9); }; }\n"
         "function Run() { PostKey(9); }\n",
         "Error: ERROR: Error: callbacks nested too deeply (200 levels)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ovetest::TempDir game;
        game.Write("DATA/main.ovs", c.script);
        const demotest::SRun r = demotest::RunEngine(game.path(), "--script-timeout 0.5");
        EXPECT_EQ(r.status, 1);
        const std::string& err = r.err;
        EXPECT_NE(err.find(c.said), std::string::npos) << err;
        if (std::string(c.said).find("RangeError") != std::string::npos) {
            EXPECT_NE(err.find("\nError: ERROR: RangeError: script stopped: it ran for more than 0.5 s without "
                               "returning to the engine\n"),
                      std::string::npos)
                << err;
        }
    }
}

}  // namespace
