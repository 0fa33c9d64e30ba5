// What a depth (priority) mask costs: a 640 x 480 backdrop drawn with a depth mask holding all 15
// levels against the same backdrop without one, both with the same 200 depth-tested 32 x 48 cels
// moving every frame, headless on the offscreen driver. Every frame is finished with glFinish
// before the clock is read, on both sides. The two sides alternate in rounds so that a change in
// the machine's load hits both alike. Prints frames per second of each and the ratio, by the clock
// and by processor time (every GL thread of the process; steadier on a busy machine).
//   bench_depth_mask [frames per round] [rounds]     (defaults 40 and 5)
#include <SDL.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "BenchGL.h"
#include "MovingCel.h"
#include "image/Bitmap.h"
#include "image/RunMask.h"
#include "render/Renderer.h"

namespace {

using namespace ove;

using namespace benchscene;

constexpr int kSprites = 200;

constexpr unsigned kGLBGRA = 0x80E1, kGLUnsignedByte = 0x1401;

// Levels 1..15 in irregular patches, with level-0 gaps between them, as painted masks have.
CRunMask MakeMask() {
    std::vector<std::uint8_t> values(std::size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int patch = (x / 48 + (y / 40) * 3 + (x * y / 997) % 2) % 18;
            values[std::size_t(y) * kWidth + x] = std::uint8_t(patch <= 15 ? patch : 0);
        }
    return CRunMask::Encode(values.data(), std::uint32_t(values.size()));
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct STimes {
    double wall = 0.0, cpu = 0.0;
};

std::uint32_t Checksum(const std::uint8_t* (*rowOf)(const void*, int), const void* from) {
    std::uint32_t h = 2166136261u;
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* row = rowOf(from, y);
        for (int i = 0; i < kWidth * 4; ++i) h = (h ^ row[i]) * 16777619u;
    }
    return h;
}

std::uint32_t Checksum(CRenderer& r) {
    auto image = r.RenderToImage(kWidth, kHeight);
    return Checksum([](const void* b, int y) { return static_cast<const CBitmap*>(b)->TopRow(std::uint32_t(y)); },
                    image.get());
}

// What the window shows now (read back bottom row first).
std::uint32_t WindowChecksum(ReadPixelsFn readPixels) {
    std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight * 4);
    readPixels(0, 0, kWidth, kHeight, kGLBGRA, kGLUnsignedByte, pixels.data());
    return Checksum(
        [](const void* p, int y) {
            return static_cast<const std::uint8_t*>(p) + std::size_t(kHeight - 1 - y) * kWidth * 4;
        },
        pixels.data());
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    CRenderer::PrepareWindowAttributes();
    SBenchGL gl;
    if (!OpenBenchGL(gl, "bench_depth_mask")) return 1;
    SDL_Window* window = gl.window;
    std::unique_ptr<CRenderer>& renderer = gl.renderer;
    const FinishFn finish = gl.finish;
    const ReadPixelsFn readPixels = gl.readPixels;

    CBitmap picture(kCelWidth, kCelHeight, PixelFormat::Rgba8888);
    for (int y = 0; y < kCelHeight; ++y)
        for (int x = 0; x < kCelWidth; ++x) {
            std::uint8_t* p = picture.TopRow(std::uint32_t(y)) + x * 4;
            const int dx = x - kCelWidth / 2, dy = y - kCelHeight / 2;
            p[0] = std::uint8_t(40 + x * 6);
            p[1] = std::uint8_t(30 + y * 4);
            p[2] = std::uint8_t(200 - y * 3);
            p[3] = dx * dx * 9 + dy * dy * 4 < 2000 ? 255 : 0;
        }
    SCel cel;
    cel.width = kCelWidth;
    cel.height = kCelHeight;
    cel.uRight = 1.0f;
    cel.vBottom = 1.0f;
    cel.texture = renderer->CreateTexture(&picture);
    CBitmap backdrop(kWidth, kHeight, PixelFormat::Rgba8888);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = backdrop.TopRow(std::uint32_t(y)) + x * 4;
            p[0] = std::uint8_t(x / 3);
            p[1] = std::uint8_t(y / 2);
            p[2] = std::uint8_t((x + y) / 5);
            p[3] = 255;
        }
    const CRunMask mask = MakeMask();

    std::vector<std::unique_ptr<CMover>> movers;
    for (int i = 1; i <= kSprites; ++i) {
        movers.push_back(std::make_unique<CMover>(cel, i, CRenderer::PriorityDepth(i % 16)));
        renderer->AddObject(movers.back().get());
    }
    auto run = [&](int n) {
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) {
            for (auto& m : movers) m->Move();
            renderer->RenderFrame();
            finish();
        }
        return STimes{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                      CpuSeconds() - cpu};
    };

    STimes plain, masked;
    std::uint32_t plainSum = 0, maskedSum = 0;
    for (int r = 0; r < rounds; ++r) {
        renderer->SetBackdropWithPriority(&backdrop, nullptr);
        run(5);
        const STimes p = run(frames);
        plain.wall += p.wall;
        plain.cpu += p.cpu;
        if (r == 0) plainSum = Checksum(*renderer);
        renderer->SetBackdropWithPriority(&backdrop, &mask);
        run(5);
        const STimes m = run(frames);
        masked.wall += m.wall;
        masked.cpu += m.cpu;
        if (r == 0) maskedSum = Checksum(*renderer);
    }
    const double total = double(frames) * rounds;
    std::printf("%-26s %10s %10s %10s\n", "640x480, 200 cels", "fps", "cpu fps", "checksum");
    std::printf("%-26s %10.1f %10.1f   %08X\n", "without depth mask", total / plain.wall, total / plain.cpu, plainSum);
    std::printf("%-26s %10.1f %10.1f   %08X\n", "with a 15-level depth mask", total / masked.wall, total / masked.cpu,
                maskedSum);
    std::printf("with / without: %.3f by the clock, %.3f by processor time (target >= 0.9)\n", plain.wall / masked.wall,
                plain.cpu / masked.cpu);
    // The window's frames after the first reuse the map's depth: they must match a frame drawn
    // from scratch off-screen.
    run(2);
    const std::uint32_t shown = WindowChecksum(readPixels), fresh = Checksum(*renderer);
    std::printf("window frame with the kept depth %s a fresh frame (%08X, %08X)\n",
                shown == fresh ? "matches" : "DIFFERS FROM", shown, fresh);

    for (auto& m : movers) renderer->RemoveObject(m.get());
    renderer.reset();
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
