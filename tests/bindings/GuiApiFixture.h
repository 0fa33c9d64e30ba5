// A game host run in-process on the offscreen driver, with a small font and a view in its data
// folder, for script-level tests of the GUI and text APIs.
#pragma once
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bindings/Bindings.h"
#include "gui/GUIElement.h"
#include "host/Game.h"
#include "image/Bitmap.h"
#include "io/DataBin.h"
#include "platform/MessageBox.h"
#include "render/Renderer.h"
#include "resources/View.h"
#include "script/ScriptHost.h"
#include "support/Pixels.h"
#include "support/SceneTestUtil.h"
#include "support/ScriptFixture.h"
#include "support/TestSupport.h"
#include "support/WidgetTestUtil.h"

namespace guiapitest {

using guiwtest::HeldKeys;
using guiwtest::Now;

// Every glyph of the "small" font is 4 x 6 and transparent, except: 'X' (opaque white), 'i' (2
// wide, transparent) and 233, e acute, which is 5 wide and opaque white. A text drawn in it shows
// ink only where an X or an e acute stands.
inline std::vector<unsigned char> SmallFont() {
    return guiwtest::FontFile(
        256, 6, [](int c) { return c == 233   ? 5
                                   : c == 'i' ? 2
                                              : 4; }, [](int c) { return c == 'X' || c == 233; });
}

class GuiApiTest : public guiwtest::WidgetTest {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ove::SetHeadlessMessageBoxes(true);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER), 0) << SDL_GetError();
    }

    void TearDown() override {
        m_game.reset();
        m_cwd.reset();
        guiwtest::WidgetTest::TearDown();
    }

    // Starts a game (320 x 240 unless the size is given; default font "small") whose main script is given.
    void Start(const std::string& script = "function Init() {} function Run() {}",
               const char* size = "320\" height=\"240") {
        m_dir.Write("DATA/main.ovs", script);
        m_dir.Write("DATA/settings.xml", std::string("<settings><game width=\"") + size + "\"/><window width=\"" +
                                             size + "\"/><default font=\"small\"/></settings>");
        m_dir.Write("DATA/small.OVF", SmallFont());
        m_dir.Write("DATA/big.OVF", guiwtest::FontFile(
                                        128, 10, [](int) { return 8; }, [](int) { return false; }));
        m_dir.Write("DATA/btn.OVV", scenetest::ViewFile(2, 3, 10, 8, 0xFF00FF00u));
        m_cwd = std::make_unique<ovetest::ScopedCwd>(m_dir.path());
        m_game = std::make_unique<ove::CGame>(ove::CreateScriptRuntime());
        ASSERT_TRUE(m_game->Startup() && m_game->InitGame("")) << "the game did not start";
    }

    std::string Eval(const std::string& expression) { return ovetest::EvalScript(expression); }
    std::string Run(const std::string& source) { return ovetest::RunScript(source); }
    std::string Error(const std::string& statement) { return ovetest::ScriptError(statement); }

    // Mouse input as the window delivers it (the window is the game's size).
    void Move(int x, int y) { m_game->MouseEvent(x, y, 0, 0); }
    void Press(int x, int y) { m_game->MouseEvent(x, y, 1, 0); }
    void Release(int x, int y) { m_game->MouseEvent(x, y, 3, 0); }
    void Click(int x, int y) {
        Move(x, y);
        Press(x, y);
        Release(x, y);
    }

    std::unique_ptr<ove::CBitmap> Render() {
        m_game->UpdateRenderQueue();
        return m_game->Renderer()->RenderToImage(320, 240);
    }

    ovetest::TempDir m_dir;
    std::unique_ptr<ovetest::ScopedCwd> m_cwd;
    std::unique_ptr<ove::CGame> m_game;
};

using ovetest::PixelAt;

}  // namespace guiapitest
