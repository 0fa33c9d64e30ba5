// docs/tutorial.md stays runnable: its shell commands build the art and data files, its finished
// script type-checks against docs/ove.d.ts and runs in the engine, where simulated clicks walk the
// hero, describe the window and open and close the door's message.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Tsc.h"
#include "e2e/demo/DemoTestUtil.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSource = fs::path(OVE_TEST_SOURCE_DIR).parent_path();
const std::string kBuild = OVE_BUILD_DIR;

struct SBlock {
    std::string kind;  // "sh" for an indented block, else the fence's language
    std::string text;
};

// Fenced blocks and indented (four-space) blocks that follow a blank line, in page order.
std::vector<SBlock> CodeBlocks(const std::string& page) {
    std::vector<std::string> lines;
    std::stringstream in(page);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::vector<SBlock> blocks;
    bool prevBlank = true;
    for (std::size_t i = 0; i < lines.size();) {
        const std::string& l = lines[i];
        if (l.rfind("```", 0) == 0) {
            SBlock b{l.substr(3), ""};
            for (++i; i < lines.size() && lines[i].rfind("```", 0) != 0; ++i) b.text += lines[i] + "\n";
            blocks.push_back(b);
            ++i;
            prevBlank = false;
            continue;
        }
        if (l.rfind("    ", 0) == 0 && prevBlank) {
            SBlock b{"sh", ""};
            while (i < lines.size() && (lines[i].rfind("    ", 0) == 0 || (lines[i].empty() && i + 1 < lines.size() &&
                                                                           lines[i + 1].rfind("    ", 0) == 0)))
                b.text += (lines[i].empty() ? "" : lines[i].substr(4)) + "\n", ++i;
            blocks.push_back(b);
            prevBlank = false;
            continue;
        }
        prevBlank = l.find_first_not_of(' ') == std::string::npos;
        ++i;
    }
    return blocks;
}

// Drives the finished game: clicks on the floor, points at the window, clicks the door and then
// beside the message; reports what happened through Alert (standard error when headless).
const char* kHarness = R"JS(
var turn = 0, log = [];
var shownDisplay = Display;
Display = function () {
    turn++;
    if (turn === 2) { onMouseEvent(60, 170, 1); onMouseEvent(60, 170, 0); log.push("walking=" + hero.Moving()); }
    if (turn === 3) { onMouseEvent(70, 50, 0); log.push("window=" + label.text); }
    if (turn === 10) { onMouseEvent(250, 100, 1); onMouseEvent(250, 100, 0);
                       log.push("box=" + (message ? message.width + "x" + message.height : "none")); }
    if (turn === 12) { onMouseEvent(10, 10, 1); onMouseEvent(10, 10, 0); log.push("closed=" + (message === null)); }
    shownDisplay();
};
var endGame = Quit;
Quit = function () { log.push("hero=" + hero.x + "," + hero.y); Alert("tutorial: " + log.join(" ")); endGame(); };
)JS";

TEST(TutorialTest, EveryStepRunsAndTheGamePlays) {
    const std::string ovetool = kBuild + "/ovetool";
    if (!ovetest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick's convert is missing";
    if (!fs::exists("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")) GTEST_SKIP() << "DejaVu fonts missing";

    const std::vector<SBlock> blocks = CodeBlocks(ovetest::ReadFileText(kSource / "docs" / "tutorial.md"));
    ovetest::TempDir dir;
    fs::create_directories(dir / "bin");
    fs::create_symlink(ovetool, dir / "bin" / "ovetool");
    // `ove` in the page opens a window; here it only has to exist. Building the engine, installing
    // the compiler and releasing are left out; the finished game is run below.
    std::string script = "set -e\nexport PATH='" + (dir / "bin").string() + "':$PATH\nove() { :; }\ncd '" +
                         dir.path().string() + "'\n";
    std::string finalScript, finalSettings;
    int shellBlocks = 0;
    for (const SBlock& b : blocks) {
        if (b.kind == "js") finalScript = b.text;
        if (b.kind == "xml") finalSettings = b.text;
        if (b.kind != "sh") continue;
        const std::string first = b.text.substr(0, b.text.find_first_of(" \n"));
        if (first == "cmake" || first == "npm" || b.text.find("mygame-release") != std::string::npos) continue;
        script += b.text;
        ++shellBlocks;
    }
    ASSERT_GE(shellBlocks, 8) << "the page's commands were not found";
    ASSERT_NE(finalScript.find("function Run()"), std::string::npos) << finalScript;
    const fs::path log = dir / "steps.log";
    dir.Write("steps.sh", script);
    ASSERT_EQ(ovetest::Run("bash '" + (dir / "steps.sh").string() + "' > '" + log.string() + "' 2>&1"), 0)
        << ovetest::ReadFileText(log);

    const fs::path game = dir / "mygame";
    for (const char* made : {"DATA/room.OVP", "DATA/hero.OVV", "DATA/small.OVF"})
        ASSERT_TRUE(fs::exists(game / made)) << made << "\n" << ovetest::ReadFileText(log);

    // The finished script, as the page gives it, type-checks.
    if (std::string tsc = FindTsc(); !tsc.empty()) {
        dir.Write("check/main.js", finalScript);
        std::string messages;
        EXPECT_EQ(TypeCheck(tsc, dir / "check", "main.js", &messages), 0) << messages;
    }

    std::ofstream(game / "DATA" / "settings.xml") << finalSettings;
    std::ofstream(game / "DATA" / "main.ovs") << finalScript << kHarness;
    const demotest::SRun run = demotest::RunEngine(game, "--frames 120");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string& said = run.err;
    const auto at = said.find("tutorial: ");
    ASSERT_NE(at, std::string::npos) << said;
    const std::string line = said.substr(at, said.find('\n', at) - at);
    EXPECT_NE(line.find("walking=true"), std::string::npos) << line;
    EXPECT_NE(line.find("window="), std::string::npos) << line;
    EXPECT_EQ(line.find("window= "), std::string::npos) << "no description of the window: " << line;
    EXPECT_NE(line.find("closed=true"), std::string::npos) << line;
    // The box is wide enough for its message on a line or two, not one letter per line.
    const auto box = line.find("box=");
    ASSERT_NE(box, std::string::npos) << line;
    EXPECT_GT(std::atoi(line.c_str() + box + 4), 80) << line;
    // The hero walked left from x 160 towards the click at x 60.
    const auto hero = line.find("hero=");
    ASSERT_NE(hero, std::string::npos) << line;
    EXPECT_LT(std::atoi(line.c_str() + hero + 5), 160) << line;
}

}  // namespace
