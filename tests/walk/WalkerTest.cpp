#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "image/RunMask.h"
#include "walk/Walker.h"

using namespace ove;

namespace {

// A walk mask drawn as text: '#' is 0, '.' is 1, a digit is its value.
struct SMap {
    std::vector<std::string> rows;
    int W() const { return static_cast<int>(rows[0].size()); }
    int H() const { return static_cast<int>(rows.size()); }
    std::uint8_t At(int x, int y) const {
        char c = rows[y][x];
        return c == '#' ? 0 : c == '.' ? 1 : static_cast<std::uint8_t>(c - '0');
    }
    bool Open(int x, int y) const { return x >= 0 && y >= 0 && x < W() && y < H() && At(x, y) != 0; }
};

SMap Room(int w, int h) { return SMap{std::vector<std::string>(h, std::string(w, '.'))}; }

// 40 x 30 with a wall over columns 18..21 that leaves rows 25.. open.
SMap WalledRoom() {
    SMap m = Room(40, 30);
    for (int y = 0; y < 25; ++y) m.rows[y].replace(18, 4, "####");
    return m;
}

struct WalkerTest : ::testing::Test {
    CRunMask mask;
    CWalker walker;
    void Use(const SMap& map) {
        std::vector<std::uint8_t> v;
        for (int y = 0; y < map.H(); ++y)
            for (int x = 0; x < map.W(); ++x) v.push_back(map.At(x, y));
        mask = CRunMask::Encode(v.data(), static_cast<std::uint32_t>(v.size()));
        walker.SetMask(&mask, map.W(), map.H());
    }
};

// The line rule, straight on the map: the major axis stepped from `a` (included) to `b` (excluded).
bool MapLineClear(const SMap& m, SWalkPoint a, SWalkPoint b) {
    int dx = b.x - a.x, dy = b.y - a.y;
    if (std::abs(dx) <= std::abs(dy)) {
        for (int t = 0; t != dy; t += dy > 0 ? 1 : -1)
            if (!m.Open(a.x + t * dx / dy, a.y + t)) return false;
    } else {
        for (int t = 0; t != dx; t += dx > 0 ? 1 : -1)
            if (!m.Open(a.x + t, a.y + t * dy / dx)) return false;
    }
    return true;
}

// The path runs from the goal (front) back to the start, and walked from the back each segment is
// clear in the walking direction.
void ExpectWalkable(const SMap& m, const WalkPath& path, SWalkPoint start, SWalkPoint goal) {
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), goal);
    EXPECT_EQ(path.back(), start);
    for (std::size_t i = path.size() - 1; i > 0; --i) {
        EXPECT_TRUE(m.Open(path[i].x, path[i].y)) << i;
        EXPECT_TRUE(MapLineClear(m, path[i], path[i - 1]))
            << "(" << path[i].x << "," << path[i].y << ") -> (" << path[i - 1].x << "," << path[i - 1].y << ")";
    }
}

// Steps from p to the goal over open cells, 4-neighbour.
int Distance(const SMap& m, SWalkPoint from, SWalkPoint to) {
    std::vector<int> d(m.W() * m.H(), -1);
    std::deque<SWalkPoint> q{from};
    d[from.y * m.W() + from.x] = 0;
    while (!q.empty()) {
        SWalkPoint p = q.front();
        q.pop_front();
        if (p == to) return d[p.y * m.W() + p.x];
        for (SWalkPoint n : {SWalkPoint{p.x - 1, p.y}, {p.x + 1, p.y}, {p.x, p.y - 1}, {p.x, p.y + 1}})
            if (m.Open(n.x, n.y) && d[n.y * m.W() + n.x] < 0) {
                d[n.y * m.W() + n.x] = d[p.y * m.W() + p.x] + 1;
                q.push_back(n);
            }
    }
    return -1;
}

}  // namespace

TEST(Constraints, NamesAndIndices) {
    const std::pair<const char*, std::int32_t> names[] = {{"<", 0},  {"<=", 1}, {"=<", 1},  {"==", 2},
                                                          {"=", 2},  {">=", 3}, {"=>", 3},  {">", 4},
                                                          {"!=", 5}, {"<>", 5}, {"mask", 6}};
    for (auto [name, index] : names) EXPECT_EQ(ConstraintIndex(name), index) << name;
    for (const char* bad : {"", "=>=", "< ", "MASK", "masks", "!"}) EXPECT_EQ(ConstraintIndex(bad), -1) << bad;
    EXPECT_EQ(ConstraintIndex(nullptr), -1);
    const char* first[] = {"<", "<=", "==", ">=", ">", "!=", "mask"};
    for (int i = 0; i < 7; ++i) EXPECT_STREQ(ConstraintName(i), first[i]);
    EXPECT_EQ(ConstraintName(-1), nullptr);
    EXPECT_EQ(ConstraintName(7), nullptr);
    EXPECT_EQ(MakeConstraint(7, 0), nullptr);
    EXPECT_EQ(MakeConstraint(-1, 0), nullptr);
}

TEST(Constraints, Tests) {
    // Each comparison at 4, 5 and 6 against reference 5.
    const bool expect[6][3] = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {1, 0, 1}};
    for (int i = 0; i < 6; ++i) {
        auto c = MakeConstraint(i, 5);
        for (int v = 4; v <= 6; ++v) EXPECT_EQ(c->Test(v), expect[i][v - 4]) << i << " " << v;
    }
    auto c = MakeConstraint(kConLess, 5);
    c->SetReference(300);  // beyond any 8-bit value
    EXPECT_TRUE(c->Test(255));

    auto m = MakeConstraint(kConMask, (1 << 1) | (1 << 3));
    for (int v : {1, 3, 33, 35, 225}) EXPECT_TRUE(m->Test(v)) << v;
    for (int v : {0, 2, 4, 32, 34, 255}) EXPECT_FALSE(m->Test(v)) << v;
    m->SetReference(INT32_MIN);  // bit 31 only
    EXPECT_TRUE(m->Test(31));
    EXPECT_TRUE(m->Test(255));
    EXPECT_FALSE(m->Test(30));
}

TEST_F(WalkerTest, ConstraintSelection) {
    EXPECT_EQ(walker.ConstraintIndexInUse(), kConNot);
    EXPECT_EQ(walker.Constraint().reference, 0);
    walker.SetConstraint(kConEqual, 3);
    walker.SetConstraint(7, 9);
    walker.SetConstraint(-1, 9);
    EXPECT_EQ(walker.ConstraintIndexInUse(), kConEqual);
    EXPECT_EQ(walker.Constraint().reference, 3);
    EXPECT_TRUE(walker.Constraint().Test(3));

    // Without a mask only value 0 is tested.
    EXPECT_FALSE(walker.IsAllowed(5, 5));
    walker.SetConstraint(kConEqual, 0);
    EXPECT_TRUE(walker.IsAllowed(-100, 100000));
}

TEST_F(WalkerTest, NoMaskStartEqualsGoalAndBlockedEnds) {
    WalkPath path{{9, 9}};
    EXPECT_TRUE(walker.FindPath({1, 2}, {30, 40}, path, true));
    EXPECT_EQ(path, (WalkPath{{30, 40}, {1, 2}}));

    Use(SMap{{"..#..", "..#..", "....."}});
    EXPECT_TRUE(walker.HasMask());
    EXPECT_EQ(walker.ValueAt(2, 1), 0);
    EXPECT_EQ(walker.ValueAt(3, 1), 1);
    EXPECT_TRUE(walker.FindPath({3, 1}, {3, 1}, path, true));
    EXPECT_EQ(path, (WalkPath{{3, 1}}));
    EXPECT_FALSE(walker.FindPath({2, 0}, {4, 0}, path, true));
    EXPECT_TRUE(path.empty());
    EXPECT_FALSE(walker.FindPath({0, 0}, {2, 1}, path, true));

    walker.SetMask(nullptr, 5, 3);
    EXPECT_FALSE(walker.HasMask());
    EXPECT_TRUE(walker.FindPath({2, 0}, {4, 0}, path, true));
    EXPECT_EQ(path.size(), 2u);
}

TEST_F(WalkerTest, PointsOffTheMaskFailCleanly) {
    Use(Room(8, 6));
    const SWalkPoint inside{3, 3};
    const SWalkPoint outside[] = {
        {-1, 3}, {8, 3}, {3, -1}, {3, 6}, {INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}};
    WalkPath path;
    for (SWalkPoint p : outside) {
        EXPECT_FALSE(walker.FindPath(inside, p, path, true));
        EXPECT_FALSE(walker.FindPath(p, inside, path, true));
        EXPECT_FALSE(walker.FindPath(p, p, path, true));
        EXPECT_FALSE(walker.LineClear(inside, p));
        EXPECT_FALSE(walker.IsAllowed(p.x, p.y));
        EXPECT_EQ(walker.ValueAt(p.x, p.y), 0);
        EXPECT_EQ(walker.CostAt(p.x, p.y), CWalker::kBlocked);
    }
    // A mask too large to hold has nowhere to walk rather than failing to allocate.
    walker.SetMask(&mask, INT32_MAX, INT32_MAX);
    EXPECT_FALSE(walker.FindPath({0, 0}, {1, 0}, path, true));
    EXPECT_FALSE(walker.IsAllowed(0, 0));
}

TEST_F(WalkerTest, LineTestIncludesTheStartOnly) {
    SMap m = Room(12, 8);
    m.rows[3][5] = '#';
    Use(m);
    EXPECT_FALSE(walker.LineClear({0, 0}, {10, 6}));  // x major: at x 5, y = 5 * 6 / 10 = 3
    EXPECT_FALSE(walker.LineClear({10, 6}, {0, 0}));
    EXPECT_TRUE(walker.LineClear({0, 0}, {10, 5}));  // (5, 2) then (6, 3)
    EXPECT_TRUE(walker.LineClear({0, 3}, {5, 3}));
    EXPECT_FALSE(walker.LineClear({5, 3}, {0, 3}));
    EXPECT_TRUE(walker.LineClear({5, 3}, {5, 3}));
    EXPECT_TRUE(walker.LineClear({4, 0}, {6, 7}));  // y major: x = 4 + 3 * 2 / 7 = 4 on row 3
}

TEST_F(WalkerTest, StraightLineNeedsNoWave) {
    Use(Room(20, 10));
    WalkPath path;
    ASSERT_TRUE(walker.FindPath({1, 1}, {15, 8}, path, true));
    EXPECT_EQ(path, (WalkPath{{15, 8}, {1, 1}}));
    EXPECT_EQ(walker.CostAt(15, 8), CWalker::kUnvisited);
}

TEST_F(WalkerTest, WalksAroundAWall) {
    const SMap m = WalledRoom();
    Use(m);
    const SWalkPoint start{5, 5}, goal{34, 5};
    WalkPath path;
    ASSERT_TRUE(walker.FindPath(start, goal, path, true));
    ASSERT_GE(path.size(), 3u);
    ExpectWalkable(m, path, start, goal);
    // The wave holds the 4-neighbour distance to the goal.
    EXPECT_EQ(walker.CostAt(goal.x, goal.y), 0);
    EXPECT_EQ(walker.CostAt(start.x, start.y), Distance(m, start, goal));
    EXPECT_EQ(walker.CostAt(20, 27), Distance(m, {20, 27}, goal));
    EXPECT_EQ(walker.CostAt(19, 10), CWalker::kBlocked);
    // Smoothing leaves a few corners by the wall's end, not the traced staircase.
    EXPECT_LE(path.size(), 6u);
    for (std::size_t i = 1; i + 1 < path.size(); ++i) EXPECT_GE(path[i].y, 20) << i;
}

// Corners pulled from the goal end must stay walkable in the direction the sprite walks them,
// though the line test is not symmetric and the pulled point may leave the old segment's raster.
TEST_F(WalkerTest, PulledCornersStayClearWhenWalked) {
    struct SCase {
        SMap map;
        SWalkPoint start, goal;
    };
    std::vector<std::string> tall(23, "........");
    tall[3] = ".##.....";
    tall[22] = ".###..##";
    const SCase cases[] = {
        {SMap{tall}, {4, 22}, {0, 1}},
        {SMap{{".......##", "....#..##", ".......##", ".......##", "...#...##", ".....#...", ".....#...", ".........",
               ".........", ".........", "......#.."}},
         {8, 8},
         {0, 0}},
    };
    for (const SCase& c : cases) {
        Use(c.map);
        WalkPath path;
        ASSERT_TRUE(walker.FindPath(c.start, c.goal, path, true));
        ExpectWalkable(c.map, path, c.start, c.goal);
    }
}

TEST_F(WalkerTest, IslandsAndConstraintPerSearch) {
    SMap m = Room(30, 10);
    for (int y = 0; y < 10; ++y) m.rows[y][15] = '2';  // a door of value 2
    m.rows[5][15] = '#';                               // cut the door so the line is not straight
    Use(m);
    WalkPath path;
    ASSERT_TRUE(walker.FindPath({2, 5}, {27, 5}, path, true));
    walker.SetConstraint(kConEqual, 1);
    EXPECT_FALSE(walker.FindPath({2, 5}, {27, 5}, path, true));
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(walker.CostAt(2, 5), CWalker::kUnvisited);  // flooded from the goal, never reached
    EXPECT_GE(walker.CostAt(20, 1), 0);
    walker.SetConstraint(kConMask, 1 << 2);  // only the door
    ASSERT_TRUE(walker.FindPath({15, 0}, {15, 4}, path, true));
    EXPECT_FALSE(walker.FindPath({15, 0}, {15, 9}, path, true));  // the cut
    EXPECT_FALSE(walker.FindPath({15, 0}, {14, 0}, path, true));
}

TEST(WalkerSmoothing, StraightRunsKeepTheirEnds) {
    // A diagonal staircase of equal steps, a turn, then a run along x.
    std::vector<SWalkPoint> p{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {7, 4}};
    CWalker::DropStraightRuns(p);
    EXPECT_EQ(p, (std::vector<SWalkPoint>{{0, 0}, {3, 3}, {6, 3}, {7, 4}}));
    // Alternating steps repeat no step, so nothing goes.
    std::vector<SWalkPoint> zig{{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}};
    auto copy = zig;
    CWalker::DropStraightRuns(zig);
    EXPECT_EQ(zig, copy);
    std::vector<SWalkPoint> two{{0, 0}, {5, 5}};
    CWalker::DropStraightRuns(two);
    EXPECT_EQ(two, (std::vector<SWalkPoint>{{0, 0}, {5, 5}}));
}

TEST_F(WalkerTest, MapsToTheScreenUnlessKept) {
    struct SShift : IBackdropToScreen {
        SWalkPoint ToScreen(SWalkPoint p) const override { return {p.x * 2 + 100, p.y * 2 - 7}; }
    } shift;
    Use(WalledRoom());
    WalkPath kept, mapped;
    ASSERT_TRUE(walker.FindPath({5, 5}, {34, 5}, kept, true, &shift));
    ASSERT_TRUE(walker.FindPath({5, 5}, {34, 5}, mapped, false, &shift));
    ASSERT_EQ(kept.size(), mapped.size());
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(mapped[i], shift.ToScreen(kept[i]));
    ASSERT_TRUE(walker.FindPath({5, 5}, {5, 20}, mapped, false, &shift));  // the straight case too
    EXPECT_EQ(mapped, (WalkPath{{110, 33}, {110, 3}}));
    ASSERT_TRUE(walker.FindPath({5, 5}, {34, 5}, mapped, false, nullptr));
    EXPECT_EQ(mapped, kept);
}
