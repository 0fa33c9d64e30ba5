// Helpers for the end-to-end tests: run the engine and the tool as a user would, and read and
// write the pictures they exchange with libpng and a BMP reader of our own.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace demotest {

// The result of one run of a program: exit status and what it wrote to standard error.
struct SRun {
    int status = -1;
    std::string err;
};

// Runs `ove --headless` in gameDir with the extra options (already quoted as needed).
SRun RunEngine(const std::filesystem::path& gameDir, const std::string& extra);
// Runs `ovetool` with the arguments (already quoted as needed).
SRun RunTool(const std::string& args);
// Single-quotes a path or word for the shell.
std::string Quote(const std::string& s);

// An 8-bit RGB or grey picture, rows top to bottom.
struct SPicture {
    int width = 0, height = 0, channels = 0;
    std::vector<std::uint8_t> pixels;
    const std::uint8_t* At(int x, int y) const { return &pixels[(std::size_t(y) * width + x) * channels]; }
    std::uint32_t Rgb(int x, int y) const;  // 0xRRGGBB (grey repeated)
};

// Writes an 8-bit PNG (1 channel grey or 3 channels RGB) with libpng.
bool WritePng(const std::filesystem::path& path, const SPicture& picture);
// Reads a PNG with libpng into 8-bit grey or RGB (alpha dropped); empty picture on failure.
SPicture ReadPng(const std::filesystem::path& path);
// Reads an uncompressed 24- or 32-bit BMP into RGB; empty picture on failure.
SPicture ReadBmp(const std::filesystem::path& path);

// The built demo's folders.
std::filesystem::path DemoDir();
std::filesystem::path PackedDemoDir();
std::filesystem::path DemoArtDir();

}  // namespace demotest
