// ovetool pict: builds a backdrop picture (PICT) from an image, up to four mask pictures and a
// list of hotspot names.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Command.h"
#include "image/ImageLoad.h"
#include "image/RunMask.h"
#include "io/DataBin.h"
#include "walk/BackdropPicture.h"

namespace ovetool {

std::unique_ptr<ove::CBitmap> BackdropImage(ove::CBitmapInterface& rgba) {
    bool opaque = true;
    for (ove::u32 y = 0; y < rgba.Height() && opaque; ++y) {
        const ove::u8* p = rgba.TopRow(y);
        for (ove::u32 x = 0; x < rgba.Width(); ++x)
            if (p[x * 4 + 3] != 255) {
                opaque = false;
                break;
            }
    }
    auto bitmap = std::make_unique<ove::CBitmap>(&rgba, opaque ? ove::PixelFormat::Rgb888 : ove::PixelFormat::Rgba8888);
    if (bitmap->IsEmpty()) bitmap.reset();
    return bitmap;
}

}  // namespace ovetool

namespace {

using namespace ove;

int Fail(const std::string& message) {
    std::fprintf(stderr, "ovetool pict: %s\n", message.c_str());
    return 1;
}

// A mask picture's 8-bit values: the grey level or palette index of a grey or indexed picture, or
// the level of a colour picture whose pixels are all grey. Empty (with *error) otherwise.
std::vector<u8> LoadMaskValues(const std::string& path, u32 width, u32 height, std::string* error) {
    auto codec = CreateImageCodec(ImageFormatFromName(path));
    if (!codec) {
        *error = "unknown picture format";
        return {};
    }
    CFile file(path.c_str(), "rb");
    if (!file.IsOpen()) {
        *error = "cannot open";
        return {};
    }
    auto picture = codec->Load(&file);
    if (!picture) {
        *error = codec->GetErrorText();
        return {};
    }
    if (picture->Width() != width || picture->Height() != height) {
        *error = "is " + std::to_string(picture->Width()) + "x" + std::to_string(picture->Height()) + ", the image " +
                 std::to_string(width) + "x" + std::to_string(height);
        return {};
    }
    std::vector<u8> values(std::size_t(width) * height);
    const PixelFormat f = picture->Format();
    if (HasPalette(f) || f == PixelFormat::Grey16 || f == PixelFormat::GreyAlpha16) {
        // Repack the grey levels or indices into 8-bit cells.
        CBitmapBuffer cells(width, height, PixelFormat::Indexed8);
        if (!cells.CopyFrom(*picture)) {
            *error = "cannot read its values";
            return {};
        }
        for (u32 y = 0; y < height; ++y) {
            const u8* row = cells.TopRow(y);
            std::copy(row, row + width, values.begin() + std::ptrdiff_t(y) * width);
        }
        // Grey pictures of 1, 2 or 4 bits hold levels, not values: white is 255 at any depth
        // (image editors save two-colour masks as 1-bit grey).
        const u32 bits = FormatSignificantBits(f);
        if (IsGreyFormat(f) && bits < 8) {
            const u32 top = (1u << bits) - 1;
            for (u8& v : values) v = static_cast<u8>(v * 255u / top);
        }
        return values;
    }
    auto rgba = ConvertToRgba8888(std::move(picture));
    if (!rgba) {
        *error = "cannot read its values";
        return {};
    }
    for (u32 y = 0; y < height; ++y) {
        const u8* p = rgba->TopRow(y);
        for (u32 x = 0; x < width; ++x, p += 4) {
            if (p[0] != p[1] || p[1] != p[2]) {
                *error = "is a colour picture; masks are grey or indexed";
                return {};
            }
            values[std::size_t(y) * width + x] = p[0];
        }
    }
    return values;
}

int RunPict(const ovetool::Args& args) {
    std::string out, image, hotspots;
    std::string masks[CBackdropPicture::kMaskCount];
    const char* maskOptions[CBackdropPicture::kMaskCount] = {"--control", "--depth", "--walk", "--click"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool taken = false;
        for (int m = 0; m < CBackdropPicture::kMaskCount; ++m) {
            if (a == maskOptions[m] && hasValue) {
                masks[m] = args[++i];
                taken = true;
            }
        }
        if (taken) continue;
        if (a == "--image" && hasValue) image = args[++i];
        else if (a == "--hotspots" && hasValue) hotspots = args[++i];
        else if (a.rfind("--", 0) == 0) return Fail("unknown or incomplete option " + a);
        else if (out.empty()) out = a;
        else return Fail("unexpected argument " + a);
    }
    if (out.empty()) return Fail("no output file");
    if (image.empty()) return Fail("--image IMG is required");

    std::string error;
    auto rgba = LoadImageFile(image, &error);
    if (!rgba) return Fail(image + ": " + error);
    auto bitmap = ovetool::BackdropImage(*rgba);
    if (!bitmap) return Fail(image + ": cannot convert");
    const u32 w = bitmap->Width(), h = bitmap->Height();

    CBackdropPicture picture;
    picture.SetImage(std::move(bitmap));
    for (int m = 0; m < CBackdropPicture::kMaskCount; ++m) {
        if (masks[m].empty()) continue;
        std::vector<u8> values = LoadMaskValues(masks[m], w, h, &error);
        if (values.empty()) return Fail(masks[m] + ": " + error);
        picture.SetMask(static_cast<CBackdropPicture::EMask>(m),
                        std::make_unique<CRunMask>(CRunMask::Encode(values.data(), static_cast<u32>(values.size()))));
    }
    if (!hotspots.empty()) {
        std::ifstream in(hotspots);
        if (!in) return Fail(hotspots + ": cannot open");
        std::string line;
        u32 number = 0;
        while (std::getline(in, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) picture.SetHotspotName(number, line);
        }
    }
    CFile file(out.c_str(), "wb");
    if (!file.IsOpen() || !picture.Save(&file)) return Fail("cannot write " + out);
    return 0;
}

}  // namespace

OVE_TOOL_COMMAND("pict", RunPict);
