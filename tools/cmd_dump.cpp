// ovetool dump: describes a VIEW, FONT, PICT or LYRS file.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "Command.h"
#include "io/DataBin.h"
#include "resources/View.h"
#include "tiles/TileLayerSet.h"
#include "walk/BackdropPicture.h"

namespace {

using namespace ove;

u32 LE32(const u8* b) { return u32(b[0]) | u32(b[1]) << 8 | u32(b[2]) << 16 | u32(b[3]) << 24; }

// The records as the file states them (the loaded view no longer knows which loops are mirrors).
void DumpViewRecords(const std::vector<u8>& bytes) {
    u32 headerLength = LE32(&bytes[4]);
    u8 header[17] = {};
    header[8] = 1;
    std::size_t n = std::min<std::size_t>({std::size_t(headerLength), std::size_t(17), bytes.size() - 8});
    std::memcpy(header, &bytes[8], n);
    const u32 bits = LE32(header), loops = LE32(header + 12);
    std::printf("%.4s: header %u bytes, %u bits per pixel, colour key #%02X%02X%02X, blend %u, smooth %u\n",
                reinterpret_cast<const char*>(bytes.data()), headerLength, bits, header[4], header[5], header[6],
                LE32(header + 8), header[16]);
    std::printf("loops: %u\n", loops);
    const u64 bpp = bits == 8 ? 1 : bits == 24 ? 3 : bits == 32 ? 4 : 0;
    u64 at = 8 + u64(headerLength);
    auto have = [&](u64 count) { return at <= bytes.size() && bytes.size() - at >= count; };
    for (u32 l = 0; l < loops; ++l) {
        if (!have(8)) {
            std::printf("  (file ends before loop %u)\n", l);
            return;
        }
        const u32 type = LE32(&bytes[at]), value = LE32(&bytes[at + 4]);
        at += 8;
        if (type == 1) {
            std::printf("  loop %u: mirror of loop %u\n", l, value);
            continue;
        }
        std::printf("  loop %u: %u cels\n", l, value);
        for (u32 c = 0; c < value; ++c) {
            if (!have(16)) {
                std::printf("    (file ends before cel %u)\n", c);
                return;
            }
            const u32 w = LE32(&bytes[at]), h = LE32(&bytes[at + 4]);
            const i32 dx = static_cast<i32>(LE32(&bytes[at + 8])), dy = static_cast<i32>(LE32(&bytes[at + 12]));
            at += 16;
            std::printf("    cel %u: %ux%u offset (%d,%d)\n", c, w, h, dx, dy);
            const u64 size = u64(w) * h * bpp;
            if (!have(size)) {
                std::printf("    (file ends inside cel %u)\n", c);
                return;
            }
            at += size;
        }
    }
    if (at < bytes.size()) std::printf("trailing bytes: %" PRIu64 "\n", u64(bytes.size()) - at);
}

int DumpView(const std::vector<u8>& bytes, bool font) {
    DumpViewRecords(bytes);
    CBuffer buffer(bytes.data(), static_cast<u32>(bytes.size()));
    TResourceRef<CView> view(font ? new CFont() : new CView());
    view->Load(&buffer, nullptr);
    std::size_t cels = 0;
    for (std::size_t l = 0; l < view->LoopCount(); ++l) cels += view->Loop(l).size();
    std::printf("loaded: %zu loops, %zu cels, %zu sheets", view->LoopCount(), cels, view->SheetCount());
    for (std::size_t s = 0; s < view->SheetCount(); ++s)
        std::printf("%s%ux%u", s ? ", " : " (", view->Sheet(s).bitmap->Width(), view->Sheet(s).bitmap->Height());
    std::printf("%s\n", view->SheetCount() ? ")" : "");
    if (!view->LoadError().empty()) {
        std::fprintf(stderr, "ovetool dump: %s\n", view->LoadError().c_str());
        return 1;
    }
    return 0;
}

int DumpPicture(const std::vector<u8>& bytes) {
    CBuffer buffer(bytes.data(), static_cast<u32>(bytes.size()));
    CBackdropPicture picture;
    const bool loaded = picture.Load(&buffer);
    if (!picture.Refusal().empty()) {
        // The image was read; the game would refuse the picture, so say why and stop.
        std::printf("error: %s\n", picture.Refusal().c_str());
        return 1;
    }
    if (!loaded) {
        std::printf("PICT: no image (bad image header or truncated data)\n");
        return 1;
    }
    std::printf("PICT: %dx%d, %u bits per pixel\n", picture.Width(), picture.Height(),
                picture.Bitmap()->BitsPerPixel());
    const char* names[CBackdropPicture::kMaskCount] = {"control", "depth", "walk", "click"};
    for (int m = 0; m < CBackdropPicture::kMaskCount; ++m) {
        const CRunMask* mask = picture.Mask(static_cast<CBackdropPicture::EMask>(m));
        if (!mask) {
            std::printf("%s mask: none\n", names[m]);
            continue;
        }
        std::map<u32, u64> histogram;
        for (u32 run : mask->Runs()) histogram[CRunMask::RunValue(run)] += CRunMask::RunLength(run);
        std::printf("%s mask: %u pixels, %u runs, values", names[m], mask->PixelCount(), mask->RunCount());
        for (const auto& [value, count] : histogram) std::printf(" %u:%" PRIu64, value, count);
        std::printf("\n");
    }
    std::printf("hotspots: %zu\n", picture.Hotspots().size());
    for (const auto& [number, name] : picture.Hotspots()) std::printf("  %u: %s\n", number, name.c_str());
    return 0;
}

int DumpLayers(const std::vector<u8>& bytes) {
    static const char* const kModes[] = {"FIXED", "LIMIT", "CLAMP", "REPEAT"};
    CBuffer buffer(bytes.data(), static_cast<u32>(bytes.size()));
    SLayerFile file;
    std::string error;
    if (!ReadLayerFile(buffer, file, error)) {
        std::printf("LYRS: error: %s\n", error.c_str());
        return 1;
    }
    std::printf("LYRS: %zu layers\n", file.layers.size());
    for (std::size_t i = 0; i < file.layers.size(); ++i) {
        const SLayerRecord& l = file.layers[i];
        std::size_t kinds[4] = {};
        for (u32 w : l.words) ++kinds[TileWordKind(w)];
        std::printf("  layer %zu [%s]: %dx%d tiles, view [%s], modes %s/%s, priority %d, scale %g, delay %u%s\n", i,
                    l.name.c_str(), l.columns, l.rows, l.viewName.c_str(), kModes[l.modeX], kModes[l.modeY], l.priority,
                    double(l.scale), l.delay, (l.flags & 1) ? ", hidden" : "");
        std::printf("    tiles: %zu static, %zu animated, %zu empty, %zu skipped\n", kinds[1], kinds[2], kinds[0],
                    kinds[3]);
    }
    if (file.properties) std::printf("PROP: %zu bytes: %s\n", file.properties->size(), file.properties->c_str());
    else std::printf("PROP: none\n");
    return 0;
}

int RunDump(const ovetool::Args& args) {
    if (args.size() != 1) return ovetool::UsageError("dump");
    CFile file(args[0].c_str(), "rb");
    if (!file.IsOpen()) {
        std::fprintf(stderr, "ovetool dump: cannot open %s\n", args[0].c_str());
        return 1;
    }
    std::vector<u8> bytes = ReadAll(file);
    if (bytes.size() >= 8 && !std::memcmp(bytes.data(), "VIEW", 4)) return DumpView(bytes, false);
    if (bytes.size() >= 8 && !std::memcmp(bytes.data(), "FONT", 4)) return DumpView(bytes, true);
    if (bytes.size() >= 4 && !std::memcmp(bytes.data(), "PICT", 4)) return DumpPicture(bytes);
    if (bytes.size() >= 4 && !std::memcmp(bytes.data(), "LYRS", 4)) return DumpLayers(bytes);
    std::fprintf(stderr, "ovetool dump: %s is not a VIEW, FONT, PICT or LYRS file\n", args[0].c_str());
    return 1;
}

}  // namespace

OVE_TOOL_COMMAND("dump", RunDump);
