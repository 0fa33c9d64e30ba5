// The game window on SDL's offscreen driver: synthetic SDL events go through the pump and the
// window classes and reach the game host stand-in.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "FakeGame.h"
#include "platform/Clipboard.h"
#include "platform/Events.h"
#include "platform/NativeWindow.h"
#include "platform/SystemColours.h"
#include "win/GameWindow.h"

namespace {

class Pump : public ::testing::Test {
    // clang-format off
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        std::string error;
        if (!window.Create(nullptr, &error)) GTEST_SKIP() << "no offscreen window: " << error;
        window.AttachGame(&game);
        id = SDL_GetWindowID(window.GetHandle());
        ove::PumpEvents();  // whatever creation queued
        game.Clear();
    }

    static void Push(SDL_Event e) { SDL_PushEvent(&e); }
    void Key(SDL_Scancode sc, SDL_Keycode key, Uint16 mods, bool down = true, bool repeat = false) {
        Push({.key = {down ? SDL_KEYDOWN : SDL_KEYUP, 0, id, Uint8(down ? SDL_PRESSED : SDL_RELEASED), Uint8(repeat),
                      0, 0, {sc, key, mods, 0}}});
    }
    void Text(const char* utf8) {
        SDL_Event e{.text = {SDL_TEXTINPUT, 0, id, {}}};
        std::strncpy(e.text.text, utf8, sizeof(e.text.text) - 1);
        Push(e);
    }
    void Motion(int x, int y) { Push({.motion = {SDL_MOUSEMOTION, 0, id, 0, 0, x, y, 0, 0}}); }
    void Button(Uint8 button, bool down, int x, int y, Uint8 clicks = 1) {
        Push({.button = {down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP, 0, id, 0, button,
                         Uint8(down ? SDL_PRESSED : SDL_RELEASED), clicks, 0, x, y}});
    }
    void Wheel(int notches, float precise, int x, int y) {
        Push({.wheel = {SDL_MOUSEWHEEL, 0, id, 0, 0, notches, SDL_MOUSEWHEEL_NORMAL, 0.0f, precise, x, y}});
    }
    void WindowEvent(Uint8 event, int data1 = 0, int data2 = 0) {
        Push({.window = {SDL_WINDOWEVENT, 0, id, event, 0, 0, 0, data1, data2}});
    }

    FakeGame game;
    ove::CGameWindow window;
    Uint32 id = 0;
};
// clang-format on

}  // namespace

TEST_F(Pump, WindowIsAHiddenResizableOpenGLWindowWithAViewport) {
    Uint32 flags = SDL_GetWindowFlags(window.GetHandle());
    EXPECT_TRUE(flags & SDL_WINDOW_OPENGL);
    EXPECT_TRUE(flags & SDL_WINDOW_RESIZABLE);
    EXPECT_TRUE(flags & SDL_WINDOW_HIDDEN);
    EXPECT_TRUE(window.IsHandle(window.GetHandle()));
    EXPECT_EQ(window.GetViewport()->GetHandle(), window.GetHandle());
    EXPECT_EQ(window.GetViewport()->GetClientWidth(), 320);
    window.SetTitle("Caf\xE9");
    EXPECT_STREQ(SDL_GetWindowTitle(window.GetHandle()), "Caf\xC3\xA9");
    EXPECT_EQ(window.GetTitle(), "Caf\xE9");
    window.Show(ove::EShow::ShowNormal);
    EXPECT_TRUE(ove::IsNativeWindowVisible(window.GetHandle()));
}

TEST_F(Pump, SetClientSizeLaysOutAtOnce) {
    window.SetClientSize(800, 400);
    EXPECT_EQ(window.GetClientWidth(), 800);
    EXPECT_EQ(game.viewports, (std::vector<SRectCall>{{133, 0, 533, 400}}));
    EXPECT_EQ(game.resizes, (std::vector<std::pair<int, int>>{{-1, -1}}));
    // The size event the system sends afterwards changes nothing.
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.resizes.size(), 1u);
    // A size made by the user arrives as an event.
    WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 640, 600);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.viewports.back(), (SRectCall{0, 60, 640, 480}));
}

TEST_F(Pump, TypedKeysBecomeKeyCodes) {
    Key(SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_LSHIFT);
    Key(SDL_SCANCODE_A, SDLK_a, KMOD_LSHIFT);
    Text("A");
    Key(SDL_SCANCODE_A, SDLK_a, KMOD_LSHIFT, false);
    Key(SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, KMOD_NONE, false);
    Key(SDL_SCANCODE_LCTRL, SDLK_LCTRL, KMOD_LCTRL);
    Key(SDL_SCANCODE_A, SDLK_a, KMOD_LCTRL);
    Key(SDL_SCANCODE_1, SDLK_1, KMOD_LCTRL);
    Text("1");  // X11 reports the digit; a Ctrl chord types nothing
    Key(SDL_SCANCODE_LCTRL, SDLK_LCTRL, KMOD_NONE, false);
    Key(SDL_SCANCODE_LALT, SDLK_LALT, KMOD_LALT);
    Key(SDL_SCANCODE_A, SDLK_a, KMOD_LALT);
    Text("a");
    Key(SDL_SCANCODE_F4, SDLK_F4, KMOD_LALT);  // Alt+F4 and Alt+digit chords reach no game
    Key(SDL_SCANCODE_1, SDLK_1, KMOD_LALT);
    Key(SDL_SCANCODE_LALT, SDLK_LALT, KMOD_NONE, false);
    Key(SDL_SCANCODE_LEFT, SDLK_LEFT, KMOD_NONE);
    Key(SDL_SCANCODE_LEFT, SDLK_LEFT, KMOD_NONE, true, true);  // auto-repeat
    Key(SDL_SCANCODE_F1, SDLK_F1, KMOD_NONE);
    Key(SDL_SCANCODE_F10, SDLK_F10, KMOD_NONE);
    Text("\xC2\xA3");  // pound sign
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_NONE);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, KMOD_NONE);
    Key(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, KMOD_NONE);
    Text("\xE2\x82\xAC\xE2\x86\x92");  // euro sign, arrow (not in the code page)
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.keys, (std::vector<int32_t>{10752, 'A', 7424, 1, 512, 321, 19200, 19200, 15104, 17408, -93, 13, 27,
                                               8, -128, '?'}));
}

TEST_F(Pump, KeypadDigitsAndNavigation) {
    Key(SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NUM);
    Text("4");
    Key(SDL_SCANCODE_KP_4, SDLK_KP_4, KMOD_NUM | KMOD_LSHIFT);  // X11 sends no text here
    Key(SDL_SCANCODE_KP_7, SDLK_KP_7, KMOD_LSHIFT);
    Text("7");  // X11: Shift inverts a switched-off Num Lock
    Key(SDL_SCANCODE_KP_5, SDLK_KP_5, KMOD_NONE);
    Key(SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS, KMOD_NONE);
    Text("+");
    Key(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER, KMOD_NUM);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.keys, (std::vector<int32_t>{'4', 19200, 18176, 19456, '+', 13}));
}

TEST_F(Pump, AltEnterTogglesFullScreen) {
    Key(SDL_SCANCODE_LALT, SDLK_LALT, KMOD_LALT);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN, KMOD_LALT, true, true);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.fullScreenToggles, 1);
    EXPECT_TRUE(game.keys.empty());
}

// clang-format off
TEST_F(Pump, MouseEventsAreRelativeToTheViewportMarginClicksAtTheLastPoint) {
    window.SetClientSize(1000, 600);  // 320 x 240 game: viewport 800 x 600 at (100, 0)
    game.Clear();
    Motion(150, 30);
    Button(SDL_BUTTON_LEFT, true, 150, 30);
    Button(SDL_BUTTON_LEFT, true, 150, 30, 2);  // double clicks are plain clicks for the game
    Button(SDL_BUTTON_LEFT, false, 151, 31);
    Button(SDL_BUTTON_RIGHT, true, 899, 599);
    Button(SDL_BUTTON_RIGHT, false, 100, 0);
    Button(SDL_BUTTON_MIDDLE, true, 500, 300);
    Button(SDL_BUTTON_MIDDLE, false, 500, 300);
    Button(SDL_BUTTON_X1, true, 500, 300);  // not a game button
    Wheel(1, 1.0f, 500, 300);
    Wheel(-1, -1.0f, 500, 300);
    Wheel(0, 0.5f, 500, 300);  // half a notch from a touchpad
    Wheel(2, 0.0f, 500, 300);  // a device without precise values
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.mouse, (std::vector<SMouseCall>{{50, 30, 0, 0}, {50, 30, 1, 0}, {50, 30, 1, 0}, {51, 31, 3, 0},
                                                   {799, 599, 2, 0}, {0, 0, 4, 0}, {400, 300, 5, 0}, {400, 300, 6, 0},
                                                   {400, 300, 7, 1}, {400, 300, 7, -1}, {400, 300, 7, 2}}));
    // Clicks on the margin act at the last point in the viewport.
    Motion(300, 200);
    EXPECT_TRUE(ove::PumpEvents());
    game.Clear();
    Button(SDL_BUTTON_LEFT, true, 40, 500);
    Button(SDL_BUTTON_LEFT, false, 1200, 700);  // released outside the window after a drag
    Motion(20, 20);                             // moves over the margin are not reported
    Wheel(2, 0.0f, 20, 20);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.mouse, (std::vector<SMouseCall>{{200, 200, 1, 0}, {200, 200, 3, 0}, {200, 200, 7, 2}}));
}
// clang-format on

TEST_F(Pump, FlexibleGamesFollowTheWindow) {
    game.flexible = true;
    WindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 700, 500);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.resizes, (std::vector<std::pair<int, int>>{{700, 500}}));
    EXPECT_EQ(game.viewports, (std::vector<SRectCall>{{0, 0, 700, 500}}));
    Motion(1, 1);  // no edge handling in a flexible game
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_FALSE(window.GetViewport()->IsEdgeTimerPending());
    EXPECT_EQ(game.mouse, (std::vector<SMouseCall>{{1, 1, 0, 0}}));
}

TEST_F(Pump, ActivationConfinementAndTheEdgeTimer) {
    window.SetClientSize(640, 480);
    WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    Motion(100, 100);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.activations, (std::vector<bool>{true}));
    ove::CGameViewport* viewport = window.GetViewport();
    EXPECT_TRUE(viewport->IsCursorClipped());
    Motion(2, 100);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_TRUE(viewport->IsEdgeTimerPending());
    EXPECT_TRUE(viewport->IsCursorClipped());
    SDL_Delay(ove::CGameViewport::kEdgeDelayMs + 30);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_FALSE(viewport->IsEdgeTimerPending());
    EXPECT_FALSE(viewport->IsCursorClipped());
    // Moving the window or losing activation releases the pointer too.
    Motion(100, 100);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_TRUE(viewport->IsCursorClipped());
    WindowEvent(SDL_WINDOWEVENT_MOVED, 10, 10);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_FALSE(viewport->IsCursorClipped());
    Motion(101, 100);
    WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_FALSE(viewport->IsCursorClipped());
    EXPECT_FALSE(viewport->IsActive());
    EXPECT_EQ(game.activations, (std::vector<bool>{true, false}));
}

TEST_F(Pump, SystemCursorHiddenWhileTheGameDrawsOne) {
    game.cursorObject = true;
    Motion(10, 10);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_FALSE(window.IsSystemCursorShown());
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    game.cursorObject = false;
    Motion(11, 10);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_TRUE(window.IsSystemCursorShown());
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(Pump, ClosingTheWindowIsOneQuit) {
    Key(SDL_SCANCODE_B, SDLK_b, KMOD_NONE);
    Text("b");
    WindowEvent(SDL_WINDOWEVENT_CLOSE);
    Push({.type = SDL_QUIT});
    EXPECT_FALSE(ove::PumpEvents());
    EXPECT_EQ(game.keys, (std::vector<int32_t>{'b'}));  // input before the close is still handled
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_NE(window.GetHandle(), nullptr);  // the game window stays
    ove::PostQuit();
    ove::PostQuit();
    EXPECT_FALSE(ove::PumpEvents());
    EXPECT_TRUE(ove::PumpEvents());
    // PostClose goes through the close handler the same way.
    Key(SDL_SCANCODE_D, SDLK_d, KMOD_NONE);
    Text("d");
    window.PostClose();
    EXPECT_FALSE(ove::PumpEvents());
    EXPECT_EQ(game.keys, (std::vector<int32_t>{'b', 'd'}));
    EXPECT_TRUE(ove::PumpEvents());
}

TEST_F(Pump, GatheringLeavesInputQueued) {
    Key(SDL_SCANCODE_C, SDLK_c, KMOD_NONE);
    Text("c");
    ove::GatherEvents();
    EXPECT_TRUE(game.keys.empty());
    EXPECT_GE(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT), 2);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(game.keys, (std::vector<int32_t>{'c'}));
}

TEST_F(Pump, EventsOfUnknownWindowsAreDropped) {
    id += 1000;
    Key(SDL_SCANCODE_LEFT, SDLK_LEFT, KMOD_NONE);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_TRUE(game.keys.empty());
}

namespace {
class TimerLog : public ove::IMessageTarget {
public:
    void WindowProc(const ove::SMessage& m) override {
        if (m.message == ove::EMessage::Timer) ids.push_back(m.param);
    }
    std::vector<int> ids;
};
}  // namespace

TEST_F(Pump, TimersRepeatUntilKilled) {
    TimerLog log;
    ove::SetWindowTimer(&log, 7, 20);
    ove::SetWindowTimer(&log, 8, 10000);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_TRUE(log.ids.empty());
    SDL_Delay(30);
    EXPECT_TRUE(ove::PumpEvents());
    SDL_Delay(30);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(log.ids, (std::vector<int>{7, 7}));
    ove::KillWindowTimer(&log, 7);
    SDL_Delay(30);
    EXPECT_TRUE(ove::PumpEvents());
    EXPECT_EQ(log.ids.size(), 2u);
    ove::DetachMessageTarget(&log);
}

// clang-format off
TEST_F(Pump, ClipboardSpeaksCodePage1252) {
    ASSERT_TRUE(ove::SetClipboardText("\xA3" "5 \x80"));
    char* raw = SDL_GetClipboardText();
    ASSERT_NE(raw, nullptr);
    EXPECT_STREQ(raw, "\xC2\xA3" "5 \xE2\x82\xAC");
    SDL_free(raw);
    EXPECT_TRUE(ove::ClipboardHasText());
    EXPECT_EQ(ove::GetClipboardText(), "\xA3" "5 \x80");
    SDL_SetClipboardText("\xE2\x86\x92x");
    EXPECT_EQ(ove::GetClipboardText(), "?x");
}
// clang-format on

TEST(SystemColours, ThirteenOpaqueColours) {
    for (int i = 0; i < ove::kSystemColourCount; ++i) EXPECT_EQ(ove::GetSystemColour(i) >> 24, 0xFFu) << i;
    // Text stays readable on its background.
    EXPECT_NE(ove::GetSystemColour(ove::kSysWindow), ove::GetSystemColour(ove::kSysWindowText));
    EXPECT_NE(ove::GetSystemColour(ove::kSysHighlight), ove::GetSystemColour(ove::kSysHighlightText));
    EXPECT_NE(ove::GetSystemColour(ove::kSysButtonFace), ove::GetSystemColour(ove::kSysButtonText));
    EXPECT_NE(ove::GetSystemColour(ove::kSysInfoBackground), ove::GetSystemColour(ove::kSysInfoText));
    EXPECT_EQ(ove::GetSystemColour(-1), 0xFF000000u);
    EXPECT_EQ(ove::GetSystemColour(13), 0xFF000000u);
}

TEST_F(Pump, WorkAreaAndKeepOnMonitor) {
    ove::SWindowRect work, any;
    ASSERT_TRUE(ove::GetWorkArea(nullptr, any));
    EXPECT_GT(any.width, 0);
    ASSERT_TRUE(ove::GetWorkArea(window.GetHandle(), work));
    EXPECT_GT(work.height, 0);
    SDL_SetWindowPosition(window.GetHandle(), work.x + work.width - 100, work.y + work.height - 50);
    window.KeepOnMonitor();
    ove::SWindowRect r = window.GetWindowRect();
    EXPECT_LE(r.x + r.width, work.x + work.width);
    EXPECT_LE(r.y + r.height, work.y + work.height);
    EXPECT_GE(r.x, work.x);
    EXPECT_GE(r.y, work.y);
}

namespace {
// A dialog-like window that ends its modal loop from a timer.
class TimedModal : public ove::CWindow {
public:
    std::int32_t OnCreate() override {
        SetTimer(3, 10);
        return 0;
    }
    bool OnTimer(std::uint32_t id) override {
        KillTimer(id);
        EndModal(5);
        return true;
    }
};
class RefusedWindow : public ove::CWindow {
public:
    std::int32_t OnCreate() override { return -1; }
};
}  // namespace

TEST_F(Pump, ModalLoopsEndWithTheirCode) {
    TimedModal modal;
    ASSERT_TRUE(modal.Create("Modal", 200, 100, ove::SNativeWindowOptions{}));
    EXPECT_EQ(modal.RunModal(), 5);
    EXPECT_NE(modal.GetHandle(), nullptr);

    // Closing a plain window ends its modal loop with 0 and destroys it.
    ove::CWindow plain;
    ASSERT_TRUE(plain.Create("Plain", 200, 100, ove::SNativeWindowOptions{}));
    ove::PostWindowClose(plain.GetHandle());
    EXPECT_EQ(plain.RunModal(), 0);
    EXPECT_EQ(plain.GetHandle(), nullptr);
    EXPECT_FALSE(plain.IsCreated());

    // A quit request ends the loop too and stays pending for the main loop.
    ove::CWindow other;
    ASSERT_TRUE(other.Create("Other", 200, 100, ove::SNativeWindowOptions{}));
    ove::PostQuit();
    EXPECT_EQ(other.RunModal(), 0);
    EXPECT_FALSE(ove::PumpEvents());

    RefusedWindow refused;
    EXPECT_FALSE(refused.Create("Refused", 10, 10, ove::SNativeWindowOptions{}));
    EXPECT_EQ(refused.GetHandle(), nullptr);
}
