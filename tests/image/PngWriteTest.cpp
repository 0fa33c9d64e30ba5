// The PNG writer: its files read back with libpng and with our own decoder, and its zlib streams
// inflate with zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "image/Bitmap.h"
#include "image/ImageLoad.h"
#include "image/PngWrite.h"
#include "support/PngTestUtil.h"
#include "support/TestSupport.h"

using namespace ove;

namespace {

using Bytes = std::vector<u8>;

// Pictures that give every row filter and the matcher something to do: flat areas, gradients,
// noise, and (for alpha) partly transparent pixels.
std::unique_ptr<CBitmap> Sample(u32 w, u32 h, PixelFormat format, bool alpha, u32 seed) {
    auto b = std::make_unique<CBitmap>(w, h, format);
    std::mt19937 rng(seed);
    const u32 bytes = format == PixelFormat::Rgb888 ? 3 : 4;
    for (u32 y = 0; y < h; ++y)
        for (u32 x = 0; x < w; ++x) {
            u8* p = b->TopRow(y) + std::size_t(x) * bytes;
            const bool noisy = (x / 9 + y / 7) % 4 == 0, flat = (x / 13 + y / 5) % 3 == 0;
            p[0] = u8(noisy ? rng() : flat ? 0x40 : x * 3 + y);
            p[1] = u8(noisy ? rng() : flat ? 0x80 : x ^ y);
            p[2] = u8(noisy ? rng() : flat ? 0xC0 : y * 5);
            if (bytes == 4) p[3] = alpha ? u8(noisy ? rng() : x * 7) : 255;
        }
    return b;
}

Bytes Inflate(const Bytes& z, std::size_t expected) {
    Bytes out(expected + 1);
    uLongf n = uLongf(out.size());
    if (uncompress(out.data(), &n, z.data(), uLong(z.size())) != Z_OK) return {};
    out.resize(n);
    return out;
}

}  // namespace

TEST(PngWrite, PicturesReadBackTheSameWithLibpngAndOurDecoder) {
    const struct {
        u32 w, h;
        PixelFormat format;
        bool alpha;
    } cases[] = {
        {1, 1, PixelFormat::Rgba8888, false},  {37, 23, PixelFormat::Rgba8888, false},
        {64, 48, PixelFormat::Rgba8888, true}, {321, 200, PixelFormat::Rgba8888, false},
        {13, 7, PixelFormat::Rgb888, false},
    };
    u32 seed = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (c.alpha ? " with alpha" : ""));
        auto picture = Sample(c.w, c.h, c.format, c.alpha, seed++);
        const pngtest::Rgba expected = pngtest::BitmapToRgba(*picture, false);
        CBuffer out;
        ASSERT_TRUE(WritePNG(*picture, &out));
        const Bytes file = out.Bytes();
        ASSERT_GT(file.size(), 33u);
        EXPECT_EQ(file[25], c.alpha ? 6 : 2) << "colour type: alpha only when some pixel needs it";

        pngtest::Rgba libpng;
        ASSERT_TRUE(pngtest::ReadWithLibpng(file, libpng));
        EXPECT_EQ(libpng.width, c.w);
        EXPECT_EQ(libpng.height, c.h);
        EXPECT_TRUE(libpng.pixels == expected.pixels);

        out.Seek(0);
        std::string error;
        auto ours = DecodeImage(&out, ImageFileFormat::PNG, &error);
        ASSERT_TRUE(ours) << error;
        EXPECT_TRUE(pngtest::BitmapToRgba(*ours, false).pixels == expected.pixels);
    }
    CBitmap empty;
    CBuffer out;
    EXPECT_FALSE(WritePNG(empty, &out));
}

TEST(PngWrite, ZlibStreamsInflateWithZlib) {
    std::mt19937 rng(7);
    Bytes noise(200000), window(65536), text;
    for (u8& b : noise) b = u8(rng());
    // The second half repeats the first at exactly the largest distance deflate allows.
    for (std::size_t i = 0; i < 32768; ++i) window[i] = window[i + 32768] = u8(rng());
    for (int i = 0; i < 3000; ++i) {
        const std::string line = "line " + std::to_string(i % 89) + " of the story\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    const Bytes zeros(100000, 0);
    const std::vector<std::pair<const char*, Bytes>> inputs = {
        {"empty", {}}, {"one byte", {42}}, {"zeros", zeros}, {"noise", noise}, {"far repeat", window}, {"text", text}};
    for (const auto& [what, data] : inputs) {
        SCOPED_TRACE(what);
        const Bytes z = ZlibCompress(data.data(), data.size());
        EXPECT_EQ(Inflate(z, data.size()), data);
        // Never much more than the data stored as they are; far less when they repeat.
        EXPECT_LE(z.size(), data.size() + 5 * (data.size() / 65535 + 1) + 6);
    }
    EXPECT_LT(ZlibCompress(zeros.data(), zeros.size()).size(), 1000u);
    EXPECT_LT(ZlibCompress(window.data(), window.size()).size(), window.size() * 6 / 10) << "the repeat is found";
}
