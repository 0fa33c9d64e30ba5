// Viewport fitting and the window layer's message handling, without a real window.
#include <gtest/gtest.h>

#include <optional>

#include "FakeGame.h"
#include "win/GameWindow.h"

using ove::EMessage;
using ove::SMessage;
using ove::SWindowRect;

namespace {

SMessage Msg(EMessage kind, int x = 0, int y = 0, int param = 0, uint32_t flags = 0) {
    SMessage m;
    m.message = kind;
    m.x = x;
    m.y = y;
    m.param = param;
    m.flags = flags;
    m.clicks = 1;
    return m;
}

}  // namespace

TEST(FitViewport, LetterBoxesFixedGamesFillsFlexibleOnesRefusesDegenerateSizes) {
    struct Row {
        int cw, ch, gw, gh;
        bool flexible;
        std::optional<SWindowRect> want;
    };
    const Row rows[] = {
        {800, 400, 320, 240, false, SWindowRect{133, 0, 533, 400}},
        {640, 600, 320, 240, false, SWindowRect{0, 60, 640, 480}},
        {1000, 600, 320, 240, false, SWindowRect{100, 0, 800, 600}},
        {640, 480, 320, 240, false, SWindowRect{0, 0, 640, 480}},
        {801, 240, 320, 240, false, SWindowRect{240, 0, 320, 240}},     // odd margins: the extra pixel goes right
        {321, 1001, 320, 240, false, SWindowRect{0, 380, 321, 240}},    // and below
        {1000, 1000, 200, 400, false, SWindowRect{250, 0, 500, 1000}},  // taller than wide
        {100000, 50000, 40000, 30000, false, SWindowRect{16667, 0, 66666, 50000}},  // no overflow
        {640, 480, 320, 240, true, SWindowRect{0, 0, 640, 480}},
        {640, 480, 0, 0, true, SWindowRect{0, 0, 640, 480}},
        {0, 480, 320, 240, false, std::nullopt},
        {640, 0, 320, 240, true, std::nullopt},
        {640, 480, 0, 240, false, std::nullopt},
        {640, 480, 320, -1, false, std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ove::FitViewport(r.cw, r.ch, r.gw, r.gh, r.flexible), r.want)
            << r.cw << "x" << r.ch << " for " << r.gw << "x" << r.gh << (r.flexible ? " flexible" : "");
}

// A child window that logs the mouse points it receives.
class PointLog : public ove::CWindow {
public:
    bool OnMouseMove(uint32_t, int32_t x, int32_t y) override {
        points.push_back({x, y});
        return true;
    }
    bool OnLButtonDown(uint32_t, int32_t x, int32_t y) override {
        points.push_back({x, y});
        return true;
    }
    bool OnLButtonDblClk(uint32_t, int32_t x, int32_t y) override {
        doubles.push_back({x, y});
        return true;
    }
    std::vector<std::pair<int, int>> points, doubles;
};

TEST(WindowProc, MouseMessagesGoToTheChildUnderThePointerInItsCoordinates) {
    PointLog parent, left, right;
    ASSERT_TRUE(left.CreateChild(&parent, 10, 20, 100, 50));
    ASSERT_TRUE(right.CreateChild(&parent, 105, 20, 100, 50));  // overlaps, lies on top
    parent.WindowProc(Msg(EMessage::MouseMove, 10, 20));
    parent.WindowProc(Msg(EMessage::MouseMove, 104, 69));
    parent.WindowProc(Msg(EMessage::LButtonDown, 110, 30));
    parent.WindowProc(Msg(EMessage::MouseMove, 9, 20));   // left of the child
    parent.WindowProc(Msg(EMessage::MouseMove, 50, 70));  // just below it
    EXPECT_EQ(left.points, (std::vector<std::pair<int, int>>{{0, 0}, {94, 49}}));
    EXPECT_EQ(right.points, (std::vector<std::pair<int, int>>{{5, 10}}));
    EXPECT_EQ(parent.points, (std::vector<std::pair<int, int>>{{9, 20}, {50, 70}}));
    EXPECT_EQ(right.GetParent(), &parent);
    right.Destroy();
    parent.WindowProc(Msg(EMessage::MouseMove, 105, 30));  // uncovered again
    EXPECT_EQ(left.points.back(), (std::pair<int, int>{95, 10}));
}

TEST(WindowProc, DoubleClicksOnlyForWindowsThatWantThem) {
    PointLog plain;
    SMessage second = Msg(EMessage::LButtonDown, 3, 4);
    second.clicks = 2;
    plain.WindowProc(second);
    EXPECT_EQ(plain.doubles.size(), 1u);
    EXPECT_TRUE(plain.points.empty());

    FakeGame game;
    ove::CGameWindow window;
    ASSERT_EQ(window.OnCreate(), 0);
    window.AttachGame(&game);
    window.WindowProc(second);
    window.WindowProc(Msg(EMessage::LButtonUp, 3, 4));
    EXPECT_EQ(game.mouse, (std::vector<SMouseCall>{{3, 4, 1, 0}, {3, 4, 3, 0}}));
}

TEST(WindowProc, ChildSizeAndUnchangedSizes) {
    ove::CWindow parent;
    PointLog child;
    ASSERT_TRUE(child.CreateChild(&parent, 0, 0, 320, 240));
    EXPECT_EQ(child.GetClientWidth(), 320);
    child.MoveWindow(5, 6, 100, 90);
    EXPECT_EQ(child.GetLeft(), 5);
    EXPECT_EQ(child.GetTop(), 6);
    EXPECT_EQ(child.GetClientWidth(), 100);
    EXPECT_EQ(child.GetClientHeight(), 90);
    child.SetClientSize(50, 40);
    EXPECT_EQ(child.GetLeft(), 5);
    EXPECT_EQ(child.GetClientWidth(), 50);
}

// The game window's behaviour, driven by messages.
class GameWindowMessages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(window.OnCreate(), 0);
        window.AttachGame(&game);
        viewport = window.GetViewport();
        ASSERT_NE(viewport, nullptr);
    }
    void Size(int w, int h) { window.WindowProc(Msg(EMessage::Size, w, h)); }

    FakeGame game;
    ove::CGameWindow window;
    ove::CGameViewport* viewport = nullptr;
};

TEST_F(GameWindowMessages, MinimisedAndUnknownGameSize) {
    Size(800, 400);
    game.Clear();
    Size(0, 0);
    EXPECT_TRUE(game.resizes.empty());
    EXPECT_EQ(viewport->GetClientWidth(), 533);  // the last layout stays
    game.gameWidth = 0;
    Size(500, 300);
    EXPECT_EQ(game.viewports.back(), (SRectCall{0, 0, 500, 300}));
}

TEST_F(GameWindowMessages, WheelCountsWholeNotches) {
    Size(320, 240);
    window.WindowProc(Msg(EMessage::MouseWheel, 10, 20, 120));
    window.WindowProc(Msg(EMessage::MouseWheel, 10, 20, -120));
    window.WindowProc(Msg(EMessage::MouseWheel, 10, 20, 60));    // touchpad: nothing
    window.WindowProc(Msg(EMessage::MouseWheel, 10, 20, -359));  // truncated toward zero
    EXPECT_EQ(game.mouse, (std::vector<SMouseCall>{{10, 20, 7, 1}, {10, 20, 7, -1}, {10, 20, 7, -2}}));
}

TEST_F(GameWindowMessages, EdgeTimerAndConfinementFollowThePointer) {
    Size(800, 400);
    window.WindowProc(Msg(EMessage::ActivateApp, 0, 0, 1));
    EXPECT_TRUE(viewport->IsActive());
    EXPECT_EQ(game.activations, (std::vector<bool>{true}));
    window.WindowProc(Msg(EMessage::MouseMove, 133 + 5, 5));  // exactly 5 inside: inside
    EXPECT_FALSE(viewport->IsEdgeTimerPending());
    window.WindowProc(Msg(EMessage::MouseMove, 133 + 4, 100));  // near the left edge
    EXPECT_TRUE(viewport->IsEdgeTimerPending());
    window.WindowProc(Msg(EMessage::MouseMove, 133 + 528, 100));  // x = width - 5: inside
    EXPECT_FALSE(viewport->IsEdgeTimerPending());
    window.WindowProc(Msg(EMessage::MouseMove, 133 + 529, 100));
    EXPECT_TRUE(viewport->IsEdgeTimerPending());
    SMessage timer = Msg(EMessage::Timer, 0, 0, static_cast<int>(ove::CGameViewport::kEdgeTimer));
    viewport->WindowProc(timer);
    EXPECT_FALSE(viewport->IsEdgeTimerPending());
    EXPECT_FALSE(viewport->IsCursorClipped());
    // Every move still reaches the game. (Flexible games: Pump.FlexibleGamesFollowTheWindow.)
    EXPECT_EQ(game.mouse.size(), 4u);
}

TEST_F(GameWindowMessages, MinimumSizeIsTheSmallerOfGameAndSetting) {
    ove::SMinMaxInfo info;
    window.SetMinClientSize(640, 480);
    ASSERT_TRUE(window.OnGetMinMaxInfo(info));
    EXPECT_EQ(info.minTrackWidth, 320);
    EXPECT_EQ(info.minTrackHeight, 240);
    window.SetMinClientSize(200, 300);
    window.OnGetMinMaxInfo(info);
    EXPECT_EQ(info.minTrackWidth, 200);
    EXPECT_EQ(info.minTrackHeight, 240);
}
