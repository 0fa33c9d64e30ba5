#include <gtest/gtest.h>

#include <algorithm>

#include "image/CodecPNG.h"
#include "io/DataBin.h"
#include "support/PngTestUtil.h"

using namespace ove;
using namespace pngtest;

namespace {

// Checks one libpng-written picture against libpng's own reading of it.
void ExpectSameAsLibpng(const PngPicture& picture, u32 seed, PixelFormat expectedFormat) {
    SCOPED_TRACE(Describe(picture));
    Bytes file = SampleFile(picture, seed);
    ASSERT_FALSE(file.empty());
    Rgba expected;
    ASSERT_TRUE(ReadWithLibpng(file, expected));
    Decoded d = Decode(file);
    ASSERT_TRUE(d.bitmap) << d.text;
    EXPECT_EQ(d.error, 0u);
    EXPECT_EQ(d.bitmap->Format(), expectedFormat);
    ExpectSamePicture(BitmapToRgba(*d.bitmap, !picture.paletteAlpha.empty()), expected);
}

}  // namespace

// libpng's reading keeps the high byte of 16-bit samples and expands low-depth greys, as we do;
// interlaced pictures are compared with it too, so they also equal their plain twins.
TEST(CodecPNG, EveryColourTypeDepthFilterAndInterlaceMatchesLibpng) {
    const std::pair<u32, u32> sizes[] = {{1, 1}, {3, 2}, {37, 23}, {130, 67}};
    const int filterSets[] = {PNG_FILTER_NONE, PNG_FILTER_SUB,   PNG_FILTER_UP,
                              PNG_FILTER_AVG,  PNG_FILTER_PAETH, PNG_ALL_FILTERS};
    u32 seed = 1;
    for (const Combination& c : kCombinations)
        for (bool interlace : {false, true})
            for (auto [w, h] : sizes)
                for (int filters : filterSets) {
                    PngPicture picture = Picture(w, h, c.colourType, c.depth, interlace, seed);
                    picture.filters = filters;
                    ExpectSameAsLibpng(picture, seed++, c.format);
                }
}

TEST(CodecPNG, PalettesAndTransparency) {
    // Only 0 and 255: the picture stays indexed, the last fully transparent entry is the transparent index.
    PngPicture picture = Picture(40, 9, PNG_COLOR_TYPE_PALETTE, 8, false, 3);
    picture.paletteAlpha.assign(10, 255);
    picture.paletteAlpha[2] = 0;
    picture.paletteAlpha[7] = 0;
    ExpectSameAsLibpng(picture, 4, PixelFormat::Indexed8);
    Decoded d = Decode(SampleFile(picture, 4));
    ASSERT_TRUE(d.bitmap);
    EXPECT_EQ(d.bitmap->TransparentIndex(), 7);
    EXPECT_EQ(d.bitmap->GetPaletteEntry(7) >> 24, 0u);
    EXPECT_EQ(d.bitmap->GetPaletteEntry(8) >> 24, 255u);

    // Any partial alpha turns the picture into true colour with alpha, in the right colour order.
    picture.paletteAlpha[5] = 128;
    for (bool interlace : {false, true}) {
        picture.interlace = interlace;
        ExpectSameAsLibpng(picture, 5, PixelFormat::Rgba8888);
    }
    for (int depth : {1, 2, 4}) {
        picture = Picture(40, 9, PNG_COLOR_TYPE_PALETTE, depth, false, 6);
        picture.paletteAlpha = {0, 200};
        ExpectSameAsLibpng(picture, 7, PixelFormat::Rgba8888);
    }
    // Without a tRNS chunk there is no transparent index.
    d = Decode(SampleFile(Picture(40, 9, PNG_COLOR_TYPE_PALETTE, 8, false, 8), 9));
    ASSERT_TRUE(d.bitmap);
    EXPECT_EQ(d.bitmap->TransparentIndex(), -1);

    // A palette longer than 256 entries keeps the first 256 and skips the rest.
    Bytes plte;
    for (int i = 0; i < 300; ++i) plte.insert(plte.end(), {static_cast<u8>(i), static_cast<u8>(i * 3), 0x42});
    d = Decode(MakePng(IhdrData(2, 1, 8, 3), Bytes{0, 0, 255}, {Chunk("PLTE", plte)}));
    ASSERT_TRUE(d.bitmap) << d.text;
    EXPECT_EQ(d.bitmap->GetPaletteEntry(255) & 0xFFFFFF, 0x42u << 16 | ((255 * 3) & 0xFF) << 8 | 255u);

    // A grey transparency key leaves the pixels as they are.
    picture = Picture(20, 20, PNG_COLOR_TYPE_GRAY);
    picture.greyKey = 17;
    ExpectSameAsLibpng(picture, 10, PixelFormat::Grey8);
}

// ---- Errors

TEST(CodecPNG, ErrorsAndTheirMessages) {
    const Bytes plainRow = {0, 10, 20, 30};
    struct Case {
        const char* name;
        Bytes file;
        u32 error;
        const char* text;
    };
    Bytes good = MakePng(IhdrData(1, 1, 8, 2), plainRow);
    Bytes badSignature = good;
    badSignature[1] = 'p';
    Bytes badIhdrLength = good;
    badIhdrLength[11] = 12;
    Bytes badInflate = good;
    badInflate[43] = 0x07;  // first deflate block of the reserved type 3 (after the 2-byte zlib header)
    // Chunks claiming more data than the file has, whether unknown or image data.
    auto claimingTooMuch = [&](const char* type) {
        Bytes f = good;
        f.insert(f.begin() + 33, {0x7F, 0xFF, 0xFF, 0xF0, u8(type[0]), u8(type[1]), u8(type[2]), u8(type[3])});
        return f;
    };
    const Case cases[] = {
        {"signature", badSignature, CodecErrorValue(4), "Invalid header."},
        {"short", Bytes(good.begin(), good.begin() + 5), CodecErrorValue(7), "File ends prematurely."},
        {"ihdr length", badIhdrLength, CodecErrorValue(5), "Invalid file format."},
        {"depth 3", MakePng(IhdrData(1, 1, 3, 0), plainRow), CodecErrorValue(6, 7),
         "Invalid number of bits per channel. The file may be corrupt."},
        {"grey alpha at 4 bits", MakePng(IhdrData(1, 1, 4, 4), plainRow), CodecErrorValue(6, 6),
         "Alpha channel is only supported for RGB or 8bit indexed images."},
        {"interlace 2", MakePng(IhdrData(1, 1, 8, 2, 2), plainRow), CodecErrorValue(6, 4), "Unknown interlace method."},
        {"filter 5", MakePng(IhdrData(1, 1, 8, 2), Bytes{5, 10, 20, 30}), CodecErrorValue(6, 5),
         "Unknown compression type."},
        {"inflate", badInflate, CodecErrorValue(6, 2), "Could not inflate compressed data."},
        {"too little image data", MakePng(IhdrData(2, 2, 8, 2), plainRow), CodecErrorValue(7),
         "File ends prematurely."},
        {"huge unknown chunk", claimingTooMuch("zzzz"), CodecErrorValue(7), "File ends prematurely."},
        {"huge IDAT", claimingTooMuch("IDAT"), CodecErrorValue(7), "File ends prematurely."},
        {"no header", Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0, 'I', 'E', 'N', 'D'},
         CodecErrorValue(5), "Invalid file format."},
        {"zero width", MakePng(IhdrData(0, 1, 8, 2), plainRow), CodecErrorValue(5), "Invalid file format."},
        // Damaged headers claiming huge pictures: the bitmap that cannot be made, or the missing data.
        {"too big", MakePng(IhdrData(30000, 30000, 8, 6), plainRow), CodecErrorValue(8), "Could not create bitmap."},
        {"big, little data", MakePng(IhdrData(16000, 16000, 8, 2), plainRow), CodecErrorValue(7),
         "File ends prematurely."},
        {"big interlaced, first pass only", MakePng(IhdrData(30000, 30000, 8, 6, 1), Bytes(3750 * (1 + 3750 * 4), 0)),
         CodecErrorValue(8), "Could not create bitmap."},
    };
    ASSERT_TRUE(Decode(good).bitmap);
    for (const Case& c : cases) {
        Decoded d = Decode(c.file);
        EXPECT_FALSE(d.bitmap) << c.name;
        EXPECT_EQ(d.error, c.error) << c.name;
        EXPECT_EQ(d.text, c.text) << c.name;
    }

    CCodecPNG codec;
    EXPECT_FALSE(codec.Load(nullptr));
    EXPECT_EQ(codec.GetError(), CodecErrorValue(2));
    EXPECT_STREQ(codec.GetErrorText(), "Could not read from input device.");
    CBitmapBuffer bitmap(4, 4, PixelFormat::Rgb888);
    CBuffer out;
    EXPECT_FALSE(codec.Save(&bitmap, &out));
    EXPECT_STREQ(codec.GetErrorText(), "Saving to PNG files is not supported.");
    EXPECT_EQ(out.GetSize(), 0u);
    // The next operation starts clean.
    CBuffer source(good.data(), static_cast<u32>(good.size()));
    EXPECT_TRUE(codec.Load(&source));
    EXPECT_EQ(codec.GetError(), 0u);
}

TEST(CodecPNG, TruncatedFilesEndPrematurely) {
    PngPicture picture = Picture(33, 21, PNG_COLOR_TYPE_PALETTE, 4, false, 14);
    picture.paletteAlpha = {0, 255, 255};
    Bytes file = SampleFile(picture, 15);
    // Every cut before the end of the IEND chunk's type (its CRC is never read) is premature.
    for (std::size_t cut = 0; cut + 4 < file.size(); ++cut) {
        Decoded d = Decode(Bytes(file.begin(), file.begin() + cut));
        ASSERT_FALSE(d.bitmap) << cut;
        ASSERT_EQ(d.error, CodecErrorValue(7)) << cut;
    }
    EXPECT_TRUE(Decode(Bytes(file.begin(), file.end() - 4)).bitmap);
}

TEST(CodecPNG, DamagedFilesNeverCrash) {
    std::mt19937 rng(16);
    std::vector<Bytes> files;
    for (const Combination& c : kCombinations) {
        PngPicture picture = Picture(23, 19, c.colourType, c.depth, c.depth % 2 == 0, 17);
        if (!picture.palette.empty()) picture.paletteAlpha = {0, 100};
        files.push_back(SampleFile(picture, 18));
    }
    const std::vector<std::string> known = {"Could not inflate compressed data.",
                                            "Unknown interlace method.",
                                            "Unknown compression type.",
                                            "Alpha channel is only supported for RGB or 8bit indexed images.",
                                            "Insufficient memory.",
                                            "Invalid number of bits per channel. The file may be corrupt.",
                                            "Invalid header.",
                                            "Invalid file format.",
                                            "File ends prematurely.",
                                            "Could not create bitmap."};
    int failures = 0;
    for (int iter = 0; iter < 4000; ++iter) {
        Bytes f = files[iter % files.size()];
        const int flips = 1 + rng() % 4;
        for (int i = 0; i < flips; ++i) f[8 + rng() % (f.size() - 8)] = static_cast<u8>(rng());
        Decoded d = Decode(f);
        if (!d.bitmap) {
            ++failures;
            ASSERT_NE(std::find(known.begin(), known.end(), d.text), known.end()) << d.text;
        } else {
            ASSERT_EQ(d.error, 0u);
        }
    }
    EXPECT_GT(failures, 0);
}
