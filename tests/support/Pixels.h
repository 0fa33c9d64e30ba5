// Reading, painting and comparing the pixels of 32-bit bitmaps.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>

#include "image/Bitmap.h"

namespace ovetest {

// ARGB of a picture pixel (x, y from the top-left) of a 32-bit bitmap.
inline std::uint32_t PixelAt(const ove::CBitmapInterface& b, int x, int y) {
    if (x < 0 || y < 0 || std::uint32_t(x) >= b.Width() || std::uint32_t(y) >= b.Height()) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") outside the picture";
        return 0xDEADBEEF;
    }
    const std::uint8_t* p = b.TopRow(std::uint32_t(y)) + x * 4;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

inline void SetPixel(ove::CBitmapInterface& b, int x, int y, std::uint32_t argb) {
    std::uint8_t* p = b.TopRow(std::uint32_t(y)) + x * 4;
    p[0] = std::uint8_t(argb);
    p[1] = std::uint8_t(argb >> 8);
    p[2] = std::uint8_t(argb >> 16);
    p[3] = std::uint8_t(argb >> 24);
}

inline std::string Hex(std::uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "%08X", v);
    return s;
}

// Every pixel of a 32-bit bitmap from colourAt(x, y).
inline void Paint(ove::CBitmapInterface& b, const std::function<std::uint32_t(int, int)>& colourAt) {
    for (int y = 0; y < int(b.Height()); ++y)
        for (int x = 0; x < int(b.Width()); ++x) SetPixel(b, x, y, colourAt(x, y));
}
inline void Fill(ove::CBitmapInterface& b, std::uint32_t argb) {
    Paint(b, [argb](int, int) { return argb; });
}

// A pixel a picture must have, and why.
struct SPixel {
    int x, y;
    std::uint32_t argb;
    const char* why = "";
};
inline void ExpectPixels(const ove::CBitmapInterface& img, std::initializer_list<SPixel> want) {
    for (const SPixel& p : want)
        EXPECT_EQ(Hex(PixelAt(img, p.x, p.y)), Hex(p.argb)) << "at " << p.x << "," << p.y << " " << p.why;
}

// Every pixel of the picture against want(x, y); the first few that differ are named.
inline void ExpectImage(const ove::CBitmapInterface& img, const std::function<std::uint32_t(int, int)>& want) {
    int wrong = 0;
    for (int y = 0; y < int(img.Height()); ++y)
        for (int x = 0; x < int(img.Width()); ++x)
            if (PixelAt(img, x, y) != want(x, y) && wrong++ < 5)
                ADD_FAILURE() << x << "," << y << ": " << Hex(PixelAt(img, x, y)) << " want " << Hex(want(x, y));
    EXPECT_EQ(wrong, 0);
}
inline void ExpectSameImage(const ove::CBitmapInterface& img, const ove::CBitmapInterface& expected) {
    ASSERT_EQ(img.Width(), expected.Width());
    ASSERT_EQ(img.Height(), expected.Height());
    ExpectImage(img, [&](int x, int y) { return PixelAt(expected, x, y); });
}
// Inside [x1, x2) x [y1, y2) `inside`, `outside` everywhere else.
inline void ExpectBox(const ove::CBitmapInterface& img, int x1, int y1, int x2, int y2, std::uint32_t inside,
                      std::uint32_t outside) {
    ExpectImage(img, [=](int x, int y) { return x >= x1 && x < x2 && y >= y1 && y < y2 ? inside : outside; });
}

}  // namespace ovetest
