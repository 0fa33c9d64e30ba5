// BMP reading and writing, checked against ImageMagick and hand-built files.
#include <gtest/gtest.h>

#include <cstring>

#include "ImageTestUtil.h"
#include "image/CodecBMP.h"

using namespace ove;
using namespace imagetest;

namespace {

const char* kTruncated = "File ends prematurely.";
const char* kCannotHandle = "Cannot handle file format.";

// clang-format off
u32 HeaderSize(const Bytes& b) { return b.size() >= 18 ? b[14] | (b[15] << 8) | (b[16] << 16) | (u32(b[17]) << 24) : 0; }

// Compares the first bytes of each memory row (the bottom row first).
void ExpectRows(const CBitmapInterface& b, const std::vector<Bytes>& rows) {
    for (u32 y = 0; y < rows.size(); ++y) EXPECT_EQ(Bytes(b.Row(y), b.Row(y) + rows[y].size()), rows[y]) << "row " << y;
}
// clang-format on

}  // namespace

TEST(BmpRead, FilesFromImageMagickDecodeAsImageMagickReadsThem) {
    if (!HaveMagick()) GTEST_SKIP() << "ImageMagick not installed";
    ovetest::TempDir dir;
    // PNGs that ImageMagick turns into the variants under test.
    fs::path png = MagickWrite(dir, "src.png", TestPicture(37, 23), "PNG24:", "-alpha off");
    fs::path pngAlpha = MagickWrite(dir, "srca.png", TestPicture(37, 23, true), "PNG32:");
    struct SCase {
        const char* name;
        std::string args;  // between the input and the output
        const char* prefix;
        u32 headerSize;
        PixelFormat format;
        int tolerance;
        bool alpha;
    };
    const SCase cases[] = {
        {"core24", "", "BMP2:", 12, PixelFormat::Rgb888, 0, false},
        {"core8", "-colors 200", "BMP2:", 12, PixelFormat::Indexed8, 0, false},
        {"core4", "-colors 16", "BMP2:", 12, PixelFormat::Indexed4, 0, false},
        {"core1", "-monochrome", "BMP2:", 12, PixelFormat::Grey1, 0, false},
        {"info24", "", "BMP3:", 40, PixelFormat::Rgb888, 0, false},
        {"info8", "-colors 200 -compress none", "BMP3:", 40, PixelFormat::Indexed8, 0, false},
        {"info4", "-colors 16", "BMP3:", 40, PixelFormat::Indexed4, 0, false},
        {"info1", "-monochrome", "BMP3:", 40, PixelFormat::Grey1, 0, false},
        {"rle8", "-colors 200 -compress RLE", "BMP3:", 40, PixelFormat::Indexed8, 0, false},
        {"v5_24", "", "BMP:", 124, PixelFormat::Rgb888, 0, false},
        {"v5_8", "-colors 200", "BMP:", 124, PixelFormat::Indexed8, 0, false},
        {"v5_565", "-define bmp:subtype=RGB565", "BMP:", 124, PixelFormat::Rgb565, 1, false},
        {"v5_555", "-define bmp:subtype=RGB555", "BMP:", 124, PixelFormat::Rgb555, 1, false},
        {"v5_argb", "-define bmp:subtype=ARGB8888", "BMP:", 124, PixelFormat::Rgba8888, 0, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path bmp = dir / (std::string(c.name) + ".bmp");
        ASSERT_EQ(ovetest::Run("convert " + Q(c.alpha ? pngAlpha : png) + " " + c.args + " " + c.prefix + Q(bmp)), 0);
        Bytes bytes = ovetest::ReadFileBytes(bmp);
        ASSERT_EQ(HeaderSize(bytes), c.headerSize);
        CCodecBMP codec;
        auto bitmap = Decode(codec, bytes);
        ASSERT_TRUE(bitmap) << codec.GetErrorText();
        EXPECT_EQ(codec.GetError(), 0u);
        EXPECT_EQ(bitmap->Format(), c.format);
        SRgba ours = FromBitmap(*bitmap), theirs = MagickRgba(bmp);
        ASSERT_FALSE(theirs.pixels.empty());
        EXPECT_LE(MaxDiff(ours, theirs, c.alpha), c.tolerance);
        if (!c.alpha) {
            EXPECT_EQ(ours.At(5, 5)[3], 255);
        }
    }
}

TEST(BmpRead, HeaderSizes64And108ZeroOffsetAndTopDownRows) {
    // 8 bits, 37 x 23 (rows padded to 40), 100 colours: every variant reads as the plain file does.
    SBmp plain{.width = 37, .height = 23, .bitCount = 8, .coloursUsed = 100};
    std::mt19937 rng(3);
    for (u32 i = 0; i < 100; ++i) plain.palette.push_back(rng() & 0xFFFFFF);
    for (int i = 0; i < 40 * 23; ++i) plain.pixels.push_back(static_cast<u8>(rng() % 100));
    CCodecBMP codec;
    auto reference = Decode(codec, BuildBmp(plain));
    ASSERT_TRUE(reference) << codec.GetErrorText();
    const SRgba expected = FromBitmap(*reference);
    // A version-4 header (108 bytes): the palette follows right after, so the header must be skipped
    // by its own size; once with the pixel offset left 0, so that the reader must walk through the
    // palette. A 64-byte header: 24 more bytes after the 40 the reader uses. Rows stored top-down
    // under a negative height.
    SBmp v4 = plain, v4NoOffset = plain, v64 = plain, topDown = plain;
    v4.headerSize = v4NoOffset.headerSize = 108;
    v4NoOffset.zeroOffset = true;
    v64.headerSize = 64;
    topDown.height = -23;
    for (int y = 0; y < 23; ++y) std::copy_n(plain.pixels.begin() + (22 - y) * 40, 40, topDown.pixels.begin() + y * 40);
    for (const SBmp* s : {&v4, &v4NoOffset, &v64, &topDown}) {
        auto bitmap = Decode(codec, BuildBmp(*s));
        ASSERT_TRUE(bitmap) << codec.GetErrorText();
        EXPECT_EQ(bitmap->Height(), 23u);
        EXPECT_EQ(MaxDiff(FromBitmap(*bitmap), expected), 0) << s->headerSize << " " << s->height;
    }
}

TEST(BmpRead, HandBuiltHeadersAndBitfields) {
    const char* kBitfields = "Unsupported bitfield configuration.";
    const SBmp sixteen{.width = 2, .bitCount = 16, .pixels = {0x00, 0x7C, 0x1F, 0x00}};  // red, blue
    auto masks16 = [&](u32 r, u32 g, u32 b) {
        SBmp s = sixteen;
        s.compression = 3;
        s.masksAfterHeader = true;
        s.masks[0] = r, s.masks[1] = g, s.masks[2] = b;
        return BuildBmp(s);
    };
    auto masks32 = [](u32 r, u32 g, u32 b, u32 a) {
        return BuildBmp(
            SBmp{.headerSize = 108, .bitCount = 32, .compression = 3, .masks = {r, g, b, a}, .pixels = {1, 2, 3, 4}});
    };
    const Bytes four = {0, 0, 0, 0};
    Bytes planes = BuildBmp(SBmp{.headerSize = 12, .pixels = four});
    planes[22] = 2;
    Bytes notBmp = BuildBmp(SBmp{.pixels = four});
    notBmp[0] = 'X';
    const struct {
        const char* name;
        Bytes file;
        PixelFormat format;  // NoFormat: must fail with the message
        const char* error;
        u32 code;  // checked when not 0
    } cases[] = {
        {"16 bits plain is 5-5-5", BuildBmp(sixteen), PixelFormat::Rgb555, nullptr, 0},
        {"5-6-5 fields", masks16(0xF800, 0x7E0, 0x1F), PixelFormat::Rgb565, nullptr, 0},
        {"4-4-4 fields", masks16(0xF00, 0xF0, 0xF), PixelFormat::NoFormat, kBitfields, (6u << 16) | 1u},
        {"no fields", masks16(0, 0, 0), PixelFormat::NoFormat, kCannotHandle, 0},
        {"8-8-8-8 fields", masks32(0xFF0000, 0xFF00, 0xFF, 0xFF000000u), PixelFormat::Rgba8888, nullptr, 0},
        {"8-8-8 fields", masks32(0xFF0000, 0xFF00, 0xFF, 0), PixelFormat::Rgbx8888, nullptr, 0},
        {"10-10-10 fields", masks32(0x3FF00000, 0xFFC00, 0x3FF, 0), PixelFormat::Rgb101010, nullptr, 0},
        {"9-bit blue", masks32(0x3FF00000, 0xFFC00, 0x3FE, 0), PixelFormat::NoFormat, kBitfields, 0},
        {"header 56", BuildBmp(SBmp{.headerSize = 56, .pixels = four}), PixelFormat::NoFormat, kCannotHandle,
         (6u << 16) | 4u},
        {"core 16 bits", BuildBmp(SBmp{.headerSize = 12, .bitCount = 16, .pixels = four}), PixelFormat::NoFormat,
         kCannotHandle, 0},
        {"two planes", planes, PixelFormat::NoFormat, kCannotHandle, 0},
        {"2 bits", BuildBmp(SBmp{.bitCount = 2, .pixels = four}), PixelFormat::NoFormat, kCannotHandle, 0},
        {"not a BMP", notBmp, PixelFormat::NoFormat, "Invalid file format.", 0},
        {"negative width", BuildBmp(SBmp{.width = -3, .pixels = four}), PixelFormat::NoFormat,
         "Could not create bitmap.", 0},
    };
    CCodecBMP codec;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto b = Decode(codec, c.file);
        if (c.error) {
            EXPECT_FALSE(b);
            EXPECT_STREQ(codec.GetErrorText(), c.error);
            if (c.code) {
                EXPECT_EQ(codec.GetError(), c.code);
            }
        } else {
            ASSERT_TRUE(b) << codec.GetErrorText();
            EXPECT_EQ(b->Format(), c.format);
        }
    }
    EXPECT_FALSE(codec.Load(nullptr));
    EXPECT_STREQ(codec.GetErrorText(), "Could not read from input device.");
}

// clang-format off
TEST(BmpRead, PaletteAndGreyRamp) {
    SBmp s{.width = 9, .height = 2, .bitCount = 1, .palette = {0x000000, 0xFFFFFF},
           .pixels = {0x80, 0x80, 0, 0, 0x00, 0x00, 0, 0}};
    CCodecBMP codec;
    auto b = Decode(codec, BuildBmp(s));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->Format(), PixelFormat::Grey1);
    s.palette = {0x0000FF, 0x00FF00};
    b = Decode(codec, BuildBmp(s));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->Format(), PixelFormat::Indexed1);
    EXPECT_EQ(b->GetPaletteEntry(0), 0xFF0000u);  // red in the low byte
    EXPECT_EQ(FromBitmap(*b).At(0, 1)[1], 255);    // bottom-left pixel is index 1: green

    // Fewer colours than the depth allows: the rest of the palette is black.
    SBmp e{.width = 2, .bitCount = 8, .palette = {0x102030, 0x405060}, .coloursUsed = 2, .pixels = {1, 200, 0, 0}};
    b = Decode(codec, BuildBmp(e));
    ASSERT_TRUE(b) << codec.GetErrorText();
    EXPECT_EQ(b->GetPaletteEntry(1), 0x605040u);
    EXPECT_EQ(b->GetPaletteEntry(200), 0u);

    // A huge colour count keeps 256 entries and still finds the pixels through the offset.
    e.coloursUsed = 300;
    e.palette.assign(300, 0x111111);
    e.palette[1] = 0xABCDEF;
    b = Decode(codec, BuildBmp(e));
    ASSERT_TRUE(b) << codec.GetErrorText();
    EXPECT_EQ(b->Pixels()[0], 1);
    EXPECT_EQ(b->GetPaletteEntry(1), 0xEFCDABu);
}
// clang-format on

// clang-format off
TEST(BmpRead, RunLengthEncodings) {
    // RLE8, 4 x 3: a run, end of line, an odd absolute run (padded), a run that carries on into the
    // next row, a delta, end of bitmap.
    const SBmp s{.width = 4, .height = 3, .bitCount = 8, .compression = 1, .palette = std::vector<u32>(256, 0),
                 .pixels = {3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 2, 9, 0, 2, 1, 0, 1, 5, 0, 1}};
    // RLE4: alternating nibbles in runs, absolute runs of two cells per byte with padding.
    const SBmp f{.width = 6, .height = 2, .bitCount = 4, .compression = 2, .palette = std::vector<u32>(16, 0),
                 .pixels = {5, 0xAB, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0x00, 1, 0x90, 0, 1}};
    // A row is full once its padded length is: cells past the width land in the row's padding, as
    // encoders that spell out the padding expect, and only then does a run go on in the next row.
    SBmp padded = s;
    padded.width = 3;
    padded.height = 2;
    padded.pixels = {6, 5, 0, 1};
    // Runs, deltas and absolute runs that point outside the picture stay inside it; then a long run
    // and a delta far above the top.
    SBmp wild = s;
    wild.width = 2;
    wild.height = 2;
    wild.pixels = {1, 1, 0, 2, 200, 0, 1, 3, 0, 5, 4, 4, 4, 4, 4, 0, 0, 1};
    SBmp wilder = wild;
    wilder.pixels = {255, 1, 0, 2, 255, 255, 2, 2};
    const std::pair<const SBmp*, std::vector<Bytes>> good[] = {
        {&s, {{7, 7, 7, 0}, {1, 2, 3, 9}, {9, 0, 5, 0}}},
        {&f, {{0xAB, 0xAB, 0xA0}, {0x12, 0x34, 0x59}}},
        {&padded, {{5, 5, 5}, {5, 5, 0}}},
        {&wild, {{1, 0}, {3, 4}}},
    };
    CCodecBMP codec;
    for (const auto& [bmp, rows] : good) {
        auto b = Decode(codec, BuildBmp(*bmp));
        ASSERT_TRUE(b) << codec.GetErrorText();
        ExpectRows(*b, rows);
    }
    auto b = Decode(codec, BuildBmp(wilder));
    ASSERT_TRUE(b) << codec.GetErrorText();
    EXPECT_EQ(b->Row(1)[1], 1);
    // Data that stop in the middle of the picture (the second an absolute run longer than the data),
    // and RLE8 on a 4-bit picture.
    SBmp cut = s, cutRun = s, mismatch = f;
    cut.pixels = {3, 7};
    cutRun.pixels = {3, 7, 0, 0, 0, 20, 1, 2};
    mismatch.compression = 1;
    for (const auto& [bmp, error] : {std::pair{&cut, kTruncated}, {&cutRun, kTruncated}, {&mismatch, kCannotHandle}}) {
        EXPECT_FALSE(Decode(codec, BuildBmp(*bmp)));
        EXPECT_STREQ(codec.GetErrorText(), error);
    }
}
// clang-format on

// clang-format off
TEST(BmpRead, TruncatedAndCorruptFilesFailCleanly) {
    const SBmp s{.width = 5, .height = 3, .bitCount = 8, .palette = std::vector<u32>(256, 0x203040),
                 .pixels = Bytes(8 * 3, 1)};
    const Bytes whole = BuildBmp(s);
    CCodecBMP codec;
    ASSERT_TRUE(Decode(codec, whole));
    // A file that starts further into the stream: its offsets count from its own start.
    Bytes inside = {'x', 'y', 'z'};
    inside.insert(inside.end(), whole.begin(), whole.end());
    CBuffer stream(inside.data(), static_cast<u32>(inside.size()));
    stream.Seek(3);
    auto fromInside = codec.Load(&stream);
    ASSERT_TRUE(fromInside) << codec.GetErrorText();
    EXPECT_EQ(fromInside->Pixels()[0], 1);
    EXPECT_EQ(fromInside->GetPaletteEntry(1), 0x403020u);

    for (std::size_t n = 0; n < whole.size(); ++n) {
        EXPECT_FALSE(Decode(codec, Bytes(whole.begin(), whole.begin() + n))) << n;
        EXPECT_STREQ(codec.GetErrorText(), kTruncated) << n;
    }

    // Random damage to headers and run-length data: an error or a picture, never a stray access.
    SBmp rle8{.width = 13, .height = 7, .bitCount = 8, .compression = 1, .palette = std::vector<u32>(256, 0)};
    for (int i = 0; i < 7; ++i) rle8.pixels.insert(rle8.pixels.end(), {4, 1, 0, 5, 1, 2, 3, 4, 5, 0, 4, 9, 0, 0});
    rle8.pixels.insert(rle8.pixels.end(), {0, 1});
    SBmp rle4 = rle8;
    rle4.bitCount = 4;
    rle4.compression = 2;
    rle4.palette.assign(16, 0);
    const SBmp fields{.headerSize = 124, .width = 3, .height = -2, .bitCount = 16, .compression = 3,
                      .masks = {0xF800, 0x7E0, 0x1F, 0}, .pixels = Bytes(16, 0x55)};
    std::mt19937 rng(1234);
    for (const SBmp& base : {s, rle8, rle4, fields}) {
        const Bytes good = BuildBmp(base);
        ASSERT_TRUE(Decode(codec, good)) << codec.GetErrorText();
        for (int round = 0; round < 1500; ++round) {
            if (!Decode(codec, Damage(good, rng, 4, 4))) {
                EXPECT_STRNE(codec.GetErrorText(), "No error information available.");
            }
        }
    }
}
// clang-format on

TEST(BmpWrite, WritesEveryDepthReadableByImageMagickAndItself) {
    SRgba picture = TestPicture(37, 23);
    struct SCase {
        PixelFormat format;
        u32 bitCount;
        u32 dataOffset;
        PixelFormat readsBackAs;
    };
    const SCase cases[] = {
        {PixelFormat::Rgb888, 24, 54, PixelFormat::Rgb888},
        {PixelFormat::Rgba8888, 32, 54, PixelFormat::Rgbx8888},  // plain 32-bit data
        {PixelFormat::Rgb555, 16, 54, PixelFormat::Rgb555},
        {PixelFormat::Rgb565, 16, 66, PixelFormat::Rgb565},  // with its masks
        {PixelFormat::Indexed8, 8, 54 + 1024, PixelFormat::Indexed8},
        {PixelFormat::Grey4, 4, 54 + 64, PixelFormat::Grey4},
        {PixelFormat::Indexed1, 1, 54 + 8, PixelFormat::Indexed1},
        {PixelFormat::Grey2, 4, 54 + 64, PixelFormat::Indexed4},  // no 2-bit BMP: widened
    };
    ovetest::TempDir dir;
    for (const SCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        std::unique_ptr<CBitmapBuffer> source;
        if (HasPalette(c.format)) {
            u32 pal[256];
            for (u32 i = 0; i < 256; ++i) pal[i] = (i * 0x3B5D7Fu) & 0xFFFFFF;
            source = std::make_unique<CBitmapBuffer>(picture.width, picture.height, c.format,
                                                     IsGreyFormat(c.format) ? nullptr : pal);
            std::mt19937 rng(7);
            for (std::size_t i = 0; i < source->PixelBytes(); ++i) source->Pixels()[i] = static_cast<u8>(rng());
        } else {
            source = ToBitmap(picture, c.format);
        }
        CCodecBMP codec;
        bool ok = false;
        Bytes file = Encode(codec, *source, &ok);
        ASSERT_TRUE(ok) << codec.GetErrorText();
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(file[28] | (file[29] << 8), int(c.bitCount));
        EXPECT_EQ(file[10] | (file[11] << 8), int(c.dataOffset));
        EXPECT_EQ(file.size(), c.dataOffset + ComputeStride(picture.width, c.bitCount) * picture.height);
        EXPECT_EQ(file[2] | (file[3] << 8) | (file[4] << 16), int(file.size()));

        auto back = Decode(codec, file);
        ASSERT_TRUE(back) << codec.GetErrorText();
        EXPECT_EQ(back->Format(), c.readsBackAs);
        SRgba original = FromBitmap(*source);
        EXPECT_EQ(MaxDiff(FromBitmap(*back), original, false), 0);
        if (HaveMagick()) {
            fs::path f = dir.Write("w" + std::to_string(static_cast<int>(c.format)) + ".bmp", file);
            SRgba theirs = MagickRgba(f);
            ASSERT_FALSE(theirs.pixels.empty());
            // ImageMagick widens 5-bit channels by bit replication, we by v * 255 / 31.
            EXPECT_LE(MaxDiff(theirs, original, false), c.bitCount == 16 ? 1 : 0);
        }
    }
}

TEST(BmpWrite, WideFormatsAreNarrowedAndErrorsReported) {
    CBitmapBuffer wide(3, 2, PixelFormat::Rgba16);
    std::memset(wide.Pixels(), 0x80, wide.PixelBytes());
    CCodecBMP codec;
    bool ok = false;
    Bytes file = Encode(codec, wide, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(file[28], 32);
    auto back = Decode(codec, file);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Row(0)[0], 0x80);

    CBuffer out;
    CSegment readOnly(new CBuffer(), 0, 0);
    for (auto [source, target, error] :
         {std::tuple<CBitmapInterface*, CDataBin*, const char*>{nullptr, &out, "Could not read from input device."},
          {&wide, nullptr, "Could not write to output device."},
          {&wide, &readOnly, "Could not write to output device."}}) {
        EXPECT_FALSE(codec.Save(source, target));
        EXPECT_STREQ(codec.GetErrorText(), error);
    }
    EXPECT_TRUE(codec.Save(&wide, &out));
    EXPECT_EQ(codec.GetError(), 0u);
    EXPECT_STREQ(codec.GetErrorText(), "The operation completed successfully.");
}
