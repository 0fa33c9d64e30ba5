// Backdrop pictures: the PICT layout with image, masks and hotspot names.
#include <gtest/gtest.h>

#include <stdexcept>

#include "io/DataBin.h"
#include "support/Bytes.h"
#include "walk/BackdropPicture.h"

using namespace ove;
using viewtest::Bytes;
using viewtest::Describe;
using viewtest::RunWord;

namespace {

Bytes PictHead(u32 w, u32 h, u32 bits) {
    Bytes b;
    b.Tag("PICT").U32(w).U32(h).Zeros(24);
    b.Tag("IMGE").U32(0xDEADBEEF).U32(bits).U32(0);
    return b;
}

// 3 x 2, 24 bits: top row (1,2,3),(4,5,6),(7,8,9); bottom row (10..18) as blue, green, red bytes.
Bytes SmallPicture() {
    Bytes b = PictHead(3, 2, 24);
    for (u8 i = 1; i <= 18; ++i) b.U8(i);
    return b;
}

Bytes& Mask(Bytes& b, const char* tag, std::vector<u32> runs, u32 pixels = 6) {
    b.Tag(tag).U32(8 + 4 * u32(runs.size())).U32(pixels).U32(u32(runs.size()));
    for (u32 r : runs) b.U32(r);
    return b;
}

Bytes& Hotspot(Bytes& b, i32 number, const std::string& name) {
    b.Tag("HSPT").I32(number).U32(0);
    b.Tag("NAME").U32(u32(name.size())).Str(name);
    b.Tag("HEND").U32(0);
    return b;
}

bool Load(CBackdropPicture& picture, const Bytes& b) {
    CBuffer buffer(b.v);
    return picture.Load(&buffer);
}

std::vector<u8> SamplePicture() {
    Bytes b = PictHead(4, 3, 24);
    for (int i = 0; i < 36; ++i) b.U8(u8(i));
    Mask(b, "WALK", {RunWord(1, 6), RunWord(2, 6)}, 12);
    Hotspot(b.Tag("HOTS").U32(0), 1, "box").Zeros(12);
    Mask(b, "DPTH", {RunWord(5, 12)}, 12).Tag("ENDF").U32(0);
    return b.v;
}

bool LoadPicture(const std::vector<u8>& bytes) {
    CBuffer buffer(bytes);
    CBackdropPicture picture;
    try {
        picture.Load(&buffer);
    } catch (const std::runtime_error&) {
        return false;
    }
    for (int m = 0; m < CBackdropPicture::kMaskCount; ++m) {
        const CRunMask* mask = picture.Mask(CBackdropPicture::EMask(m));
        if (!mask) continue;
        std::vector<u8> expanded(std::size_t(picture.Width() > 0 ? picture.Width() : 0) *
                                 std::size_t(picture.Height() > 0 ? picture.Height() : 0));
        mask->Expand(expanded.data(), expanded.size());
        (void)mask->ValueAt(mask->PixelCount() - 1);
    }
    return picture.Bitmap() != nullptr;
}

}  // namespace

TEST(Picture, ImageMasksAndHotspots) {
    Bytes b = SmallPicture();
    Mask(b, "CTRL", {RunWord(1, 6)});
    Mask(b, "DPTH", {RunWord(0, 3), RunWord(5, 3)});
    b.Tag("XTRA").U32(5).Str("abcde");  // unknown chunk: skipped
    Mask(b, "WALK", {RunWord(0, 1), RunWord(255, 5)});
    b.Tag("HOTS").U32(0);  // the size is not used for hotspots
    Hotspot(b, 1, "door");
    Hotspot(b, 7, "window");
    b.Zeros(12);
    Mask(b, "CLCK", {RunWord(7, 2), RunWord(1, 4)});
    b.Tag("ENDF").U32(0);

    CBackdropPicture picture;
    ASSERT_TRUE(Load(picture, b));
    EXPECT_EQ(Describe(picture),
              "3x2, 24 bits, control 1 1 1 1 1 1, depth 0 0 0 5 5 5, walk 0 255 255 255 255 255, "
              "click 7 7 1 1 1 1, 1:door, 7:window");
    const CBitmap* bitmap = picture.Bitmap();
    EXPECT_EQ(bitmap->Format(), PixelFormat::Rgb888);
    // The file's first row is the picture's top row, i.e. the last memory row.
    EXPECT_EQ(bitmap->TopRow(0)[0], 1);
    EXPECT_EQ(bitmap->TopRow(0)[8], 9);
    EXPECT_EQ(bitmap->Row(0)[0], 10);
    EXPECT_EQ(bitmap->Row(1)[0], 1);
    EXPECT_EQ(picture.HotspotName(2), nullptr);
    EXPECT_STREQ(picture.HotspotName(7), "window");
}

TEST(Picture, BadHeadersGiveNoImage) {
    CBackdropPicture picture;
    Bytes wrongMagic = SmallPicture();
    wrongMagic.v[0] = 'X';
    EXPECT_FALSE(Load(picture, wrongMagic));
    EXPECT_EQ(Describe(picture), "0x0, no image");
    // The picture header was read before the image header failed: its size stays.
    Bytes wrongImage = SmallPicture();
    wrongImage.v[36] = 'X';
    EXPECT_FALSE(Load(picture, wrongImage));
    EXPECT_EQ(Describe(picture), "3x2, no image");

    Bytes nonZeroWord = PictHead(3, 2, 24);
    nonZeroWord.v[48] = 1;
    nonZeroWord.Zeros(18);
    EXPECT_FALSE(Load(picture, nonZeroWord));
    Bytes oddDepth = PictHead(3, 2, 12);
    oddDepth.Zeros(18);
    EXPECT_FALSE(Load(picture, oddDepth));
    // A header that promises more pixels than the file holds allocates nothing and loads nothing.
    Bytes huge = PictHead(60000, 60000, 32);
    huge.Zeros(64);
    EXPECT_FALSE(Load(picture, huge));
    EXPECT_EQ(picture.Bitmap(), nullptr);
}

TEST(Picture, OtherDepths) {
    for (u32 bits : {8u, 16u, 32u}) {
        Bytes b = PictHead(2, 2, bits);
        for (u32 i = 0; i < 4 * bits / 8; ++i) b.U8(u8(i + 1));
        b.Tag("ENDF").U32(0);
        CBackdropPicture picture;
        ASSERT_TRUE(Load(picture, b)) << bits;
        EXPECT_EQ(picture.Bitmap()->BitsPerPixel(), bits);
        EXPECT_EQ(picture.Bitmap()->TopRow(1)[0], u8(2 * bits / 8 + 1));
    }
}

TEST(Picture, SecondChunkOfAFilledSlotStopsTheChunks) {
    Bytes b = SmallPicture();
    Mask(b, "CTRL", {RunWord(1, 6)});
    Mask(b, "CTRL", {RunWord(2, 6)});
    Mask(b, "WALK", {RunWord(1, 6)});
    b.Tag("ENDF").U32(0);
    CBackdropPicture picture;
    ASSERT_TRUE(Load(picture, b));
    EXPECT_EQ(Describe(picture), "3x2, 24 bits, control 1 1 1 1 1 1");
}

TEST(Picture, HotspotListEdges) {
    Bytes b = SmallPicture();
    b.Tag("HOTS").U32(0);
    Hotspot(b, 2, std::string("gate\0junk", 9));                        // stored as a C string
    b.Tag("HSPT").I32(3).U32(0).Tag("NAME").U32(0).Tag("HEND").U32(0);  // empty name: nothing stored
    b.Tag("HSPT").I32(0).U32(0);                                        // number 0 ends the list, this head is consumed
    Mask(b, "WALK", {RunWord(4, 6)});
    b.Tag("ENDF").U32(0);
    CBackdropPicture picture;
    ASSERT_TRUE(Load(picture, b));
    EXPECT_STREQ(picture.HotspotName(2), "gate");
    EXPECT_EQ(picture.HotspotName(3), nullptr);
    EXPECT_EQ(picture.Hotspots().size(), 1u);
    ASSERT_NE(picture.WalkMask(), nullptr);
    EXPECT_EQ(picture.WalkMask()->ValueAt(0), 4);
}

TEST(Picture, UnknownHotspotAttributeRefusesThePicture) {
    Bytes b = SmallPicture();
    b.Tag("HOTS").U32(0);
    b.Tag("HSPT").I32(1).U32(0).Tag("SIZE").U32(4).U32(0);
    CBackdropPicture picture;
    EXPECT_FALSE(Load(picture, b));
    EXPECT_EQ(picture.Refusal(), "Unknown hotspot attribute");
    // The next load starts afresh.
    EXPECT_TRUE(Load(picture, SmallPicture()));
    EXPECT_EQ(picture.Refusal(), "");
}

TEST(Picture, SaveLoadRoundTrip) {
    auto bitmap = std::make_unique<CBitmap>(5u, 4u, 32u);
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 20; ++x) bitmap->TopRow(y)[x] = u8(y * 20 + x);
    std::vector<u8> walk(20);
    for (u32 i = 0; i < 20; ++i) walk[i] = u8(i / 3);
    CBackdropPicture picture;
    picture.SetImage(std::move(bitmap));
    picture.SetMask(CBackdropPicture::kWalk, std::make_unique<CRunMask>(CRunMask::Encode(walk.data(), 20)));
    picture.SetHotspotName(3, "tree");
    picture.SetHotspotName(0, "never stored");  // 0 cannot be written: it would end the list
    CBuffer file;
    ASSERT_TRUE(picture.Save(&file));
    file.Seek(0);
    CBackdropPicture loaded;
    ASSERT_TRUE(loaded.Load(&file));
    EXPECT_EQ(file.Tell(), file.GetSize());
    EXPECT_EQ(Describe(loaded), "5x4, 32 bits, " + viewtest::Values("walk", walk) + ", 3:tree");
    for (u32 y = 0; y < 4; ++y)
        for (u32 x = 0; x < 20; ++x) ASSERT_EQ(loaded.Bitmap()->TopRow(y)[x], u8(y * 20 + x));
}

TEST(Corrupt, EveryPrefixOfAPictureLoads) {
    const std::vector<u8> full = SamplePicture();
    ASSERT_TRUE(LoadPicture(full));
    for (std::size_t n = 0; n < full.size(); ++n) {
        std::vector<u8> bytes(full.begin(), full.begin() + std::ptrdiff_t(n));
        // The image is there once all its rows are; chunks after it may be missing.
        EXPECT_EQ(LoadPicture(bytes), n >= 36 + 16 + 36) << n;
    }
}
