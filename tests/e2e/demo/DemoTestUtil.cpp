#include "DemoTestUtil.h"

#include <fstream>

#include "support/PngTestUtil.h"
#include "support/TestSupport.h"

namespace demotest {

namespace fs = std::filesystem;

namespace {

std::uint32_t Le32(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

}  // namespace

std::uint32_t SPicture::Rgb(int x, int y) const {
    const std::uint8_t* p = At(x, y);
    if (channels < 3) return std::uint32_t(p[0]) * 0x010101u;
    return std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
}

SPicture ReadPng(const fs::path& path) {
    SPicture p;
    pngtest::Rgba rgba;
    if (!pngtest::ReadWithLibpng(ovetest::ReadFileBytes(path), rgba)) return p;
    p.width = int(rgba.width);
    p.height = int(rgba.height);
    p.channels = 4;
    p.pixels = std::move(rgba.pixels);
    return p;
}

SPicture ReadBmp(const fs::path& path) {
    SPicture out;
    const std::vector<unsigned char> b = ovetest::ReadFileBytes(path);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return out;
    const std::uint32_t offset = Le32(b, 10);
    const auto width = std::int32_t(Le32(b, 18));
    const auto height = std::int32_t(Le32(b, 22));
    const unsigned bits = b[28] | b[29] << 8;
    const std::uint32_t compression = Le32(b, 30);
    // 32-bit pictures may say BI_BITFIELDS (3) with the usual BGRA masks.
    if (width <= 0 || height == 0 || (bits != 24 && bits != 32) || (compression != 0 && compression != 3)) return out;
    const int h = height < 0 ? -height : height;
    const std::size_t stride = (std::size_t(width) * (bits / 8) + 3) & ~std::size_t(3);
    if (offset > b.size() || b.size() - offset < stride * std::size_t(h)) return out;
    out.width = width;
    out.height = h;
    out.channels = 3;
    out.pixels.resize(std::size_t(width) * h * 3);
    for (int y = 0; y < h; ++y) {
        const int fileRow = height < 0 ? y : h - 1 - y;  // bottom-up unless the height is negative
        const unsigned char* src = &b[offset + stride * std::size_t(fileRow)];
        std::uint8_t* dst = &out.pixels[std::size_t(y) * width * 3];
        for (int x = 0; x < width; ++x, src += bits / 8, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    return out;
}

fs::path DemoDir() {
    return fs::path(OVE_BUILD_DIR) / "samples" / "demo";
}
fs::path PackedDemoDir() {
    return fs::path(OVE_BUILD_DIR) / "samples" / "demo-packed";
}
fs::path DemoArtDir() {
    return fs::path(OVE_TEST_SOURCE_DIR) / ".." / "samples" / "demo" / "art";
}

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
