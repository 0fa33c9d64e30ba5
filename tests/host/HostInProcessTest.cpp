// The game host driven in-process on a real (offscreen) window and renderer.
#include <gtest/gtest.h>

#include <SDL.h>

#include <memory>

#include "bindings/Bindings.h"
#include "host/Game.h"
#include "platform/MessageBox.h"
#include "render/Renderer.h"
#include "script/ScriptHost.h"
#include "support/ScriptFixture.h"
#include "support/TestSupport.h"

using namespace ove;

namespace {

class HostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        SetHeadlessMessageBoxes(true);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER), 0) << SDL_GetError();
    }

    // Starts a game whose DATA folder holds the given script and settings.
    bool Start(const std::string& script, const std::string& settings = "", SRunOptions options = {}) {
        m_dir.Write("DATA/main.ovs", script);
        if (!settings.empty()) m_dir.Write("DATA/settings.xml", settings);
        m_game = std::make_unique<CGame>(ove::CreateScriptRuntime(), std::move(options));
        return m_game->Startup() && m_game->InitGame("");
    }

    std::string Eval(const std::string& expression) { return ovetest::EvalScript(expression); }

    ovetest::TempDir m_dir;
    ovetest::ScopedCwd m_cwd{m_dir.path()};
    std::unique_ptr<CGame> m_game;  // ends before the directory changes back
};

const char* kRecorder = R"(
var events = [];
function Init() {}
function Run() {}
function Quit() {}
function onMouseEvent(x, y, b) { events.push('m' + x + ',' + y + ',' + b); }
function onMouseWheel(x, y, d) { events.push('w' + x + ',' + y + ',' + d); }
function onResize(w, h) { events.push('r' + w + ',' + h); }
)";

}  // namespace

TEST_F(HostTest, MouseEventsAreScaledToTheGameAndTrackButtons) {
    ASSERT_TRUE(Start(kRecorder,
                      "<settings><game width=\"320\" height=\"240\"/>"
                      "<window width=\"640\" height=\"480\"/></settings>"));
    ASSERT_EQ(m_game->Viewport()->GetClientWidth(), 640);
    m_game->MouseEvent(100, 60, 1, 0);
    m_game->MouseEvent(101, 61, 0, 0);
    m_game->MouseEvent(102, 62, 3, 0);
    m_game->MouseEvent(639, 479, 7, -1);
    EXPECT_EQ(Eval("events.join(' ')"), "m50,30,1 m50,30,1 m51,31,0 w319,239,-1");
}

TEST_F(HostTest, FlexibleResizeUpdatesSizeGlobalsWithoutAHandler) {
    ASSERT_TRUE(Start("function Init() {} function Run() {}",
                      "<settings><game resolution=\"flexible\"/><window width=\"400\" height=\"300\"/></settings>"));
    EXPECT_EQ(Eval("WIDTH + 'x' + HEIGHT"), "400x300");
    m_game->Resize(640, 360);
    EXPECT_EQ(Eval("WIDTH + 'x' + HEIGHT"), "640x360");
    EXPECT_EQ(m_game->Renderer()->GetWidth(), 640);
    EXPECT_EQ(Eval("(WIDTH = 1, WIDTH)"), "640") << "the globals are read-only";
}

TEST_F(HostTest, ResizeCallsTheHandlerOnlyForFlexibleGames) {
    ASSERT_TRUE(Start(kRecorder));
    m_game->Resize(800, 600);
    EXPECT_EQ(Eval("events.length"), "0");
    EXPECT_EQ(m_game->Renderer()->GetWidth(), 320);
}

TEST_F(HostTest, AnErrorInAMouseHandlerIsShownAndTheGameGoesOn) {
    ASSERT_TRUE(
        Start("var n = 0; function Init() {} function Run() {}"
              "function onMouseEvent() { n++; throw new Error('bad click'); }"));
    testing::internal::CaptureStderr();
    m_game->MouseEvent(1, 1, 1, 0);
    m_game->MouseEvent(1, 1, 3, 0);
    // Each time: where it happened, then the box.
    const std::string where = "main.ovs:1: Error: bad click\n    at onMouseEvent (main.ovs:1)\n";
    const std::string box = "Error: ERROR: Error: bad click\n";
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find(where + box), err.find(where)) << err;
    EXPECT_EQ(err.rfind(box), err.size() - box.size());
    EXPECT_NE(err.find(where), err.rfind(where)) << err;
    EXPECT_EQ(Eval("n"), "2");
    EXPECT_FALSE(m_game->Failed());
}

TEST_F(HostTest, AnErrorInAHandlerReachedFromDisplayEndsRun) {
    ASSERT_TRUE(Start(R"(
var frames = 0;
function Init() {}
function Quit() { throw new TypeError('in quit'); }
function Run() { while (true) { Display(); frames++; } }
)",
                      "", [] {
                          SRunOptions o;
                          o.frameLimit = 3;
                          return o;
                      }()));
    testing::internal::CaptureStderr();
    m_game->Run();
    // Where it happened (Quit, reached from Display, reached from Run), then the box.
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("script error: main.ovs:4: TypeError: in quit\n    at Quit (main.ovs:4)\n"), 0u) << err;
    EXPECT_NE(err.find("    at Run (main.ovs:5)\n"), std::string::npos) << err;
    EXPECT_EQ(err.substr(err.rfind("\nError: ") + 1), "Error: ERROR: TypeError: in quit\n");
    EXPECT_TRUE(m_game->Failed());
    EXPECT_EQ(Eval("frames"), "3") << "the fourth Display() pumped the close and unwound Run()";
}

TEST_F(HostTest, PictureBackdropsLoadAndSameNameOnlyResetsOffsets) {
    ASSERT_TRUE(Start("function Init() {} function Run() {}"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Eval("(SetBackdrop('missing'), GetBackdropWidth() + ',' + GetBackdropHeight())"), "0,0");
    EXPECT_EQ(Eval("(SetBackdrop('missing'), SetBackdrop('missing'), 'again')"), "again");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ove: warning: SetBackdrop: there is no picture \"missing\" (missing.OVP)\n")
        << "named once, not every time the game asks again";
    EXPECT_EQ(Eval("GetBackdrop()"), "missing") << "the name is kept even when no picture loads";
    // A damaged picture keeps what could be read (its size) and is named with the reason.
    m_dir.Write("DATA/torn.OVP", std::string("PICT\x08\0\0\0\x04\0\0\0", 12) + std::string(24, '\0') + "IMG");
    testing::internal::CaptureStderr();
    EXPECT_EQ(Eval("(SetBackdrop('torn'), GetBackdropWidth() + ',' + GetBackdropHeight())"), "8,4");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ove: warning: torn.OVP: the picture is damaged and could not be read\n");
}

TEST_F(HostTest, AGameSizeTheEngineCannotCreateStopsStartUpWithAMessage) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        Start("function Init() {} function Run() {}", "<settings><game width=\"0\" height=\"240\"/></settings>"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: settings.xml: the game size 0 x 240 cannot be used; each side must be 1 to 16384 pixels\n");
}
