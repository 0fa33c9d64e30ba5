// QOI reading and writing, checked against the reference encoder and decoder (qoiconv).
#include <gtest/gtest.h>

#include "ImageTestUtil.h"
#include "image/CodecQOI.h"

using namespace ove;
using namespace imagetest;

namespace {

// Pictures that exercise every operation: gradients (diff, luma), a checkerboard (index), flat
// areas longer than one run (run), random noise (rgb, rgba).
SRgba QoiPicture(bool alpha, unsigned w = 70, unsigned h = 19) {
    SRgba p = TestPicture(w, h, alpha);
    std::mt19937 rng(99);
    const unsigned char flatColour[4] = {10, 20, 30, 128};
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            unsigned char* d = &p.pixels[(std::size_t(y) * w + x) * 4];
            const bool flat = y >= 5 && y < 9, noisy = y >= 12 && y < 14;  // flat: runs across row ends
            for (int c = 0; c < (alpha ? 4 : 3) && (flat || noisy); ++c)
                d[c] = flat ? flatColour[c] : static_cast<unsigned char>(rng());
        }
    return p;
}

bool HaveReference() { return ovetest::HaveProgram("qoiconv") && HaveMagick(); }

const Bytes kEnd = {0, 0, 0, 0, 0, 0, 0, 1};

// A stream: header, operations, then the end marker unless left out.
Bytes Stream(u32 w, u32 h, u8 channels, const Bytes& ops = {}, bool end = false) {
    Bytes b = {'q', 'o', 'i', 'f'};
    for (u32 v : {w, h})
        for (int i = 3; i >= 0; --i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    b.insert(b.end(), {channels, 0});
    b.insert(b.end(), ops.begin(), ops.end());
    if (end) b.insert(b.end(), kEnd.begin(), kEnd.end());
    return b;
}

}  // namespace

TEST(Qoi, ReferenceFilesDecodeAndOurFilesMatchTheReferenceEncoder) {
    if (!HaveReference()) GTEST_SKIP() << "qoiconv or ImageMagick not installed";
    ovetest::TempDir dir;
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha);
        SRgba picture = QoiPicture(alpha);
        fs::path png = MagickWrite(dir, alpha ? "a.png" : "o.png", picture,
                                   alpha ? "PNG32:" : "PNG24:", alpha ? "" : "-alpha off");
        fs::path ref = dir / (alpha ? "a.qoi" : "o.qoi");
        ASSERT_EQ(ovetest::Run("qoiconv " + Q(png) + " " + Q(ref) + " >/dev/null"), 0);
        const Bytes refBytes = ovetest::ReadFileBytes(ref);
        ASSERT_EQ(refBytes[12], alpha ? 4 : 3);

        CCodecQOI codec;
        auto bitmap = Decode(codec, refBytes);
        ASSERT_TRUE(bitmap) << codec.GetErrorText();
        EXPECT_EQ(bitmap->Format(), alpha ? PixelFormat::Rgba8888 : PixelFormat::Rgb888);
        EXPECT_EQ(MaxDiff(FromBitmap(*bitmap), picture), 0);

        // The encoder follows the reference one operation for operation.
        bool ok = false;
        Bytes ours = Encode(codec, *bitmap, &ok);
        ASSERT_TRUE(ok) << codec.GetErrorText();
        EXPECT_EQ(ours, refBytes);

        // And the reference decoder reads what we write from another format.
        auto rgb565 = ToBitmap(picture, PixelFormat::Rgb565);
        Bytes from565 = Encode(codec, *rgb565, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(from565[12], 3);
        fs::path ourFile = dir.Write("ours.qoi", from565), back = dir / "back.png";
        ASSERT_EQ(ovetest::Run("qoiconv " + Q(ourFile) + " " + Q(back) + " >/dev/null"), 0);
        EXPECT_EQ(MaxDiff(MagickRgba(back), FromBitmap(*rgb565), false), 0);
    }
}

TEST(Qoi, RoundTripWithoutReference) {
    for (bool alpha : {false, true}) {
        SRgba picture = QoiPicture(alpha, 129, 7);
        auto bitmap = ToBitmap(picture, alpha ? PixelFormat::Rgba8888 : PixelFormat::Rgb888);
        CCodecQOI codec;
        bool ok = false;
        Bytes file = Encode(codec, *bitmap, &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(Bytes(file.end() - 8, file.end()), kEnd);
        auto back = Decode(codec, file);
        ASSERT_TRUE(back) << codec.GetErrorText();
        EXPECT_EQ(MaxDiff(FromBitmap(*back), picture, alpha), 0);
    }
    // Formats with alpha are written with four channels.
    CBitmapBuffer ga(3, 2, PixelFormat::GreyAlpha8);
    CCodecQOI codec;
    EXPECT_EQ(Encode(codec, ga)[12], 4);
    CBitmapBuffer idx(3, 2, PixelFormat::Indexed4);
    EXPECT_EQ(Encode(codec, idx)[12], 3);
}

TEST(Qoi, ZeroBytesAreIndexOperationsUnlessTheyEndTheStream) {
    // One RGBA pixel, then eight zero bytes and a 1. The first zero is an index operation for entry 0
    // (still transparent black); the remaining seven and the 1 end the stream.
    const Bytes pixelThenEnd = {0xFF, 9, 8, 7, 200, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    CCodecQOI codec;
    EXPECT_FALSE(Decode(codec, Stream(3, 1, 4, pixelThenEnd)));  // the third pixel never came
    EXPECT_STREQ(codec.GetErrorText(), "File ends prematurely.");
    const struct {
        Bytes stream;
        Bytes topRow;
    } cases[] = {
        {Stream(2, 1, 4, pixelThenEnd), {7, 8, 9, 200, 0, 0, 0, 0}},  // blue first
        // Zero bytes followed by something other than the end: replayed before that operation
        // (rgb, two index-0, run of 1).
        {Stream(4, 1, 3, {0xFE, 50, 60, 70, 0, 0, 0xC0}, true), {70, 60, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Trailing zero bytes without the final 1 still count as pixels.
        {Stream(2, 1, 3, {0xFE, 1, 2, 3, 0}), {3, 2, 1, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        auto b = Decode(codec, c.stream);
        ASSERT_TRUE(b) << codec.GetErrorText();
        EXPECT_EQ(Bytes(b->TopRow(0), b->TopRow(0) + c.topRow.size()), c.topRow);
    }
    // The first row of the stream is the top of the picture.
    auto b = Decode(codec, Stream(1, 2, 3, {0xFE, 255, 0, 0, 0xFE, 0, 0, 255}, true));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->Row(1)[2], 255);  // red on the last memory row
    EXPECT_EQ(b->Row(0)[0], 255);  // blue at the bottom
}

TEST(Qoi, BadAndTruncatedStreams) {
    CCodecQOI codec;
    Bytes badMagic = Stream(2, 2, 4, {}, true);
    badMagic[0] = 'Q';
    const std::pair<Bytes, const char*> bad[] = {
        {Stream(2, 2, 5, {}, true), "Invalid header."},
        {badMagic, "Invalid file format."},
        {Bytes{'q', 'o', 'i', 'f', 0, 0}, "File ends prematurely."},
        {Stream(0, 5, 3), "Could not create bitmap."},
        {Stream(0x10000000, 0x10000000, 4), "Could not create bitmap."},
    };
    for (const auto& [stream, error] : bad) {
        EXPECT_FALSE(Decode(codec, stream)) << error;
        EXPECT_STREQ(codec.GetErrorText(), error);
    }
    EXPECT_FALSE(Decode(codec, bad[0].first));
    EXPECT_EQ(codec.GetError(), 4u << 16);
    EXPECT_FALSE(codec.Load(nullptr));
    EXPECT_STREQ(codec.GetErrorText(), "Could not read from input device.");

    SRgba picture = QoiPicture(true, 23, 9);
    auto bitmap = ToBitmap(picture, PixelFormat::Rgba8888);
    const Bytes whole = Encode(codec, *bitmap);
    for (std::size_t n = 0; n < whole.size(); ++n) {
        auto b = Decode(codec, Bytes(whole.begin(), whole.begin() + n));
        if (n + 8 >= whole.size()) {
            // Only the end marker is missing: every pixel is there.
            ASSERT_TRUE(b) << n;
            EXPECT_EQ(MaxDiff(FromBitmap(*b), picture), 0);
        } else {
            EXPECT_FALSE(b) << n;
            EXPECT_STREQ(codec.GetErrorText(), "File ends prematurely.") << n;
        }
    }

    std::mt19937 rng(5);
    for (int round = 0; round < 3000; ++round) {
        if (!Decode(codec, Damage(whole, rng, 6, 3))) {
            EXPECT_STRNE(codec.GetErrorText(), "No error information available.");
        }
    }

    EXPECT_FALSE(codec.Save(nullptr, nullptr));
    EXPECT_STREQ(codec.GetErrorText(), "Could not read from input device.");
    EXPECT_FALSE(codec.Save(bitmap.get(), nullptr));
    EXPECT_STREQ(codec.GetErrorText(), "Could not write to output device.");
}

TEST(CodecBase, FrameListsWrapLoadAndSave) {
    CBitmapBuffer picture(5, 3, PixelFormat::Rgb888);
    picture.Pixels()[0] = 77;
    CCodecQOI codec;
    const Bytes file = Encode(codec, picture);

    CBuffer in(file.data(), static_cast<u32>(file.size()));
    std::unique_ptr<CFrameList> frames = codec.LoadImage(&in);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->Count(), 1u);
    EXPECT_EQ(frames->Width(), 5u);
    EXPECT_EQ(frames->Height(), 3u);
    EXPECT_EQ((*frames)[0].param1, 0u);
    EXPECT_EQ((*frames)[0].bitmap->Pixels()[0], 77);

    CBuffer out;
    ASSERT_TRUE(codec.SaveImage(*frames, &out));
    EXPECT_EQ(out.Bytes(), file);
    CFrameList none;
    EXPECT_FALSE(codec.SaveImage(none, &out));
    EXPECT_STREQ(codec.GetErrorText(), "Could not read from input device.");

    CBuffer bad(file.data(), 10);
    EXPECT_FALSE(codec.LoadImage(&bad));
    EXPECT_STREQ(codec.GetErrorText(), "File ends prematurely.");

    // A codec that overrides neither operation fails instead of calling itself for ever.
    class CNothing : public CImageCodec {};
    CNothing nothing;
    EXPECT_FALSE(nothing.Load(&in));
    EXPECT_FALSE(nothing.LoadImage(&in));
    EXPECT_STREQ(nothing.GetErrorText(), "Cannot handle file format.");
    EXPECT_FALSE(nothing.Save(&picture, &out));
}
