#include "DemoTestUtil.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "support/TestSupport.h"

namespace demotest {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

namespace {

SRun RunCommand(const std::string& command) {
    ovetest::TempDir out;
    SRun r;
    r.status = ovetest::Run(command + " 2>" + Quote((out / "err").string()) + " >/dev/null");
    auto bytes = ovetest::ReadFileBytes(out / "err");
    r.err.assign(bytes.begin(), bytes.end());
    return r;
}

std::uint32_t Le32(const std::vector<unsigned char>& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

struct SFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, SFileCloser>;

}  // namespace

SRun RunEngine(const fs::path& gameDir, const std::string& extra) {
    return RunCommand("cd " + Quote(gameDir.string()) + " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " +
                      Quote(std::string(OVE_BUILD_DIR) + "/ove") + " --headless " + extra);
}

SRun RunTool(const std::string& args) {
    return RunCommand(Quote(std::string(OVE_BUILD_DIR) + "/ovetool") + " " + args);
}

std::uint32_t SPicture::Rgb(int x, int y) const {
    const std::uint8_t* p = At(x, y);
    if (channels < 3) return std::uint32_t(p[0]) * 0x010101u;
    return std::uint32_t(p[0]) << 16 | std::uint32_t(p[1]) << 8 | p[2];
}

bool WritePng(const fs::path& path, const SPicture& picture) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_bytep> rows(std::size_t(picture.height));
    for (int y = 0; y < picture.height; ++y) rows[std::size_t(y)] = const_cast<png_bytep>(picture.At(0, y));
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, png_uint_32(picture.width), png_uint_32(picture.height), 8,
                 picture.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

SPicture ReadPng(const fs::path& path) {
    // Everything with a destructor lives before setjmp, so a libpng error jumps over none.
    SPicture p;
    std::vector<png_bytep> rows;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) return p;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return p;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        p = SPicture{};
        return p;
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    const bool grey = (png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR) == 0;
    png_set_expand(png);  // palette to RGB, low-depth grey to 8 bits, tRNS to alpha
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_read_update_info(png, info);
    p.width = int(png_get_image_width(png, info));
    p.height = int(png_get_image_height(png, info));
    p.channels = grey ? 1 : 3;
    if (png_get_rowbytes(png, info) != std::size_t(p.width) * p.channels) {
        png_destroy_read_struct(&png, &info, nullptr);
        p = SPicture{};
        return p;
    }
    p.pixels.resize(std::size_t(p.width) * p.height * p.channels);
    rows.resize(std::size_t(p.height));
    for (int y = 0; y < p.height; ++y) rows[std::size_t(y)] = &p.pixels[std::size_t(y) * p.width * p.channels];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
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

}  // namespace demotest
