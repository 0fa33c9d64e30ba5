// The 32-bit load path and the streaming of image data: pictures must come out exactly as the
// plain load followed by the engine's 32-bit conversion, however the data is cut into chunks.
#include <gtest/gtest.h>

#include <cstring>

#include "image/ImageLoad.h"
#include "support/PngTestUtil.h"

using namespace ove;
using namespace pngtest;

namespace {

// LoadRgba must give what Load and the conversion every loaded picture goes through give.
void ExpectRgbaLoadAsConverted(const Bytes& file, const std::string& what) {
    SCOPED_TRACE(what);
    Decoded plain = Decode(file, false);
    Decoded direct = Decode(file, true);
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

// Splits the file's image data into IDAT chunks of `piece` bytes, with an empty IDAT chunk and an
// unknown one with a wrong CRC (CRCs are never checked) between every two of them.
Bytes Resplit(const Bytes& file, std::size_t piece) {
    Bytes data;
    std::vector<Bytes> out, tail;
    for (const auto& [type, chunk] : Chunks(file)) {
        if (type == "IDAT") data.insert(data.end(), chunk.begin() + 8, chunk.end() - 4);
        else (data.empty() ? out : tail).push_back(chunk);
    }
    for (std::size_t at = 0; at < data.size(); at += piece) {
        out.push_back(Chunk("IDAT", Bytes(data.begin() + at, data.begin() + std::min(data.size(), at + piece))));
        out.push_back(Chunk("IDAT", {}));
        out.push_back(Chunk("zzZz", Bytes{1, 2, 3}));
        out.back().back() ^= 0xFF;
    }
    out.insert(out.end(), tail.begin(), tail.end());
    return PngFile(out);
}

}  // namespace

TEST(StreamingPNG, RgbaLoadEqualsLoadThenConversionForEveryKindOfPicture) {
    // Palettes: none, fully opaque, 0/255 only (a transparent index), partial alpha.
    const std::vector<u8> alphas[] = {{}, {255, 255}, {255, 0, 255, 0}, {0, 90, 255}};
    u32 seed = 100;
    for (const Combination& k : kCombinations)
        for (bool interlace : {false, true})
            for (auto [w, h] : {std::pair<u32, u32>{1, 1}, {5, 3}, {37, 23}})
                for (const std::vector<u8>& alpha : alphas) {
                    PngPicture picture = Picture(w, h, k.colourType, k.depth, interlace, seed);
                    if (!alpha.empty() && picture.palette.empty()) break;
                    picture.paletteAlpha = alpha;
                    if (picture.paletteAlpha.size() > picture.palette.size())
                        picture.paletteAlpha.resize(picture.palette.size());
                    if (k.colourType == PNG_COLOR_TYPE_GRAY && k.depth == 8 && w == 5) picture.greyKey = 3;
                    ExpectRgbaLoadAsConverted(SampleFile(picture, seed++), Describe(picture));
                }
    // A palette file whose palette covers every index is the same whether grey-looking or not.
    PngPicture picture = Picture(40, 7, PNG_COLOR_TYPE_PALETTE);
    for (u32 i = 0; i < 256; ++i) picture.palette[i] = i * 0x010101u;
    ExpectRgbaLoadAsConverted(SampleFile(picture, 7), "grey ramp palette");
    // Errors are the same on both paths.
    ExpectRgbaLoadAsConverted(MakePng(IhdrData(1, 1, 8, 2), Bytes{5, 1, 2, 3}), "filter 5");
    ExpectRgbaLoadAsConverted(MakePng(IhdrData(30000, 30000, 8, 6), Bytes{0, 1, 2, 3, 4}), "too big");
}

TEST(StreamingPNG, ImageDataCutAnywhereAndRowsWiderThanTheInflateWindow) {
    // Rows of 131,073 bytes (16-bit RGBA at the widest picture allowed) straddle the inflater's
    // hand-overs, so rows are assembled from pieces of two deliveries.
    PngPicture wide = Picture(16384, 3, PNG_COLOR_TYPE_RGB_ALPHA, 16);
    PngPicture tall = Picture(61, 700, PNG_COLOR_TYPE_PALETTE, 4, true, 3);
    tall.paletteAlpha = {0, 128};
    for (const PngPicture& picture : {wide, tall}) {
        const Bytes file = SampleFile(picture, 21);
        Rgba expected;
        ASSERT_TRUE(ReadWithLibpng(file, expected));
        for (std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(4096), std::size_t(1) << 20}) {
            SCOPED_TRACE(Describe(picture) + ", pieces of " + std::to_string(piece));
            const Bytes split = piece == 1 && picture.width > 1000 ? file : Resplit(file, piece);
            for (bool rgba : {false, true}) {
                Decoded d = Decode(split, rgba);
                ASSERT_TRUE(d.bitmap) << d.text;
                ExpectSamePicture(BitmapToRgba(*d.bitmap, rgba || !picture.paletteAlpha.empty()), expected);
            }
        }
    }
}

TEST(StreamingPNG, ChunksAfterTheImageDataStillApply) {
    // Palette and transparency after the image data: all chunks are read before any row.
    PngPicture picture = Picture(9, 4, PNG_COLOR_TYPE_PALETTE, 8, false, 5);
    picture.paletteAlpha = {0, 77};
    const Bytes file = SampleFile(picture, 6);
    Rgba expected;
    ASSERT_TRUE(ReadWithLibpng(file, expected));
    // Move every chunk but IHDR behind the image data.
    std::vector<Bytes> head, data, late, end;
    for (const auto& [type, chunk] : Chunks(file))
        (type == "IHDR" ? head : type == "IDAT" ? data : type == "IEND" ? end : late).push_back(chunk);
    for (auto* part : {&data, &late, &end}) head.insert(head.end(), part->begin(), part->end());
    Decoded d = Decode(PngFile(head), true);
    ASSERT_TRUE(d.bitmap) << d.text;
    ExpectSamePicture(BitmapToRgba(*d.bitmap, true), expected);
}

TEST(StreamingPNG, HeadersPromisingMoreThanTheDataCanHoldFailEarly) {
    // 16384 x 16384 at one bit per pixel with partial transparency would be a 1 GiB picture; a few
    // bytes of data cannot hold its 33 MB of rows. Both paths refuse it as too short.
    const Bytes trns = Chunk("tRNS", Bytes{0x80, 0xFF});
    const Bytes plte = Chunk("PLTE", Bytes{0, 0, 0, 255, 255, 255});
    const Bytes file = MakePng(IhdrData(16384, 16384, 1, 3), Bytes(2049 * 4, 0), {plte, trns});
    // Data ending a row early: the rows before it are not enough.
    Bytes raw = Unfiltered(SampleRows(Picture(100, 50), 9));
    raw.resize(raw.size() - 10);
    for (bool rgba : {false, true}) {
        Decoded d = Decode(file, rgba);
        EXPECT_FALSE(d.bitmap);
        EXPECT_EQ(d.error, CodecErrorValue(kCodecTruncated));
        EXPECT_EQ(Decode(MakePng(IhdrData(100, 50, 8, 2), raw), rgba).error, CodecErrorValue(kCodecTruncated));
    }
    // Damaged compressed data is still reported as such first.
    const Bytes damaged = PngFile({Chunk("IHDR", IhdrData(16384, 16384, 1, 3)), plte, trns,
                                   Chunk("IDAT", Bytes{0x78, 0x9C, 0x07}), Chunk("IEND", {})});
    EXPECT_EQ(Decode(damaged, true).error, CodecErrorValue(kCodecUnsupported, kPNGInflateFailed));
}
