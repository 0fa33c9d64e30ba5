// Helpers for the end-to-end tests: run the engine and the tool as a user would, and read the
// pictures they exchange with libpng and a BMP reader of our own.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace demotest {

// The result of one run of a program: exit status and what it wrote to standard error and output.
struct SRun {
    int status = -1;
    std::string err, out;
};

// Single-quotes a path or word for the shell.
inline std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline SRun RunCommand(const std::string& command) {
    ovetest::TempDir out;
    SRun r;
    r.status = ovetest::Run(command + " 2>" + Quote((out / "err").string()) + " >" + Quote((out / "out").string()));
    const auto err = ovetest::ReadFileBytes(out / "err"), stdOut = ovetest::ReadFileBytes(out / "out");
    r.err.assign(err.begin(), err.end());
    r.out.assign(stdOut.begin(), stdOut.end());
    return r;
}

// Where a test run's player folders go: a scratch folder of the test program, never the tester's own
// (and not the game's folder: the built demo must stay as it was built).
inline std::filesystem::path PlayerHome(const std::filesystem::path&) {
    static const ovetest::TempDir home;
    return home.path();
}

// Runs `ove --headless` in gameDir with the extra options (already quoted as needed).
inline SRun RunEngine(const std::filesystem::path& gameDir, const std::string& extra) {
    const std::filesystem::path home = PlayerHome(gameDir);
    return RunCommand("cd " + Quote(gameDir.string()) + " && XDG_CONFIG_HOME=" + Quote((home / "config").string()) +
                      " XDG_DATA_HOME=" + Quote((home / "data").string()) +
                      " SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " + Quote(std::string(OVE_BUILD_DIR) + "/ove") +
                      " --headless " + extra);
}

// Runs `ovetool` with the arguments (already quoted as needed).
inline SRun RunTool(const std::string& args) {
    return RunCommand(Quote(std::string(OVE_BUILD_DIR) + "/ovetool") + " " + args);
}

// A command's standard output, trailing line ends dropped.
inline std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* f = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, f)) out += buffer;
        pclose(f);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// The complete lines of a text.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

// Polls until the predicate holds; false when the time ran out first.
template <class F>
bool WaitFor(F predicate, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    for (const auto end = std::chrono::steady_clock::now() + limit; !predicate();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// An 8-bit picture of 1 (grey), 3 (RGB) or 4 (RGBA) channels, rows top to bottom.
struct SPicture {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> pixels;
    const std::uint8_t* At(int x, int y) const { return &pixels[(std::size_t(y) * width + x) * channels]; }
    std::uint32_t Rgb(int x, int y) const;  // 0xRRGGBB (grey repeated)
};

// Reads a PNG with libpng into 8-bit RGBA (grey repeated in R, G and B); empty picture on failure.
SPicture ReadPng(const std::filesystem::path& path);
// Reads a BMP with the engine's loader into 8-bit RGBA; empty picture on failure.
SPicture ReadBmp(const std::filesystem::path& path);

// The built demo's folders.
std::filesystem::path DemoDir();
std::filesystem::path PackedDemoDir();
std::filesystem::path DemoArtDir();
// The hotspot names of the demo's room, in the order of their values in click.png.
std::vector<std::string> HotspotNames();

// Copies the built demo's data folder into gameDir/DATA with settings that start test.ovs
// (`defaults` goes into the <default> element); false when the demo is not built.
bool CopyDemoForTest(const std::filesystem::path& gameDir, const std::string& defaults);
constexpr const char* kBuildDemoFirst = "build the demo first: cmake --build <build> --target demo";

}  // namespace demotest
