#include "DemoTestUtil.h"

#include <fstream>

#include "image/ImageLoad.h"
#include "support/PngTestUtil.h"
#include "support/TestSupport.h"

namespace demotest {

namespace fs = std::filesystem;

namespace {

SPicture FromRgba(pngtest::Rgba&& rgba) {
    SPicture p;
    p.width = int(rgba.width);
    p.height = int(rgba.height);
    p.channels = 4;
    p.pixels = std::move(rgba.pixels);
    return p;
}

}  // namespace

std::uint32_t SPicture::Rgb(int x, int y) const {
    const std::uint8_t* p = At(x, y);
    if (channels < 3) return std::uint32_t(p[0]) * 0x010101u;
    return std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
}

SPicture ReadPng(const fs::path& path) {
    pngtest::Rgba rgba;
    if (!pngtest::ReadWithLibpng(ovetest::ReadFileBytes(path), rgba)) return {};
    return FromRgba(std::move(rgba));
}

// The engine's BMP reader is checked against reference files in the image suite.
SPicture ReadBmp(const fs::path& path) {
    std::string error;
    const auto bitmap = ove::LoadImageFile(path.string(), &error);
    return bitmap ? FromRgba(pngtest::BitmapToRgba(*bitmap, false)) : SPicture{};
}

fs::path DemoDir() { return fs::path(OVE_BUILD_DIR) / "samples" / "demo"; }
fs::path PackedDemoDir() { return fs::path(OVE_BUILD_DIR) / "samples" / "demo-packed"; }
fs::path DemoArtDir() { return fs::path(OVE_TEST_SOURCE_DIR) / ".." / "samples" / "demo" / "art"; }

std::vector<std::string> HotspotNames() {
    std::vector<std::string> names;
    std::ifstream in(DemoArtDir() / "hotspots.txt");
    for (std::string line; std::getline(in, line);) names.push_back(line);
    return names;
}

bool CopyDemoForTest(const fs::path& gameDir, const std::string& defaults) {
    const fs::path data = DemoDir() / "DATA";
    if (!fs::exists(data / "hall.OVT")) return false;
    fs::copy(data, gameDir / "DATA");
    std::ofstream(gameDir / "DATA" / "settings.xml")
        << "<settings><game width=\"320\" height=\"240\"/><default script=\"test\"" << defaults << "/></settings>";
    return true;
}

}  // namespace demotest
