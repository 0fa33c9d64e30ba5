// The renderer's sprite path on its own: N cels of 32 x 48 that move every frame, drawn through
// CRenderer::DrawCel at 640 x 480 on the offscreen driver, each frame finished with glFinish.
// Prints frames per second and GL draw calls per frame for N = 1,000, 5,000 and 10,000, and a
// checksum of the last frame so that two builds can be shown to draw the same pixels.
//   bench_sprite_batch [frames]          (default 200 timed frames after 20 warm-up frames)
//   bench_sprite_batch --memory N1 N2    resident memory after N1 and N2 frames of a still
//                                        backdrop with 1,000 moving cels
#include <SDL.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "MovingCel.h"
#include "image/Bitmap.h"
#include "render/Renderer.h"

namespace {

using namespace ove;

using namespace benchscene;

using FinishFn = void (*)();

struct SHarness {
    SDL_Window* window = nullptr;
    std::unique_ptr<CRenderer> renderer;
    std::unique_ptr<CBitmap> backdrop;
    FinishFn finish = nullptr;
    SCel cel;

    bool Open() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
        CRenderer::PrepareWindowAttributes();
        window = SDL_CreateWindow("bench", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window) return false;
        renderer = std::make_unique<CRenderer>();
        renderer->Initialise(window);
        renderer->SetGameSize(kWidth, kHeight);
        if (!renderer->Create()) return false;
        finish = reinterpret_cast<FinishFn>(SDL_GL_GetProcAddress("glFinish"));
        // A sprite with a soft edge and transparent corners, as drawn characters have.
        CBitmap picture(kCelWidth, kCelHeight, PixelFormat::Rgba8888);
        for (int y = 0; y < kCelHeight; ++y)
            for (int x = 0; x < kCelWidth; ++x) {
                std::uint8_t* p = picture.TopRow(std::uint32_t(y)) + x * 4;
                const int dx = x - kCelWidth / 2, dy = y - kCelHeight / 2;
                const int d = dx * dx * 9 + dy * dy * 4;
                p[0] = std::uint8_t(40 + x * 6);
                p[1] = std::uint8_t(30 + y * 4);
                p[2] = std::uint8_t(200 - y * 3);
                p[3] = d < 2000 ? 255 : d < 2600 ? 128 : 0;
            }
        cel.width = kCelWidth;
        cel.height = kCelHeight;
        cel.uRight = 1.0f;
        cel.vBottom = 1.0f;
        cel.texture = renderer->CreateTexture(&picture);
        backdrop = std::make_unique<CBitmap>(kWidth, kHeight, PixelFormat::Rgba8888);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                std::uint8_t* p = backdrop->TopRow(std::uint32_t(y)) + x * 4;
                p[0] = std::uint8_t(x / 3);
                p[1] = std::uint8_t(y / 2);
                p[2] = std::uint8_t((x + y) / 5);
                p[3] = 255;
            }
        renderer->SetBackdropWithPriority(backdrop.get(), nullptr);
        return cel.texture != nullptr && finish != nullptr;
    }

    // Renders one frame and waits until it is drawn, whatever the swap does.
    void Frame(std::vector<std::unique_ptr<CMover>>& movers) {
        for (auto& m : movers) m->Move();
        renderer->RenderFrame();
        finish();
    }

    ~SHarness() {
        renderer.reset();
        if (window) SDL_DestroyWindow(window);
        SDL_Quit();
    }
};

std::vector<std::unique_ptr<CMover>> MakeMovers(CRenderer& r, const SCel& cel, int n) {
    std::vector<std::unique_ptr<CMover>> movers;
    for (int i = 0; i < n; ++i) {
        movers.push_back(std::make_unique<CMover>(cel, i + 1, 1.0f));
        r.AddObject(movers.back().get());
    }
    return movers;
}

long ResidentKB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Processor time of the whole process (every GL thread) in seconds: steadier than the clock on a
// busy machine.
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::uint32_t Checksum(CRenderer& r) {
    auto image = r.RenderToImage(kWidth, kHeight);
    std::uint32_t h = 2166136261u;
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* row = image->TopRow(std::uint32_t(y));
        for (int i = 0; i < kWidth * 4; ++i) h = (h ^ row[i]) * 16777619u;
    }
    return h;
}

int Memory(SHarness& h, long n1, long n2) {
    auto movers = MakeMovers(*h.renderer, h.cel, 1000);
    long frame = 0, first = 0;
    for (; frame < n2; ++frame) {
        if (frame == n1) first = ResidentKB();
        h.Frame(movers);
    }
    const long last = ResidentKB();
    std::printf("resident memory: %ld KB after %ld frames, %ld KB after %ld frames (%+ld KB)\n", first, n1, last, n2,
                last - first);
    for (auto& m : movers) h.renderer->RemoveObject(m.get());
    return last - first <= 5 * 1024 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    SHarness h;
    if (!h.Open()) {
        std::fprintf(stderr, "bench_sprite_batch: no OpenGL 3.3 on the offscreen driver: %s\n", SDL_GetError());
        return 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "--memory") == 0) return Memory(h, std::atol(argv[2]), std::atol(argv[3]));
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    std::printf("%8s %10s %14s %12s %12s\n", "sprites", "fps", "cpu ms/frame", "calls/frame", "checksum");
    for (int n : {1000, 5000, 10000}) {
        auto movers = MakeMovers(*h.renderer, h.cel, n);
        for (int i = 0; i < 20; ++i) h.Frame(movers);
        const std::uint64_t calls = h.renderer->DrawCallCount();
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < frames; ++i) h.Frame(movers);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double perFrame = double(h.renderer->DrawCallCount() - calls) / frames;
        const double cpuMs = (CpuSeconds() - cpu) * 1000.0 / frames;
        std::printf("%8d %10.1f %14.2f %12.1f     %08X\n", n, frames / seconds, cpuMs, perFrame, Checksum(*h.renderer));
        for (auto& m : movers) h.renderer->RemoveObject(m.get());
    }
    return 0;
}
