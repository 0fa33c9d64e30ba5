// What a frame in which nothing changed costs: a 640 x 480 backdrop with a 15-level depth mask and
// 200 still depth-tested cels, presented again, against the same frame drawn in full (our own
// redraw, forced), headless on the offscreen driver. Every frame is finished with glFinish before
// the clock is read, on both sides; the sides alternate in rounds. Prints processor time per frame
// of each (every GL thread of the process) and the ratio.
//
// Then the engine itself: `ove --headless` on a small game whose Run() loops on Mark, Animate,
// Display and Wait(1 / 60), once with a still scene and once with a shape moving every turn (the
// peer), each for a few seconds. Prints the share of one core each uses once running, read from
// /proc, and PASS when the still game stays under 5 %.
//   bench_idle_frames [frames per round] [rounds] [seconds per game]     (defaults 40, 5 and 4)
#include <SDL.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
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

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::uint32_t WindowChecksum(ReadPixelsFn readPixels) {
    std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight * 4);
    readPixels(0, 0, kWidth, kHeight, kGLBGRA, kGLUnsignedByte, pixels.data());
    std::uint32_t h = 2166136261u;
    for (std::uint8_t b : pixels) h = (h ^ b) * 16777619u;
    return h;
}

struct STimes {
    double wall = 0.0, cpu = 0.0;
    std::uint64_t drawn = 0;
};

// ---- the renderer alone

int RendererSide(int frames, int rounds) {
    SBenchGL gl;
    if (!OpenBenchGL(gl, "bench_idle_frames")) return 1;
    SDL_Window* window = gl.window;
    std::unique_ptr<CRenderer>& renderer = gl.renderer;
    const FinishFn finish = gl.finish;
    const ReadPixelsFn readPixels = gl.readPixels;

    CBitmap picture(kCelWidth, kCelHeight, PixelFormat::Rgba8888);
    for (int y = 0; y < kCelHeight; ++y)
        for (int x = 0; x < kCelWidth; ++x) {
            std::uint8_t* p = picture.TopRow(std::uint32_t(y)) + x * 4;
            p[0] = std::uint8_t(40 + x * 6);
            p[1] = std::uint8_t(30 + y * 4);
            p[2] = std::uint8_t(200 - y * 3);
            p[3] = (x - 16) * (x - 16) * 9 + (y - 24) * (y - 24) * 4 < 2000 ? 255 : 0;
        }
    SCel cel;
    cel.width = kCelWidth;
    cel.height = kCelHeight;
    cel.uRight = cel.vBottom = 1.0f;
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
    std::vector<std::uint8_t> levels(std::size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) levels[std::size_t(y) * kWidth + x] = std::uint8_t((x / 40 + y / 30) % 16);
    const CRunMask mask = CRunMask::Encode(levels.data(), std::uint32_t(levels.size()));
    renderer->SetBackdropWithPriority(&backdrop, &mask);
    std::vector<std::unique_ptr<CMover>> cels;
    for (int i = 1; i <= kSprites; ++i) {
        cels.push_back(std::make_unique<CMover>(cel, i, CRenderer::PriorityDepth(i % 16)));
        renderer->AddObject(cels.back().get());
    }

    auto run = [&](int n, bool redraw) {
        const std::uint64_t drawn = renderer->DrawnFrameCount();
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < n; ++i) {
            if (redraw) renderer->InvalidateFrame();
            renderer->RenderFrame();
            finish();
        }
        return STimes{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                      CpuSeconds() - cpu, renderer->DrawnFrameCount() - drawn};
    };
    STimes idle, full;
    run(5, true);
    const std::uint32_t drawnSum = WindowChecksum(readPixels);
    bool same = true;
    for (int r = 0; r < rounds; ++r) {
        for (bool redraw : {true, false}) {
            run(2, redraw);
            const STimes t = run(frames, redraw);
            STimes& side = redraw ? full : idle;
            side.wall += t.wall;
            side.cpu += t.cpu;
            side.drawn += t.drawn;
            same = same && WindowChecksum(readPixels) == drawnSum;
        }
    }
    const double total = double(frames) * rounds;
    std::printf("%-34s %12s %12s %12s\n", "640x480, depth mask, 200 cels", "cpu ms/frame", "ms/frame", "drawn");
    std::printf("%-34s %12.3f %12.3f %12llu\n", "full redraw (forced)", full.cpu * 1e3 / total, full.wall * 1e3 / total,
                static_cast<unsigned long long>(full.drawn));
    std::printf("%-34s %12.3f %12.3f %12llu\n", "idle frame", idle.cpu * 1e3 / total, idle.wall * 1e3 / total,
                static_cast<unsigned long long>(idle.drawn));
    const double ratio = idle.cpu / full.cpu;
    std::printf("idle / full redraw: %.4f by processor time, %.4f by the clock (target <= 0.1): %s\n", ratio,
                idle.wall / full.wall, ratio <= 0.1 ? "PASS" : "FAIL");
    std::printf("the window shows the same pixels after idle and drawn frames: %s\n", same ? "yes" : "NO");

    for (auto& c : cels) renderer->RemoveObject(c.get());
    renderer.reset();
    SDL_DestroyWindow(window);
    return ratio <= 0.1 && same && idle.drawn == 0 ? 0 : 2;
}

// ---- the engine waiting in its loop

// utime + stime of every thread of the process, in seconds; negative once it is gone.
double ProcessCpu(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1.0;
    std::vector<std::string> fields;
    std::size_t at = close + 2;
    while (at < text.size() && fields.size() < 13) {
        const std::size_t end = text.find(' ', at);
        fields.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    if (fields.size() < 13) return -1.0;
    // utime and stime, fields 14 and 15 of the line (fields[0] is field 3, the state).
    return double(std::atoll(fields[11].c_str()) + std::atoll(fields[12].c_str())) / double(sysconf(_SC_CLK_TCK));
}

// Runs a game whose every turn waits for 1/60 s; `moving` moves a shape each turn. Returns the
// share of a core it used between one second in and one second before the end, or -1.
double GameShare(const std::filesystem::path& ove, double seconds, bool moving) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("ove_idle_bench_" + std::to_string(getpid()) + (moving ? "_moving" : "_still"));
    std::filesystem::create_directories(dir / "DATA");
    std::ofstream(dir / "DATA" / "settings.xml")
        << "<settings><game width=\"640\" height=\"480\"/><window width=\"640\" height=\"480\"/></settings>";
    const int turns = int(seconds * 60.0) + 120;
    std::ofstream(dir / "DATA" / "main.ovs")
        << "var running = true, box, turns = 0;\n"
           "function Init() {\n"
           "    SetBackdrop(0x203040);\n"
           "    for (var i = 0; i < 40; i++) {\n"
           "        var r = new Rectangle(); r.x1 = (i * 37) % 600; r.y1 = (i * 23) % 440;\n"
           "        r.x2 = r.x1 + 40; r.y2 = r.y1 + 30; r.fill = 0x8080FF; r.border = 0;\n"
           "    }\n"
           "    box = new Rectangle(); box.x1 = 0; box.y1 = 200; box.x2 = 40; box.y2 = 240; box.fill = 0xFFFF00;\n"
           "}\n"
           "function Run() {\n"
           "    while (running && turns < "
        << turns
        << ") {\n"
           "        Mark();\n"
           "        Animate();\n"
        << (moving ? "        box.x1 = turns % 600; box.x2 = box.x1 + 40;\n" : "")
        << "        Display();\n"
           "        Wait(1 / 60);\n"
           "        turns++;\n"
           "    }\n"
           "}\n"
           "function Quit() { running = false; }\n";
    std::fflush(stdout);  // the child must not write what is buffered again
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) _exit(127);
        execl(ove.c_str(), ove.c_str(), "--headless", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) return -1.0;
    using namespace std::chrono;
    std::this_thread::sleep_for(duration<double>(1.0));
    const double cpu0 = ProcessCpu(pid);
    const auto wall0 = steady_clock::now();
    std::this_thread::sleep_for(duration<double>(seconds - 2.0));
    const double cpu1 = ProcessCpu(pid);
    const double wall = duration<double>(steady_clock::now() - wall0).count();
    int status = 0;
    waitpid(pid, &status, 0);
    std::filesystem::remove_all(dir);
    if (cpu0 < 0 || cpu1 < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
    return (cpu1 - cpu0) / wall;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const double seconds = argc > 3 ? std::max(3.0, std::atof(argv[3])) : 4.0;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    CRenderer::PrepareWindowAttributes();
    const int status = RendererSide(frames, rounds);
    SDL_Quit();
    if (status == 1) return 1;

    const std::filesystem::path ove = std::filesystem::path(OVE_BUILD_DIR) / "ove";
    if (!std::filesystem::exists(ove)) {
        std::printf("no %s: build the engine to measure a waiting game\n", ove.c_str());
        return status;
    }
    const double still = GameShare(ove, seconds, false), moving = GameShare(ove, seconds, true);
    if (still < 0 || moving < 0) {
        std::printf("the game did not run to its end\n");
        return 1;
    }
    std::printf("a game waiting with Wait(1 / 60), share of one core: %.1f %% still, %.1f %% moving a shape\n",
                still * 100.0, moving * 100.0);
    std::printf("still game under 5 %% of a core: %s\n", still < 0.05 ? "PASS" : "FAIL");
    return status == 0 && still < 0.05 ? 0 : 2;
}
