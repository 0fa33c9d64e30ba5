// Test pictures for the PNG benchmark, made at run time and written by libpng with its default
// compression and filter choice: a photo-like RGB picture, RGBA with a soft alpha channel, a
// paletted picture with partial transparency, a 1-bit one, 16-bit RGB and an interlaced RGBA one.
#pragma once
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace pngbench {

using Bytes = std::vector<unsigned char>;

struct SPicture {
    std::string name;
    unsigned width = 0, height = 0;
    int colourType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool interlace = false;
    std::vector<png_color> palette;
    Bytes paletteAlpha;
    std::vector<Bytes> rows;  // PNG byte order, top row first
    Bytes file;
};

// Smooth value noise over a lattice of `cell` pixels, in 0..1.
class CValueNoise {
public:
    explicit CValueNoise(unsigned seed) {
        std::mt19937 rng(seed);
        for (auto& v : m_lattice) v = static_cast<float>(rng() % 1000) / 999.0f;
    }
    float At(float x, float y) const {
        const int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
        const float fx = x - xi, fy = y - yi;
        const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
        const float a = L(xi, yi), b = L(xi + 1, yi), c = L(xi, yi + 1), d = L(xi + 1, yi + 1);
        return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
    }
    // A few octaves: large soft shapes with finer texture on top.
    float Fractal(float x, float y, int octaves) const {
        float sum = 0, amp = 0.5f, norm = 0;
        for (int o = 0; o < octaves; ++o) {
            sum += amp * At(x, y);
            norm += amp;
            x *= 2.03f;
            y *= 2.03f;
            amp *= 0.5f;
        }
        return sum / norm;
    }

private:
    float L(int x, int y) const {
        return m_lattice[(static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u) & 4095];
    }
    float m_lattice[4096];
};

// Photo-like colour: soft lighting, textured surfaces, a few hard edges and sensor noise.
inline void PhotoPixel(const CValueNoise& n, std::mt19937& rng, unsigned x, unsigned y, unsigned w, unsigned h,
                       int rgb[3]) {
    const float fx = x / float(w), fy = y / float(h);
    const float light = 0.55f + 0.45f * n.Fractal(fx * 3, fy * 3, 3);
    const float tex = n.Fractal(x / 37.0f, y / 37.0f, 5);
    const bool object = n.At(fx * 5 + 11, fy * 5 + 7) > 0.62f;  // hard-edged regions
    float r = object ? 0.75f : 0.35f + 0.4f * fy, g = object ? 0.3f : 0.45f + 0.2f * tex,
          b = object ? 0.2f : 0.6f - 0.3f * fy;
    r = r * light + 0.15f * tex, g = g * light + 0.12f * tex, b = b * light + 0.1f * tex;
    const int noise = static_cast<int>(rng() % 7) - 3;
    rgb[0] = std::clamp(static_cast<int>(r * 255) + noise, 0, 255);
    rgb[1] = std::clamp(static_cast<int>(g * 255) + noise, 0, 255);
    rgb[2] = std::clamp(static_cast<int>(b * 255) + noise, 0, 255);
}

namespace detail {
inline void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
inline void NoFlush(png_structp) {}
}  // namespace detail

inline bool Encode(SPicture& p) {
    p.file.clear();
    std::vector<png_bytep> pointers;
    for (Bytes& r : p.rows) pointers.push_back(r.data());
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &p.file, detail::WriteToVector, detail::NoFlush);
    png_set_IHDR(png, info, p.width, p.height, p.depth, p.colourType,
                 p.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!p.palette.empty()) png_set_PLTE(png, info, p.palette.data(), static_cast<int>(p.palette.size()));
    if (!p.paletteAlpha.empty())
        png_set_tRNS(png, info, p.paletteAlpha.data(), static_cast<int>(p.paletteAlpha.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

inline SPicture Make(const std::string& name, unsigned w, unsigned h, int colourType, int depth, bool interlace) {
    SPicture p;
    p.name = name;
    p.width = w;
    p.height = h;
    p.colourType = colourType;
    p.depth = depth;
    p.interlace = interlace;
    const CValueNoise noise(7 + w + depth);
    std::mt19937 rng(w * 31 + h + colourType);
    const unsigned channels = colourType == PNG_COLOR_TYPE_RGB ? 3 : colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 1;
    const std::size_t rowBytes = (std::size_t(w) * channels * depth + 7) / 8;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        // 256 colours along the photo's tones; the darker quarter partly transparent.
        for (int i = 0; i < 256; ++i) {
            p.palette.push_back(png_color{static_cast<png_byte>(i), static_cast<png_byte>(128 + i / 2),
                                          static_cast<png_byte>(255 - i)});
            p.paletteAlpha.push_back(static_cast<unsigned char>(i < 64 ? i * 4 : 255));
        }
    }
    p.rows.assign(h, Bytes(rowBytes));
    for (unsigned y = 0; y < h; ++y) {
        unsigned char* row = p.rows[y].data();
        for (unsigned x = 0; x < w; ++x) {
            int rgb[3];
            PhotoPixel(noise, rng, x, y, w, h, rgb);
            if (depth == 1) {
                // Ordered dithering of the brightness: typical of scanned or fax-like pictures.
                static const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
                const int grey = (rgb[0] + rgb[1] + rgb[2]) / 3;
                if (grey * 16 / 256 > kBayer[y & 3][x & 3]) row[x >> 3] |= static_cast<unsigned char>(0x80 >> (x & 7));
            } else if (colourType == PNG_COLOR_TYPE_PALETTE) {
                row[x] = static_cast<unsigned char>(rgb[0]);
            } else if (depth == 16) {
                for (unsigned c = 0; c < 3; ++c) {
                    const unsigned v = rgb[c] * 257 + static_cast<unsigned>(rng() % 64);  // low bytes carry noise
                    row[x * 6 + c * 2] = static_cast<unsigned char>(std::min(v, 65535u) >> 8);
                    row[x * 6 + c * 2 + 1] = static_cast<unsigned char>(v);
                }
            } else {
                for (unsigned c = 0; c < 3; ++c) row[x * channels + c] = static_cast<unsigned char>(rgb[c]);
                if (channels == 4) {
                    // Soft vignette alpha with fully opaque and fully clear areas.
                    const float dx = x / float(w) - 0.5f, dy = y / float(h) - 0.5f;
                    const float a = 1.6f - 2.6f * std::sqrt(dx * dx + dy * dy);
                    row[x * 4 + 3] = static_cast<unsigned char>(std::clamp(static_cast<int>(a * 255), 0, 255));
                }
            }
        }
    }
    Encode(p);
    return p;
}

inline std::vector<SPicture> MakeSet() {
    std::vector<SPicture> set;
    set.push_back(Make("photo RGB 4096x4096", 4096, 4096, PNG_COLOR_TYPE_RGB, 8, false));
    set.push_back(Make("RGBA alpha 2048x2048", 2048, 2048, PNG_COLOR_TYPE_RGB_ALPHA, 8, false));
    set.push_back(Make("paletted+tRNS 2048x2048", 2048, 2048, PNG_COLOR_TYPE_PALETTE, 8, false));
    set.push_back(Make("1-bit grey 4096x4096", 4096, 4096, PNG_COLOR_TYPE_GRAY, 1, false));
    set.push_back(Make("16-bit RGB 1536x1536", 1536, 1536, PNG_COLOR_TYPE_RGB, 16, false));
    set.push_back(Make("interlaced RGBA 1024x1024", 1024, 1024, PNG_COLOR_TYPE_RGB_ALPHA, 8, true));
    return set;
}

}  // namespace pngbench
