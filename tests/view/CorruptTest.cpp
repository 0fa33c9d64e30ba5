// Truncated and damaged resource files load (or fail) without reading outside their data.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "io/DataBin.h"
#include "data/View.h"
#include "walk/BackdropPicture.h"
#include "view/Bytes.h"

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

std::vector<u8> SamplePicture() {
    Bytes b;
    b.Tag("PICT").U32(4).U32(3).Zeros(24).Tag("IMGE").U32(0).U32(24).U32(0);
    for (int i = 0; i < 36; ++i) b.U8(u8(i));
    b.Tag("WALK").U32(16).U32(12).U32(2).U32(0x01000006).U32(0x02000006);
    b.Tag("HOTS").U32(0).Tag("HSPT").U32(1).U32(0).Tag("NAME").U32(3).Str("box").Tag("HEND").U32(0).Zeros(12);
    b.Tag("DPTH").U32(12).U32(12).U32(1).U32(0x0500000C);
    b.Tag("ENDF").U32(0);
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

bool LoadPicture(const std::vector<u8>& bytes) {
    CBuffer buffer(bytes);
    CBackdropPicture picture;
    try {
        picture.Load(&buffer);
    } catch (const std::runtime_error&) {
        return false;
    }
    for (int m = 0; m < CBackdropPicture::kMaskCount; ++m) {
        const CRunMask* mask = picture.Mask(CBackdropPicture::EMask(m));
        if (!mask) continue;
        std::vector<u8> expanded(std::size_t(picture.Width() > 0 ? picture.Width() : 0) *
                                 std::size_t(picture.Height() > 0 ? picture.Height() : 0));
        mask->Expand(expanded.data(), expanded.size());
        (void)mask->ValueAt(mask->PixelCount() - 1);
    }
    return picture.Bitmap() != nullptr;
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

TEST(Corrupt, EveryPrefixOfAPictureLoads) {
    const std::vector<u8> full = SamplePicture();
    ASSERT_TRUE(LoadPicture(full));
    for (std::size_t n = 0; n < full.size(); ++n) {
        std::vector<u8> bytes(full.begin(), full.begin() + std::ptrdiff_t(n));
        // The image is there once all its rows are; chunks after it may be missing.
        EXPECT_EQ(LoadPicture(bytes), n >= 36 + 16 + 36) << n;
    }
}
