// View files built to hurt: extreme offsets, mirror records that would multiply memory, loops
// without cels, truncations, and the crash samples found by fuzzing.
#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "io/DataBin.h"
#include "resources/View.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"

using namespace ove;
using viewtest::Bytes;
using viewtest::Cels;
using viewtest::FirstLoop;
using viewtest::LoadView;
using viewtest::SolidCel32;
using viewtest::ViewHeader;

namespace {

// Loads a view and touches every loaded cel's last pixel.
void LoadAndTouchView(const std::vector<u8>& bytes, bool font) {
    auto view = LoadView(bytes, font);
    for (std::size_t l = 0; l < view->LoopCount(); ++l)
        for (std::size_t c = 0; c < view->Loop(l).size(); ++c)
            if (const SCel& cel = view->Loop(l)[c]; cel.width && cel.height)
                (void)view->GetCelPixel(i32(l), i32(c), i32(cel.width) - 1, i32(cel.height) - 1);
}

}  // namespace

TEST(HostileView, EveryPrefixLoadsAndAbsurdFieldsAreBounded) {
    Bytes b = FirstLoop(ViewHeader("VIEW", 32, 4), 2);
    SolidCel32(b, 3, 2, 1, 1, 0xFF102030);
    SolidCel32(b, 2, 5, -1, 0, 0x80FFFFFF);
    b.U32(1).U32(0).U32(0).U32(1);
    SolidCel32(b, 4, 4, 0, 0, 0xFFFFFFFF);
    b.U32(1).U32(2);
    for (std::size_t n = 0; n <= b.v.size(); ++n)
        for (bool font : {false, true}) LoadAndTouchView(std::vector<u8>(b.v.begin(), b.v.begin() + n), font);
    // A cut inside the second cel's pixels keeps the complete first cel and no more.
    auto view = LoadView(std::vector<u8>(b.v.begin(), b.v.begin() + 25 + 8 + 16 + 24 + 16 + 10));
    ASSERT_EQ(view->LoopCount(), 4u);
    EXPECT_EQ(view->CelCount(0), 1u);
    EXPECT_EQ(view->CelCount(1), 0u);
    EXPECT_EQ(view->GetCelPixel(0, 0, 2, 1), 0xFF102030u);

    // Header length near 4 GiB; an absurd cel count; a gigantic cel without data.
    Bytes longHeader;
    longHeader.Tag("VIEW").U32(0xFFFFFFF0).U32(32).U32(0).U32(1).U32(5).U8(0);
    LoadAndTouchView(longHeader.v, false);
    Bytes cels = FirstLoop(ViewHeader("VIEW", 32, 1), 0xFFFFFFFF);
    SolidCel32(cels, 1, 1, 0, 0, 0xFFFFFFFF);
    EXPECT_EQ(LoadView(cels.v)->CelCount(0), 1u);
    Bytes giant = FirstLoop(ViewHeader("VIEW", 32, 1), 1);
    giant.U32(0x7FFFFFFF).U32(0x7FFFFFFF).U32(0).U32(0);
    LoadAndTouchView(giant.v, false);
}

TEST(HostileView, ExtremeOffsetsAlignAndMirrorWithoutOverflow) {
    Bytes b = FirstLoop(ViewHeader("VIEW", 32, 3), 2);
    SolidCel32(b, 4, 2, INT_MIN, INT_MAX, 0xFF000000);
    SolidCel32(b, 2, 2, INT_MAX, INT_MIN, 0xFF000000);
    b.U32(1).U32(0);
    b.U32(1).U32(1);  // a mirror of the mirror
    auto view = LoadView(b.v);
    ASSERT_EQ(view->LoadError(), "");
    // The most negative offset has no positive counterpart: mirroring keeps it, and mirroring twice
    // gives the original back.
    EXPECT_EQ(Cels(*view),
              "[4x2(-2147483648,2147483647) 2x2(2147483647,-2147483648)]"
              "[4x2(-2147483648,2147483647) 2x2(-2147483647,-2147483648)]"
              "[4x2(-2147483648,2147483647) 2x2(2147483647,-2147483648)]");
    EXPECT_EQ(view->GetCel(1, 0)->uLeft, view->GetCel(0, 0)->uRight);

    // Points far beyond 32 bits are pinned to the ends and never hit a cel.
    const SCel& c = *view->GetCel(0, 0);
    i32 x = 100, y = -100;
    CView::Align(c, &x, &y, 0, 0);
    EXPECT_EQ(std::pair(x, y), std::pair(INT_MAX, INT_MIN));
    x = -5, y = 5;
    CView::Align(*view->GetCel(0, 1), &x, &y, 2, 2);
    EXPECT_EQ(std::pair(x, y), std::pair(INT_MIN, INT_MAX));
    for (int h = 0; h < 3; ++h)
        for (int v = 0; v < 3; ++v) {
            EXPECT_FALSE(CView::HitTest(c, 0, 0, h, v));
            EXPECT_FALSE(CView::HitTest(c, INT_MAX, INT_MIN, h, v));
        }
}

TEST(HostileView, MirrorLoopsShareTheirSourceInsteadOfCopyingIt) {
    // One loop of 2000 empty cels and 60000 mirror loops, alternating between the loop and the last
    // mirror: copied, that is 120 million cels; shared, it is two sets.
    const u32 mirrorsCount = 60000;
    Bytes b = FirstLoop(ViewHeader("VIEW", 32, 1 + mirrorsCount), 2000);
    for (int i = 0; i < 2000; ++i) b.U32(0).U32(0).I32(i).I32(0);
    for (u32 l = 1; l <= mirrorsCount; ++l) b.U32(1).U32(l - 1);
    auto view = LoadView(b.v);
    ASSERT_EQ(view->LoopCount(), 1 + mirrorsCount);
    for (u32 l : {1u, 2u, 59999u, 60000u}) {
        ASSERT_EQ(view->CelCount(i32(l)), 2000u) << l;
        EXPECT_EQ(view->GetCel(i32(l), 7)->xOffset, (l % 2) ? -7 : 7) << l;
    }
    EXPECT_EQ(&view->Loop(2), &view->Loop(0));
    EXPECT_EQ(&view->Loop(3), &view->Loop(1));
}

TEST(HostileView, DamagedFilesSayWhatIsWrong) {
    Bytes empty = FirstLoop(ViewHeader("VIEW", 32, 2), 0);
    empty.U32(0).U32(1);
    SolidCel32(empty, 1, 1, 0, 0, 0xFFFFFFFF);
    auto view = LoadView(empty.v);
    EXPECT_EQ(view->LoadError(), "loop 0 has no cels");
    EXPECT_EQ(view->CelCount(1), 1u) << "what games see is unchanged";

    Bytes cut = FirstLoop(ViewHeader("VIEW", 32, 1), 1);
    cut.U32(4).U32(4).U32(0).U32(0).Zeros(10);
    EXPECT_EQ(LoadView(cut.v)->LoadError(), "the file ends inside a cel of loop 0");
    Bytes far = ViewHeader("FONT", 32, 1);
    far.U32(1).U32(7);
    EXPECT_EQ(LoadView(far.v, true)->LoadError(), "loop 0 mirrors a loop that does not exist");

    // Huge cels of an unknown depth read no pixels, so they cannot claim unlimited sheets.
    Bytes unknown = FirstLoop(ViewHeader("VIEW", 7, 1), 1000);
    for (int i = 0; i < 1000; ++i) unknown.U32(CView::kMaxCelSide).U32(CView::kMaxCelSide).U32(0).U32(0);
    auto sheets = LoadView(unknown.v);
    std::size_t bytes = 0;
    for (std::size_t s = 0; s < sheets->SheetCount(); ++s) bytes += sheets->Sheet(s).bitmap->PixelBytes();
    EXPECT_LE(bytes, CView::kMaxSheetBytes);
    EXPECT_LE(sheets->SheetCount(), 1u);
    EXPECT_LT(sheets->CelCount(0), 1000u);
    EXPECT_NE(sheets->LoadError().find("sheet memory"), std::string::npos);
}

// Samples found by fuzzing (their first byte chose the harness's mode; the file follows it).
TEST(HostileView, FuzzSamplesLoadWithoutMultiplyingMemory) {
    // 1 and 2 are damaged (an offset of INT_MIN, then data that stop); 3 mirrors a cel with an
    // offset of INT_MIN; 4 is 12780 mirrors of a loop of 6390 cels: 82 million cels, shared.
    const struct {
        const char* name;
        bool damaged;
        std::size_t cels;
    } samples[] = {
        {"view-1.bin", true, 1}, {"view-2.bin", true, 1}, {"view-3.bin", false, 2}, {"view-4.bin", false, 81670590}};
    for (const auto& [name, damaged, expectedCels] : samples) {
        std::vector<u8> bytes = ovetest::ReadFileBytes(std::string(OVE_TEST_SOURCE_DIR "/support/hostile/") + name);
        ASSERT_GT(bytes.size(), 1u);
        bytes.erase(bytes.begin());
        auto view = LoadView(bytes, bytes[0] == 'F');
        std::size_t cels = 0;
        for (std::size_t l = 0; l < view->LoopCount(); ++l) {
            cels += view->Loop(l).size();
            if (!view->Loop(l).empty()) {
                const SCel& c = view->Loop(l).front();
                i32 x = 0, y = 0;
                CView::Align(c, &x, &y, 1, 2);
                CView::HitTest(c, INT_MAX, INT_MIN, 2, 1);
            }
        }
        EXPECT_EQ(!view->LoadError().empty(), damaged) << name << ": " << view->LoadError();
        EXPECT_EQ(cels, expectedCels) << name;
    }
}
