// PNG files written and read by libpng, for comparing our decoder with it.
#pragma once
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DeflateTestUtil.h"
#include "image/Bitmap.h"
#include "image/CodecPNG.h"
#include "io/DataBin.h"

namespace pngtest {

struct PngPicture {
    std::uint32_t width = 1, height = 1;
    int colourType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool interlace = false;
    int filters = PNG_ALL_FILTERS;                // PNG_FILTER_NONE ... or a mix
    std::vector<std::uint32_t> palette = {};      // 0xRRGGBB
    std::vector<std::uint8_t> paletteAlpha = {};  // tRNS for palette pictures
    int greyKey = -1;                             // tRNS for grey pictures
};

inline std::size_t PngRowBytes(const PngPicture& s) {
    const int channels[7] = {1, 0, 3, 1, 2, 0, 4};  // by colour type: grey, -, RGB, palette, grey+alpha, -, RGBA
    return (std::size_t(s.width) * channels[s.colourType] * s.depth + 7) / 8;
}

// Sample rows (top row first, PNG byte order) mixing smooth gradients and noise so that every
// filter has something to do.
inline std::vector<Bytes> SampleRows(const PngPicture& s, std::uint32_t seed) {
    std::mt19937 rng(seed);
    const std::size_t n = PngRowBytes(s);
    std::vector<Bytes> rows(s.height, Bytes(n));
    for (std::uint32_t y = 0; y < s.height; ++y)
        for (std::size_t i = 0; i < n; ++i) {
            const bool noisy = (y / 5 + i / 11) % 3 == 0;
            rows[y][i] = static_cast<std::uint8_t>(noisy ? rng() : (i * 7 + y * 3) ^ (y & i));
        }
    return rows;
}

// Encodes the rows with libpng; empty on failure.
inline Bytes WritePng(const PngPicture& s, const std::vector<Bytes>& rows) {
    Bytes out;
    std::vector<png_bytep> pointers;
    for (const Bytes& r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
    std::vector<png_color> plte;
    for (std::uint32_t c : s.palette)
        plte.push_back(
            png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
    png_color_16 key{};
    key.gray = static_cast<png_uint_16>(s.greyKey);

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        out.clear();
        return out;
    }
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t length) {
            auto* to = static_cast<Bytes*>(png_get_io_ptr(p));
            to->insert(to->end(), data, data + length);
        },
        [](png_structp) {});
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colourType,
                 s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!plte.empty()) png_set_PLTE(png, info, plte.data(), static_cast<int>(plte.size()));
    if (!s.paletteAlpha.empty())
        png_set_tRNS(png, info, const_cast<png_bytep>(s.paletteAlpha.data()), static_cast<int>(s.paletteAlpha.size()),
                     nullptr);
    if (s.greyKey >= 0) png_set_tRNS(png, info, nullptr, 0, &key);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, s.filters);
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A picture as 8-bit red, green, blue, alpha, top row first.
struct Rgba {
    std::uint32_t width = 0, height = 0;
    Bytes pixels;
    bool operator==(const Rgba&) const = default;
};

// libpng's reading of the file, reduced the way our decoder reduces: 16-bit samples keep their
// high byte, palettes and greys expand to colours, palette transparency becomes alpha, other
// transparency keys are ignored.
inline bool ReadWithLibpng(const Bytes& file, Rgba& out) {
    struct {
        const Bytes* data;
        std::size_t pos;
    } reader{&file, 0};
    using Reader = decltype(reader);
    std::vector<png_bytep> pointers;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, [](png_structp p, png_bytep to, png_size_t length) {
        auto* r = static_cast<Reader*>(png_get_io_ptr(p));
        if (r->data->size() - r->pos < length) png_error(p, "read past end");
        std::memcpy(to, r->data->data() + r->pos, length);
        r->pos += length;
    });
    png_read_info(png, info);
    const int colourType = png_get_color_type(png, info);
    if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    }
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != out.width * 4) png_error(png, "unexpected row size");
    out.pixels.assign(std::size_t(out.width) * out.height * 4, 0);
    for (std::uint32_t y = 0; y < out.height; ++y)
        pointers.push_back(out.pixels.data() + std::size_t(y) * out.width * 4);
    png_read_image(png, pointers.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// Our bitmap as the same kind of picture. Palette entries carry transparency in their top byte
// only when the file had a palette tRNS; otherwise palette and grey pictures are opaque.
inline Rgba BitmapToRgba(const ove::CBitmapInterface& bmp, bool paletteAlpha) {
    Rgba out;
    out.width = bmp.Width();
    out.height = bmp.Height();
    out.pixels.resize(std::size_t(out.width) * out.height * 4);
    const std::uint32_t bits = bmp.BitsPerPixel();
    for (std::uint32_t y = 0; y < out.height; ++y) {
        const std::uint8_t* row = bmp.TopRow(y);
        for (std::uint32_t x = 0; x < out.width; ++x) {
            std::uint8_t* d = &out.pixels[(std::size_t(y) * out.width + x) * 4];
            if (bits <= 8) {
                const std::uint32_t perByte = 8 / bits;  // cells fill each byte from its top bits
                const std::uint32_t cell = (row[x / perByte] >> (8 - bits * (x % perByte + 1))) & ((1u << bits) - 1);
                std::uint32_t c = bmp.GetPaletteEntry(static_cast<std::uint8_t>(cell));  // 0xAABBGGRR
                if (!paletteAlpha) c |= 0xFF000000u;
                for (int i = 0; i < 4; ++i) d[i] = static_cast<std::uint8_t>(c >> (8 * i));
            } else if (bits == 24 || bits == 32) {
                const std::uint8_t* s = row + std::size_t(x) * (bits / 8);
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
                d[3] = bits == 32 ? s[3] : 255;
            }
        }
    }
    return out;
}

// ---- Shared set-up

// Every colour type and depth, with the format our decoder gives it.
struct Combination {
    int colourType;
    int depth;
    ove::PixelFormat format;
};
using PF = ove::PixelFormat;
inline const Combination kCombinations[] = {
    // Two-bit grey becomes four greys in a 16-entry palette.
    {PNG_COLOR_TYPE_GRAY, 1, PF::Grey1},           {PNG_COLOR_TYPE_GRAY, 2, PF::Indexed4},
    {PNG_COLOR_TYPE_GRAY, 4, PF::Grey4},           {PNG_COLOR_TYPE_GRAY, 8, PF::Grey8},
    {PNG_COLOR_TYPE_GRAY, 16, PF::Grey8},          {PNG_COLOR_TYPE_PALETTE, 1, PF::Indexed1},
    {PNG_COLOR_TYPE_PALETTE, 2, PF::Indexed4},     {PNG_COLOR_TYPE_PALETTE, 4, PF::Indexed4},
    {PNG_COLOR_TYPE_PALETTE, 8, PF::Indexed8},     {PNG_COLOR_TYPE_RGB, 8, PF::Rgb888},
    {PNG_COLOR_TYPE_RGB, 16, PF::Rgb888},          {PNG_COLOR_TYPE_GRAY_ALPHA, 8, PF::Rgba8888},
    {PNG_COLOR_TYPE_GRAY_ALPHA, 16, PF::Rgba8888}, {PNG_COLOR_TYPE_RGB_ALPHA, 8, PF::Rgba8888},
    {PNG_COLOR_TYPE_RGB_ALPHA, 16, PF::Rgba8888},
};

// A picture description; palette pictures get a random palette of every entry their depth allows.
inline PngPicture Picture(std::uint32_t w, std::uint32_t h, int colourType = PNG_COLOR_TYPE_RGB, int depth = 8,
                          bool interlace = false, std::uint32_t seed = 1) {
    PngPicture s{.width = w, .height = h, .colourType = colourType, .depth = depth, .interlace = interlace};
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        std::mt19937 rng(seed);
        for (int i = 0; i < (1 << depth); ++i) s.palette.push_back(rng() & 0xFFFFFF);
    }
    return s;
}

// "type 3 depth 4 interlaced 37x23 filters 248 tRNS 2", for tracing.
inline std::string Describe(const PngPicture& s) {
    return "type " + std::to_string(s.colourType) + " depth " + std::to_string(s.depth) +
           (s.interlace ? " interlaced " : " ") + std::to_string(s.width) + "x" + std::to_string(s.height) +
           " filters " + std::to_string(s.filters) + " tRNS " + std::to_string(s.paletteAlpha.size());
}

inline Bytes SampleFile(const PngPicture& s, std::uint32_t seed) { return WritePng(s, SampleRows(s, seed)); }

// Fails with the first differing byte rather than a dump of both pictures.
inline void ExpectSamePicture(const Rgba& ours, const Rgba& expected) {
    ASSERT_EQ(ours.width, expected.width);
    ASSERT_EQ(ours.height, expected.height);
    auto a = std::mismatch(ours.pixels.begin(), ours.pixels.end(), expected.pixels.begin()).first;
    EXPECT_TRUE(a == ours.pixels.end()) << "first difference at pixel " << (a - ours.pixels.begin()) / 4 << " channel "
                                        << (a - ours.pixels.begin()) % 4;
}

// The result of one load through the codec.
struct Decoded {
    std::unique_ptr<ove::CBitmapInterface> bitmap;
    ove::u32 error = 0;
    std::string text;
};

inline Decoded Decode(const Bytes& file, bool rgba = false) {
    ove::CBuffer source(file.data(), static_cast<ove::u32>(file.size()));
    ove::CCodecPNG codec;
    Decoded d;
    d.bitmap = rgba ? codec.LoadRgba(&source) : codec.Load(&source);
    d.error = codec.GetError();
    d.text = codec.GetErrorText();
    return d;
}

// ---- Hand-made files

inline void PutBe32(Bytes& b, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline Bytes Chunk(const char* type, const Bytes& data) {
    Bytes c;
    PutBe32(c, static_cast<std::uint32_t>(data.size()));
    c.insert(c.end(), type, type + 4);
    c.insert(c.end(), data.begin(), data.end());
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    PutBe32(c, static_cast<std::uint32_t>(crc));
    return c;
}

// The file's chunks in order, each whole (length, type, data, CRC) with its type.
inline std::vector<std::pair<std::string, Bytes>> Chunks(const Bytes& file) {
    std::vector<std::pair<std::string, Bytes>> out;
    for (std::size_t pos = 8; pos + 8 <= file.size();) {
        const std::uint32_t length = std::uint32_t(file[pos]) << 24 | std::uint32_t(file[pos + 1]) << 16 |
                                     std::uint32_t(file[pos + 2]) << 8 | file[pos + 3];
        const std::size_t end = pos + 12 + length;
        out.emplace_back(std::string(file.begin() + pos + 4, file.begin() + pos + 8),
                         Bytes(file.begin() + pos, file.begin() + end));
        pos = end;
    }
    return out;
}

// The signature followed by the chunks.
inline Bytes PngFile(const std::vector<Bytes>& chunks) {
    Bytes f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Bytes& c : chunks) f.insert(f.end(), c.begin(), c.end());
    return f;
}

inline Bytes IhdrData(std::uint32_t w, std::uint32_t h, int depth, int colourType, int interlace = 0) {
    Bytes d;
    PutBe32(d, w);
    PutBe32(d, h);
    d.insert(d.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(colourType), 0, 0,
                       static_cast<std::uint8_t>(interlace)});
    return d;
}

// The rows as image data with filter type 0 before each.
inline Bytes Unfiltered(const std::vector<Bytes>& rows) {
    Bytes raw;
    for (const Bytes& r : rows) {
        raw.push_back(0);
        raw.insert(raw.end(), r.begin(), r.end());
    }
    return raw;
}

// A file from an IHDR and already filtered image data (each row led by its filter byte).
inline Bytes MakePng(const Bytes& ihdr, const Bytes& filtered, const std::vector<Bytes>& extraChunks = {}) {
    std::vector<Bytes> chunks = {Chunk("IHDR", ihdr)};
    chunks.insert(chunks.end(), extraChunks.begin(), extraChunks.end());
    chunks.push_back(Chunk("IDAT", ZlibDeflate(filtered, 6, Z_DEFAULT_STRATEGY, 15)));
    chunks.push_back(Chunk("IEND", {}));
    return PngFile(chunks);
}

}  // namespace pngtest
