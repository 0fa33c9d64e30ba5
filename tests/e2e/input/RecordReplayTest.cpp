// Repeatable runs: --fixed-step gives the same frames every time, fast; a session recorded by hand
// in a window (xdotool clicking on a private Xvfb) replays headless to the same state and picture.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "e2e/demo/DemoTestUtil.h"
#include "support/TestSupport.h"

namespace {

using demotest::Quote;
using ovetest::ReadFileText;

// Clicks move a square and are listed; Random and Math.random draw every turn, Date.now() is read.
const char* kGame = R"(
var running = true, clicks = [], r, draws = 0;
function Init() { SetBackdrop(0x203048); r = new Rectangle(); r.x2 = 10; r.y2 = 10; r.fill = 0xFF8000; }
function onMouseEvent(x, y, b) { if (b === 1) { clicks.push(x + ',' + y); r.x1 = x; r.y1 = y; r.x2 = x + 10; r.y2 = y + 10; } }
function Run() {
  var t0 = Date.now();
  while (running) {
    Mark(); Animate();
    r.stroke = RandomInt(0, 0xFFFF) << 8 | Math.floor(Math.random() * 256);
    Display(); Wait(1 / 60); draws++;
  }
  Alert('clicks', clicks.join(' '), 'draws', draws, 'ms', Date.now() - t0);
}
function Quit() { running = false; }
)";

std::string Ove() { return Quote(std::string(OVE_BUILD_DIR) + "/ove"); }

TEST(RecordReplay, FixedStepRunsRepeatExactlyAndFast) {
    ovetest::TempDir game;
    game.Write("DATA/main.ovs", kGame);
    const std::string err = (game / "err").string();
    auto run = [&](const std::string& options, const std::string& png) {
        return ovetest::Run("cd " + Quote(game.path().string()) + " && " + Ove() + " --headless --fixed-step " +
                            options + " --frames 600 --screenshot " + Quote((game / png).string()) + " 2>" +
                            Quote(err));
    };
    std::string first, shot;
    for (int pass = 0; pass < 2; ++pass) {
        const auto start = std::chrono::steady_clock::now();
        const std::string png = "shot" + std::to_string(pass) + ".png";
        ASSERT_EQ(run("", png), 0) << ReadFileText(err);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Ten seconds of game time (600 turns of 1/60 s) in well under ten seconds; the turn
        // that sees the window closed is the 601st.
        EXPECT_LT(seconds, 10.0 / 3) << "run " << pass;
        const std::string said = ReadFileText(err), picture = ReadFileText(game / png);
        EXPECT_NE(said.find("draws 601 ms 10016\n"), std::string::npos) << said;
        if (pass == 0) {
            first = said;
            shot = picture;
        } else {
            EXPECT_EQ(said, first);
            EXPECT_TRUE(picture == shot) << "the screenshots differ";
        }
    }
    // Another seed, another run.
    ASSERT_EQ(run("--seed 7", "seven.png"), 0);
    EXPECT_FALSE(ReadFileText(game / "seven.png") == shot);
}

TEST(RecordReplay, ASessionRecordedInAWindowReplaysHeadless) {
    for (const char* tool : {"Xvfb", "xdotool"})
        if (!ovetest::HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    ovetest::TempDir game;
    game.Write("DATA/main.ovs", kGame);
    const std::string dir = Quote(game.path().string());
    // A private X server; the game runs 240 turns in real time while xdotool clicks into it.
    const std::string script =
        "set -u; cd " + dir +
        "; exec 3>display; Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 2>/dev/null & "
        "X=$!; trap \"kill $X 2>/dev/null\" EXIT; for i in $(seq 100); do [ -s display ] && break; sleep 0.1; done; "
        "export DISPLAY=:$(cat display); "
        "SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy " +
        Ove() +
        " --record rec.txt --frames 240 --screenshot window.png 2>window.err & G=$!; "
        "(sleep 30; kill $G 2>/dev/null) & "
        "W=$(timeout 10 xdotool search --sync --onlyvisible --pid $G | head -n 1); "
        "sleep 0.5; xdotool mousemove --window $W 100 80 click 1; sleep 0.5; "
        "xdotool mousemove --window $W 200 150 click 1; wait $G";
    game.Write("session.sh", script);
    ASSERT_EQ(ovetest::Run("bash " + Quote((game / "session.sh").string())), 0) << ReadFileText(game / "window.err");
    const std::string recorded = ReadFileText(game / "rec.txt");
    ASSERT_NE(recorded.find(" button down 1 1 200 150"), std::string::npos) << recorded;

    // Replayed headless, with a screenshot asked for by the replay file itself.
    game.Write("rec.txt", recorded + "shot 120 " + (game / "middle.png").string() + "\n");
    ASSERT_EQ(ovetest::Run("cd " + dir + " && " + Ove() +
                           " --headless --replay rec.txt --frames 240 --screenshot replay.png 2>replay.err"),
              0)
        << ReadFileText(game / "replay.err");
    const std::string windowSaid = ReadFileText(game / "window.err");
    EXPECT_NE(windowSaid.find("Alert: clicks 100,80 200,150 draws 241 ms 4016\n"), std::string::npos) << windowSaid;
    EXPECT_EQ(ReadFileText(game / "replay.err"), windowSaid);
    EXPECT_TRUE(ReadFileText(game / "replay.png") == ReadFileText(game / "window.png")) << "the final pictures differ";
    EXPECT_FALSE(ReadFileText(game / "middle.png").empty());

    // A damaged replay is refused before anything runs.
    game.Write("bad.txt", "ove-input 1\n12 1 teleport 3 4\n");
    EXPECT_EQ(ovetest::Run("cd " + dir + " && " + Ove() + " --headless --replay bad.txt 2>bad.err"), 2);
    EXPECT_NE(ReadFileText(game / "bad.err").find("line 2 is not an event"), std::string::npos)
        << ReadFileText(game / "bad.err");
}

}  // namespace
