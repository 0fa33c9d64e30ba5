// Truncated and damaged view files load (or fail) without reading outside their data.
#include <gtest/gtest.h>


#include "io/DataBin.h"
#include "resources/View.h"
#include "support/Bytes.h"

using namespace ove;
using viewtest::Bytes;
using viewtest::SolidCel32;
using viewtest::ViewHeader;

namespace {

std::vector<u8> SampleView() {
    Bytes b = ViewHeader("VIEW", 32, 4);
    b.U32(0).U32(2);
    SolidCel32(b, 3, 2, 1, 1, 0xFF102030);
    SolidCel32(b, 2, 5, -1, 0, 0x80FFFFFF);
    b.U32(1).U32(0);
    b.U32(0).U32(1);
    SolidCel32(b, 4, 4, 0, 0, 0xFFFFFFFF);
    b.U32(1).U32(2);
    return b.v;
}

// Loads a view and touches everything that was loaded.
void LoadAndTouchView(const std::vector<u8>& bytes, bool font) {
    auto view = viewtest::LoadView(bytes, font);
    for (std::size_t l = 0; l < view->LoopCount(); ++l)
        for (std::size_t c = 0; c < view->Loop(l).size(); ++c) {
            const SCel& cel = view->Loop(l)[c];
            if (cel.width && cel.height)
                (void)view->GetCelPixel(i32(l), i32(c), i32(cel.width) - 1, i32(cel.height) - 1);
        }
}

}  // namespace

TEST(Corrupt, EveryPrefixOfAViewLoads) {
    const std::vector<u8> full = SampleView();
    for (std::size_t n = 0; n <= full.size(); ++n) {
        LoadAndTouchView(std::vector<u8>(full.begin(), full.begin() + std::ptrdiff_t(n)), false);
        LoadAndTouchView(std::vector<u8>(full.begin(), full.begin() + std::ptrdiff_t(n)), true);
    }
    // A cut inside the second cel's pixels keeps the complete first cel and no more.
    auto view = viewtest::LoadView(std::vector<u8>(full.begin(), full.begin() + 25 + 8 + 16 + 24 + 16 + 10));
    ASSERT_EQ(view->LoopCount(), 4u);
    EXPECT_EQ(view->CelCount(0), 1u);
    EXPECT_EQ(view->CelCount(1), 0u);
    EXPECT_EQ(view->GetCelPixel(0, 0, 2, 1), 0xFF102030u);
}

TEST(Corrupt, HostileViewFieldsAreBounded) {
    // Header length near 4 GiB, absurd loop and cel counts, gigantic cels without data.
    {
        Bytes b;
        b.Tag("VIEW").U32(0xFFFFFFF0).U32(32).U32(0).U32(1).U32(5).U8(0);
        LoadAndTouchView(b.v, false);
    }
    {
        Bytes b = ViewHeader("VIEW", 32, 0xFFFFFFFF);
        b.U32(0).U32(0xFFFFFFFF);
        SolidCel32(b, 1, 1, 0, 0, 0xFFFFFFFF);
        auto view = viewtest::LoadView(b.v);
        EXPECT_EQ(view->LoopCount(), size_t(CView::kMaxLoops));
        EXPECT_EQ(view->CelCount(0), 1u);
    }
    {
        Bytes b = ViewHeader("VIEW", 32, 1);
        b.U32(0).U32(1).U32(0x7FFFFFFF).U32(0x7FFFFFFF).U32(0).U32(0);
        LoadAndTouchView(b.v, false);
    }
}

