#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "PngTestUtil.h"
#include "data/DataBin.h"
#include "image/CodecPNG.h"
#include "support/TestSupport.h"

using namespace ove;
using namespace pngtest;

namespace {

struct Decoded {
    std::unique_ptr<CBitmapInterface> bitmap;
    u32 error = 0;
    std::string text;
};

Decoded Decode(const Bytes& file) {
    CBuffer source(file.data(), static_cast<u32>(file.size()));
    CCodecPNG codec;
    Decoded d;
    d.bitmap = codec.Load(&source);
    d.error = codec.GetError();
    d.text = codec.GetErrorText();
    return d;
}

std::vector<std::uint32_t> RampPalette(int entries, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> p(entries);
    for (auto& c : p) c = rng() & 0xFFFFFF;
    return p;
}

// Checks one libpng-written picture against libpng's own reading of it.
void ExpectSameAsLibpng(const PngSpec& spec, u32 seed, PixelFormat expectedFormat) {
    SCOPED_TRACE("type " + std::to_string(spec.colourType) + " depth " + std::to_string(spec.depth) +
                 (spec.interlace ? " interlaced" : "") + " filters " + std::to_string(spec.filters) + " size " +
                 std::to_string(spec.width) + "x" + std::to_string(spec.height));
    Bytes file = WritePng(spec, SampleRows(spec, seed));
    ASSERT_FALSE(file.empty());
    Rgba expected;
    ASSERT_TRUE(ReadWithLibpng(file, expected));
    Decoded d = Decode(file);
    ASSERT_TRUE(d.bitmap) << d.text;
    EXPECT_EQ(d.error, 0u);
    EXPECT_EQ(d.bitmap->Format(), expectedFormat);
    Rgba ours = BitmapToRgba(*d.bitmap, !spec.paletteAlpha.empty());
    ASSERT_EQ(ours.width, expected.width);
    ASSERT_EQ(ours.height, expected.height);
    if (ours.pixels != expected.pixels) {
        for (std::size_t i = 0; i < ours.pixels.size(); ++i)
            if (ours.pixels[i] != expected.pixels[i]) {
                ADD_FAILURE() << "first difference at pixel " << i / 4 << " channel " << i % 4 << ": "
                              << int(ours.pixels[i]) << " vs " << int(expected.pixels[i]);
                break;
            }
    }
}

struct Combination {
    int colourType;
    int depth;
    PixelFormat format;
};

const Combination kCombinations[] = {
    {PNG_COLOR_TYPE_GRAY, 1, PixelFormat::Grey1},
    {PNG_COLOR_TYPE_GRAY, 2, PixelFormat::Indexed4},  // four greys in a 16-entry palette
    {PNG_COLOR_TYPE_GRAY, 4, PixelFormat::Grey4},
    {PNG_COLOR_TYPE_GRAY, 8, PixelFormat::Grey8},
    {PNG_COLOR_TYPE_GRAY, 16, PixelFormat::Grey8},
    {PNG_COLOR_TYPE_PALETTE, 1, PixelFormat::Indexed1},
    {PNG_COLOR_TYPE_PALETTE, 2, PixelFormat::Indexed4},
    {PNG_COLOR_TYPE_PALETTE, 4, PixelFormat::Indexed4},
    {PNG_COLOR_TYPE_PALETTE, 8, PixelFormat::Indexed8},
    {PNG_COLOR_TYPE_RGB, 8, PixelFormat::Rgb888},
    {PNG_COLOR_TYPE_RGB, 16, PixelFormat::Rgb888},
    {PNG_COLOR_TYPE_GRAY_ALPHA, 8, PixelFormat::Rgba8888},
    {PNG_COLOR_TYPE_GRAY_ALPHA, 16, PixelFormat::Rgba8888},
    {PNG_COLOR_TYPE_RGB_ALPHA, 8, PixelFormat::Rgba8888},
    {PNG_COLOR_TYPE_RGB_ALPHA, 16, PixelFormat::Rgba8888},
};

}  // namespace

TEST(CodecPNG, EveryColourTypeDepthFilterAndInterlaceMatchesLibpng) {
    const std::pair<u32, u32> sizes[] = {{1, 1}, {3, 2}, {37, 23}, {130, 67}};
    const int filterSets[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH,
                              PNG_ALL_FILTERS};
    u32 seed = 1;
    for (const Combination& c : kCombinations) {
        for (bool interlace : {false, true}) {
            for (auto [w, h] : sizes) {
                for (int filters : filterSets) {
                    PngSpec spec;
                    spec.width = w;
                    spec.height = h;
                    spec.colourType = c.colourType;
                    spec.depth = c.depth;
                    spec.interlace = interlace;
                    spec.filters = filters;
                    if (c.colourType == PNG_COLOR_TYPE_PALETTE) spec.palette = RampPalette(1 << c.depth, seed);
                    ExpectSameAsLibpng(spec, seed++, c.format);
                }
            }
        }
    }
}

TEST(CodecPNG, PaletteTransparency) {
    // Only 0 and 255: the picture stays indexed, the last fully transparent entry is the transparent index.
    PngSpec spec;
    spec.width = 40;
    spec.height = 9;
    spec.colourType = PNG_COLOR_TYPE_PALETTE;
    spec.depth = 8;
    spec.palette = RampPalette(256, 3);
    spec.paletteAlpha.assign(10, 255);
    spec.paletteAlpha[2] = 0;
    spec.paletteAlpha[7] = 0;
    ExpectSameAsLibpng(spec, 4, PixelFormat::Indexed8);
    Decoded d = Decode(WritePng(spec, SampleRows(spec, 4)));
    ASSERT_TRUE(d.bitmap);
    EXPECT_EQ(d.bitmap->TransparentIndex(), 7);
    EXPECT_EQ(d.bitmap->GetPaletteEntry(7) >> 24, 0u);
    EXPECT_EQ(d.bitmap->GetPaletteEntry(8) >> 24, 255u);

    // Any partial alpha turns the picture into true colour with alpha, in the right colour order.
    spec.paletteAlpha[5] = 128;
    for (bool interlace : {false, true}) {
        spec.interlace = interlace;
        ExpectSameAsLibpng(spec, 5, PixelFormat::Rgba8888);
    }
    for (int depth : {1, 2, 4}) {
        spec.depth = depth;
        spec.palette = RampPalette(1 << depth, 6);
        spec.paletteAlpha = {0, 200};
        ExpectSameAsLibpng(spec, 7, PixelFormat::Rgba8888);
    }
    // Without a tRNS chunk there is no transparent index.
    spec.depth = 8;
    spec.palette = RampPalette(256, 8);
    spec.paletteAlpha.clear();
    d = Decode(WritePng(spec, SampleRows(spec, 9)));
    ASSERT_TRUE(d.bitmap);
    EXPECT_EQ(d.bitmap->TransparentIndex(), -1);
}

TEST(CodecPNG, GreyKeyTransparencyLeavesThePixels) {
    PngSpec spec;
    spec.width = 20;
    spec.height = 20;
    spec.colourType = PNG_COLOR_TYPE_GRAY;
    spec.depth = 8;
    spec.greyKey = 17;
    ExpectSameAsLibpng(spec, 10, PixelFormat::Grey8);
}

TEST(CodecPNG, SixteenBitSamplesKeepTheirHighByte) {
    // One pixel of 16-bit RGB: 0x1234, 0xABCD, 0x00FF.
    Bytes raw = {0, 0x12, 0x34, 0xAB, 0xCD, 0x00, 0xFF};
    Decoded d = Decode(MakePng(IhdrData(1, 1, 16, 2), raw));
    ASSERT_TRUE(d.bitmap) << d.text;
    EXPECT_EQ(d.bitmap->Format(), PixelFormat::Rgb888);
    const u8* p = d.bitmap->Pixels();
    EXPECT_EQ(p[0], 0x00);  // blue
    EXPECT_EQ(p[1], 0xAB);
    EXPECT_EQ(p[2], 0x12);  // red
}

TEST(CodecPNG, TwoBitGreyBecomesFourBitWithFourGreys) {
    // One row of 0, 1, 2, 3.
    Decoded d = Decode(MakePng(IhdrData(4, 1, 2, 0), Bytes{0, 0x1B}));
    ASSERT_TRUE(d.bitmap) << d.text;
    EXPECT_EQ(d.bitmap->BitsPerPixel(), 4u);
    const u32 greys[4] = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
    for (u32 i = 0; i < 4; ++i) EXPECT_EQ(d.bitmap->GetPaletteEntry(static_cast<u8>(i)) & 0xFFFFFF, greys[i]);
    const u8* row = d.bitmap->TopRow(0);
    EXPECT_EQ(row[0], 0x01);
    EXPECT_EQ(row[1], 0x23);
}

TEST(CodecPNG, InterlacedPicturesEqualTheirPlainTwins) {
    for (const Combination& c : kCombinations) {
        PngSpec spec;
        spec.width = 29;
        spec.height = 17;
        spec.colourType = c.colourType;
        spec.depth = c.depth;
        if (c.colourType == PNG_COLOR_TYPE_PALETTE) spec.palette = RampPalette(1 << c.depth, 11);
        auto rows = SampleRows(spec, 12);
        Decoded plain = Decode(WritePng(spec, rows));
        spec.interlace = true;
        Decoded interlaced = Decode(WritePng(spec, rows));
        ASSERT_TRUE(plain.bitmap && interlaced.bitmap);
        EXPECT_EQ(plain.bitmap->Format(), interlaced.bitmap->Format());
        // Cell by cell: bits beyond the last pixel of a packed row are not part of the picture.
        EXPECT_TRUE(BitmapToRgba(*plain.bitmap, false) == BitmapToRgba(*interlaced.bitmap, false))
            << c.colourType << "/" << c.depth;
    }
}

TEST(CodecPNG, PicturesMadeByImageMagick) {
    const std::string convert = std::filesystem::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
    if (!ovetest::HaveProgram(convert)) GTEST_SKIP() << "ImageMagick not installed";
    ovetest::TempDir dir;
    const struct {
        const char* args;
        const char* out;
    } cases[] = {
        {"-size 61x47 gradient:red-blue", "PNG24:rgb.png"},
        {"-size 61x47 gradient:red-blue -interlace PNG", "PNG24:rgbi.png"},
        {"-size 50x40 plasma:fractal -seed 3 -alpha set -channel A -fx 'i/w' +channel", "PNG32:rgba.png"},
        {"-size 50x40 plasma:fractal -seed 4 -depth 16", "PNG48:rgb16.png"},
        {"-size 50x40 plasma:fractal -seed 5 -alpha set -channel A -fx 'j/h' +channel -depth 16", "PNG64:rgba16.png"},
        {"-size 45x33 plasma:fractal -seed 6 -colors 200", "PNG8:pal.png"},
        {"-size 45x33 plasma:fractal -seed 7 -colors 12 -interlace PNG", "PNG8:pali.png"},
        {"-size 45x33 gradient:white-black -colorspace Gray -depth 1", "PNG:grey1.png"},
        {"-size 45x33 gradient:white-black -colorspace Gray -depth 2", "PNG:grey2.png"},
        {"-size 45x33 gradient:white-black -colorspace Gray -depth 4 -interlace PNG", "PNG:grey4i.png"},
        {"-size 45x33 gradient:white-black -colorspace Gray -depth 8", "PNG:grey8.png"},
        {"-size 45x33 gradient:white-black -colorspace Gray -depth 16", "PNG:grey16.png"},
        {"-size 30x30 xc:none -fill '#ff000080' -draw 'circle 15,15 15,3'", "PNG32:circle.png"},
    };
    int checked = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        const std::string file = std::string(c.out).substr(std::string(c.out).find(':') + 1);
        if (ovetest::Run("cd " + dir.path().string() + " && " + convert + " " + c.args + " " + c.out +
                         " 2>/dev/null") != 0)
            continue;  // an option this ImageMagick lacks
        Bytes bytes = ovetest::ReadFileBytes(dir / file);
        Rgba expected;
        ASSERT_TRUE(ReadWithLibpng(bytes, expected));
        Decoded d = Decode(bytes);
        ASSERT_TRUE(d.bitmap) << d.text;
        // Palette files from ImageMagick may carry a tRNS chunk.
        const bool paletteAlpha = bytes.size() > 33 && bytes[25] == 3 &&
                                  std::search(bytes.begin(), bytes.end(), std::begin("tRNS"), std::end("tRNS") - 1) !=
                                      bytes.end();
        EXPECT_TRUE(BitmapToRgba(*d.bitmap, paletteAlpha) == expected);
        ++checked;
    }
    EXPECT_GE(checked, 10);
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
    const Case cases[] = {
        {"signature", badSignature, CodecErrorValue(4), "Invalid header."},
        {"short", Bytes(good.begin(), good.begin() + 5), CodecErrorValue(7), "File ends prematurely."},
        {"ihdr length", badIhdrLength, CodecErrorValue(5), "Invalid file format."},
        {"depth 3", MakePng(IhdrData(1, 1, 3, 0), plainRow), CodecErrorValue(6, 7),
         "Invalid number of bits per channel. The file may be corrupt."},
        {"grey alpha at 4 bits", MakePng(IhdrData(1, 1, 4, 4), plainRow), CodecErrorValue(6, 6),
         "Alpha channel is only supported for RGB or 8bit indexed images."},
        {"interlace 2", MakePng(IhdrData(1, 1, 8, 2, 2), plainRow), CodecErrorValue(6, 4),
         "Unknown interlace method."},
        {"filter 5", MakePng(IhdrData(1, 1, 8, 2), Bytes{5, 10, 20, 30}), CodecErrorValue(6, 5),
         "Unknown compression type."},
        {"inflate", badInflate, CodecErrorValue(6, 2), "Could not inflate compressed data."},
        {"too little image data", MakePng(IhdrData(2, 2, 8, 2), plainRow), CodecErrorValue(7),
         "File ends prematurely."},
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

TEST(CodecPNG, ChunkHandling) {
    const Bytes row = {0, 10, 20, 30};
    // Unknown chunks are skipped, CRCs are never checked.
    Bytes text = Chunk("tEXt", Bytes{'a', 0, 'b'});
    text[text.size() - 1] ^= 0xFF;
    Decoded d = Decode(MakePng(IhdrData(1, 1, 8, 2), row, {text}));
    ASSERT_TRUE(d.bitmap) << d.text;
    // Image data split over several IDAT chunks, one of them empty.
    PngSpec spec;
    spec.width = 50;
    spec.height = 30;
    Bytes raw;
    for (const Bytes& r : SampleRows(spec, 13)) {
        raw.push_back(0);
        raw.insert(raw.end(), r.begin(), r.end());
    }
    Bytes z = ZlibDeflate(raw, 6, Z_DEFAULT_STRATEGY, 15);
    Bytes file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto add = [&](const Bytes& c) { file.insert(file.end(), c.begin(), c.end()); };
    add(Chunk("IHDR", IhdrData(50, 30, 8, 2)));
    add(Chunk("IDAT", Bytes(z.begin(), z.begin() + 100)));
    add(Chunk("IDAT", {}));
    add(Chunk("IDAT", Bytes(z.begin() + 100, z.end())));
    add(Chunk("IEND", {}));
    d = Decode(file);
    ASSERT_TRUE(d.bitmap) << d.text;
    Rgba expected;
    ASSERT_TRUE(ReadWithLibpng(file, expected));
    EXPECT_TRUE(BitmapToRgba(*d.bitmap, false) == expected);
    // A palette longer than 256 entries keeps the first 256 and skips the rest.
    Bytes plte;
    for (int i = 0; i < 300; ++i) {
        plte.push_back(static_cast<u8>(i));
        plte.push_back(static_cast<u8>(i * 3));
        plte.push_back(0x42);
    }
    d = Decode(MakePng(IhdrData(2, 1, 8, 3), Bytes{0, 0, 255}, {Chunk("PLTE", plte)}));
    ASSERT_TRUE(d.bitmap) << d.text;
    EXPECT_EQ(d.bitmap->GetPaletteEntry(255) & 0xFFFFFF, 0x42u << 16 | ((255 * 3) & 0xFF) << 8 | 255u);
    // A chunk claiming more data than the file has.
    Bytes huge = MakePng(IhdrData(1, 1, 8, 2), row);
    Bytes bogus = {0x7F, 0xFF, 0xFF, 0xF0, 'z', 'z', 'z', 'z'};
    huge.insert(huge.begin() + 33, bogus.begin(), bogus.end());
    d = Decode(huge);
    EXPECT_FALSE(d.bitmap);
    EXPECT_EQ(d.error, CodecErrorValue(7));
    // The same for IDAT.
    bogus[4] = 'I', bogus[5] = 'D', bogus[6] = 'A', bogus[7] = 'T';
    std::copy(bogus.begin(), bogus.end(), huge.begin() + 33);
    d = Decode(huge);
    EXPECT_EQ(d.error, CodecErrorValue(7));
}

TEST(CodecPNG, TruncatedFilesEndPrematurely) {
    PngSpec spec;
    spec.width = 33;
    spec.height = 21;
    spec.colourType = PNG_COLOR_TYPE_PALETTE;
    spec.depth = 4;
    spec.palette = RampPalette(16, 14);
    spec.paletteAlpha = {0, 255, 255};
    Bytes file = WritePng(spec, SampleRows(spec, 15));
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
        PngSpec spec;
        spec.width = 23;
        spec.height = 19;
        spec.colourType = c.colourType;
        spec.depth = c.depth;
        spec.interlace = c.depth % 2 == 0;
        if (c.colourType == PNG_COLOR_TYPE_PALETTE) {
            spec.palette = RampPalette(1 << c.depth, 17);
            spec.paletteAlpha = {0, 100};
        }
        files.push_back(WritePng(spec, SampleRows(spec, 18)));
    }
    const std::vector<std::string> known = {"Could not inflate compressed data.",
                                            "Unknown interlace method.",
                                            "Unknown compression type.",
                                            "Alpha channel is only supported for RGB or 8bit indexed images.",
                                            "Invalid number of bits per channel. The file may be corrupt.",
                                            "Insufficient memory.",
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
