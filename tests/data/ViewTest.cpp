// View and font resources: loading, sheet packing, mirrors, cel geometry and the view builder.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>

#include "io/DataBin.h"
#include "resources/View.h"
#include "support/Bytes.h"

using namespace ove;
using viewtest::Bytes;
using viewtest::CelPixels;
using viewtest::Cels;
using viewtest::FirstLoop;
using viewtest::LoadView;
using viewtest::SolidCel32;
using viewtest::ViewHeader;

namespace {

// Where loop 0's cels lie: "sheet@x,y" each; and the sheets' sizes.
std::string Placement(const CView& view) {
    std::string s;
    for (int c = 0; c < int(view.CelCount(0)); ++c)
        s += (c ? " " : "") + std::to_string(view.CelSheet(0, c)) + "@" + std::to_string(view.GetCel(0, c)->x) + "," +
             std::to_string(view.GetCel(0, c)->y);
    for (std::size_t i = 0; i < view.SheetCount(); ++i)
        s += (i ? " " : "; ") + std::to_string(view.Sheet(i).width) + "x" + std::to_string(view.Sheet(i).height);
    return s;
}

u32 Argb(u8 a, u8 r, u8 g, u8 b) { return u32(a) << 24 | u32(r) << 16 | u32(g) << 8 | b; }

}  // namespace

TEST(ViewLoad, StandardHeaderAndPixels) {
    Bytes b = FirstLoop(ViewHeader("VIEW", 32, 1, 2, 1), 2);
    // 2 x 2 cel: top row red, green; bottom row blue, half-transparent white.
    b.U32(2).U32(2).I32(-3).I32(7);
    b.U32(Argb(255, 255, 0, 0)).U32(Argb(255, 0, 255, 0)).U32(Argb(255, 0, 0, 255)).U32(Argb(128, 255, 255, 255));
    SolidCel32(b, 3, 1, 0, 0, Argb(255, 1, 2, 3));
    auto view = LoadView(b.v);
    EXPECT_EQ(view->BlendMode(), 2u);
    EXPECT_EQ(view->Smooth(), 1);
    ASSERT_EQ(Cels(*view), "[2x2(-3,7) 3x1(0,0)]");
    EXPECT_EQ(CelPixels(*view, 0, 0), (std::vector<u32>{Argb(255, 255, 0, 0), Argb(255, 0, 255, 0),
                                                        Argb(255, 0, 0, 255), Argb(128, 255, 255, 255)}));
    EXPECT_EQ(view->GetCelPixel(0, 1, 2, 0), Argb(255, 1, 2, 3));
    EXPECT_STREQ(view->Name(), "test");
    // Only the cel with a half-transparent pixel needs blending.
    EXPECT_EQ(view->GetCel(0, 0)->translucent, 1);
    EXPECT_EQ(view->GetCel(0, 1)->translucent, 0);
}

TEST(ViewLoad, ReadsFromTheStreamPositionAndNeedsItsTag) {
    Bytes wrong = FirstLoop(ViewHeader("VIEX", 32, 1), 1);
    SolidCel32(wrong, 1, 1, 0, 0, 0xFFFFFFFF);
    auto empty = LoadView(wrong.v);
    EXPECT_EQ(Cels(*empty), "");
    EXPECT_EQ(empty->SheetCount(), 0u);
    EXPECT_EQ(empty->BlendMode(), 1u);

    Bytes b;
    b.Str("JUNKJUNK");  // eight bytes before the resource
    Bytes v = FirstLoop(ViewHeader("FONT", 32, 1), 1);
    SolidCel32(v, 1, 1, 4, 5, Argb(255, 9, 9, 9));
    b.Raw(v.v);
    auto view = LoadView(b.v, false, 8);
    EXPECT_EQ(Cels(*view), "[1x1(4,5)]");
    EXPECT_EQ(view->GetCelPixel(0, 0, 0, 0), Argb(255, 9, 9, 9));
}

TEST(ViewLoad, ShortAndLongHeaders) {
    // Header lengths 8 (depth and key: blend mode stays 1), 12 (depth, key and blend: no loops and no
    // smoothing, whatever follows at offset 20), 16 (loops, no smoothing: loop records at offset 24)
    // and 20 (17 bytes read, 3 skipped before the first record).
    auto view = [](u32 length, u32 blend, u32 loops, u8 smooth) {
        Bytes b;
        b.Tag("VIEW").U32(length).U32(32).U32(0);
        if (length >= 12) b.U32(blend);
        if (length >= 16) b.U32(loops);
        if (length >= 20) b.U8(smooth).U8(0xEE).U8(0xEE).U8(0xEE);
        if (length == 12) b.U32(3).U8(1);  // loop count and smoothing beyond the header: not read
        b.U32(0).U32(1);
        SolidCel32(b, 2, 1, 6, 0, Argb(255, 4, 5, 6));
        return LoadView(b.v);
    };
    const struct {
        u32 length, blend, loops;
        u8 smooth;
        u32 expectedBlend;
        u32 expectedLoops;
    } cases[] = {{8, 0, 0, 0, 1, 0}, {12, 1, 0, 0, 1, 0}, {16, 0, 1, 0, 0, 1}, {20, 1, 1, 1, 1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        auto v = view(c.length, c.blend, c.loops, c.smooth);
        EXPECT_EQ(v->BlendMode(), c.expectedBlend);
        EXPECT_EQ(v->Smooth(), c.smooth);
        EXPECT_EQ(Cels(*v), c.expectedLoops ? "[2x1(6,0)]" : "");
        EXPECT_EQ(v->GetCelPixel(0, 0, 1, 0), c.expectedLoops ? Argb(255, 4, 5, 6) : 0u);
    }
}

TEST(ViewLoad, EightBitCelsAreWhiteWithAlpha) {
    Bytes b = FirstLoop(ViewHeader("FONT", 8, 1), 1);
    b.U32(3).U32(1).I32(0).I32(0).U8(0).U8(0x80).U8(0xFF);
    auto view = LoadView(b.v, true);
    EXPECT_EQ(CelPixels(*view, 0, 0), (std::vector<u32>{0x00FFFFFF, 0x80FFFFFF, 0xFFFFFFFF}));
    EXPECT_EQ(view->GetCel(0, 0)->translucent, 1);
}

TEST(ViewLoad, ColourKeyMakesExactlyThoseTwentyFourBitPixelsTransparent) {
    // Key red 0x10, green 0x20, blue 0x30, stored as the bytes red, green, blue, 0.
    const u32 key = 0x10 | 0x20 << 8 | 0x30 << 16;
    Bytes b = FirstLoop(ViewHeader("VIEW", 24, 1, 1, 0, key), 1);
    b.U32(4).U32(1).I32(0).I32(0);
    b.U8(0x30).U8(0x20).U8(0x10);  // blue, green, red = the key
    b.U8(0x10).U8(0x20).U8(0x30);  // the key with red and blue exchanged: not the key
    b.U8(0x31).U8(0x20).U8(0x10);  // off by one in blue
    b.U8(0x30).U8(0x20).U8(0x10);  // the key again
    auto view = LoadView(b.v);
    EXPECT_EQ(CelPixels(*view, 0, 0), (std::vector<u32>{0x00102030, 0xFF302010, 0xFF102031, 0x00102030}));
    EXPECT_EQ(view->GetCel(0, 0)->translucent, 0) << "a colour key gives only opaque and clear pixels";
}

TEST(ViewLoad, UnknownDepthGivesTransparentCelsWithoutData) {
    Bytes b = FirstLoop(ViewHeader("VIEW", 16, 1), 2);
    b.U32(2).U32(2).I32(0).I32(0);  // no pixel bytes follow for depth 16
    b.U32(5).U32(1).I32(1).I32(2);
    auto view = LoadView(b.v);
    EXPECT_EQ(Cels(*view), "[2x2(0,0) 5x1(1,2)]");
    EXPECT_EQ(CelPixels(*view, 0, 0), std::vector<u32>(4, 0));
}

TEST(ViewLoad, MirrorsNegateOffsetsSwapUAndResolveInLoopOrder) {
    // Loop 0 mirrors loop 2 before loop 2 is filled: empty. Loop 2 mirrors loop 1; loop 3 mirrors
    // loop 2 after it was filled: mirrored twice, i.e. like loop 1. Loops 4 and 5 mirror loops that
    // do not exist: ignored.
    Bytes b = ViewHeader("VIEW", 32, 6);
    b.U32(1).U32(2);
    b.U32(0).U32(2);
    SolidCel32(b, 3, 2, 5, -1, 0xFF000001);
    SolidCel32(b, 4, 2, -2, 3, 0xFF000002);
    b.U32(1).U32(1);
    b.U32(1).U32(2);
    b.U32(1).U32(6);
    b.U32(1).U32(0xFFFFFFFF);
    auto view = LoadView(b.v);
    ASSERT_EQ(Cels(*view), "[][3x2(5,-1) 4x2(-2,3)][3x2(-5,-1) 4x2(2,3)][3x2(5,-1) 4x2(-2,3)][][]");
    EXPECT_EQ(view->GetCel(4, 0), nullptr);
    for (int c = 0; c < 2; ++c) {
        const SCel &a = *view->GetCel(1, c), &m = *view->GetCel(2, c), &twice = *view->GetCel(3, c);
        EXPECT_EQ(std::tuple(m.uLeft, m.uRight, m.vTop, m.vBottom, m.x),
                  std::tuple(a.uRight, a.uLeft, a.vTop, a.vBottom, a.x));
        EXPECT_EQ(std::pair(twice.uLeft, twice.uRight), std::pair(a.uLeft, a.uRight));
        EXPECT_EQ(view->GetCelPixel(2, c, 0, 0), view->GetCelPixel(1, c, 0, 0));
    }
}

TEST(ViewLoad, TextureCoordinates) {
    Bytes b = FirstLoop(ViewHeader("VIEW", 32, 1), 2);
    SolidCel32(b, 100, 50, 0, 0, 0xFFFFFFFF);
    SolidCel32(b, 20, 10, 0, 0, 0xFFFFFFFF);
    auto view = LoadView(b.v);
    ASSERT_EQ(Placement(*view), "0@0,0 0@100,0; 256x256");
    const SCel& c = *view->GetCel(0, 1);
    // Sheet 256 x 256; the epsilon pulls u inward on the left and v outward on the top.
    EXPECT_FLOAT_EQ(c.uLeft, 100.0001f / 256.0f);
    EXPECT_FLOAT_EQ(c.uRight, 120.0001f / 256.0f);
    EXPECT_FLOAT_EQ(c.vTop, -0.0001f / 256.0f);
    EXPECT_FLOAT_EQ(c.vBottom, 9.9999f / 256.0f);
    EXPECT_LT(c.vTop, 0.0f);
    EXPECT_EQ(c.texture, nullptr);  // no renderer
}

TEST(ViewPacking, WideCelGetsA512By256Sheet) {
    Bytes b = FirstLoop(ViewHeader("VIEW", 32, 1), 3);
    SolidCel32(b, 10, 10, 0, 0, 0xFFFFFFFF);
    SolidCel32(b, 300, 256, 0, 0, 0xFFFFFFFF);
    SolidCel32(b, 3, 257, 0, 0, 0xFFFFFFFF);
    auto view = LoadView(b.v);
    EXPECT_EQ(Placement(*view), "0@0,0 1@0,0 2@0,0; 256x256 512x256 256x512");
    EXPECT_FLOAT_EQ(view->GetCel(0, 1)->uRight, 300.0001f / 512.0f);
}

TEST(ViewPacking, ViewCelsTouchFontGlyphsKeepAGap) {
    auto build = [] {
        Bytes b = FirstLoop(ViewHeader("VIEW", 32, 1), 5);
        for (int i = 0; i < 4; ++i) SolidCel32(b, 100, 50, 0, 0, 0xFF000000u | u32(i + 1));
        SolidCel32(b, 60, 200, 0, 0, 0xFFFFFFFF);
        return b.v;
    };
    auto view = LoadView(build());
    auto font = LoadView(build(), true);
    // The 200-high cel fits neither right of the row (200 + 60 > 256) nor below it (100 + 200 > 256).
    EXPECT_EQ(Placement(*view), "0@0,0 0@100,0 0@0,50 0@100,50 1@0,0; 256x256 256x256");
    EXPECT_EQ(Placement(*font), "0@0,0 0@101,0 0@0,51 0@101,51 1@0,0; 256x256 256x256");
    for (int i = 0; i < 4; ++i) {
        // Neighbours keep their own pixels.
        EXPECT_EQ(view->GetCelPixel(0, i, 99, 49), 0xFF000000u | u32(i + 1));
        EXPECT_EQ(font->GetCelPixel(0, i, 0, 0), 0xFF000000u | u32(i + 1));
    }
    // In the font the gap shows as untouched sheet pixels between the glyphs.
    const CBitmap& sheet = *font->Sheet(0).bitmap;
    EXPECT_EQ(sheet.TopRow(0)[100 * 4 + 3], 0);
    EXPECT_EQ(sheet.TopRow(50)[0 * 4 + 3], 0);
}

TEST(ViewPacking, NewRowWhenTheCursorIsFull) {
    CView view;
    CBitmap a(200, 30, PixelFormat::Rgba8888), c(100, 20, PixelFormat::Rgba8888);
    i32 x = -1, y = -1;
    view.AddImage(&a, &x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(0, 0));
    view.AddImage(&c, &x, &y);  // 200 + 100 > 256: next row, below the 30-high first row
    EXPECT_EQ(std::pair(x, y), std::pair(0, 30));
    view.AddImage(&c, &x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(100, 30));
    EXPECT_EQ(view.SheetCount(), 1u);
}

TEST(ViewPacking, MemoryFollowsWhatTheFileHolds) {
    // A 2 x 3 cel and a 1 x 1 one in a 256 x 256 sheet, then huge cels of an unknown depth.
    Bytes b = FirstLoop(ViewHeader("VIEW", 32, 1), 2);
    SolidCel32(b, 2, 3, 0, 0, 0xFF102030u);
    SolidCel32(b, 1, 1, 0, 0, 0xFF405060u);
    auto view = LoadView(b.v);
    ASSERT_EQ(Placement(*view), "0@0,0 0@2,0; 256x256");
    EXPECT_LE(view->Sheet(0).bitmap->PixelBytes(), 16u * 16u * 4u);
    EXPECT_EQ(view->GetCelPixel(0, 0, 1, 2), 0xFF102030u);
    EXPECT_EQ(view->GetCelPixel(0, 1, 0, 0), 0xFF405060u);

    Bytes unknown = FirstLoop(ViewHeader("VIEW", 7, 1), 2);
    unknown.U32(2000).U32(2000).U32(0).U32(0).U32(3000).U32(100).U32(0).U32(0);
    auto empty = LoadView(unknown.v);
    ASSERT_EQ(Placement(*empty), "0@0,0 1@0,0; 2048x2048 4096x256");
    EXPECT_EQ(empty->Sheet(0).bitmap->PixelBytes() + empty->Sheet(1).bitmap->PixelBytes(), 0u);
    EXPECT_EQ(empty->GetCelPixel(0, 0, 1999, 1999), 0u);

    // Loops declared beyond the data exist, empty.
    Bytes many = FirstLoop(ViewHeader("VIEW", 32, 0xFFFFFFFFu), 1);
    SolidCel32(many, 1, 1, 0, 0, 0xFFFFFFFFu);
    auto loops = LoadView(many.v);
    EXPECT_EQ(loops->LoopCount(), CView::kMaxLoops);
    EXPECT_EQ(Cels(*loops).substr(0, 12), "[1x1(0,0)][]");
    EXPECT_TRUE(loops->Loop(CView::kMaxLoops - 1).empty());
    EXPECT_EQ(loops->LoadError(), "the file ends before loop 1");
}

TEST(ViewGeometry, AlignAndHitTest) {
    SCel cel;
    cel.width = 10;
    cel.height = 6;
    // Top-left alignment without offsets: (width - 1, height) is inside. Bottom-right aligned, the
    // drawing position is one past the last column, i.e. outside.
    const struct {
        i32 x, y, h, v;
        bool hit;
    } hits[] = {{9, 6, 0, 0, true},   {0, 0, 0, 0, true},   {10, 0, 0, 0, false}, {0, 7, 0, 0, false},
                {-1, 0, 0, 0, false}, {0, -1, 0, 0, false}, {0, -7, 2, 2, false}, {-1, -6, 2, 2, true},
                {-10, 0, 2, 2, true}, {-11, 0, 2, 2, false}};
    for (const auto& c : hits) EXPECT_EQ(CView::HitTest(cel, c.x, c.y, c.h, c.v), c.hit) << c.x << "," << c.y;

    // With offsets: centre/bottom moves x by 5 - 2 and y by 6 - (-1).
    cel.xOffset = 2;
    cel.yOffset = -1;
    const struct {
        i32 x, y, h, v, alignedX, alignedY;
    } aligns[] = {{0, 0, 1, 2, 3, 7}, {4, 4, 2, 1, 4 + 10 - 2, 4 + 3 + 1}, {4, 4, 0, 0, 2, 5}};
    for (const auto& c : aligns) {
        i32 x = c.x, y = c.y;
        CView::Align(cel, &x, &y, c.h, c.v);
        EXPECT_EQ(x, c.alignedX) << c.h << "," << c.v;
        EXPECT_EQ(y, c.alignedY) << c.h << "," << c.v;
    }
}

TEST(ViewGeometry, GetCelPixelBounds) {
    Bytes b = FirstLoop(ViewHeader("VIEW", 32, 1), 1);
    SolidCel32(b, 2, 2, 0, 0, 0xFF123456);
    auto view = LoadView(b.v);
    EXPECT_EQ(view->GetCelPixel(0, 0, 1, 1), 0xFF123456u);
    const i32 outside[][4] = {{0, 0, 2, 0}, {0, 0, 0, 2},  {0, 0, -1, 0}, {0, 1, 0, 0},
                              {1, 0, 0, 0}, {-1, 0, 0, 0}, {0, -1, 0, 0}};
    for (const auto& p : outside)
        EXPECT_EQ(view->GetCelPixel(p[0], p[1], p[2], p[3]), 0u) << p[0] << "," << p[1] << "," << p[2] << "," << p[3];
}

TEST(Resource, ReferenceCounting) {
    static int destroyed = 0;
    struct SProbe : CView {
        ~SProbe() override { ++destroyed; }
    };
    destroyed = 0;
    auto* probe = new SProbe;
    EXPECT_EQ(probe->RefCount(), 0u);
    probe->AddRef();
    probe->AddRef();
    EXPECT_EQ(probe->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    {
        TResourceRef<CView> ref(probe);
        TResourceRef<CView> copy = ref;
        EXPECT_EQ(probe->RefCount(), 3u);
        EXPECT_EQ(probe->Release(), 2u);
    }
    EXPECT_EQ(destroyed, 1);
}

namespace {

// A 32-bit image whose pixel at picture (x, y) is 0xFF00YYXX.
std::unique_ptr<CBitmap> Numbered(u32 w, u32 h) {
    auto image = std::make_unique<CBitmap>(w, h, PixelFormat::Rgba8888);
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x) {
            u8* p = image->TopRow(y) + x * 4;
            p[0] = u8(x);
            p[1] = u8(y);
            p[2] = 0;
            p[3] = 255;
        }
    return image;
}

}  // namespace

TEST(ViewBuilder, ClippingMirrorsAndRefusals) {
    auto image = Numbered(4, 4);
    CBitmap grey(4, 4, PixelFormat::Grey8);
    CViewBuilder builder;
    EXPECT_FALSE(builder.NewCel(image.get(), 0, 0, 1, 1));  // no loop yet
    builder.NewLoop();
    EXPECT_FALSE(builder.NewCel(&grey, 0, 0, 1, 1));         // not 32-bit
    EXPECT_FALSE(builder.NewCel(image.get(), 4, 0, 2, 2));   // starts past the right edge
    EXPECT_FALSE(builder.NewCel(image.get(), -3, 0, 3, 2));  // nothing left after clipping
    EXPECT_FALSE(builder.NewCel(nullptr, 0, 0, 1, 1));
    ASSERT_TRUE(builder.NewCel(image.get(), -1, -1, 3, 3));  // clipped to 2 x 2 at (0, 0)
    ASSERT_TRUE(builder.NewCel(image.get(), 3, 2, 5, 5));    // clipped to 1 x 2
    builder.NewLoop(0);
    EXPECT_FALSE(builder.NewCel(image.get(), 0, 0, 1, 1));  // a mirror takes no cels
    CView* view = builder.Fixate(nullptr);
    builder.NewLoop();  // ignored once fixed
    EXPECT_FALSE(builder.NewCel(image.get(), 0, 0, 1, 1));
    ASSERT_EQ(Cels(*view), "[2x2(0,0) 1x2(0,0)][2x2(0,0) 1x2(0,0)]");
    // Memory rows 1..0 = picture rows 2..3.
    EXPECT_EQ(CelPixels(*view, 0, 0), (std::vector<u32>{0xFF000200u, 0xFF000201u, 0xFF000300u, 0xFF000301u}));
    EXPECT_EQ(CelPixels(*view, 0, 1), (std::vector<u32>{0xFF000003u, 0xFF000103u}));
    // The generated view outlives the builder while someone holds it.
    view->AddRef();
    {
        CViewBuilder other;
        other.NewLoop();
        other.NewCel(image.get(), 0, 0, 1, 1);
        // Destroyed without Fixate: only the buffer goes.
    }
    TResourceRef<CView> keep(view);
    view->Release();
    EXPECT_EQ(view->RefCount(), 2u);  // builder + keep
}

TEST(ViewBuilder, WritesTheViewFormatByteForByteAndFixatesOnce) {
    // 2 x 2 image, picture rows top to bottom: (A, B), (C, D); memory row 0 is the bottom one.
    CBitmap image(2, 2, PixelFormat::Rgba8888);
    const u32 a = 0xFF0000AA, bb = 0xFF0000BB, c = 0xFF0000CC, d = 0xFF0000DD;
    const u32 top[2] = {a, bb}, bottom[2] = {c, d};
    std::memcpy(image.TopRow(0), top, 8);
    std::memcpy(image.TopRow(1), bottom, 8);

    CViewBuilder builder;
    builder.NewLoop();
    ASSERT_TRUE(builder.NewCel(&image, 0, 0, 2, 2));
    builder.NewLoop(0);
    builder.NewLoop();
    ASSERT_TRUE(builder.NewCel(&image, 1, 1, 1, 1));  // memory row 1 = picture row 0: B
    ASSERT_TRUE(builder.NewCel(&image, 0, 0, 2, 1));  // memory row 0 = picture row 1: C, D

    Bytes expected = FirstLoop(ViewHeader("VIEW", 32, 3), 1);
    expected.U32(2).U32(2).U32(0).U32(0).U32(a).U32(bb).U32(c).U32(d);
    expected.U32(1).U32(0);
    expected.U32(0).U32(2);
    expected.U32(1).U32(1).U32(0).U32(0).U32(bb);
    expected.U32(2).U32(1).U32(0).U32(0).U32(c).U32(d);
    ASSERT_NE(builder.Buffer(), nullptr);
    EXPECT_EQ(builder.Buffer()->Bytes(), expected.v);

    CView* view = builder.Fixate(nullptr);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(builder.Fixate(nullptr), view);
    EXPECT_STREQ(view->Name(), "[generated]");
    EXPECT_EQ(view->RefCount(), 1u);
    EXPECT_EQ(view->BlendMode(), 1u);
    ASSERT_EQ(view->LoopCount(), 3u);
    EXPECT_EQ(view->CelCount(1), 1u);
    EXPECT_EQ(view->GetCelPixel(0, 0, 0, 0), a);
    EXPECT_EQ(view->GetCelPixel(0, 0, 1, 1), d);
    EXPECT_EQ(view->GetCelPixel(2, 1, 1, 0), d);
}
