#include "render/BMPWriter.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "image/Bitmap.h"

namespace ove {
namespace {

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool WriteBMP32(const std::string& path, const CBitmapInterface& bitmap) {
    if (bitmap.IsEmpty() || bitmap.BitsPerPixel() != 32) return false;
    const std::uint64_t rowBytes = std::uint64_t(bitmap.Width()) * 4;
    const std::uint64_t imageBytes = rowBytes * bitmap.Height();
    if (imageBytes + 54 > 0xFFFFFFFFull) return false;
    std::uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, std::uint32_t(imageBytes + 54));
    Put32(header + 10, 54);
    Put32(header + 14, 40);
    Put32(header + 18, bitmap.Width());
    Put32(header + 22, bitmap.Height());  // positive: bottom-up rows
    Put16(header + 26, 1);
    Put16(header + 28, 32);
    Put32(header + 34, std::uint32_t(imageBytes));
    Put32(header + 38, 2835);  // 72 dpi
    Put32(header + 42, 2835);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return false;
    if (std::fwrite(header, 1, sizeof header, file.get()) != sizeof header) return false;
    for (u32 y = 0; y < bitmap.Height(); ++y)
        if (std::fwrite(bitmap.Row(y), 1, rowBytes, file.get()) != rowBytes) return false;
    return std::fclose(file.release()) == 0;
}

}  // namespace ove
