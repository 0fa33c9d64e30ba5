// Little-endian byte writer for building resource files by hand in tests, and loading them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "io/DataBin.h"
#include "resources/View.h"
#include "walk/BackdropPicture.h"

namespace viewtest {

struct Bytes {
    std::vector<std::uint8_t> v;
    Bytes& Tag(const char* t) {
        for (int i = 0; i < 4; ++i) v.push_back(std::uint8_t(t[i]));
        return *this;
    }
    Bytes& U32(std::uint32_t x) {
        for (int i = 0; i < 4; ++i) v.push_back(std::uint8_t(x >> (8 * i)));
        return *this;
    }
    Bytes& I32(std::int32_t x) { return U32(static_cast<std::uint32_t>(x)); }
    Bytes& U8(std::uint8_t x) {
        v.push_back(x);
        return *this;
    }
    Bytes& Raw(const std::vector<std::uint8_t>& b) {
        for (std::uint8_t x : b) v.push_back(x);
        return *this;
    }
    Bytes& Str(const std::string& s) {
        for (char c : s) v.push_back(std::uint8_t(c));
        return *this;
    }
    Bytes& Zeros(std::size_t n) {
        v.resize(v.size() + n, 0);
        return *this;
    }
    std::size_t size() const { return v.size(); }
};

// A VIEW/FONT header of the standard length 17.
inline Bytes ViewHeader(const char* tag, std::uint32_t bits, std::uint32_t loops, std::uint32_t blend = 1,
                        std::uint8_t smooth = 0, std::uint32_t key = 0) {
    Bytes b;
    b.Tag(tag).U32(17).U32(bits).U32(key).U32(blend).U32(loops).U8(smooth);
    return b;
}

// A header followed by the record of a first, plain loop of `cels` cels.
inline Bytes FirstLoop(Bytes header, std::uint32_t cels) {
    header.U32(0).U32(cels);
    return header;
}

// A cel record with a solid 32-bit colour (bytes blue, green, red, alpha).
inline Bytes& SolidCel32(Bytes& b, std::uint32_t w, std::uint32_t h, std::int32_t dx, std::int32_t dy,
                         std::uint32_t argb) {
    b.U32(w).U32(h).I32(dx).I32(dy);
    for (std::uint32_t i = 0; i < w * h; ++i) b.U32(argb);
    return b;
}

// A run of a run-length mask: value in the top byte, length below.
inline std::uint32_t RunWord(std::uint8_t value, std::uint32_t length) { return std::uint32_t(value) << 24 | length; }

// Loads a view or font from a copy of exactly these bytes (so that ASan sees any read past the end).
inline ove::TResourceRef<ove::CView> LoadView(const std::vector<std::uint8_t>& bytes, bool font = false,
                                              std::uint32_t startAt = 0) {
    ove::CBuffer buffer(bytes);
    buffer.Seek(startAt);
    ove::TResourceRef<ove::CView> view(font ? new ove::CFont("test") : new ove::CView("test"));
    view->Load(&buffer, nullptr);
    return view;
}

// Every loop's cels as [WxH(x,y) ...], for comparing a view's layout whole.
inline std::string Cels(const ove::CView& view) {
    std::string s;
    for (std::size_t l = 0; l < view.LoopCount(); ++l) {
        s += "[";
        for (const ove::SCel& c : view.Loop(l))
            s += (&c == &view.Loop(l).front() ? "" : " ") + std::to_string(c.width) + "x" + std::to_string(c.height) +
                 "(" + std::to_string(c.xOffset) + "," + std::to_string(c.yOffset) + ")";
        s += "]";
    }
    return s;
}

// A cel's pixels as 0xAARRGGBB, row by row from the top.
inline std::vector<std::uint32_t> CelPixels(const ove::CView& view, int loop, int cel) {
    std::vector<std::uint32_t> out;
    const ove::SCel* c = view.GetCel(loop, cel);
    for (int y = 0; c && y < int(c->height); ++y)
        for (int x = 0; x < int(c->width); ++x) out.push_back(view.GetCelPixel(loop, cel, x, y));
    return out;
}

// "name v0 v1 ...": a mask's values pixel by pixel.
inline std::string Values(const char* name, const std::vector<std::uint8_t>& values) {
    std::string s = name;
    for (std::uint8_t v : values) s += " " + std::to_string(v);
    return s;
}

// A picture in one line: size, depth, each mask's values and the hotspots.
inline std::string Describe(const ove::CBackdropPicture& p) {
    std::string s = std::to_string(p.Width()) + "x" + std::to_string(p.Height());
    s += p.Bitmap() ? ", " + std::to_string(p.Bitmap()->BitsPerPixel()) + " bits" : ", no image";
    const char* names[] = {"control", "depth", "walk", "click"};
    for (int m = 0; m < ove::CBackdropPicture::kMaskCount; ++m)
        if (const ove::CRunMask* mask = p.Mask(ove::CBackdropPicture::EMask(m))) {
            std::vector<std::uint8_t> values(mask->PixelCount());
            mask->Expand(values.data(), values.size());
            s += ", " + Values(names[m], values);
        }
    for (const auto& [number, name] : p.Hotspots()) s += ", " + std::to_string(number) + ":" + name;
    return s;
}

}  // namespace viewtest
