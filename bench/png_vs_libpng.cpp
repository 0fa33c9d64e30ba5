// Our PNG decoder against libpng and stb_image, in one run, on a set of pictures of different kinds
// (see PngBenchPictures.h). Every side decodes the same file from memory into freshly allocated
// 32-bit RGBA memory (ours is BGRA stored bottom-up, the same amount of work) and every output is
// compared with the picture's own pixels. Prints the time of each side and our speed ratios.
#include <png.h>

#ifdef OVE_HAVE_STB
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb/stb_image.h>
#pragma GCC diagnostic pop
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "PngBenchPictures.h"
#include "image/CodecPNG.h"
#include "io/DataBin.h"

namespace {

using pngbench::Bytes;
using pngbench::SPicture;

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

// libpng's usual way to get 8-bit RGBA whatever the file holds, into caller-owned rows.
std::unique_ptr<unsigned char[]> DecodeWithLibpng(const Bytes& file, unsigned& w, unsigned& h) {
    MemoryReader reader{&file, 0};
    std::unique_ptr<unsigned char[]> rgba;
    std::vector<png_bytep> rows;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    w = png_get_image_width(png, info);
    h = png_get_image_height(png, info);
    rgba = std::make_unique_for_overwrite<unsigned char[]>(std::size_t(w) * h * 4);
    rows.resize(h);
    for (unsigned y = 0; y < h; ++y) rows[y] = &rgba[std::size_t(y) * w * 4];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return rgba;
}

// The picture's pixels as 8-bit RGBA, the reference for every side.
Bytes Expected(const SPicture& p) {
    Bytes out(std::size_t(p.width) * p.height * 4);
    for (unsigned y = 0; y < p.height; ++y) {
        const unsigned char* r = p.rows[y].data();
        for (unsigned x = 0; x < p.width; ++x) {
            unsigned char* o = &out[(std::size_t(y) * p.width + x) * 4];
            if (p.depth == 1) {
                o[0] = o[1] = o[2] = (r[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
                o[3] = 255;
            } else if (p.colourType == PNG_COLOR_TYPE_PALETTE) {
                const png_color c = p.palette[r[x]];
                o[0] = c.red, o[1] = c.green, o[2] = c.blue;
                o[3] = r[x] < p.paletteAlpha.size() ? p.paletteAlpha[r[x]] : 255;
            } else if (p.depth == 16) {
                o[0] = r[x * 6], o[1] = r[x * 6 + 2], o[2] = r[x * 6 + 4], o[3] = 255;
            } else if (p.colourType == PNG_COLOR_TYPE_RGB) {
                o[0] = r[x * 3], o[1] = r[x * 3 + 1], o[2] = r[x * 3 + 2], o[3] = 255;
            } else {
                std::memcpy(o, r + x * 4, 4);
            }
        }
    }
    return out;
}

bool SameAsRgba(const unsigned char* rgba, const Bytes& expected) {
    return rgba && std::memcmp(rgba, expected.data(), expected.size()) == 0;
}

// Ours: blue, green, red, alpha, bottom row first.
bool SameAsOurs(const ove::CBitmapInterface* b, const SPicture& p, const Bytes& expected) {
    if (!b || b->Format() != ove::PixelFormat::Rgba8888 || b->Width() != p.width || b->Height() != p.height)
        return false;
    for (unsigned y = 0; y < p.height; ++y) {
        const unsigned char* row = b->TopRow(y);
        const unsigned char* ref = &expected[std::size_t(y) * p.width * 4];
        for (unsigned x = 0; x < p.width; ++x)
            if (row[x * 4] != ref[x * 4 + 2] || row[x * 4 + 1] != ref[x * 4 + 1] || row[x * 4 + 2] != ref[x * 4] ||
                row[x * 4 + 3] != ref[x * 4 + 3])
                return false;
    }
    return true;
}

// Median of the runs in CPU time of this thread (user and system, so page faults count): on a
// machine shared with other work, wall-clock time measures the other work as much as ours.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

template <class F>
double MedianSeconds(int runs, F&& f) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        const double t0 = ThreadSeconds();
        f();
        t.push_back(ThreadSeconds() - t0);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::printf("making pictures...\n");
    const std::vector<SPicture> set = pngbench::MakeSet();
    bool allOk = true;
    std::printf("%-28s %9s %9s %9s %9s  %s\n", "picture", "file KB", "libpng ms", "stb ms", "ove ms",
                "ove/libpng ove/stb");
    for (const SPicture& p : set) {
        const Bytes expected = Expected(p);
        // Each side keeps its output of the last run only for the comparison; every run allocates anew.
        std::unique_ptr<unsigned char[]> libpngOut;
        const double tl = MedianSeconds(runs, [&] {
            libpngOut.reset();
            unsigned w = 0, h = 0;
            libpngOut = DecodeWithLibpng(p.file, w, h);
        });
        const bool lok = SameAsRgba(libpngOut.get(), expected);
        libpngOut.reset();

        double ts = 0;
        bool sok = true;
#ifdef OVE_HAVE_STB
        unsigned char* stbOut = nullptr;
        ts = MedianSeconds(runs, [&] {
            stbi_image_free(stbOut);
            int w = 0, h = 0, n = 0;
            stbOut = stbi_load_from_memory(p.file.data(), static_cast<int>(p.file.size()), &w, &h, &n, 4);
        });
        sok = SameAsRgba(stbOut, expected);
        stbi_image_free(stbOut);
#endif

        // The same input bytes for every side; only the output is made anew.
        ove::CBuffer source(p.file.data(), static_cast<ove::u32>(p.file.size()));
        std::unique_ptr<ove::CBitmapInterface> ours;
        const double tOurs = MedianSeconds(runs, [&] {
            ours.reset();
            source.Seek(0);
            ove::CCodecPNG codec;
            ours = codec.LoadRgba(&source);
        });
        const bool ook = SameAsOurs(ours.get(), p, expected);
        ours.reset();

        allOk = allOk && lok && sok && ook;
        std::printf("%-28s %9zu %9.1f %9.1f %9.1f  %6.2fx %7.2fx%s%s%s\n", p.name.c_str(), p.file.size() / 1024,
                    tl * 1e3, ts * 1e3, tOurs * 1e3, tl / tOurs, ts / tOurs, lok ? "" : "  (libpng WRONG)",
                    sok ? "" : "  (stb WRONG)", ook ? "" : "  (ove WRONG)");
    }
    return allOk ? 0 : 1;
}
