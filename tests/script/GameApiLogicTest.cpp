#include <gtest/gtest.h>

#include <climits>
#include <tuple>
#include <vector>

#include "host/GameApiLogic.h"
#include "image/RunMask.h"

using namespace ove;

namespace {

SBackdropGeometry Picture(int32_t pw, int32_t ph, int32_t shownW, int32_t shownH, int32_t ox = 0, int32_t oy = 0) {
    SBackdropGeometry g;
    g.hasPicture = true;
    g.pictureWidth = pw;
    g.pictureHeight = ph;
    g.shownWidth = shownW;
    g.shownHeight = shownH;
    g.offsetX = ox;
    g.offsetY = oy;
    return g;
}

bool Range(const std::vector<int32_t>& args, int32_t* lo, int32_t* hi) {
    return RandomRange(args.data(), args.size(), lo, hi);
}

}  // namespace

// A zero side follows the picture's aspect (truncating: 333 * 400 / 640 = 208.125); without a
// picture nothing is divided by zero; 64-bit products (40000 * 100000) divide back into range.
// clang-format off
TEST(BackdropDimensions, ZeroSideFollowsThePictureAspect) {
    const struct {
        int32_t w, h, pw, ph;
        SGameSize want;
    } rows[] = {
        {320, 0, 640, 400, {320, 200}},   {0, 100, 640, 400, {160, 100}},   {0, 0, 640, 400, {640, 400}},
        {100, 50, 640, 400, {100, 50}},   {333, 0, 640, 400, {333, 208}},   {-320, 0, 640, 400, {-320, -200}},
        {0, 0, 0, 0, {0, 0}},             {0, 240, 0, 0, {0, 240}},         {320, 0, 0, 0, {320, 0}},
        {320, 240, 0, 0, {320, 240}},     {0, 100000, 40000, 50000, {80000, 100000}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(BackdropDimensions(r.w, r.h, r.pw, r.ph), r.want) << r.w << "," << r.h << " of " << r.pw << "x" << r.ph;
    EXPECT_EQ(BackdropDimensions(INT_MAX, 0, 1, 2).height, INT_MAX);
}
// clang-format on

TEST(BackdropMapping, ScaleThenOffsetBothWays) {
    SBackdropGeometry g = Picture(640, 400, 320, 200);
    EXPECT_EQ(BackdropToScreen(g, {100, 100}), (SGamePoint{50, 50}));
    EXPECT_EQ(ScreenToBackdrop(g, {50, 50}), (SGamePoint{100, 100}));
    // Truncation toward zero on both sides of the origin.
    EXPECT_EQ(BackdropToScreen(g, {101, 103}), (SGamePoint{50, 51}));
    EXPECT_EQ(BackdropToScreen(g, {-3, -1}), (SGamePoint{-1, 0}));
    // The offset is added after scaling and removed before it.
    g = Picture(640, 400, 1280, 800, 10, -20);
    EXPECT_EQ(BackdropToScreen(g, {5, 5}), (SGamePoint{20, -10}));
    EXPECT_EQ(ScreenToBackdrop(g, {20, -10}), (SGamePoint{5, 5}));
    EXPECT_EQ(ScreenToBackdrop(g, {21, -9}), (SGamePoint{5, 5}));
    // Without a picture only the offset applies.
    g = SBackdropGeometry{};
    g.shownWidth = 320;  // ignored without a picture
    g.shownHeight = 200;
    g.offsetX = 7;
    g.offsetY = 9;
    EXPECT_EQ(BackdropToScreen(g, {100, 100}), (SGamePoint{107, 109}));
    EXPECT_EQ(ScreenToBackdrop(g, {100, 100}), (SGamePoint{93, 91}));
    EXPECT_EQ(BackdropToScreen(SBackdropGeometry{}, {3, 4}), (SGamePoint{3, 4}));
}

TEST(BackdropMapping, DegenerateSizesGiveFiniteAnswers) {
    // Shown size 0 (SetBackdropDimensions(0, 1) of a tall picture): the inverse maps to 0.
    SBackdropGeometry g = Picture(640, 400, 0, 0, 5, 5);
    EXPECT_EQ(ScreenToBackdrop(g, {100, 100}), (SGamePoint{0, 0}));
    EXPECT_EQ(BackdropToScreen(g, {100, 100}), (SGamePoint{5, 5}));
    // A picture with no pixels cannot be scaled from.
    SBackdropGeometry empty = Picture(0, 0, 320, 200, 1, 2);
    EXPECT_EQ(BackdropToScreen(empty, {10, 20}), (SGamePoint{1, 2}));
    // Extreme values saturate rather than wrap.
    SBackdropGeometry big = Picture(1, 1, INT_MAX, INT_MAX, INT_MAX, INT_MAX);
    EXPECT_EQ(BackdropToScreen(big, {INT_MAX, 1}), (SGamePoint{INT_MAX, INT_MAX}));
    EXPECT_EQ(ScreenToBackdrop(Picture(INT_MAX, INT_MAX, 1, 1, INT_MIN, 0), {INT_MAX, 0}).x, INT_MAX);
}

// An explicit setting wins; otherwise the shown height, then the picture, then the renderer.
TEST(PriorityViewport, ExplicitThenShownHeightThenPictureThenRenderer) {
    EXPECT_EQ(PriorityViewportHeight(0, 200, true, 400, 480), 0);
    EXPECT_EQ(PriorityViewportHeight(1000, 200, true, 400, 480), 1000);
    EXPECT_EQ(PriorityViewportHeight(-1, 200, true, 400, 480), 200);
    EXPECT_EQ(PriorityViewportHeight(-1, 480, true, 400, 480), 480);  // equal to H still fits
    EXPECT_EQ(PriorityViewportHeight(-1, 800, true, 400, 480), 400);  // shown too tall: picture
    EXPECT_EQ(PriorityViewportHeight(-1, 0, true, 400, 480), 400);    // no shown height: picture
    EXPECT_EQ(PriorityViewportHeight(-1, 800, true, 600, 480), 480);  // both too tall: renderer
    EXPECT_EQ(PriorityViewportHeight(-1, 0, false, 0, 480), 480);
    EXPECT_EQ(PriorityViewportHeight(-1, 300, false, 0, 480), 300);   // solid backdrop with a size
    EXPECT_EQ(PriorityViewportHeight(-7, -50, true, 100, 480), -50);  // any non-zero shown height that fits
    EXPECT_EQ(PriorityViewportHeight(-1, 0, true, 0, 480), 480);      // a picture without rows: renderer
}

// No arguments: 0..32767; one: 0..it; more: the first and the last (the middle ones are ignored).
// A low end above the high end is refused and leaves the outputs untouched.
TEST(RandomRange, ArgumentCountsChooseTheEnds) {
    const struct {
        std::vector<int32_t> args;
        bool ok;
        int32_t lo, hi;
    } rows[] = {
        {{}, true, 0, 32767}, {{6}, true, 0, 6},     {{1, 6}, true, 1, 6}, {{-3, 1000, -100, 9}, true, -3, 9},
        {{4, 4}, true, 4, 4}, {{5, 1}, false, 0, 0}, {{-1}, false, 0, 0},  {{9, 0, 0, 8}, false, 0, 0},
    };
    for (const auto& r : rows) {
        int32_t lo = 123, hi = 456;
        EXPECT_EQ(Range(r.args, &lo, &hi), r.ok) << r.args.size();
        EXPECT_EQ(lo, r.ok ? r.lo : 123) << r.args.size();
        EXPECT_EQ(hi, r.ok ? r.hi : 456) << r.args.size();
    }
}

TEST(RandomRange, DrawsMapIntoTheRange) {
    for (int32_t draw : {0, 1, 5, 6, 7, 12345, 32767}) {
        int32_t v = RandomInRange(1, 6, draw);
        EXPECT_GE(v, 1);
        EXPECT_LE(v, 6);
        EXPECT_EQ(v, draw % 6 + 1);
    }
    EXPECT_EQ(RandomInRange(0, 99999, 32767), 32767);
    EXPECT_EQ(RandomInRange(-10, -10, 31000), -10);
    EXPECT_EQ(RandomInRange(-5, 5, 32767), 32767 % 11 - 5);
    // The whole 32-bit range: size 2^32 does not fit 32 bits.
    EXPECT_EQ(RandomInRange(INT_MIN, INT_MAX, 5), INT_MIN + 5);
    EXPECT_EQ(RandomInRange(INT_MIN, INT_MAX, 32767), INT_MIN + 32767);
    EXPECT_EQ(RandomInRange(-2000000000, 2000000000, 100), -2000000000 + 100);
}

TEST(RandomRange, GeneratorStaysWithinFifteenBits) {
    bool sawHigh = false;
    for (int i = 0; i < 20000; ++i) {
        int32_t d = RandomDraw15();
        ASSERT_GE(d, 0);
        ASSERT_LE(d, 32767);
        sawHigh |= d >= 16384;
    }
    EXPECT_TRUE(sawHigh);
}

// clang-format off
TEST(Params, ProgramNameIsSkipped) {
    // Only one space is eaten; quotes toggle mid-word.
    for (auto [line, params] : {std::pair{"ove level2 -x", "level2 -x"},
                                {"\"C:\\Program Files\\game.exe\" -windowed now", "-windowed now"},
                                {"\"/opt/my games/ove\"  two", " two"}, {"ove", ""},
                                {"\"unterminated quote with spaces", ""}, {"", ""}, {"ove ", ""}, {"a\"b c\"d e", "e"}})
        EXPECT_EQ(ParamsFromCommandLine(line), params) << line;
}
// clang-format on

TEST(Params, BuiltLineRoundTripsTheParameters) {
    EXPECT_EQ(ProcessCommandLine("ove", "level2 \"my save\""), "ove level2 \"my save\"");
    EXPECT_EQ(ProcessCommandLine("/opt/my games/ove", "a"), "\"/opt/my games/ove\" a");
    for (const char* params : {"", "x", "level2 \"my save\" -x", " lead"}) {
        EXPECT_EQ(ParamsFromCommandLine(ProcessCommandLine("/usr/bin/ove", params)), params);
        EXPECT_EQ(ParamsFromCommandLine(ProcessCommandLine("/home/a b/ove", params)), params);
    }
}

TEST(MaskValue, ReadsInsideThePictureOnly) {
    // 4 x 3 picture: row y holds values 10*y + x.
    std::vector<uint8_t> values;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) values.push_back(static_cast<uint8_t>(10 * y + x + 1));
    CRunMask mask = CRunMask::Encode(values.data(), static_cast<uint32_t>(values.size()));
    // Past the right edge is not the next row's start; negative and past the bottom read 0.
    for (auto [x, y, value] :
         {std::tuple{0, 0, 1}, {3, 0, 4}, {2, 1, 13}, {3, 2, 24}, {4, 0, 0}, {-1, 1, 0}, {0, 3, 0}, {0, -1, 0}})
        EXPECT_EQ(MaskValueAt(&mask, 4, 3, x, y), value) << x << "," << y;
    EXPECT_EQ(MaskValueAt(nullptr, 4, 3, 1, 1), 0);
    // A picture larger than the mask covers reads 0 beyond the runs.
    EXPECT_EQ(MaskValueAt(&mask, 100000, 100000, 99999, 99999), 0);
}
