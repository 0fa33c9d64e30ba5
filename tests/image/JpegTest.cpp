// JPEG reading and writing, checked against cjpeg and djpeg.
#include <gtest/gtest.h>

#include "ImageTestUtil.h"
#include "image/CodecJPG.h"

using namespace ove;
using namespace imagetest;

namespace {

bool HaveJpegTools() { return ovetest::HaveProgram("cjpeg") && ovetest::HaveProgram("djpeg") && HaveMagick(); }

// cjpeg's input: colour, or grey from the red channel.
fs::path WritePnm(const ovetest::TempDir& dir, const std::string& name, const SRgba& p, bool grey = false) {
    return MagickWrite(dir, name, p, grey ? "PGM:" : "PPM:", grey ? "-channel R -separate" : "");
}

}  // namespace

TEST(Jpeg, FilesFromCjpegDecodeAsDjpegDecodesThem) {
    if (!HaveJpegTools()) GTEST_SKIP() << "libjpeg-turbo-progs or ImageMagick not installed";
    ovetest::TempDir dir;
    SRgba picture = TestPicture(45, 31);
    fs::path ppm = WritePnm(dir, "c.ppm", picture), pgm = WritePnm(dir, "g.pgm", picture, true);
    struct SCase {
        const char* name;
        fs::path input;
        const char* options;
        PixelFormat format;
    };
    const SCase cases[] = {
        {"colour", ppm, "-quality 90", PixelFormat::Rgb888},
        {"colour444", ppm, "-quality 75 -sample 1x1", PixelFormat::Rgb888},
        {"progressive", ppm, "-progressive", PixelFormat::Rgb888},
        {"grey", pgm, "-quality 85", PixelFormat::Grey8},
        {"greyFromColour", ppm, "-grayscale", PixelFormat::Grey8},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path jpg = dir / (std::string(c.name) + ".jpg"), out = dir / (std::string(c.name) + ".pnm");
        ASSERT_EQ(ovetest::Run(std::string("cjpeg ") + c.options + " -outfile " + Q(jpg) + " " + Q(c.input)), 0);
        ASSERT_EQ(ovetest::Run("djpeg -pnm -outfile " + Q(out) + " " + Q(jpg)), 0);
        SRgba reference = MagickRgba(out);
        ASSERT_FALSE(reference.pixels.empty());
        CCodecJPG codec;
        auto bitmap = Decode(codec, ovetest::ReadFileBytes(jpg));
        ASSERT_TRUE(bitmap) << codec.GetErrorText();
        EXPECT_EQ(bitmap->Format(), c.format);
        EXPECT_LE(MaxDiff(FromBitmap(*bitmap), reference), 1);
    }
}

TEST(Jpeg, EncodesAtQuality80ReadableByDjpeg) {
    if (!HaveJpegTools()) GTEST_SKIP() << "libjpeg-turbo-progs or ImageMagick not installed";
    ovetest::TempDir dir;
    SRgba picture = TestPicture(45, 31);
    struct SCase {
        PixelFormat format;
        bool grey;
    };
    for (SCase c : {SCase{PixelFormat::Rgb888, false}, SCase{PixelFormat::Rgba8888, false},
                    SCase{PixelFormat::Rgb565, false}, SCase{PixelFormat::Grey8, true}}) {
        SCOPED_TRACE(static_cast<int>(c.format));
        std::unique_ptr<CBitmapBuffer> bitmap;
        SRgba expected = picture;
        if (c.grey) {
            bitmap = std::make_unique<CBitmapBuffer>(picture.width, picture.height, PixelFormat::Grey8);
            for (unsigned y = 0; y < picture.height; ++y)
                for (unsigned x = 0; x < picture.width; ++x) {
                    const unsigned char v = picture.At(x, y)[0];
                    bitmap->TopRow(y)[x] = v;
                    unsigned char* e = &expected.pixels[(std::size_t(y) * picture.width + x) * 4];
                    e[1] = e[2] = v;
                }
        } else {
            bitmap = ToBitmap(picture, c.format);
            expected = FromBitmap(*bitmap);
        }
        CCodecJPG codec;
        bool ok = false;
        Bytes file = Encode(codec, *bitmap, &ok);
        ASSERT_TRUE(ok) << codec.GetErrorText();
        fs::path jpg = dir.Write("o.jpg", file), out = dir / "o.pnm";
        ASSERT_EQ(ovetest::Run("djpeg -pnm -outfile " + Q(out) + " " + Q(jpg)), 0);
        Bytes pnm = ovetest::ReadFileBytes(out);
        ASSERT_GE(pnm.size(), 2u);
        EXPECT_EQ(pnm[1], c.grey ? '5' : '6');  // grey stays one channel
        SRgba decoded = MagickRgba(out);
        // As close to the picture as cjpeg at the same quality gets.
        fs::path src = WritePnm(dir, "e.pnm", expected, c.grey), refJpg = dir / "r.jpg", ref = dir / "r.pnm";
        ASSERT_EQ(ovetest::Run("cjpeg -quality 80 -outfile " + Q(refJpg) + " " + Q(src)), 0);
        ASSERT_EQ(ovetest::Run("djpeg -pnm -outfile " + Q(ref) + " " + Q(refJpg)), 0);
        const double ourError = MeanDiff(decoded, expected), refError = MeanDiff(MagickRgba(ref), expected);
        EXPECT_LE(ourError, refError + 0.25);
        EXPECT_GT(ourError, 0.0);  // it is lossy: no accidental copy of the input
        // Our decoder reads it as djpeg does.
        auto back = Decode(codec, file);
        ASSERT_TRUE(back) << codec.GetErrorText();
        EXPECT_LE(MaxDiff(FromBitmap(*back), decoded), 1);
        if (!c.grey) {
            fs::path q = dir / "q.txt";
            ASSERT_EQ(ovetest::Run("identify -format %Q " + Q(jpg) + " > " + Q(q)), 0);
            Bytes quality = ovetest::ReadFileBytes(q);
            EXPECT_EQ(std::string(quality.begin(), quality.end()), "80");
        }
    }
}

TEST(Jpeg, DamagedDataFails) {
    CCodecJPG codec;
    EXPECT_FALSE(codec.Load(nullptr));
    EXPECT_STREQ(codec.GetErrorText(), "Could not read from input device.");
    EXPECT_FALSE(Decode(codec, Bytes{}));
    EXPECT_STREQ(codec.GetErrorText(), "Invalid header.");
    EXPECT_FALSE(Decode(codec, Bytes(100, 0x42)));
    EXPECT_STREQ(codec.GetErrorText(), "Invalid header.");

    SRgba picture = TestPicture(64, 48);
    auto bitmap = ToBitmap(picture, PixelFormat::Rgb888);
    const Bytes whole = Encode(codec, *bitmap);
    ASSERT_TRUE(Decode(codec, whole));
    // Cut inside the entropy-coded data: the header reads, the picture does not (the library would pad
    // the rest with grey and only warn).
    EXPECT_FALSE(Decode(codec, Bytes(whole.begin(), whole.begin() + whole.size() / 2)));
    EXPECT_STREQ(codec.GetErrorText(), "Invalid file format.");
    // Stray bytes between two markers only earn a warning from the library: the picture is whole.
    Bytes stray = whole;
    ASSERT_EQ(stray[2], 0xFF);
    const std::size_t next = 4 + (stray[4] << 8 | stray[5]);  // after the first segment
    ASSERT_EQ(stray[next], 0xFF);
    stray.insert(stray.begin() + next, {0x12, 0x34, 0x56});
    auto withStray = Decode(codec, stray);
    ASSERT_TRUE(withStray) << codec.GetErrorText();
    EXPECT_EQ(MaxDiff(FromBitmap(*withStray), FromBitmap(*Decode(codec, whole))), 0);
    // A warning (stray bytes before a marker) followed by a fatal error (a frame without components)
    // fails as a whole.
    std::size_t sof = 2;
    while (sof + 1 < whole.size() && !(whole[sof] == 0xFF && whole[sof + 1] == 0xC0)) ++sof;
    ASSERT_LT(sof + 1, whole.size());
    Bytes broken = whole;
    broken.insert(broken.begin() + static_cast<long>(sof), {0x12, 0x34});
    broken[sof + 2 + 9] = 0;
    EXPECT_FALSE(Decode(codec, broken));
    EXPECT_NE(codec.GetGeneralError(), 0u);
    // A header that claims far more pixels (0x3F30 x 0x3F40) than its few bytes can carry.
    Bytes tiny = whole;
    tiny[sof + 5] = tiny[sof + 7] = 0x3F;
    EXPECT_FALSE(Decode(codec, tiny));
    EXPECT_STREQ(codec.GetErrorText(), "Invalid file format.");
    for (std::size_t n = 0; n < whole.size(); n += 7) {
        auto b = Decode(codec, Bytes(whole.begin(), whole.begin() + n));
        if (!b) {
            EXPECT_TRUE(codec.GetError() == 4u << 16 || codec.GetError() == 5u << 16) << n << codec.GetErrorText();
        }
    }
    std::mt19937 rng(11);
    for (int round = 0; round < 400; ++round) {
        if (!Decode(codec, Damage(whole, rng, 8))) {
            EXPECT_TRUE(codec.GetError() == 4u << 16 || codec.GetError() == 5u << 16 || codec.GetError() == 8u << 16)
                << codec.GetErrorText();
        }
    }

    EXPECT_FALSE(codec.Save(nullptr, nullptr));
    EXPECT_STREQ(codec.GetErrorText(), "Could not read from input device.");
    EXPECT_FALSE(codec.Save(bitmap.get(), nullptr));
    EXPECT_STREQ(codec.GetErrorText(), "Could not write to output device.");
}
