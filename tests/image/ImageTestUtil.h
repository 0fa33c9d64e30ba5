// Helpers for the image tests: peer tools, hand-built BMP files, pixel comparison.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "image/Bitmap.h"
#include "image/ImageCodec.h"
#include "io/DataBin.h"
#include "support/TestSupport.h"

namespace imagetest {

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

inline std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

// A picture as top-down rows of 4-byte RGBA.
struct SRgba {
    unsigned width = 0, height = 0;
    Bytes pixels;
    const unsigned char* At(unsigned x, unsigned y) const { return &pixels[(std::size_t(y) * width + x) * 4]; }
};

// Top-down RGBA of a bitmap, through the engine's 32-bit conversion (palette look-up, opacity rules).
inline SRgba FromBitmap(const ove::CBitmapInterface& bmp) {
    SRgba out;
    out.width = bmp.Width();
    out.height = bmp.Height();
    const ove::CBitmapInterface* src = &bmp;
    std::unique_ptr<ove::CBitmap> converted;
    if (bmp.Format() != ove::PixelFormat::Rgba8888) {
        converted = std::make_unique<ove::CBitmap>(&bmp, ove::PixelFormat::Rgba8888);
        src = converted.get();
    }
    out.pixels.resize(std::size_t(out.width) * out.height * 4);
    for (unsigned y = 0; y < out.height; ++y) {
        const unsigned char* row = src->TopRow(y);
        for (unsigned x = 0; x < out.width; ++x) {
            const unsigned char* s = row + x * 4;
            const unsigned char rgba[4] = {s[2], s[1], s[0], s[3]};
            std::copy_n(rgba, 4, &out.pixels[(std::size_t(y) * out.width + x) * 4]);
        }
    }
    return out;
}

// ImageMagick's reading of a file as top-down RGBA. Empty on failure.
inline SRgba MagickRgba(const fs::path& file) {
    SRgba out;
    fs::path raw = file.string() + ".rgba", dims = file.string() + ".dims";
    if (ovetest::Run("convert " + Q(file) + " -depth 8 rgba:" + Q(raw) + " 2>/dev/null") != 0) return out;
    if (ovetest::Run("identify -format '%w %h' " + Q(file) + " > " + Q(dims) + " 2>/dev/null") != 0) return out;
    Bytes d = ovetest::ReadFileBytes(dims);
    std::string s(d.begin(), d.end());
    if (std::sscanf(s.c_str(), "%u %u", &out.width, &out.height) != 2) return out;
    out.pixels = ovetest::ReadFileBytes(raw);
    if (out.pixels.size() != std::size_t(out.width) * out.height * 4) out = SRgba{};
    return out;
}

// The picture written by ImageMagick as `format` (e.g. "PNG32:", "PPM:"), after `options`.
inline fs::path MagickWrite(const ovetest::TempDir& dir, const std::string& name, const SRgba& p,
                            const std::string& format, const std::string& options = "") {
    fs::path raw = dir.Write(name + ".rgba", p.pixels), out = dir / name;
    ovetest::Run("convert -size " + std::to_string(p.width) + "x" + std::to_string(p.height) +
                 " -depth 8 rgba:" + Q(raw) + " " + options + " " + format + Q(out));
    return out;
}

// Largest per-channel difference; checkAlpha false compares red, green and blue only.
inline int MaxDiff(const SRgba& a, const SRgba& b, bool checkAlpha = true) {
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) return 1000;
    int worst = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        if (!checkAlpha && i % 4 == 3) continue;
        worst = std::max(worst, std::abs(int(a.pixels[i]) - int(b.pixels[i])));
    }
    return worst;
}

inline double MeanDiff(const SRgba& a, const SRgba& b) {
    if (a.pixels.size() != b.pixels.size() || a.pixels.empty()) return 1000;
    double sum = 0;  // red, green and blue only
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        sum += i % 4 == 3 ? 0 : std::abs(int(a.pixels[i]) - int(b.pixels[i]));
    return sum / double(a.pixels.size() / 4 * 3);
}

// A smooth colour picture with some sharp detail (odd width, so rows need padding).
inline SRgba TestPicture(unsigned w = 37, unsigned h = 23, bool alpha = false) {
    SRgba p;
    p.width = w;
    p.height = h;
    p.pixels.resize(std::size_t(w) * h * 4);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            unsigned char* d = &p.pixels[(std::size_t(y) * w + x) * 4];
            d[0] = static_cast<unsigned char>(x * 255 / (w - 1));
            d[1] = static_cast<unsigned char>(y * 255 / (h - 1));
            d[2] = static_cast<unsigned char>(((x / 4 + y / 4) & 1) ? 200 : 40);
            d[3] = alpha ? static_cast<unsigned char>((x * 7 + y * 13) & 0xFF) : 255;
        }
    return p;
}

// Decodes bytes with a codec; the codec keeps the error state.
inline std::unique_ptr<ove::CBitmapInterface> Decode(ove::CImageCodec& codec, const Bytes& bytes) {
    ove::CBuffer buffer(bytes.data(), static_cast<ove::u32>(bytes.size()));
    return codec.Load(&buffer);
}

inline Bytes Encode(ove::CImageCodec& codec, const ove::CBitmapInterface& bmp, bool* ok = nullptr) {
    ove::CBuffer buffer;
    bool done = codec.Save(&bmp, &buffer);
    if (ok) *ok = done;
    return buffer.Bytes();
}

// A bitmap in the given format holding the RGBA picture (through the engine's conversion).
inline std::unique_ptr<ove::CBitmapBuffer> ToBitmap(const SRgba& p, ove::PixelFormat format) {
    ove::CBitmapBuffer rgba(p.width, p.height, ove::PixelFormat::Rgba8888);
    for (unsigned y = 0; y < p.height; ++y)
        for (unsigned x = 0; x < p.width; ++x) {
            const unsigned char* s = p.At(x, y);
            const unsigned char bgra[4] = {s[2], s[1], s[0], s[3]};
            std::copy_n(bgra, 4, rgba.TopRow(y) + x * 4);
        }
    return std::make_unique<ove::CBitmapBuffer>(rgba, format);
}

// Little-endian writers for hand-built files.
inline void PutLe(Bytes& b, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void Put16(Bytes& b, unsigned v) { PutLe(b, v, 2); }
inline void Put32(Bytes& b, std::uint32_t v) { PutLe(b, v, 4); }

// Description of a hand-built BMP file.
struct SBmp {
    unsigned headerSize = 40;
    int width = 1, height = 1;
    unsigned bitCount = 24;
    unsigned compression = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0};  // in the header (108/124) or after it (40, compression 3)
    bool masksAfterHeader = false;
    std::vector<std::uint32_t> palette = {};  // 0x00RRGGBB
    unsigned coloursUsed = 0;
    Bytes pixels = {};  // as stored in the file
    bool zeroOffset = false;
};

inline Bytes BuildBmp(const SBmp& s) {
    Bytes info;
    Put32(info, s.headerSize);
    if (s.headerSize == 12) {
        for (unsigned v : {unsigned(s.width), unsigned(s.height), 1u, s.bitCount}) Put16(info, v);
    } else {
        Put32(info, static_cast<std::uint32_t>(s.width));
        Put32(info, static_cast<std::uint32_t>(s.height));
        Put16(info, 1);
        Put16(info, s.bitCount);
        for (std::uint32_t v : {s.compression, unsigned(s.pixels.size()), 2835u, 2835u, s.coloursUsed, 0u})
            Put32(info, v);
        for (int i = 0; i < 4 && s.headerSize >= 108; ++i) Put32(info, s.masks[i]);
        info.resize(std::max<std::size_t>(info.size(), s.headerSize));
    }
    for (int i = 0; i < 3 && s.masksAfterHeader; ++i) Put32(info, s.masks[i]);
    for (std::uint32_t c : s.palette) {  // blue, green, red (and a pad byte after the core header)
        Put32(info, c & 0xFFFFFF);
        if (s.headerSize == 12) info.pop_back();
    }
    Bytes file = {'B', 'M'};
    const auto dataOffset = static_cast<std::uint32_t>(14 + info.size());
    for (std::uint32_t v : {dataOffset + unsigned(s.pixels.size()), 0u, s.zeroOffset ? 0u : dataOffset}) Put32(file, v);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), s.pixels.begin(), s.pixels.end());
    return file;
}

// A copy with 1 to maxFlips random bytes changed and, one time in cutOneIn (never when 0), cut short.
inline Bytes Damage(const Bytes& good, std::mt19937& rng, unsigned maxFlips, unsigned cutOneIn = 0) {
    Bytes bad = good;
    for (unsigned i = 0, n = 1 + rng() % maxFlips; i < n; ++i)
        bad[rng() % bad.size()] = static_cast<unsigned char>(rng());
    if (cutOneIn && rng() % cutOneIn == 0) bad.resize(rng() % bad.size());
    return bad;
}

inline bool HaveMagick() { return ovetest::HaveProgram("convert") && ovetest::HaveProgram("identify"); }

}  // namespace imagetest
