// Sprite animation, placement, priorities, movement and hit tests against a stand-in world.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "scene/Sprite.h"
#include "support/SceneTestUtil.h"

using namespace ove;
using scenetest::CTestView;
using scenetest::CTestWorld;

namespace {

struct SpriteTest : ::testing::Test {
    CTestWorld world;
};

std::pair<int, int> Placed(const CSprite& s) {
    const SPlacedPosition p = s.GetPlacedPosition();
    return {p.x, p.y};
}

// The cels a sprite shows over n frames.
std::vector<int> Cels(CSprite& s, int n) {
    std::vector<int> seen;
    for (int i = 0; i < n; ++i) {
        s.Animate();
        seen.push_back(s.cel);
    }
    return seen;
}

// "cel finishing finished cycling" after the next frame.
std::string Step(CSprite& s) {
    s.Animate();
    return std::to_string(s.cel) + " " + std::to_string(s.finishing) + " " + std::to_string(s.finished) + " " +
           std::to_string(s.cycling);
}

}  // namespace

TEST_F(SpriteTest, ForwardOnceShowsEveryCelThenFinishesAndCallsBackOnTheNextTick) {
    CTestView v(1, 3);
    CSprite s(&world);
    s.SetView(v.view);
    ASSERT_TRUE(s.SetAnimationMode(kAnimForwardOnce));
    s.SetAnimationCallback(77);
    s.ResetAnim();
    EXPECT_EQ(s.cel, 0);
    EXPECT_EQ(Step(s), "1 0 0 1");
    EXPECT_EQ(Step(s), "2 1 0 1");
    EXPECT_TRUE(world.called.empty());
    EXPECT_EQ(Step(s), "2 0 1 0");
    EXPECT_EQ(world.called, std::vector<std::int32_t>{77});
    EXPECT_EQ(world.released, std::vector<std::int32_t>{77});
    s.Animate();
    EXPECT_EQ(world.called.size(), 1u) << "the callback is called once";
}

TEST_F(SpriteTest, ReverseModesStartAtTheLastCelAndOnceStopsAtCelZero) {
    CTestView v(1, 3);
    CSprite s(&world);
    s.SetView(v.view);
    ASSERT_TRUE(s.SetAnimationMode(kAnimReverse));
    s.ResetAnim();
    EXPECT_EQ(s.cel, 2);
    EXPECT_EQ(Cels(s, 4), (std::vector<int>{1, 0, 2, 1})) << "REVERSE repeats";

    ASSERT_TRUE(s.SetAnimationMode(kAnimReverseOnce));
    s.ResetAnim();
    EXPECT_EQ(Step(s), "1 0 0 1");
    EXPECT_EQ(Step(s), "0 1 0 1");
    EXPECT_EQ(Step(s), "0 0 1 0");
}

TEST_F(SpriteTest, CelsAndLoopsAreReducedModuloTheirCounts) {
    CTestView v(4, 3);
    CSprite s(&world);
    s.SetView(v.view);
    for (auto [set, want] : {std::pair{-1, 2}, {5, 2}, {3, 0}, {-7, 2}}) {
        s.SetCel(set);
        EXPECT_EQ(s.cel, want) << set;
    }
    s.SetLoop(7);
    EXPECT_EQ(s.loop, 3);
    EXPECT_EQ(s.cel, 0);
    EXPECT_EQ(s.animationMode, kAnimForward);

    CSprite empty(&world);  // no view: counts of 0 act as 1
    empty.SetCel(9);
    empty.SetLoop(5);
    EXPECT_EQ(empty.cel, 0);
    EXPECT_EQ(empty.loop, 0);
    EXPECT_EQ(empty.CelWidth(), 0);
    empty.Animate();  // nothing to animate
}

TEST_F(SpriteTest, DelayHoldsEachCelAndRandomModeDrawsFromTheWorld) {
    CTestView v(1, 3);
    CSprite s(&world);
    s.SetView(v.view);
    s.SetDelay(2);
    s.ResetAnim();
    EXPECT_EQ(Cels(s, 7), (std::vector<int>{0, 0, 1, 1, 1, 2, 2}));

    s.SetDelay(0);
    ASSERT_TRUE(s.SetAnimationMode(kAnimRandom));
    world.random = 7;
    s.Animate();
    EXPECT_EQ(s.cel, 1);  // 7 mod 3
}

TEST_F(SpriteTest, AnEmptyLoopStopsTheAnimation) {
    CTestView v(2, 0);
    CSprite s(&world);
    s.SetView(v.view);
    s.ResetAnim();
    s.Animate();
    EXPECT_EQ(s.cycling, 0);
    EXPECT_EQ(s.finished, 1);
}

TEST_F(SpriteTest, MovementPicksTheLoopFromTheHeading) {
    CTestView eight(8, 1), four(4, 1), two(2, 1);
    struct {
        CView* view;
        int tx, ty, loop;
    } cases[] = {
        {eight.view, 50, 100, 2},  // straight down
        {four.view, 40, 40, 1},    // up-left, 225 degrees
        {two.view, 50, 0, 1},      // straight up, 270 degrees
        {two.view, 90, 50, 0},     // east
        {eight.view, 60, 40, 6},   // north-east
    };
    for (const auto& c : cases) {
        CSprite s(&world);
        s.SetView(c.view);
        s.x = s.y = 50;
        ASSERT_TRUE(s.MoveTo(c.tx, c.ty));
        s.Update(1);
        s.Update(2);
        EXPECT_EQ(s.loop, c.loop) << c.tx << "," << c.ty << " heading " << s.heading;
    }
    CSprite fixed(&world);
    fixed.SetView(eight.view);
    fixed.SetLoop(5);
    fixed.loopFixed = 1;
    fixed.MoveTo(0, 100);
    fixed.Update(1);
    fixed.Update(2);
    EXPECT_EQ(fixed.loop, 5) << "a fixed loop stays";

    // (heading, loops, loop)
    const int headings[][3] = {{22, 8, 0}, {23, 8, 4},  {337, 8, 6}, {338, 8, 0},
                               {90, 2, 0}, {270, 2, 1}, {271, 2, 0}, {180, 3, 0}};
    for (auto [heading, loops, loop] : headings)
        EXPECT_EQ(CSprite::LoopForHeading(heading, loops), loop) << heading << " of " << loops;
}

TEST_F(SpriteTest, AutomaticAndFixedPriorities) {
    CSprite s(&world);
    world.height = 200;
    s.y = 199;
    EXPECT_FLOAT_EQ(s.GetDepth(), 0.50175f);
    EXPECT_EQ(s.GetPriority(), 14);
    s.y = 0;
    EXPECT_EQ(s.GetPriority(), 0);
    for (int p = 0; p <= 16; ++p) {
        s.SetPriority(p);
        EXPECT_EQ(s.GetPriority(), p) << "fixed priority survives the depth round trip";
        EXPECT_FLOAT_EQ(s.GetDepth(), 1.0f - p / 30.0f);
    }
    s.SetPriority(kPriorityOnTop);
    EXPECT_EQ(s.GetPriority(), 15);
    EXPECT_EQ(s.GetDepth(), -1.0f);
    EXPECT_TRUE(s.IsOnTop());
    s.SetPriority(kPriorityAuto);
    s.y = 199;
    EXPECT_FALSE(s.IsOnTop());
    EXPECT_EQ(s.GetPriority(), 14);
    world.height = 0;  // no band: finite depth, no division by zero
    EXPECT_TRUE(std::isfinite(s.GetDepth()));
}

TEST_F(SpriteTest, RelativePlacementFollowsTheParentAndTakesItsDepth) {
    world.scale = 2;
    world.offsetX = world.offsetY = 5;
    CSprite parent(&world), child(&world), grandchild(&world);
    parent.SetPlacement(kPlaceBackdrop);
    parent.x = 10;
    parent.y = 20;
    EXPECT_EQ(Placed(parent), std::make_pair(25, 45));
    EXPECT_EQ(child.SetPlacement(kPlaceSprite, nullptr, &parent), kPlaceSprite);
    EXPECT_EQ(child.priorityFixed, 1);
    child.x = 3;
    child.y = 4;
    grandchild.SetPlacement(kPlaceSprite, nullptr, &child);
    grandchild.x = -1;
    grandchild.y = 1;
    EXPECT_EQ(Placed(grandchild), std::make_pair(27, 50));

    world.height = 200;
    parent.y = 90;  // placed y 185
    EXPECT_FLOAT_EQ(grandchild.GetDepth(), parent.GetDepth());
    EXPECT_EQ(grandchild.GetPriority(), parent.GetPriority());
    grandchild.SetPriority(2);  // ignored: the parent decides
    EXPECT_FLOAT_EQ(grandchild.GetDepth(), parent.GetDepth());
    parent.SetPriority(kPriorityOnTop);
    EXPECT_EQ(grandchild.GetPriority(), 15);

    int layer = 0;
    CSprite onLayer(&world);
    EXPECT_EQ(onLayer.SetPlacement(kPlaceLayer, &layer), kPlaceLayer);
    onLayer.x = 1;
    onLayer.y = 2;
    EXPECT_EQ(onLayer.GetPlacedPosition().x, 1001);
    EXPECT_EQ(onLayer.SetPlacement(kPlaceLayer, nullptr), kPlaceScreen);
    EXPECT_EQ(onLayer.SetPlacement(kPlaceSprite, nullptr, nullptr), kPlaceScreen);
    EXPECT_EQ(onLayer.SetPlacement(9), kPlaceScreen);
}

TEST_F(SpriteTest, PlacementCyclesAreRefused) {
    CSprite a(&world), b(&world), c(&world);
    EXPECT_EQ(a.SetPlacement(kPlaceSprite, nullptr, &a), kPlaceScreen) << "itself";
    EXPECT_EQ(a.GetParent(), nullptr);
    ASSERT_EQ(b.SetPlacement(kPlaceSprite, nullptr, &a), kPlaceSprite);
    ASSERT_EQ(c.SetPlacement(kPlaceSprite, nullptr, &b), kPlaceSprite);
    EXPECT_EQ(a.SetPlacement(kPlaceSprite, nullptr, &c), kPlaceScreen) << "a -> c -> b -> a";
    a.x = 7;
    c.x = 1;
    EXPECT_EQ(c.GetPlacedPosition().x, 8);
    c.GetPriority();  // terminates
    EXPECT_EQ(a.SetPlacement(kPlaceSprite, nullptr, &a), kPlaceScreen);
}

TEST_F(SpriteTest, StepMovesFourPixelsPerFrameAcrossWaypoints) {
    CSprite s(&world);
    s.SetMovementCallback(5);
    ASSERT_TRUE(s.MoveTo(10, 0));
    EXPECT_EQ(s.path, (WalkPath{{10, 0}, {6, 0}, {2, 0}}));
    std::vector<int> xs;
    for (std::uint32_t f = 1; f <= 3; ++f) {
        s.Update(f);
        xs.push_back(s.x);
    }
    EXPECT_EQ(xs, (std::vector<int>{4, 8, 10}));
    EXPECT_FALSE(s.IsMoving());
    EXPECT_EQ(world.called, std::vector<std::int32_t>{5});
    s.Update(3);  // the same frame again does nothing
    s.Update(4);
    EXPECT_EQ(world.called.size(), 1u) << "called once per completed movement";

    ASSERT_TRUE(s.MoveTo(2, 6));  // diagonal: y dominant, x follows the line
    for (std::uint32_t f = 5; f < 10; ++f) s.Update(f);
    EXPECT_EQ(std::make_pair(s.x, s.y), std::make_pair(2, 6));
}

TEST_F(SpriteTest, MoveToEdgeCases) {
    CSprite s(&world);
    s.x = s.y = 3;
    EXPECT_FALSE(s.MoveTo(3, 3)) << "no distance";
    EXPECT_FALSE(s.IsMoving());

    s.step = 0;  // must not loop forever when laying the points down
    ASSERT_TRUE(s.MoveTo(6, 3));
    EXPECT_EQ(s.path.size(), 3u);
    s.step = -5;
    EXPECT_TRUE(s.MoveTo(INT32_MAX, INT32_MIN));
    EXPECT_LE(s.path.size(), std::size_t(CSprite::kMaxMovePoints) + 1);
    EXPECT_EQ(s.path.front(), (SWalkPoint{INT32_MAX, INT32_MIN}));

    // Screen placement keeps the path in backdrop pixels and walks in screen pixels.
    world.scale = 2;
    CSprite t(&world);
    ASSERT_TRUE(t.MoveTo(8, 0));
    EXPECT_EQ(t.path.front(), (SWalkPoint{4, 0}));
    for (std::uint32_t f = 1; f < 5; ++f) t.Update(f);
    EXPECT_EQ(t.x, 8);
    EXPECT_FALSE(t.IsMoving());

    // A script that moves the sprite onto its segment start mid-way does not divide by zero.
    world.scale = 1;
    CSprite u(&world);
    u.MoveTo(0, 20);
    u.Update(1);
    u.y = 40;
    u.x = 3;
    for (std::uint32_t f = 2; f < 20; ++f) u.Update(f);
    EXPECT_FALSE(u.IsMoving());
}

TEST_F(SpriteTest, HitTestUsesAlignmentScaleAndVisibility) {
    CTestView v(1, 1, 4, 6);
    CSprite s(&world);
    s.SetView(v.view);
    s.x = 10;
    s.y = 10;  // centred horizontally, bottom-aligned: drawn over columns 8..11, rows 4..9
    // '1' for each point that hits.
    auto hits = [&s](std::initializer_list<std::pair<int, int>> points) {
        std::string out;
        for (auto [x, y] : points) out += s.HitTest(x, y) ? '1' : '0';
        return out;
    };
    // The local point is truncated towards zero after adding a half: one more column and row
    // on the left and top count (7, 3), and the row below the bottom too (11, 10).
    EXPECT_EQ(hits({{8, 4}, {11, 10}, {7, 3}, {6, 10}, {8, 2}, {12, 10}, {10, 11}}), "1110000");
    s.SetScale(2.0f);
    EXPECT_EQ(hits({{4, 10}, {3, 10}}), "10");
    s.SetScale(0.0f);
    EXPECT_EQ(hits({{10, 10}}), "0");
    s.SetScale(1.00005f);
    EXPECT_EQ(s.scaled, 0);
    EXPECT_EQ(hits({{10, 10}, {INT32_MIN, INT32_MAX}}), "10");
    s.SetVisible(false);
    EXPECT_EQ(hits({{10, 10}}), "0");
}

TEST_F(SpriteTest, TintKeepsOpacityAndCallbacksAreReleased) {
    CSprite* s = new CSprite(&world);
    s->SetOpacity(0x180);
    s->SetTint(0x123456);
    EXPECT_EQ(s->tint, 0x80123456u);
    EXPECT_EQ(s->GetTint(), 0xFF123456u);
    s->SetAnimationCallback(1);
    s->SetAnimationCallback(2);
    s->SetMovementCallback(3);
    EXPECT_EQ(world.released, std::vector<std::int32_t>{1});
    delete s;
    EXPECT_EQ(world.released, (std::vector<std::int32_t>{1, 3, 2}));
}
