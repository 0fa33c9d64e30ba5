// Decoders facing damaged or hostile files: they fail fast with a message and never set aside more
// than the data can describe. Also: decoding straight into 32 bits gives the pixels the separate
// conversion gives.
#include <gtest/gtest.h>

#include <cstring>

#include "ImageTestUtil.h"
#include "image/CodecBMP.h"
#include "image/CodecJPG.h"
#include "image/CodecQOI.h"
#include "image/ImageLoad.h"

using namespace ove;
using namespace imagetest;

namespace {

const fs::path kHostile = fs::path(OVE_TEST_SOURCE_DIR) / "support" / "hostile";

// Decodes as the engine does, with the codec the content names; the error text, empty on success.
std::string DecodeError(const Bytes& bytes) {
    CBuffer data(bytes.data(), static_cast<u32>(bytes.size()));
    std::string error;
    auto bitmap = DecodeImage(&data, ImageFormatFromData(bytes.data(), bytes.size()), &error);
    return bitmap ? std::string() : error;
}

class HostileFile : public ::testing::TestWithParam<const char*> {};

}  // namespace

// Crash samples found by fuzzing: each used to allocate up to a gigabyte, run for seconds or return a
// blank picture as a success.
TEST_P(HostileFile, FailsWithAMessage) {
    const Bytes bytes = ovetest::ReadFileBytes(kHostile / GetParam());
    ASSERT_FALSE(bytes.empty());
    EXPECT_FALSE(DecodeError(bytes).empty());
}

INSTANTIATE_TEST_SUITE_P(Samples, HostileFile,
                         ::testing::Values("bmp-1.bin", "bmp-2.bin", "bmp-3.bin", "jpg-1.bin", "jpg-2.bin", "jpg-3.bin",
                                           "png-1.bin", "png-2.bin"));

TEST(HostileBmp, HeadersThatPromiseTooMuchAreRefusedBeforeDecoding) {
    // Unknown compression (4 is embedded JPEG data) is an error, not a blank picture.
    SBmp plain{.width = 4, .height = 4, .bitCount = 8, .palette = {0}, .coloursUsed = 1, .pixels = Bytes(16, 1)};
    Bytes bmp = BuildBmp(plain);
    bmp[30] = 4;
    CCodecBMP codec;
    EXPECT_FALSE(Decode(codec, bmp));
    EXPECT_STREQ(codec.GetErrorText(), "Cannot handle file format.");

    // Run-length data: one pair yields at most 255 cells, so 6000 x 6000 needs far more than 6 bytes.
    SBmp rle{.width = 6000,
             .height = 6000,
             .bitCount = 8,
             .compression = 1,
             .palette = {0},
             .coloursUsed = 1,
             .pixels = {0, 0, 0, 1, 0, 1}};
    EXPECT_FALSE(Decode(codec, BuildBmp(rle)));
    EXPECT_STREQ(codec.GetErrorText(), "File ends prematurely.");
    // ... while the same short data for a picture it can cover still decode.
    rle.width = 200;
    rle.height = 2;
    rle.pixels = {200, 7, 0, 0, 200, 9, 0, 1};
    auto small = Decode(codec, BuildBmp(rle));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->Row(0)[199], 7);
    EXPECT_EQ(small->Row(1)[0], 9);

    // The picture ceiling: 16384 pixels a side, and below 16384 x 16384 in all.
    EXPECT_TRUE(PictureSizeAllowed(16384, 16383));
    EXPECT_FALSE(PictureSizeAllowed(16384, 16384));
    EXPECT_FALSE(PictureSizeAllowed(16385, 1));
    EXPECT_FALSE(PictureSizeAllowed(0, 5));
    CBitmapBuffer huge(16384, 16384, PixelFormat::Grey1);
    EXPECT_TRUE(huge.IsEmpty());
    plain.width = 16385;
    plain.height = 1;
    EXPECT_FALSE(Decode(codec, BuildBmp(plain)));
    EXPECT_STREQ(codec.GetErrorText(), "Could not create bitmap.");
}

TEST(DirectDecoding, ThirtyTwoBitsStraightFromTheFileMatchTheConversion) {
    // What the engine loads with the codec asked for 32 bits must equal the codec's own format
    // converted afterwards.
    auto check = [](CImageCodec& codec, const Bytes& file, const char* what) {
        auto own = Decode(codec, file);
        ASSERT_TRUE(own) << what;
        auto converted = ConvertToRgba8888(std::move(own));
        ASSERT_TRUE(converted) << what;
        codec.PreferRgba8888(true);
        auto direct = Decode(codec, file);
        codec.PreferRgba8888(false);
        ASSERT_TRUE(direct) << what;
        EXPECT_EQ(direct->Format(), PixelFormat::Rgba8888) << what;
        ASSERT_EQ(direct->PixelBytes(), converted->PixelBytes()) << what;
        EXPECT_EQ(0, std::memcmp(direct->Pixels(), converted->Pixels(), direct->PixelBytes())) << what;
    };
    const SRgba picture = TestPicture(37, 23, true);
    CCodecBMP bmp;
    CCodecQOI qoi;
    CCodecJPG jpg;
    for (PixelFormat f : {PixelFormat::Rgb888, PixelFormat::Rgbx8888}) {
        auto b = ToBitmap(picture, f);
        check(bmp, Encode(bmp, *b), "bmp 24/32");
        check(qoi, Encode(qoi, *b), "qoi 3 channels");
        check(jpg, Encode(jpg, *b), "jpeg colour");
    }
    // 8-bit palette rows, bottom-up and top-down.
    SBmp indexed{.width = 5,
                 .height = 3,
                 .bitCount = 8,
                 .palette = {0x102030, 0xFF0000, 0x00FF00},
                 .coloursUsed = 3,
                 .pixels = {0, 1, 2, 1, 0, 0, 0, 0, 2, 2, 1, 0, 0, 0, 0, 0, 1, 1, 2, 0, 0, 0, 0, 0}};
    check(bmp, BuildBmp(indexed), "bmp 8");
    indexed.height = -3;
    check(bmp, BuildBmp(indexed), "bmp 8 top-down");
    auto grey = ToBitmap(picture, PixelFormat::Grey8);
    check(jpg, Encode(jpg, *grey), "jpeg grey");
}
