// Keyboard and mouse input as a player makes it: the real engine runs a game in a real X window
// (on a private Xvfb server) and xdotool types and clicks into it. The game reports what its
// script sees with Alert, which the engine writes to standard error when it runs with --headless
// (the window stays a real one because SDL_VIDEODRIVER is set to x11).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "e2e/demo/DemoTestUtil.h"
#include "support/TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using demotest::Capture;
using demotest::Lines;
using ovetest::CChild;
using ovetest::CXServer;

// The engine running one game on the X server, its standard error in a file beside DATA.
class CGameRun {
public:
    CGameRun(const CXServer& x, const std::string& title, int windowWidth, int windowHeight, const std::string& script)
        : m_display(x.Display()), m_title(title) {
        char settings[256];
        std::snprintf(settings, sizeof settings,
                      "<settings><game width=\"320\" height=\"240\"/>"
                      "<window width=\"%d\" height=\"%d\" title=\"%s\"/></settings>",
                      windowWidth, windowHeight, title.c_str());
        m_game.Write("DATA/settings.xml", settings);
        m_game.Write("DATA/main.ovs", script);
    }

    std::string Log() const { return ovetest::ReadFileText(ErrPath()); }
    std::vector<std::string> LogLines() const { return Lines(Log()); }

    // Waits until the log holds the line (at or after line number `from`); its index or -1.
    int WaitForLine(const std::string& line, std::size_t from = 0, std::chrono::milliseconds limit = 15s) const {
        const auto end = Clock::now() + limit;
        for (;;) {
            std::vector<std::string> lines = LogLines();
            for (std::size_t i = from; i < lines.size(); ++i)
                if (lines[i] == line) return static_cast<int>(i);
            if (Clock::now() > end) return -1;
            std::this_thread::sleep_for(10ms);
        }
    }

    // The X window of the game, found by its title.
    std::string Window() const {
        return Capture("DISPLAY=" + m_display + " timeout 15 xdotool search --sync --name '^" + m_title +
                       "$' 2>/dev/null");
    }

    // Runs xdotool with the arguments on the game's display.
    bool Xdo(const std::string& args) const {
        return ovetest::Run("DISPLAY=" + m_display + " timeout 15 xdotool " + args + " >/dev/null 2>&1") == 0;
    }

    int Wait() { return m_engine.Wait(60s); }

    // Starts the engine, waits for the game's first line and focuses its window; the window's id,
    // empty (with a test failure) when any of it went wrong.
    std::string Open() {
        std::string window;
        // timeout bounds the engine even if this test is killed before it can stop it.
        if (!m_engine.Start({"env", "DISPLAY=" + m_display, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "timeout",
                             "90", std::string(OVE_BUILD_DIR) + "/ove", "--headless", "--game", m_game.path().string()},
                            ErrPath()))
            ADD_FAILURE() << "the engine did not start";
        else if (WaitForLine("Alert: ready") < 0 || (window = Window()).empty())
            ADD_FAILURE() << "no window titled '" << m_title << "'\n" << Log();
        else if (!Xdo("windowfocus --sync " + window)) ADD_FAILURE() << "could not focus " << m_title;
        else return window;
        return "";
    }

private:
    std::string ErrPath() const { return (m_game / "err").string(); }

    std::string m_display, m_title;
    ovetest::TempDir m_game;
    CChild m_engine;
};

class WindowInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ovetest::HaveProgram("Xvfb") || !ovetest::HaveProgram("xdotool"))
            GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/setup.sh installs them)";
        ASSERT_EQ(m_x.Start(), "");
    }
    CXServer m_x;
};

// The games below run Play() on a list of phases, each ended by F12: 'keys' reports typed keys,
// 'delay' the keys typed during a Delay, 'mouse' mouse events and 'held' keys going down and up.
// A frame budget ends a game whatever happens, so a lost event cannot hang the engine.
const char* kPlay = R"(
var phase = '', budget = 60 * 60;
function Init() {}
function Frame() {
  if (--budget < 0) throw new Error('frame budget spent in phase ' + phase);
  Mark(); Display(); Wait(1 / 60);
}
// Reads this frame's keys, reporting them in the order ReadKey hands them out; true when F12 was
// among them.
function Keys(report) {
  var f12 = false;
  for (var k = ReadKey(); k; k = ReadKey()) {
    if (k == F12) f12 = true; else if (report) Alert('key', k);
  }
  return f12;
}
var watched = { LEFT: LEFT, A: 65, a: 97, F1: F1, SPACEBAR: SPACEBAR, CTRL: CTRL, LSHIFT: LSHIFT };
var held = {};
function ReportHeldKeys() {
  for (var name in watched) {
    var down = KeyDown(watched[name]);
    if (down != !!held[name]) { held[name] = down; Alert(down ? 'down' : 'up', name); }
  }
}
function onMouseEvent(x, y, buttons) { if (phase == 'mouse') Alert('mouse', x, y, buttons); }
function onMouseWheel(x, y, delta) { if (phase == 'mouse') Alert('wheel', x, y, delta); }
function Play(phases) {
  for (var i = 0; i < phases.length; i++) {
    phase = phases[i];
    Alert(i ? phase + ' phase' : 'ready');
    if (phase == 'delay') {
      Delay(2);
      var burst = [];
      for (var k = ReadKey(); k; k = ReadKey()) burst.push(k);
      Alert('burst', burst.join(' '));
    } else {
      do { Frame(); if (phase == 'held') ReportHeldKeys(); } while (!Keys(phase == 'keys'));
    }
  }
  Alert('end');
}
)";

std::string Game(const char* phases) { return std::string(kPlay) + "function Run() { Play(" + phases + "); }"; }

// One action of the player and the lines it must add to the log, in this order.
struct SStep {
    std::string xdo;  // xdotool arguments; %W stands for the game's window
    std::vector<std::string> lines;
};

// Performs the step and waits for its lines. Returns false (with a test failure) when one of
// them does not come.
bool Perform(const CGameRun& run, const SStep& step, const std::string& window) {
    std::string args = step.xdo;
    if (std::size_t w = args.find("%W"); w != std::string::npos) args.replace(w, 2, window);
    std::size_t from = run.LogLines().size();
    if (!run.Xdo(args)) {
        ADD_FAILURE() << "xdotool " << args << " failed";
        return false;
    }
    for (const std::string& line : step.lines) {
        int at = run.WaitForLine(line, from);
        if (at < 0) {
            ADD_FAILURE() << "no '" << line << "' after xdotool " << args << ":\n" << run.Log();
            return false;
        }
        from = static_cast<std::size_t>(at) + 1;
    }
    if (step.lines.empty()) std::this_thread::sleep_for(100ms);
    return true;
}

// The values printed by an xdotool command with --shell ("X=12" lines).
int ShellValue(const std::string& output, const std::string& name) {
    for (const std::string& line : Lines(output + "\n"))
        if (line.rfind(name + "=", 0) == 0) return std::atoi(line.c_str() + name.size() + 1);
    return -1;
}

}  // namespace

// clang-format off
TEST_F(WindowInputTest, ScriptSeesKeyCodesAndScaledMouseEvents) {
    CGameRun run(m_x, "Input Probe", 640, 480, Game("['keys', 'delay', 'mouse', 'held']"));
    const std::string window = run.Open();
    ASSERT_FALSE(window.empty());

    // Keys one at a time, each waited for, so that the order of the log is the order of typing.
    // Each key with the code it must give (0: none): one of each kind, the rest of the codes are
    // the key translation's and the pump's tests. Shift types nothing: scan code 42 x 256;
    // KP_Begin is keypad 5 without Num Lock.
    const std::pair<const char*, int> keys[] = {
        {"type a", 97},         {"keydown Shift_L", 10752}, {"key b", 66},         {"keyup Shift_L", 0},
        {"keydown ctrl", 7424}, {"key z", 26},              {"keyup ctrl", 0},     {"key alt+a", 321},
        {"key Left", 19200},    {"key KP_Begin", 19456},    {"key F11", 22272},    {"key Return", 13},
        // Characters beyond ASCII arrive as code page 1252 bytes read as signed values. xdotool
        // maps them to a spare key for the moment of typing: the delay keeps that mapping alive
        // until the engine has read the key.
        {"type --delay 200 \xC3\xA9", -23},      // e acute, 0xE9
        {"type --delay 200 \xE2\x82\xAC", -128},  // euro sign, 0x80
    };
    std::vector<std::string> expected = {"Alert: ready"};
    for (const auto& [xdo, code] : keys) {
        SStep step{xdo, {}};
        if (code) step.lines.push_back("Alert: key " + std::to_string(code));
        ASSERT_TRUE(Perform(run, step, window));
        expected.insert(expected.end(), step.lines.begin(), step.lines.end());
    }
    // Nothing else came through: no second code for a chord, no character for Shift or Alt.
    EXPECT_EQ(run.LogLines(), expected);

    // Keys typed during Delay wait in the queue of the window system and reach the game after
    // it; ReadKey then hands out the last one first.
    ASSERT_TRUE(Perform(run, {"key F12", {"Alert: delay phase"}}, window));
    ASSERT_TRUE(Perform(run, {"type --delay 150 xyz", {"Alert: burst 122 121 120"}}, window));

    // The game is 320 x 240 in a window of 640 x 480: window points are halved. The third
    // number is the mouse buttons held (left 1, right 2, middle 4).
    ASSERT_GE(run.WaitForLine("Alert: mouse phase"), 0) << run.Log();
    const SStep mouse[] = {
        {"mousemove --sync --window %W 100 60", {"Alert: mouse 50 30 0"}},
        {"click 1", {"Alert: mouse 50 30 1", "Alert: mouse 50 30 0"}},
        {"mousemove --sync --window %W 301 199", {"Alert: mouse 150 99 0"}},
        {"click 2", {"Alert: mouse 150 99 4", "Alert: mouse 150 99 0"}},
        // Moves report the buttons held.
        {"mousedown 1", {"Alert: mouse 150 99 1"}},
        {"mousemove --sync --window %W 305 199", {"Alert: mouse 152 99 1"}},
        {"mousedown 3", {"Alert: mouse 152 99 3"}},      {"mouseup 1", {"Alert: mouse 152 99 2"}},
        {"mouseup 3", {"Alert: mouse 152 99 0"}},        {"click 4", {"Alert: wheel 152 99 1"}},
        {"click 5", {"Alert: wheel 152 99 -1"}},
    };
    for (const SStep& step : mouse) ASSERT_TRUE(Perform(run, step, window));

    // KeyDown follows the keys held now: a letter in either case tests the same key, and
    // function keys never count.
    ASSERT_TRUE(Perform(run, {"key F12", {"Alert: held phase"}}, window));
    const std::size_t heldStart = run.LogLines().size();
    const SStep held[] = {
        {"keydown Left", {"Alert: down LEFT"}},          {"keyup Left", {"Alert: up LEFT"}},
        {"keydown a", {"Alert: down A", "Alert: down a"}}, {"keyup a", {"Alert: up A", "Alert: up a"}},
        {"keydown F1 keydown space", {"Alert: down SPACEBAR"}}, {"keyup space keyup F1", {"Alert: up SPACEBAR"}},
        {"keydown Control_R", {"Alert: down CTRL"}},     {"keyup Control_R", {"Alert: up CTRL"}},
        {"keydown Shift_L", {"Alert: down LSHIFT"}},     {"keyup Shift_L", {"Alert: up LSHIFT"}},
    };
    for (const SStep& step : held) ASSERT_TRUE(Perform(run, step, window));
    ASSERT_TRUE(Perform(run, {"key F12", {"Alert: end"}}, window));
    EXPECT_EQ(run.Wait(), 0) << run.Log();
    std::vector<std::string> lines = run.LogLines();
    for (std::size_t i = heldStart; i < lines.size(); ++i) EXPECT_NE(lines[i], "Alert: down F1");
}
// clang-format on

TEST_F(WindowInputTest, LetterBoxedWindowScalesFromTheViewport) {
    // A 320 x 240 game in a 640 x 400 window: the viewport is 533 x 400, 53 pixels from the left.
    CGameRun run(m_x, "Letter Box", 640, 400, Game("['mouse']"));
    const std::string window = run.Open();
    ASSERT_FALSE(window.empty());

    // Window (153, 60) is viewport (100, 60): game 320 * 100 / 533 = 60, 240 * 60 / 400 = 36.
    ASSERT_TRUE(Perform(run, {"mousemove --sync --window %W 153 60", {"Alert: mouse 60 36 0"}}, window));
    ASSERT_TRUE(Perform(run, {"click 1", {"Alert: mouse 60 36 1", "Alert: mouse 60 36 0"}}, window));
    // The far corner of the viewport is the far corner of the game.
    ASSERT_TRUE(Perform(run, {"mousemove --sync --window %W 585 399", {"Alert: mouse 319 239 0"}}, window));

    // Resting near the viewport's edge lets the pointer go after a moment; a click on the margin
    // then acts at the last point inside the viewport, where the pointer is put back.
    ASSERT_TRUE(Perform(run, {"mousemove --sync --window %W 55 60", {"Alert: mouse 1 36 0"}}, window));
    std::this_thread::sleep_for(600ms);
    ASSERT_TRUE(Perform(run, {"mousemove --window %W 10 60", {}}, window));
    ASSERT_TRUE(Perform(run, {"click 3", {"Alert: mouse 1 36 2", "Alert: mouse 1 36 0"}}, window));
    const std::string geometry = Capture("DISPLAY=" + m_x.Display() + " xdotool getwindowgeometry --shell " + window);
    const std::string pointer = Capture("DISPLAY=" + m_x.Display() + " xdotool getmouselocation --shell");
    EXPECT_EQ(ShellValue(pointer, "X") - ShellValue(geometry, "X"), 55) << geometry << "\n" << pointer;
    EXPECT_EQ(ShellValue(pointer, "Y") - ShellValue(geometry, "Y"), 60) << geometry << "\n" << pointer;

    ASSERT_TRUE(Perform(run, {"key F12", {"Alert: end"}}, window));
    EXPECT_EQ(run.Wait(), 0) << run.Log();
    // The move over the margin reached nobody: no event between the edge move and the click.
    std::vector<std::string> lines = run.LogLines();
    int edge = run.WaitForLine("Alert: mouse 1 36 0");
    ASSERT_GE(edge, 0);
    ASSERT_LT(static_cast<std::size_t>(edge) + 1, lines.size());
    EXPECT_EQ(lines[edge + 1], "Alert: mouse 1 36 2") << run.Log();
}

TEST_F(WindowInputTest, KeyDownIsFalseWhileAnotherWindowIsActive) {
    CGameRun a(m_x, "Game A", 320, 240, Game("['held']"));
    CGameRun b(m_x, "Game B", 320, 240, Game("['held']"));
    const std::string windowA = a.Open(), windowB = b.Open();
    ASSERT_FALSE(windowA.empty() || windowB.empty());

    ASSERT_TRUE(a.Xdo("windowfocus --sync " + windowA));
    ASSERT_TRUE(Perform(a, {"keydown Left", {"Alert: down LEFT"}}, windowA));
    // Still held, but game A is no longer the active window.
    ASSERT_TRUE(Perform(a, {"windowfocus --sync " + windowB, {"Alert: up LEFT"}}, windowA));
    ASSERT_TRUE(Perform(b, {"keyup Left keydown Left", {"Alert: down LEFT"}}, windowB));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(a.LogLines().back(), "Alert: up LEFT") << a.Log();
    ASSERT_TRUE(Perform(b, {"keyup Left", {"Alert: up LEFT"}}, windowB));

    ASSERT_TRUE(Perform(b, {"key F12", {"Alert: end"}}, windowB));
    ASSERT_TRUE(a.Xdo("windowfocus --sync " + windowA));
    ASSERT_TRUE(Perform(a, {"key F12", {"Alert: end"}}, windowA));
    EXPECT_EQ(a.Wait(), 0) << a.Log();
    EXPECT_EQ(b.Wait(), 0) << b.Log();
}
