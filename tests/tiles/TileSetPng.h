// Tile-set pictures for the tool tests: an opaque RGB picture whose colours come from a function.
#pragma once
#include <png.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace tiletest {

inline bool WriteOpaquePng(const std::filesystem::path& path, int w, int h,
                           const std::function<std::uint32_t(int x, int y)>& colourAt) {
    std::vector<std::uint8_t> rgba(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = colourAt(x, y);
            std::uint8_t* p = &rgba[std::size_t(y * w + x) * 4];
            p[0] = std::uint8_t(c >> 16);
            p[1] = std::uint8_t(c >> 8);
            p[2] = std::uint8_t(c);
            p[3] = 255;
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = std::uint32_t(w);
    image.height = std::uint32_t(h);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) != 0;
}

}  // namespace tiletest
