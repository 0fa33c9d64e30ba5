// Our JPEG load into the engine's 32-bit layout against TurboJPEG's own tjDecompress2 to RGBA, on
// one photo-like 2048 x 2048 picture made at run time, in one run. Both sides get fresh output
// memory every time; the outputs are compared pixel for pixel. Prints both times and the ratio
// (TurboJPEG's time over ours: 1.0 means as fast, above 1.0 faster).
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "image/ImageLoad.h"
#include "io/DataBin.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Smooth gradients, fine texture, noise and hard edges: roughly what a photograph gives the coder.
Bytes MakePhoto(unsigned w, unsigned h) {
    Bytes rgb(std::size_t(w) * h * 3);
    std::mt19937 rng(7);
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            const double fx = x / double(w), fy = y / double(h);
            const double sky = 1.0 - fy;
            const double hills = 0.5 + 0.5 * std::sin(fx * 9.0 + std::sin(fy * 5.0) * 2.0);
            const double leaves = 0.5 + 0.5 * std::sin(x * 0.37) * std::cos(y * 0.29 + fx * 3.0);
            const int n = static_cast<int>(rng() % 21) - 10;
            const bool trunk = std::fabs(fx - 0.3 - 0.02 * std::sin(fy * 30)) < 0.015 && fy > 0.4;
            int r = static_cast<int>(60 + 120 * sky * hills + 50 * leaves) + n;
            int g = static_cast<int>(90 + 100 * hills + 40 * leaves * (1 - sky)) + n;
            int b = static_cast<int>(80 + 160 * sky - 40 * leaves) + n;
            if (trunk) r = 70 + n, g = 45 + n, b = 30;
            unsigned char* p = &rgb[(std::size_t(y) * w + x) * 3];
            p[0] = static_cast<unsigned char>(std::clamp(r, 0, 255));
            p[1] = static_cast<unsigned char>(std::clamp(g, 0, 255));
            p[2] = static_cast<unsigned char>(std::clamp(b, 0, 255));
        }
    }
    return rgb;
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
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const unsigned w = 2048, h = 2048;
    const Bytes photo = MakePhoto(w, h);

    // Encoded as the engine saves: quality 80, 4:2:0.
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    if (tjCompress2(encoder, photo.data(), static_cast<int>(w), 0, static_cast<int>(h), TJPF_RGB, &jpeg, &jpegSize,
                    TJSAMP_420, 80, 0) != 0) {
        std::fprintf(stderr, "encoding failed: %s\n", tjGetErrorStr2(encoder));
        return 1;
    }
    const Bytes file(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    tjDestroy(encoder);
    std::printf("picture %ux%u, JPEG quality 80 4:2:0: %zu bytes; best of %d runs\n", w, h, file.size(), runs);

    // TurboJPEG: a decompressor and a fresh RGBA buffer per picture, top row first.
    std::unique_ptr<unsigned char[]> theirs;
    bool theyOk = true;
    const double tt = BestSeconds(runs, [&] {
        theirs.reset();
        theirs.reset(new unsigned char[std::size_t(w) * h * 4]);
        tjhandle d = tjInitDecompress();
        theyOk = tjDecompress2(d, file.data(), file.size(), theirs.get(), static_cast<int>(w), 0, static_cast<int>(h),
                               TJPF_RGBA, 0) == 0 &&
                 theyOk;
        tjDestroy(d);
    });

    // Ours: the engine's image load (a new Rgba8888 bitmap, blue-green-red-alpha, bottom row first).
    ove::CBuffer source(file.data(), static_cast<ove::u32>(file.size()));
    std::unique_ptr<ove::CBitmapInterface> ours;
    std::string error;
    const double to = BestSeconds(runs, [&] {
        ours.reset();
        source.Seek(0);
        ours = ove::DecodeImage(&source, ove::ImageFileFormat::JPEG, &error);
    });

    bool same = theyOk && ours && ours->Format() == ove::PixelFormat::Rgba8888 && ours->Width() == w &&
                ours->Height() == h;
    for (unsigned y = 0; same && y < h; ++y) {
        const unsigned char* row = ours->TopRow(y);
        const unsigned char* ref = theirs.get() + std::size_t(y) * w * 4;
        for (unsigned x = 0; same && x < w; ++x)
            same = row[x * 4] == ref[x * 4 + 2] && row[x * 4 + 1] == ref[x * 4 + 1] && row[x * 4 + 2] == ref[x * 4] &&
                   row[x * 4 + 3] == ref[x * 4 + 3];
    }

    const double mp = w * double(h) / 1e6;
    std::printf("tjDecompress2 (RGBA):      %7.2f ms  %7.1f Mpixel/s\n", tt * 1e3, mp / tt);
    std::printf("ove JPEG load (32-bit):    %7.2f ms  %7.1f Mpixel/s\n", to * 1e3, mp / to);
    std::printf("outputs %s\n", same ? "identical" : "DIFFER");
    std::printf("ratio (TurboJPEG time / ours): %.3f  (target >= 0.95)\n", tt / to);
    return same ? 0 : 1;
}
