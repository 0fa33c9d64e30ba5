// The 32-bit load path and the streaming of image data: pictures must come out exactly as the
// plain load followed by the engine's 32-bit conversion, however the data is cut into chunks.
#include <gtest/gtest.h>

#include <cstring>

#include "PngTestUtil.h"
#include "data/DataBin.h"
#include "image/CodecPNG.h"
#include "image/ImageLoad.h"

using namespace ove;
using namespace pngtest;

namespace {

struct Loaded {
    std::unique_ptr<CBitmapInterface> bitmap;
    u32 error = 0;
};

Loaded Load(const Bytes& file, bool rgba) {
    CBuffer source(file.data(), static_cast<u32>(file.size()));
    CCodecPNG codec;
    Loaded l;
    l.bitmap = rgba ? codec.LoadRgba(&source) : codec.Load(&source);
    l.error = codec.GetError();
    return l;
}

// LoadRgba must give what Load and the conversion every loaded picture goes through give.
void ExpectRgbaLoadAsConverted(const Bytes& file, const std::string& what) {
    SCOPED_TRACE(what);
    Loaded plain = Load(file, false);
    Loaded direct = Load(file, true);
    ASSERT_EQ(plain.error, direct.error);
    if (!plain.bitmap) {
        EXPECT_FALSE(direct.bitmap);
        return;
    }
    const i32 transparent = plain.bitmap->TransparentIndex();
    std::unique_ptr<CBitmapInterface> converted = ConvertToRgba8888(std::move(plain.bitmap));
    ASSERT_TRUE(converted && direct.bitmap);
    ASSERT_EQ(direct.bitmap->Format(), PixelFormat::Rgba8888);
    ASSERT_EQ(direct.bitmap->Width(), converted->Width());
    ASSERT_EQ(direct.bitmap->Height(), converted->Height());
    EXPECT_EQ(direct.bitmap->TransparentIndex(), transparent);
    for (u32 y = 0; y < converted->Height(); ++y)
        ASSERT_EQ(std::memcmp(direct.bitmap->Row(y), converted->Row(y), converted->Width() * 4), 0) << "row " << y;
}

std::vector<u32> Palette(int entries, u32 seed) {
    std::mt19937 rng(seed);
    std::vector<u32> p(entries);
    for (auto& c : p) c = rng() & 0xFFFFFF;
    return p;
}

// Splits the file's image data into IDAT chunks of `piece` bytes, with an unknown chunk between
// every two of them.
Bytes Resplit(const Bytes& file, std::size_t piece) {
    Bytes data, out(file.begin(), file.begin() + 8), tail;
    std::size_t pos = 8;
    bool seenData = false;
    while (pos + 8 <= file.size()) {
        const u32 length = u32(file[pos]) << 24 | u32(file[pos + 1]) << 16 | u32(file[pos + 2]) << 8 | file[pos + 3];
        const std::string type(file.begin() + pos + 4, file.begin() + pos + 8);
        const std::size_t end = pos + 12 + length;
        if (type == "IDAT") {
            data.insert(data.end(), file.begin() + pos + 8, file.begin() + pos + 8 + length);
            seenData = true;
        } else {
            Bytes& to = seenData ? tail : out;
            to.insert(to.end(), file.begin() + pos, file.begin() + end);
        }
        pos = end;
    }
    for (std::size_t at = 0; at < data.size(); at += piece) {
        Bytes c = Chunk("IDAT", Bytes(data.begin() + at, data.begin() + std::min(data.size(), at + piece)));
        out.insert(out.end(), c.begin(), c.end());
        c = Chunk("zzZz", Bytes{1, 2, 3});
        out.insert(out.end(), c.begin(), c.end());
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

}  // namespace

TEST(StreamingPNG, RgbaLoadEqualsLoadThenConversionForEveryKindOfPicture) {
    const int kinds[][2] = {{PNG_COLOR_TYPE_GRAY, 1},    {PNG_COLOR_TYPE_GRAY, 2},      {PNG_COLOR_TYPE_GRAY, 4},
                            {PNG_COLOR_TYPE_GRAY, 8},    {PNG_COLOR_TYPE_GRAY, 16},     {PNG_COLOR_TYPE_PALETTE, 1},
                            {PNG_COLOR_TYPE_PALETTE, 2}, {PNG_COLOR_TYPE_PALETTE, 4},   {PNG_COLOR_TYPE_PALETTE, 8},
                            {PNG_COLOR_TYPE_RGB, 8},     {PNG_COLOR_TYPE_RGB, 16},      {PNG_COLOR_TYPE_GRAY_ALPHA, 8},
                            {PNG_COLOR_TYPE_GRAY_ALPHA, 16}, {PNG_COLOR_TYPE_RGB_ALPHA, 8}, {PNG_COLOR_TYPE_RGB_ALPHA, 16}};
    u32 seed = 100;
    for (const auto& k : kinds) {
        for (bool interlace : {false, true}) {
            for (auto [w, h] : {std::pair<u32, u32>{1, 1}, {5, 3}, {37, 23}}) {
                // Palettes: none, fully opaque, 0/255 only (a transparent index), partial alpha.
                for (int alphaKind = 0; alphaKind < (k[0] == PNG_COLOR_TYPE_PALETTE ? 4 : 1); ++alphaKind) {
                    PngSpec spec;
                    spec.width = w;
                    spec.height = h;
                    spec.colourType = k[0];
                    spec.depth = k[1];
                    spec.interlace = interlace;
                    if (k[0] == PNG_COLOR_TYPE_PALETTE) {
                        spec.palette = Palette(1 << k[1], seed);
                        if (alphaKind == 1) spec.paletteAlpha = {255, 255};
                        if (alphaKind == 2) spec.paletteAlpha = {255, 0, 255, 0};
                        if (alphaKind == 3) spec.paletteAlpha = {0, 90, 255};
                        if (spec.paletteAlpha.size() > spec.palette.size()) spec.paletteAlpha.resize(spec.palette.size());
                    }
                    if (k[0] == PNG_COLOR_TYPE_GRAY && k[1] == 8 && w == 5) spec.greyKey = 3;
                    ExpectRgbaLoadAsConverted(WritePng(spec, SampleRows(spec, seed++)),
                                              std::to_string(k[0]) + "/" + std::to_string(k[1]) + " " +
                                                  std::to_string(w) + "x" + std::to_string(h) +
                                                  (interlace ? " interlaced" : "") + " alpha " +
                                                  std::to_string(alphaKind));
                }
            }
        }
    }
    // A palette file whose palette covers every index is the same whether grey-looking or not.
    PngSpec spec;
    spec.width = 40;
    spec.height = 7;
    spec.colourType = PNG_COLOR_TYPE_PALETTE;
    spec.depth = 8;
    for (u32 i = 0; i < 256; ++i) spec.palette.push_back(i * 0x010101u);
    ExpectRgbaLoadAsConverted(WritePng(spec, SampleRows(spec, 7)), "grey ramp palette");
    // Errors are the same on both paths.
    ExpectRgbaLoadAsConverted(MakePng(IhdrData(1, 1, 8, 2), Bytes{5, 1, 2, 3}), "filter 5");
    ExpectRgbaLoadAsConverted(MakePng(IhdrData(30000, 30000, 8, 6), Bytes{0, 1, 2, 3, 4}), "too big");
}

TEST(StreamingPNG, ImageDataCutAnywhereAndRowsWiderThanTheInflateWindow) {
    // Rows of 131,073 bytes (16-bit RGBA at the widest picture allowed) straddle the inflater's
    // hand-overs, so rows are assembled from pieces of two deliveries.
    PngSpec wide;
    wide.width = 16384;
    wide.height = 3;
    wide.depth = 16;
    wide.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    PngSpec tall;
    tall.width = 61;
    tall.height = 700;
    tall.interlace = true;
    tall.colourType = PNG_COLOR_TYPE_PALETTE;
    tall.depth = 4;
    tall.palette = Palette(16, 3);
    tall.paletteAlpha = {0, 128};
    for (const PngSpec& spec : {wide, tall}) {
        const Bytes file = WritePng(spec, SampleRows(spec, 21));
        Rgba expected;
        ASSERT_TRUE(ReadWithLibpng(file, expected));
        for (std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(4096), std::size_t(1) << 20}) {
            SCOPED_TRACE("pieces of " + std::to_string(piece) + ", width " + std::to_string(spec.width));
            const Bytes split = piece == 1 && spec.width > 1000 ? file : Resplit(file, piece);
            Loaded l = Load(split, false);
            ASSERT_TRUE(l.bitmap) << l.error;
            EXPECT_TRUE(BitmapToRgba(*l.bitmap, !spec.paletteAlpha.empty()) == expected);
            Loaded r = Load(split, true);
            ASSERT_TRUE(r.bitmap) << r.error;
            EXPECT_TRUE(BitmapToRgba(*r.bitmap, true) == expected);
        }
    }
}

TEST(StreamingPNG, ChunksAfterTheImageDataStillApply) {
    // Palette and transparency after the image data: all chunks are read before any row.
    PngSpec spec;
    spec.width = 9;
    spec.height = 4;
    spec.colourType = PNG_COLOR_TYPE_PALETTE;
    spec.depth = 8;
    spec.palette = Palette(256, 5);
    spec.paletteAlpha = {0, 77};
    const Bytes file = WritePng(spec, SampleRows(spec, 6));
    Rgba expected;
    ASSERT_TRUE(ReadWithLibpng(file, expected));
    // Move every chunk but IHDR behind the image data.
    Bytes moved(file.begin(), file.begin() + 33), late, data;
    for (std::size_t pos = 33; pos + 8 <= file.size();) {
        const u32 length = u32(file[pos]) << 24 | u32(file[pos + 1]) << 16 | u32(file[pos + 2]) << 8 | file[pos + 3];
        const std::string type(file.begin() + pos + 4, file.begin() + pos + 8);
        Bytes& to = type == "IDAT" ? data : type == "IEND" ? moved : late;
        if (type == "IEND") {
            moved.insert(moved.end(), data.begin(), data.end());
            moved.insert(moved.end(), late.begin(), late.end());
        }
        to.insert(to.end(), file.begin() + pos, file.begin() + pos + 12 + length);
        pos += 12 + length;
    }
    Loaded l = Load(moved, true);
    ASSERT_TRUE(l.bitmap) << l.error;
    EXPECT_TRUE(BitmapToRgba(*l.bitmap, true) == expected);
}

TEST(StreamingPNG, HeadersPromisingMoreThanTheDataCanHoldFailEarly) {
    // 16384 x 16384 at one bit per pixel with partial transparency would be a 1 GiB picture; a few
    // bytes of data cannot hold its 33 MB of rows. Both paths refuse it as too short.
    const Bytes trns = Chunk("tRNS", Bytes{0x80, 0xFF});
    const Bytes plte = Chunk("PLTE", Bytes{0, 0, 0, 255, 255, 255});
    const Bytes file = MakePng(IhdrData(16384, 16384, 1, 3), Bytes(2049 * 4, 0), {plte, trns});
    for (bool rgba : {false, true}) {
        Loaded l = Load(file, rgba);
        EXPECT_FALSE(l.bitmap);
        EXPECT_EQ(l.error, CodecErrorValue(kCodecTruncated));
    }
    // Damaged compressed data is still reported as such first.
    Bytes damaged = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Bytes& c : {Chunk("IHDR", IhdrData(16384, 16384, 1, 3)), plte, trns, Chunk("IDAT", Bytes{0x78, 0x9C, 0x07}),
                           Chunk("IEND", {})})
        damaged.insert(damaged.end(), c.begin(), c.end());
    EXPECT_EQ(Load(damaged, true).error, CodecErrorValue(kCodecUnsupported, kPNGInflateFailed));
    // Data ending a row early: the rows before it are not enough.
    PngSpec spec;
    spec.width = 100;
    spec.height = 50;
    Bytes raw;
    for (const Bytes& r : SampleRows(spec, 9)) {
        raw.push_back(0);
        raw.insert(raw.end(), r.begin(), r.end());
    }
    raw.resize(raw.size() - 10);
    for (bool rgba : {false, true})
        EXPECT_EQ(Load(MakePng(IhdrData(100, 50, 8, 2), raw), rgba).error, CodecErrorValue(kCodecTruncated));
}
