// Loading the showcase's views and fonts (built into the build tree), plus a tiny one-cel view, without
// a renderer, as tools and the fuzz targets do. Prints loads per second and the sheet bytes each file
// holds once loaded. No peer: the figures are compared across versions of the loader.
//   bench_view_load [DEMO-DIR] [RUNS]
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/DataBin.h"
#include "resources/View.h"

namespace {

namespace fs = std::filesystem;
using ove::u8;

double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct SFile {
    std::string name;
    std::vector<u8> bytes;
    bool font = false;
};

// A 32-bit view with one 16 x 16 cel.
std::vector<u8> TinyView() {
    std::vector<u8> v;
    auto u32 = [&v](ove::u32 x) {
        for (int i = 0; i < 4; ++i) v.push_back(static_cast<u8>(x >> (8 * i)));
    };
    for (char c : {'V', 'I', 'E', 'W'}) v.push_back(static_cast<u8>(c));
    u32(17);
    u32(32), u32(0), u32(1), u32(1);
    v.push_back(0);
    u32(0), u32(1);                    // one loop of one cel
    u32(16), u32(16), u32(0), u32(0);  // 16 x 16 at offset 0, 0
    for (int i = 0; i < 16 * 16; ++i) u32(0xFF336699u);
    return v;
}

// Loads the file once; returns the sheet bytes the view holds.
std::size_t LoadOnce(const SFile& f) {
    ove::CBuffer bin(f.bytes.data(), static_cast<ove::u32>(f.bytes.size()));
    std::size_t bytes = 0;
    if (f.font) {
        ove::CFont font;
        font.Load(&bin, nullptr);
        for (std::size_t s = 0; s < font.SheetCount(); ++s) bytes += font.Sheet(s).bitmap->PixelBytes();
    } else {
        ove::CView view;
        view.Load(&bin, nullptr);
        for (std::size_t s = 0; s < view.SheetCount(); ++s) bytes += view.Sheet(s).bitmap->PixelBytes();
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path(OVE_BUILD_DIR) / "samples" / "demo" / "DATA";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<SFile> files;
    files.push_back({"(tiny 16x16 view)", TinyView(), false});
    std::error_code ec;
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(dir, ec)) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const fs::path& p : paths) {
        std::string ext = p.extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        if (ext != ".OVV" && ext != ".OVF") continue;
        std::ifstream in(p, std::ios::binary);
        files.push_back({p.filename().string(), {std::istreambuf_iterator<char>(in), {}}, ext == ".OVF"});
    }
    if (files.size() == 1) std::fprintf(stderr, "no views or fonts in %s (build the demo target)\n", dir.c_str());

    std::printf("%-20s %10s %12s %14s\n", "file", "bytes", "loads/s", "sheet bytes");
    double total = 0;
    int loads = 0;
    for (const SFile& f : files) {
        // Median over the runs of the time per load, each run loading for about 0.2 s.
        std::vector<double> perLoad;
        std::size_t held = 0;
        for (int r = 0; r < runs; ++r) {
            const double t0 = ThreadSeconds();
            int n = 0;
            do {
                held = LoadOnce(f);
                ++n;
            } while (ThreadSeconds() - t0 < 0.2);
            perLoad.push_back((ThreadSeconds() - t0) / n);
            total += ThreadSeconds() - t0;
            loads += n;
        }
        std::sort(perLoad.begin(), perLoad.end());
        std::printf("%-20s %10zu %12.0f %14zu\n", f.name.c_str(), f.bytes.size(), 1.0 / perLoad[perLoad.size() / 2],
                    held);
    }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("all files: %.0f loads/s; peak RSS %ld KiB\n", loads / total, ru.ru_maxrss);
    return 0;
}
