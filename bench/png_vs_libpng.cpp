// Our PNG decoder against libpng on one large RGBA picture (written by libpng with its default
// compression and filter choice), in one run. Prints both throughputs and our share of libpng's.
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "data/DataBin.h"
#include "image/CodecPNG.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A picture with smooth shading, soft noise, hard-edged shapes and a varying alpha channel.
Bytes MakePicture(unsigned w, unsigned h) {
    Bytes rgba(std::size_t(w) * h * 4);
    std::mt19937 rng(42);
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            unsigned char* p = &rgba[(std::size_t(y) * w + x) * 4];
            const int n = static_cast<int>(rng() % 9) - 4;
            const double fx = x / double(w), fy = y / double(h);
            const bool disc = std::hypot(fx - 0.6, fy - 0.4) < 0.25;
            const bool stripe = ((x / 64) + (y / 64)) % 5 == 0;
            int r = static_cast<int>(255 * fx) + n;
            int g = static_cast<int>(255 * fy) + n;
            int b = static_cast<int>(128 + 100 * std::sin(fx * 20) * std::cos(fy * 13)) + n;
            if (disc) r = 230, g = 40 + (x & 7), b = 60;
            if (stripe) r = g = b = 250;
            p[0] = static_cast<unsigned char>(std::clamp(r, 0, 255));
            p[1] = static_cast<unsigned char>(std::clamp(g, 0, 255));
            p[2] = static_cast<unsigned char>(std::clamp(b, 0, 255));
            p[3] = disc ? 255 : static_cast<unsigned char>(std::clamp(static_cast<int>(255 * (1 - fy * fx)), 0, 255));
        }
    }
    return rgba;
}

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void NoFlush(png_structp) {}

Bytes EncodePng(const Bytes& rgba, unsigned w, unsigned h) {
    Bytes out;
    std::vector<png_bytep> rows(h);
    for (unsigned y = 0; y < h; ++y) rows[y] = const_cast<png_bytep>(&rgba[std::size_t(y) * w * 4]);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        out.clear();
        return out;
    }
    png_set_write_fn(png, &out, WriteToVector, NoFlush);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct MemoryReader {
    const Bytes* data;
    std::size_t pos;
};
void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (r->data->size() - r->pos < length) png_error(png, "read past end");
    std::memcpy(out, r->data->data() + r->pos, length);
    r->pos += length;
}

// libpng's usual way: read the whole picture into caller-owned rows.
bool DecodeWithLibpng(const Bytes& file, Bytes& rgba) {
    MemoryReader reader{&file, 0};
    std::vector<png_bytep> rows;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    const unsigned w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    rgba.resize(std::size_t(w) * h * 4);
    rows.resize(h);
    for (unsigned y = 0; y < h; ++y) rows[y] = &rgba[std::size_t(y) * w * 4];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

template <class F>
double BestSeconds(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const unsigned w = 4096, h = 4096;
    const Bytes picture = MakePicture(w, h);
    const Bytes file = EncodePng(picture, w, h);
    std::printf("picture %ux%u RGBA (%zu bytes), PNG written by libpng: %zu bytes\n", w, h, picture.size(),
                file.size());

    Bytes libpngOut;
    bool lok = true;
    const double tl = BestSeconds(runs, [&] { lok = DecodeWithLibpng(file, libpngOut); });
    lok = lok && libpngOut == picture;

    ove::CBuffer source(file.data(), static_cast<ove::u32>(file.size()));
    std::unique_ptr<ove::CBitmapInterface> bitmap;
    const double to = BestSeconds(runs, [&] {
        bitmap.reset();
        source.Seek(0);
        ove::CCodecPNG codec;
        bitmap = codec.Load(&source);
    });
    // Ours stores blue, green, red, alpha, bottom row first.
    bool ook = bitmap && bitmap->Format() == ove::PixelFormat::Rgba8888;
    for (unsigned y = 0; ook && y < h; ++y) {
        const unsigned char* row = bitmap->TopRow(y);
        const unsigned char* ref = &picture[std::size_t(y) * w * 4];
        for (unsigned x = 0; ook && x < w; ++x)
            ook = row[x * 4] == ref[x * 4 + 2] && row[x * 4 + 1] == ref[x * 4 + 1] && row[x * 4 + 2] == ref[x * 4] &&
                  row[x * 4 + 3] == ref[x * 4 + 3];
    }

    const double mb = picture.size() / 1e6;
    std::printf("libpng      : %8.1f MB/s (%.1f ms)%s\n", mb / tl, tl * 1e3, lok ? "" : "  (FAILED)");
    std::printf("ove CCodecPNG: %7.1f MB/s (%.1f ms)%s\n", mb / to, to * 1e3, ook ? "" : "  (FAILED)");
    std::printf("ratio ove/libpng: %.2f\n", tl / to);
    return lok && ook ? 0 : 1;
}
