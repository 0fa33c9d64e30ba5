// ovetool web, run as a program: a game folder exported as a static web site.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kTool = OVE_BUILD_DIR "/ovetool";

using Files = std::map<std::string, std::string>;

// Runs ovetool in `dir` (with `env`, "NAME=VALUE", in its environment); what it prints on standard
// error lands in `err`.
int Tool(const ovetest::TempDir& dir, const std::string& args, std::string& err, const std::string& env = "") {
    const fs::path log = dir / "tool.err";
    const int rc = ovetest::Run("cd '" + dir.path().string() + "' && " + env + " '" + kTool + "' " + args +
                                " >/dev/null 2>'" + log.string() + "'");
    err = ovetest::ReadFileText(log);
    return rc;
}

// The files an export holds, cut out of game.data as game.json places them.
Files Unpack(const fs::path& site) {
    const std::string manifest = ovetest::ReadFileText(site / "game.json");
    const std::string data = ovetest::ReadFileText(site / "game.data");
    const std::regex entry(R"re(\{"path":"([^"]*)","offset":(\d+),"size":(\d+)\})re");
    Files files;
    for (std::sregex_iterator it(manifest.begin(), manifest.end(), entry), end; it != end; ++it) {
        const size_t offset = std::stoull((*it)[2]), size = std::stoull((*it)[3]);
        EXPECT_LE(offset + size, data.size()) << (*it)[1];
        if (offset + size <= data.size()) files[(*it)[1]] = data.substr(offset, size);
    }
    EXPECT_NE(manifest.find("\"total\":" + std::to_string(data.size()) + ","), std::string::npos) << manifest;
    return files;
}

void WriteFiles(const ovetest::TempDir& dir, const std::string& folder, const Files& files) {
    for (const auto& [path, bytes] : files) dir.Write(folder + "/" + path, bytes);
}

void WriteEngine(const ovetest::TempDir& dir) {
    dir.Write("engine/ove.js", "var Module;\n");
    dir.Write("engine/ove.wasm", std::string("\0asm\1\0\0\0", 8));
}

}  // namespace

TEST(WebExportTest, ExportsEveryFileOfTheGameAndItsTitle) {
    ovetest::TempDir dir;
    WriteEngine(dir);
    std::string picture;
    for (int i = 0; i < 5000; ++i) picture += static_cast<char>(i * 7 % 256);
    Files game = {
        {"settings.xml", "<settings><game name=\"Rock &amp; &lt;Roll&gt;\" width=\"320\" height=\"200\"/></settings>"},
        {"DATA/main.ovs", "function Init() {}\n"},
        {"DATA/rooms/hall.OVP", picture},
        {"DATA/empty.txt", ""},
    };
    WriteFiles(dir, "game", game);
    dir.Write("game/.hidden", "not exported");
    dir.Write("game/.git/config", "not exported");
    std::string err;
    ASSERT_EQ(Tool(dir, "web game site --engine engine --zip site.zip", err), 0) << err;

    const fs::path site = dir / "site";
    EXPECT_EQ(Unpack(site), game) << "every file but the dot-files, byte for byte";
    EXPECT_NE(ovetest::ReadFileText(site / "game.json").find("\"title\":\"Rock & <Roll>\""), std::string::npos);
    const std::string page = ovetest::ReadFileText(site / "index.html");
    EXPECT_NE(page.find("<title>Rock &amp; &lt;Roll&gt;</title>"), std::string::npos);
    EXPECT_EQ(page.find("<Roll>"), std::string::npos);
    EXPECT_EQ(page.find("{{"), std::string::npos) << "every placeholder filled";
    for (const char* name : {"ove.js", "ove.wasm"})
        EXPECT_EQ(ovetest::ReadFileBytes(site / name), ovetest::ReadFileBytes(dir / "engine" / name)) << name;

    if (ovetest::HaveProgram("unzip")) {
        EXPECT_EQ(ovetest::Run("unzip -tq '" + (dir / "site.zip").string() + "' >/dev/null"), 0);
        ASSERT_EQ(
            ovetest::Run("unzip -Z1 '" + (dir / "site.zip").string() + "' >'" + (dir / "list.txt").string() + "'"), 0);
        EXPECT_EQ(ovetest::ReadFileText(dir / "list.txt"), "index.html\nove.js\nove.wasm\ngame.json\ngame.data\n");
    }

    // Exporting again replaces the earlier export, and the output folder inside the game is left out.
    game["DATA/main.ovs"] = "function Init() { Quit(); }\n";
    game.erase("DATA/empty.txt");
    fs::remove(dir / "game/DATA/empty.txt");
    WriteFiles(dir, "game", game);
    ASSERT_EQ(Tool(dir, "web game site --engine engine", err), 0) << err;
    EXPECT_EQ(Unpack(site), game);
    ASSERT_EQ(Tool(dir, "web game game/web --engine engine", err), 0) << err;
    ASSERT_EQ(Tool(dir, "web game game/web --engine engine", err), 0) << err;
    EXPECT_EQ(Unpack(dir / "game/web"), game);
}

TEST(WebExportTest, RefusesWhatItCannotExport) {
    ovetest::TempDir dir;
    WriteEngine(dir);
    WriteFiles(dir, "game", {{"main.ovs", "function Init() {}\n"}});
    std::string err;

    dir.Write("notes/todo.txt", "mine");
    EXPECT_EQ(Tool(dir, "web game notes --engine engine", err), 1);
    EXPECT_NE(err.find("no earlier export"), std::string::npos) << err;
    EXPECT_EQ(ovetest::CountEntries(dir / "notes"), 1u) << "a folder of other files is left alone";

    EXPECT_EQ(Tool(dir, "web game site --engine nowhere", err), 1);
    EXPECT_NE(err.find("nowhere"), std::string::npos) << err;
    EXPECT_NE(err.find("scripts/build-web.sh"), std::string::npos) << err;
    EXPECT_EQ(Tool(dir, "web game site", err, "OVE_WEB_ENGINE=nowhere"), 1);

    dir.Write("secret.txt", "outside");
    fs::create_symlink(dir / "secret.txt", dir / "game/secret.txt");
    EXPECT_EQ(Tool(dir, "web game site --engine engine", err), 1);
    EXPECT_NE(err.find("secret.txt links outside the game folder"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "site/game.data"));
}
