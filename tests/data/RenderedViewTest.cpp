// Views loaded with a renderer: sheets become textures and cels (mirrored ones too) draw from them.
#include "support/RenderFixture.h"

#include "io/DataBin.h"
#include "resources/View.h"
#include "support/Bytes.h"

using namespace ove;
using ovetest::Hex;
using ovetest::PixelAt;

namespace {

class RenderedView : public ovetest::GLRenderTest {};

u32 Colour(int x, int y) { return 0xFF000000u | u32(40 + x * 50) << 16 | u32(60 + y * 90) << 8 | 0x11; }

}  // namespace

TEST_F(RenderedView, CelsAndMirroredCelsDrawFromTheSheetTextures) {
    Open(32, 16);
    renderer->SetBackdropColour(0xFF000000);
    viewtest::Bytes b = viewtest::ViewHeader("VIEW", 32, 2, 0);
    b.U32(0).U32(2);
    b.U32(3).U32(2).I32(1).I32(0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) b.U32(Colour(x, y));
    viewtest::SolidCel32(b, 300, 4, 0, 0, 0xFFFFFFFF);  // forces a second sheet
    b.U32(1).U32(0);
    CBuffer buffer(b.v);
    TResourceRef<CView> view(new CView("drawn"));
    view->Load(&buffer, renderer.get());
    ASSERT_EQ(view->SheetCount(), 2u);
    const SCel& cel = *view->GetCel(0, 0);
    const SCel& mirrored = *view->GetCel(1, 0);
    ASSERT_NE(cel.texture, nullptr);
    EXPECT_EQ(mirrored.texture, cel.texture);
    EXPECT_NE(view->GetCel(0, 1)->texture, cel.texture);
    EXPECT_EQ(view->Sheet(0).texture, cel.texture);

    ovetest::CTestDrawable drawable(0.5f, true, [&](CRenderer& r) {
        r.SetBlendMode(kBlendAlpha);
        r.SetFiltering(false);
        r.SetTexture(cel.texture);
        r.DrawCel(cel, kAlignLeft, kAlignTop, 2, 2, 0.5f, 0xFFFFFFFF);
        r.DrawCel(mirrored, kAlignLeft, kAlignTop, 12, 2, 0.5f, 0xFFFFFFFF);
    });
    renderer->AddObject(&drawable);
    auto image = Capture();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            // The hot spot moves the cel right by 1; the mirror's negated one moves it left by 1.
            EXPECT_EQ(Hex(PixelAt(*image, 3 + x, 2 + y)), Hex(Colour(x, y))) << x << "," << y;
            EXPECT_EQ(Hex(PixelAt(*image, 11 + x, 2 + y)), Hex(Colour(2 - x, y))) << x << "," << y;
        }
    EXPECT_EQ(Hex(PixelAt(*image, 2, 2)), Hex(0xFF000000));
    EXPECT_EQ(Hex(PixelAt(*image, 6, 2)), Hex(0xFF000000));
    EXPECT_EQ(Hex(PixelAt(*image, 3, 4)), Hex(0xFF000000));
    renderer->RemoveObject(&drawable);
}
