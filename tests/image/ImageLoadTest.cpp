// Loading and saving image files by extension.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "ImageTestUtil.h"
#include "image/CodecQOI.h"
#include "image/ImageLoad.h"

using namespace ove;
using namespace imagetest;

namespace {

u32 Pixel32(const CBitmapInterface& b, u32 x, u32 y) {
    const u8* p = b.TopRow(y) + x * 4;
    return p[0] | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}

}  // namespace

TEST(ImageLoad, CodecByExtension) {
    using F = ImageFileFormat;
    for (auto [name, format] : {std::pair{"pic.PNG", F::PNG},
                                {"a.b.JpEg", F::JPEG},
                                {"x.jpg", F::JPEG},
                                {"x.Bmp", F::BMP},
                                {".qoi", F::QOI},
                                {"pic", F::Unknown},
                                {"pic.bmpx", F::Unknown},
                                {"dir.png/pic", F::Unknown},
                                {"pic.", F::Unknown},
                                {"", F::Unknown}})
        EXPECT_EQ(ImageFormatFromName(name), format) << name;
    for (ImageFileFormat f : {ImageFileFormat::BMP, ImageFileFormat::JPEG, ImageFileFormat::PNG, ImageFileFormat::QOI})
        EXPECT_NE(CreateImageCodec(f), nullptr);
    EXPECT_EQ(CreateImageCodec(ImageFileFormat::Unknown), nullptr);
}

TEST(ImageLoad, LoadedPicturesBecomeOpaqueRgba) {
    ovetest::TempDir dir;
    // An 8-bit indexed BMP: colours from the palette, fully opaque.
    const SBmp s{.width = 3,
                 .height = 2,
                 .bitCount = 8,
                 .palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF},
                 .coloursUsed = 4,
                 .pixels = {1, 2, 3, 0, 0, 0, 3, 0}};  // bottom row 1 2 3, top row 0 0 3
    fs::path bmp = dir.Write("pal.BMP", BuildBmp(s));
    std::string error;
    auto b = LoadImageFile(bmp.string(), &error);
    ASSERT_TRUE(b) << error;
    EXPECT_EQ(b->Format(), PixelFormat::Rgba8888);
    for (auto [x, y, argb] :
         {std::tuple{0u, 1u, 0xFFFF0000u}, {1u, 1u, 0xFF00FF00u}, {2u, 0u, 0xFF0000FFu}, {0u, 0u, 0xFF000000u}})
        EXPECT_EQ(Pixel32(*b, x, y), argb) << x << "," << y;

    // A 32-bit QOI with alpha keeps its alpha.
    CBitmapBuffer rgba(2, 1, PixelFormat::Rgba8888);
    const u8 px[8] = {1, 2, 3, 0, 4, 5, 6, 128};
    std::copy(px, px + 8, rgba.Pixels());
    CCodecQOI qoi;
    fs::path q = dir.Write("a.qoi", Encode(qoi, rgba));
    b = LoadImageFile(q.string(), &error);
    ASSERT_TRUE(b) << error;
    EXPECT_EQ(Pixel32(*b, 0, 0), 0x00030201u);
    EXPECT_EQ(Pixel32(*b, 1, 0), 0x80060504u);
}

TEST(ImageLoad, FailuresCarryTheirMessages) {
    ovetest::TempDir dir;
    std::string error;
    const std::string missing = (dir / "nothing.bmp").string();
    EXPECT_FALSE(LoadImageFile(missing, &error));
    EXPECT_EQ(error, "Unable to find image file [" + missing + "]");
    fs::path plain = dir.Write("pic", BuildBmp(SBmp{.pixels = {0, 0, 0, 0}}));
    EXPECT_FALSE(LoadImageFile(plain.string(), &error));
    EXPECT_TRUE(error.starts_with("Unable to load image file: unknown format")) << error;
    EXPECT_NE(error.find(".png"), std::string::npos) << "says which names are known: " << error;
    for (auto [name, bytes, message] : {std::tuple{"short.bmp", Bytes{'B', 'M', 0, 0}, "File ends prematurely."},
                                        {"fake.png", Bytes(40, 'x'), "Invalid header."}}) {
        EXPECT_FALSE(LoadImageFile(dir.Write(name, bytes).string(), &error));
        EXPECT_EQ(error, message);
    }

    CBuffer empty;
    EXPECT_FALSE(DecodeImage(&empty, ImageFileFormat::QOI, &error));
    EXPECT_EQ(error, "File ends prematurely.");
    EXPECT_FALSE(DecodeImage(&empty, ImageFileFormat::Unknown, &error));
    EXPECT_EQ(error, "Unable to load image file: unknown format");
    EXPECT_FALSE(ConvertToRgba8888(nullptr));
}

TEST(ImageSave, ByExtension) {
    ovetest::TempDir dir;
    SRgba picture = TestPicture(9, 5);
    auto rgba = ToBitmap(picture, PixelFormat::Rgba8888);
    std::string error;
    for (const char* name : {"o.bmp", "o.QOI", "o.jpg", "o.jpeg"}) {
        fs::path p = dir / name;
        ASSERT_TRUE(SaveImageFile(p.string(), *rgba, &error)) << name << ": " << error;
        auto back = LoadImageFile(p.string(), &error);
        ASSERT_TRUE(back) << name << ": " << error;
        const bool lossy = ImageFormatFromName(name) == ImageFileFormat::JPEG;
        if (lossy) {
            EXPECT_LT(MeanDiff(FromBitmap(*back), picture), 40.0) << name;
        } else {
            EXPECT_EQ(MaxDiff(FromBitmap(*back), picture), 0) << name;
        }
    }
    Bytes bmp = ovetest::ReadFileBytes(dir / "o.bmp");
    EXPECT_EQ(bmp[28], 32);
    EXPECT_FALSE(SaveImageFile((dir / "o.png").string(), *rgba, &error));
    EXPECT_EQ(error, "Saving to PNG files is not supported.");
    EXPECT_FALSE(SaveImageFile((dir / "o.gif").string(), *rgba, &error));
    EXPECT_EQ(error, "Unknown image format");
    EXPECT_FALSE(fs::exists(dir / "o.gif"));
    EXPECT_FALSE(SaveImageFile((dir / "no/such/dir.bmp").string(), *rgba, &error));
    EXPECT_EQ(error, "Could not write to output device.");
}
