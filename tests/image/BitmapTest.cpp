// The bitmap model: formats, palettes, conversions and the three bitmap kinds.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "image/Bitmap.h"

using namespace ove;

namespace {

PixelFormat PF(int v) { return static_cast<PixelFormat>(v); }

u32 Pixel32(const CBitmapInterface& b, u32 x, u32 memoryRow) {
    const u8* p = b.Row(memoryRow) + x * 4;
    return p[0] | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}

// The first bytes of the bitmap's pixel memory.
std::vector<u8> First(const CBitmapInterface& b, std::size_t n) { return std::vector<u8>(b.Pixels(), b.Pixels() + n); }

void SetPixel16(CBitmapInterface& b, u32 x, u32 row, u32 v) {
    b.Row(row)[x * 2] = static_cast<u8>(v);
    b.Row(row)[x * 2 + 1] = static_cast<u8>(v >> 8);
}

}  // namespace

TEST(BitmapFormat, RowsArePaddedToFourBytesAndGreysGetRamps) {
    const std::tuple<u32, PixelFormat, u32> strides[] = {{33, PixelFormat::Grey1, 8},
                                                         {3, PixelFormat::Rgb888, 12},
                                                         {1, PixelFormat::Rgb16, 8},
                                                         {5, PixelFormat::Grey4, 4},
                                                         {7, PixelFormat::Rgb565, 16}};
    for (const auto& [w, format, stride] : strides) EXPECT_EQ(CBitmapBuffer(w, 3, format).Stride(), stride) << w;
    EXPECT_EQ(ComputeStride(0xFFFFFFFFu, 64), 0u);  // does not fit: no bogus small stride
    // The default palette of an n-bit grey steps evenly from black to white.
    for (auto [format, entries] : {std::pair{PixelFormat::Grey1, 2u},
                                   {PixelFormat::Grey2, 4u},
                                   {PixelFormat::Grey4, 16u},
                                   {PixelFormat::Grey8, 256u}}) {
        CBitmapBuffer g(1, 1, format);
        for (u32 i = 0; i < entries; ++i)
            EXPECT_EQ(g.GetPaletteEntry(static_cast<u8>(i)), 0x010101u * (i * 255 / (entries - 1))) << entries;
    }
    EXPECT_EQ(CBitmapBuffer(1, 1, PixelFormat::Grey8).PaletteSize(), 256u);
    EXPECT_EQ(CBitmapBuffer(1, 1, PixelFormat::IndexedAlpha8).PaletteSize(), 256u);
}

TEST(BitmapPalette, EntriesAreStoredBlueGreenRed) {
    u32 pal[2] = {0x00332211, 0x00FF0000};  // red in the low byte
    CBitmapBuffer b(1, 1, PixelFormat::Indexed1, pal);
    ASSERT_EQ(b.Format(), PixelFormat::Indexed1);
    u8 bytes[4];
    std::memcpy(bytes, &b.Palette()[0], 4);
    EXPECT_EQ(std::vector<u8>(bytes, bytes + 4), (std::vector<u8>{0x33, 0x22, 0x11, 0x00}));  // blue first
    EXPECT_EQ(b.GetPaletteEntry(0), 0x00332211u);
    b.SetPaletteEntry(1, 0x000000FF);
    EXPECT_EQ(b.Palette()[1], 0x00FF0000u);
}

TEST(BitmapPalette, GreyRampTurnsIndexedIntoGrey) {
    u32 ramp[256];
    for (u32 i = 0; i < 256; ++i) ramp[i] = i * 0x010101u;
    EXPECT_EQ(CBitmapBuffer(2, 2, PixelFormat::Indexed8, ramp).Format(), PixelFormat::Grey8);
    EXPECT_EQ(CBitmapBuffer(2, 2, PixelFormat::IndexedAlpha8, ramp).Format(), PixelFormat::GreyAlpha8);
    u32 coloured[256];
    std::memcpy(coloured, ramp, sizeof ramp);
    coloured[77] = 0x004D4D4E;
    EXPECT_EQ(CBitmapBuffer(2, 2, PixelFormat::Indexed8, coloured).Format(), PixelFormat::Indexed8);
    // Equal grey steps are fine, a step down is not.
    u32 flat[16] = {0,        0,        0x111111, 0x111111, 0x222222, 0x333333, 0x444444, 0x555555,
                    0x666666, 0x777777, 0x888888, 0x999999, 0xAAAAAA, 0xBBBBBB, 0xCCCCCC, 0xCCCCCC};
    EXPECT_EQ(CBitmapBuffer(2, 2, PixelFormat::Indexed4, flat).Format(), PixelFormat::Grey4);
    flat[15] = 0x101010;
    EXPECT_EQ(CBitmapBuffer(2, 2, PixelFormat::Indexed4, flat).Format(), PixelFormat::Indexed4);
    u32 bw[2] = {0, 0xFFFFFF};
    EXPECT_EQ(CBitmap(9, 1, PixelFormat::Indexed1, bw).Format(), PixelFormat::Grey1);
    u32 wb[2] = {0xFFFFFF, 0};
    EXPECT_EQ(CBitmap(9, 1, PixelFormat::Indexed1, wb).Format(), PixelFormat::Indexed1);
    // Without a palette an indexed bitmap gets the grey ramp but stays indexed.
    CBitmapBuffer plain(1, 1, PixelFormat::Indexed8);
    EXPECT_EQ(plain.Format(), PixelFormat::Indexed8);
    EXPECT_EQ(plain.GetPaletteEntry(9), 0x090909u);
}

TEST(BitmapCopy, FiveAndSixBitChannelsWiden) {
    CBitmapBuffer src(2, 1, PixelFormat::Rgb565), dst(2, 1, PixelFormat::Rgba8888);
    SetPixel16(src, 0, 0, (31u << 11) | (32u << 5) | 1u);
    SetPixel16(src, 1, 0, (16u << 11) | (63u << 5) | 30u);
    ASSERT_TRUE(dst.CopyFrom(src));
    EXPECT_EQ(Pixel32(dst, 0, 0) & 0xFFFFFF, 0xFF8108u);  // red 31, green 32, blue 1 -> 255/31
    EXPECT_EQ(Pixel32(dst, 1, 0) & 0xFFFFFF, 0x83FFF6u);  // 16 * 255 / 31, 63, 30 * 255 / 31

    CBitmapBuffer s555(1, 1, PixelFormat::Rgb555), d888(1, 1, PixelFormat::Rgb888);
    SetPixel16(s555, 0, 0, (31u << 10) | (1u << 5) | 16u);
    ASSERT_TRUE(d888.CopyFrom(s555));
    EXPECT_EQ(First(d888, 3), (std::vector<u8>{131, 8, 255}));  // blue, green, red
}

TEST(BitmapCopy, PackingDropsLowBits) {
    CBitmapBuffer src(1, 1, PixelFormat::Rgb888), d565(1, 1, PixelFormat::Rgb565), d555(1, 1, PixelFormat::Rgb555);
    std::memcpy(src.Pixels(), "\x0F\x83\xFF", 3);  // blue, green, red
    ASSERT_TRUE(d565.CopyFrom(src));
    ASSERT_TRUE(d555.CopyFrom(src));
    u32 v565 = d565.Pixels()[0] | (u32(d565.Pixels()[1]) << 8);
    u32 v555 = d555.Pixels()[0] | (u32(d555.Pixels()[1]) << 8);
    EXPECT_EQ(v565, (31u << 11) | (0x83u >> 2 << 5) | (0x0Fu >> 3));
    EXPECT_EQ(v555, (31u << 10) | (0x83u >> 3 << 5) | (0x0Fu >> 3));
}

TEST(BitmapCopy, IndexedSourcesLookUpTheirPalette) {
    u32 pal[16] = {};
    pal[0] = 0x000000FF;  // red
    pal[5] = 0x0000FF00;  // green
    pal[15] = 0x00123456;
    CBitmapBuffer src(3, 1, PixelFormat::Indexed4, pal), dst(3, 1, PixelFormat::Rgb888);
    src.Pixels()[0] = 0x05;  // cells 0, 5
    src.Pixels()[1] = 0xF0;  // cell 15
    ASSERT_TRUE(dst.CopyFrom(src));
    // Stored as blue, green, red: red, green, then entry 0x123456 (red 0x56 in the low byte).
    EXPECT_EQ(First(dst, 9), (std::vector<u8>{0, 0, 0xFF, 0, 0xFF, 0, 0x12, 0x34, 0x56}));
}

TEST(BitmapCopy, PaletteToPaletteMovesValues) {
    CBitmapBuffer one(10, 2, PixelFormat::Indexed1), eight(10, 2, PixelFormat::Indexed8);
    one.Row(1)[0] = 0xA0;  // 1,0,1,0,0,0,0,0
    one.Row(1)[1] = 0x40;  // cell 9 = 1
    ASSERT_TRUE(eight.CopyFrom(one));
    EXPECT_EQ(std::vector<u8>(eight.Row(1), eight.Row(1) + 10), (std::vector<u8>{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(eight.Row(0)[0], 0);

    // Values are not rescaled; the target keeps its own palette.
    CBitmapBuffer g2(4, 1, PixelFormat::Grey2), g4(4, 1, PixelFormat::Grey4);
    g2.Pixels()[0] = 0x1B;  // 0,1,2,3
    ASSERT_TRUE(g4.CopyFrom(g2));
    EXPECT_EQ(First(g4, 2), (std::vector<u8>{0x01, 0x23}));
    EXPECT_EQ(g4.GetPaletteEntry(3), 0x333333u);

    // 16-bit grey counts as 8 bits and gives its first byte.
    CBitmapBuffer g16(2, 1, PixelFormat::Grey16), g8(2, 1, PixelFormat::Grey8);
    SetPixel16(g16, 0, 0, 0x12AB);
    SetPixel16(g16, 1, 0, 0x34CD);
    ASSERT_TRUE(g8.CopyFrom(g16));
    EXPECT_EQ(First(g8, 2), (std::vector<u8>{0xAB, 0xCD}));

    // A narrower target fails and stays as it was; so do 1-bit targets.
    CBitmapBuffer i8(2, 1, PixelFormat::Indexed8), i4(2, 1, PixelFormat::Indexed4), g1(2, 1, PixelFormat::Grey1);
    i8.Pixels()[0] = 7;
    i4.Pixels()[0] = 0x99;
    EXPECT_FALSE(i4.CopyFrom(i8));
    EXPECT_EQ(i4.Pixels()[0], 0x99);
    CBitmapBuffer narrowOne(2, 1, PixelFormat::Indexed1);
    EXPECT_FALSE(g1.CopyFrom(narrowOne));

    // Into a 16-bit palette format: value in the first byte, opaque.
    CBitmapBuffer ga(2, 1, PixelFormat::IndexedAlpha8);
    ASSERT_TRUE(ga.CopyFrom(i8));
    EXPECT_EQ(First(ga, 2), (std::vector<u8>{7, 255}));
}

TEST(BitmapCopy, WideAndAlphaSourcesIntoRgba) {
    const u32 tenBits = (0x3FFu << 20) | (0x200u << 10) | 0x004u;
    const struct {
        PixelFormat format;
        std::vector<u8> bytes;
        u32 expected;
        u32 mask;  // the bits of the result that are checked
    } cases[] = {
        {PixelFormat::GreyAlpha8, {0x40, 0x80}, 0x80404040u, 0xFFFFFFFFu},
        {PixelFormat::Grey16, {0x90, 0x01}, 0x909090u, 0xFFFFFFu},
        {PixelFormat::GreyAlpha16, {0x33, 0x01, 0x77, 0x02}, 0x77333333u, 0xFFFFFFFFu},
        // B, G, R, A samples.
        {PixelFormat::Rgba16, {0x10, 0xFF, 0x20, 0xFF, 0x30, 0xFF, 0x40, 0xFF}, 0x40302010u, 0xFFFFFFFFu},
        {PixelFormat::Rgbx8888, {1, 2, 3, 0}, 0xFF030201u, 0xFFFFFFFFu},  // the ignored byte does not become alpha
        {PixelFormat::Rgb101010,
         {u8(tenBits), u8(tenBits >> 8), u8(tenBits >> 16), u8(tenBits >> 24)},
         0xFF8001u,
         0xFFFFFFu},
    };
    CBitmapBuffer dst(1, 1, PixelFormat::Rgba8888);
    for (const auto& c : cases) {
        CBitmapBuffer src(1, 1, c.format);
        std::memcpy(src.Pixels(), c.bytes.data(), c.bytes.size());
        ASSERT_TRUE(dst.CopyFrom(src)) << static_cast<int>(c.format);
        EXPECT_EQ(Pixel32(dst, 0, 0) & c.mask, c.expected) << static_cast<int>(c.format);
    }
}

TEST(BitmapCopy, SizeMismatchesAndTargetsThatCannotBeProducedFailLeavingTheTarget) {
    CBitmapBuffer src(2, 2, PixelFormat::Rgb888);
    std::memset(src.Pixels(), 0x11, src.PixelBytes());
    const std::pair<u32, PixelFormat> targets[] = {{3, PixelFormat::Rgb888}, {2, PixelFormat::Indexed8},
                                                   {2, PixelFormat::Grey8},  {2, PixelFormat::Rgb101010},
                                                   {2, PixelFormat::Rgba16}, {2, PixelFormat::GreyAlpha16}};
    for (const auto& [height, format] : targets) {
        CBitmapBuffer dst(2, height, format);
        std::memset(dst.Pixels(), 0x6C, dst.PixelBytes());
        EXPECT_FALSE(dst.CopyFrom(src)) << static_cast<int>(format);
        for (std::size_t i = 0; i < dst.PixelBytes(); ++i) ASSERT_EQ(dst.Pixels()[i], 0x6C) << i;
    }
}

TEST(Bitmap, MakeOpaqueAndFlip) {
    CBitmapBuffer b(3, 3, PixelFormat::Rgbx8888);
    b.MakeOpaque();
    EXPECT_EQ(b.Format(), PixelFormat::Rgba8888);
    for (u32 i = 0; i < 9; ++i) EXPECT_EQ(Pixel32(b, i % 3, i / 3), 0xFF000000u);
    CBitmapBuffer rgb(2, 2, PixelFormat::Rgb888);
    rgb.MakeOpaque();
    EXPECT_EQ(rgb.Format(), PixelFormat::Rgb888);
    EXPECT_EQ(rgb.Pixels()[3], 0);

    for (u32 h : {1u, 4u, 5u}) {
        CBitmapBuffer f(1, h, PixelFormat::Grey8);
        for (u32 y = 0; y < h; ++y) f.Row(y)[0] = static_cast<u8>(y);
        f.FlipVertical();
        for (u32 y = 0; y < h; ++y) EXPECT_EQ(f.Row(y)[0], h - 1 - y);
    }
}

TEST(CBitmapKinds, DrawingSurfaceAcceptsOnlyItsFormats) {
    const std::set<int> accepted = {1, 2, 5, 6, 7, 8, 12, 13, 14, 16, 17, 18};
    for (int v = 0; v <= 22; ++v) {
        CBitmap b(4, 4, PF(v));
        EXPECT_EQ(!b.IsEmpty(), accepted.count(v) == 1) << v;
        if (!b.IsEmpty()) {
            EXPECT_EQ(b.Pixels()[0], 0);
        }
    }
    u32 coloured[256] = {0x0000FF};
    const std::tuple<u32, const u32*, PixelFormat> byBits[] = {
        {8, coloured, PixelFormat::Indexed8}, {8, nullptr, PixelFormat::Grey8},   {4, coloured, PixelFormat::Indexed4},
        {15, nullptr, PixelFormat::Rgb555},   {16, nullptr, PixelFormat::Rgb565}, {24, nullptr, PixelFormat::Rgb888},
        {32, nullptr, PixelFormat::Rgba8888}};
    for (const auto& [bits, palette, format] : byBits) EXPECT_EQ(CBitmap(4, 4, bits, palette).Format(), format) << bits;
    EXPECT_TRUE(CBitmap(4, 4, 16u, coloured).IsEmpty());  // Grey16
    for (u32 bits : {2u, 12u, 48u, 64u}) EXPECT_TRUE(CBitmap(4, 4, bits).IsEmpty()) << bits;
}

TEST(CBitmapKinds, UnreasonableSizesLeaveBitmapsEmpty) {
    EXPECT_TRUE(CBitmap(100000, 100000, PixelFormat::Rgba8888).IsEmpty());
    EXPECT_TRUE(CBitmapBuffer(0xFFFFFFFFu, 3, PixelFormat::Rgba16).IsEmpty());
    EXPECT_TRUE(CBitmapBuffer(0, 3, PixelFormat::Rgb888).IsEmpty());
    EXPECT_TRUE(CBitmapBuffer(3, 0, PixelFormat::Rgb888).IsEmpty());
    CBitmapBuffer b(2, 2, PixelFormat::Rgb888);
    EXPECT_FALSE(b.Create(0xFFFFFFF0u, 0xFFFFFFF0u, PixelFormat::Grey1));
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.Width(), 0u);
    EXPECT_TRUE(b.Create(3, 1, PixelFormat::Indexed8));  // usable again afterwards
    EXPECT_NE(b.Palette(), nullptr);
}

TEST(CBitmapKinds, ConvertingToRgbaUsesTransparentIndex) {
    u32 pal[256] = {};
    pal[0] = 0x00FF00FF;  // magenta, the transparent key
    pal[1] = 0x000000FF;
    pal[2] = 0x00FF0000;
    CBitmapBuffer src(3, 2, PixelFormat::Indexed8, pal);
    const u8 cells[2][3] = {{0, 1, 2}, {2, 0, 0}};
    for (u32 y = 0; y < 2; ++y) std::memcpy(src.Row(y), cells[y], 3);
    src.SetTransparentIndex(0);
    CBitmap dst(&src, PixelFormat::Rgba8888);
    ASSERT_FALSE(dst.IsEmpty());
    EXPECT_EQ(dst.TransparentIndex(), 0);
    for (u32 y = 0; y < 2; ++y)
        for (u32 x = 0; x < 3; ++x) EXPECT_EQ(Pixel32(dst, x, y) >> 24, cells[y][x] == 0 ? 0u : 255u) << x << "," << y;
    EXPECT_EQ(Pixel32(dst, 1, 0), 0xFFFF0000u);
    EXPECT_EQ(Pixel32(dst, 2, 0), 0xFF0000FFu);

    // Without a transparent index everything is opaque.
    src.SetTransparentIndex(-1);
    CBitmap opaque(&src, PixelFormat::Rgba8888);
    EXPECT_EQ(Pixel32(opaque, 0, 0), 0xFFFF00FFu);

    // 4-bit indices work the same way.
    CBitmapBuffer src4(3, 1, PixelFormat::Indexed4, pal);
    src4.Pixels()[0] = 0x21;
    src4.SetTransparentIndex(2);
    CBitmap dst4(&src4, PixelFormat::Rgba8888);
    for (u32 x = 0; x < 3; ++x) EXPECT_EQ(Pixel32(dst4, x, 0) >> 24, x == 0 ? 0u : 255u) << x;  // cells 2, 1, 0
}

TEST(CBitmapKinds, ConvertingConstructorOpacityRules) {
    CBitmapBuffer ga(2, 1, PixelFormat::GreyAlpha8);
    ga.Pixels()[1] = 0x20;
    ga.Pixels()[3] = 0xE0;
    CBitmap kept(&ga, PixelFormat::Rgba8888);
    EXPECT_EQ(Pixel32(kept, 0, 0) >> 24, 0x20u);
    EXPECT_EQ(Pixel32(kept, 1, 0) >> 24, 0xE0u);

    CBitmapBuffer c565(2, 1, PixelFormat::Rgb565);
    CBitmap fromColour(&c565, PixelFormat::Rgba8888);
    EXPECT_EQ(Pixel32(fromColour, 0, 0), 0xFF000000u);

    EXPECT_EQ(CBitmap(&c565, PixelFormat::Rgb888).Format(), PixelFormat::Rgb888);
    for (PixelFormat f : {PixelFormat::Indexed8, PixelFormat::Rgb101010}) EXPECT_TRUE(CBitmap(&c565, f).IsEmpty());
    EXPECT_TRUE(CBitmap(nullptr, PixelFormat::Rgba8888).IsEmpty());

    // A source palette comes along with a grey target.
    u32 grey[256];
    for (u32 i = 0; i < 256; ++i) grey[i] = i * 0x010101u;
    CBitmapBuffer g8(1, 1, PixelFormat::Grey8, grey);
    g8.Pixels()[0] = 99;
    CBitmap g8copy(&g8, PixelFormat::Grey8);
    EXPECT_EQ(g8copy.Pixels()[0], 99);
    EXPECT_EQ(g8copy.GetPaletteEntry(99), 0x636363u);
}

TEST(CBitmapKinds, ProxySharesThePixelsOfWhatItWraps) {
    auto inner = std::make_unique<CBitmapBuffer>(5, 4, PixelFormat::Rgba8888);
    u8* pixels = inner->Pixels();
    inner->SetTransparentIndex(3);
    CBitmapProxy proxy(std::move(inner));
    EXPECT_EQ(proxy.Pixels(), pixels);
    EXPECT_EQ(std::pair(proxy.Width(), proxy.Height()), std::pair(5u, 4u));
    EXPECT_EQ(proxy.Stride(), 20u);
    EXPECT_EQ(proxy.TransparentIndex(), 3);
    proxy.TopRow(0)[0] = 0x42;
    EXPECT_EQ(proxy.Wrapped()->Row(3)[0], 0x42);
}
