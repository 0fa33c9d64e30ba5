// ovetool font: builds a FONT file (glyphs 0-255, code page 1252) from a TrueType font rendered by
// FreeType, or from a picture holding a 16 x 16 grid of glyph cells.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "Command.h"
#include "data/ViewFile.h"
#include "image/ImageLoad.h"
#include "io/DataBin.h"

namespace {

using namespace ove;

// Unicode of each code page 1252 byte from 0x80 to 0x9F; 0 where the code page has no character.
constexpr u32 kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The character of a code, or 0 for control codes and holes of the code page (empty glyphs).
u32 Cp1252ToUnicode(u32 code) {
    if (code < 0x20 || code == 0x7F) return 0;
    if (code >= 0x80 && code < 0xA0) return kCp1252High[code - 0x80];
    return code;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "ovetool font: %s\n", message.c_str());
    return 1;
}

bool ParseInt(const std::string& s, long& value) {
    char* end = nullptr;
    value = std::strtol(s.c_str(), &end, 10);
    return !s.empty() && end && *end == 0;
}

// Every glyph is one line high and as wide as its advance, drawn at the baseline; text places
// glyphs side by side at their widths, so the cel box is the glyph's whole cell.
int FromTrueType(const std::string& path, long size, CViewWriter& writer) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library)) return Fail("cannot start FreeType");
    struct SDone {
        FT_Library lib;
        FT_Face face = nullptr;
        ~SDone() {
            if (face) FT_Done_Face(face);
            FT_Done_FreeType(lib);
        }
    } done{library};
    if (FT_New_Face(library, path.c_str(), 0, &done.face)) return Fail(path + ": not a font FreeType can read");
    FT_Face face = done.face;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size))) return Fail(path + ": size not available");

    const long ascent = (face->size->metrics.ascender + 63) >> 6;
    const long descent = (-face->size->metrics.descender + 63) >> 6;
    const u32 height = static_cast<u32>(std::max(1L, ascent + descent));
    writer.AddLoop();
    for (u32 code = 0; code < 256; ++code) {
        const u32 ch = Cp1252ToUnicode(code);
        const FT_UInt index = ch ? FT_Get_Char_Index(face, ch) : 0;
        if (!index || FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL)) {
            writer.AddEmptyCel(0, height, 0, 0);
            continue;
        }
        FT_GlyphSlot slot = face->glyph;
        const long advance = (slot->advance.x + 32) >> 6;
        if (advance <= 0) {
            writer.AddEmptyCel(0, height, 0, 0);
            continue;
        }
        CBitmap cel(static_cast<u32>(advance), height, PixelFormat::Rgba8888);
        for (u32 y = 0; y < height; ++y) {
            u8* p = cel.TopRow(y);
            for (long x = 0; x < advance; ++x, p += 4) p[0] = p[1] = p[2] = 255;
        }
        const FT_Bitmap& bm = slot->bitmap;
        const long left = slot->bitmap_left, top = ascent - slot->bitmap_top;
        for (unsigned r = 0; r < bm.rows; ++r) {
            const long y = top + long(r);
            if (y < 0 || y >= long(height)) continue;
            const unsigned char* src = bm.buffer + long(r) * bm.pitch;
            u8* row = cel.TopRow(static_cast<u32>(y));
            for (unsigned c = 0; c < bm.width; ++c) {
                const long x = left + long(c);
                if (x < 0 || x >= advance) continue;
                u8 alpha = 0;
                if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) alpha = src[c];
                else if (bm.pixel_mode == FT_PIXEL_MODE_MONO) alpha = (src[c >> 3] >> (7 - (c & 7))) & 1 ? 255 : 0;
                row[x * 4 + 3] = std::max(row[x * 4 + 3], alpha);
            }
        }
        writer.AddCel(cel, 0, 0);
    }
    return 0;
}

// Glyph c is the cell at column c % 16, row c / 16. An opaque picture gives its brightness as the
// glyph's alpha (white glyphs); a picture with transparency is kept as it is.
int FromGrid(const std::string& path, u32 cellW, u32 cellH, CViewWriter& writer, bool& eightBit) {
    std::string error;
    auto picture = LoadImageFile(path, &error);
    if (!picture) return Fail(path + ": " + error);
    if (picture->Width() < cellW * 16 || picture->Height() < cellH * 16)
        return Fail(path + ": smaller than 16 x 16 cells of " + std::to_string(cellW) + "x" + std::to_string(cellH));
    eightBit = true;
    for (u32 y = 0; y < picture->Height() && eightBit; ++y) {
        const u8* p = picture->TopRow(y);
        for (u32 x = 0; x < picture->Width(); ++x)
            if (p[x * 4 + 3] != 255) {
                eightBit = false;
                break;
            }
    }
    writer = CViewWriter("FONT", eightBit ? 8 : 32);
    writer.AddLoop();
    for (u32 code = 0; code < 256; ++code) {
        CBitmap cel(cellW, cellH, PixelFormat::Rgba8888);
        const u32 x0 = (code % 16) * cellW, y0 = (code / 16) * cellH;
        for (u32 y = 0; y < cellH; ++y) {
            const u8* src = picture->TopRow(y0 + y) + std::size_t(x0) * 4;
            u8* dst = cel.TopRow(y);
            for (u32 x = 0; x < cellW; ++x, src += 4, dst += 4) {
                if (eightBit) {
                    dst[0] = dst[1] = dst[2] = 255;
                    dst[3] = static_cast<u8>((src[2] * 299 + src[1] * 587 + src[0] * 114 + 500) / 1000);
                } else {
                    std::memcpy(dst, src, 4);
                }
            }
        }
        writer.AddCel(cel, 0, 0);
    }
    return 0;
}

int RunFont(const ovetool::Args& args) {
    std::string out, ttf, grid;
    long size = 0, cellW = 0, cellH = 0;
    long blend = 1;
    bool smooth = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--ttf" && hasValue) {
            ttf = args[++i];
        } else if (a == "--size" && hasValue) {
            if (!ParseInt(args[++i], size) || size < 1 || size > 1024) return Fail("--size needs a pixel size 1..1024");
        } else if (a == "--grid" && hasValue) {
            grid = args[++i];
        } else if (a == "--cell" && hasValue) {
            const std::string& v = args[++i];
            char tail = 0;
            if (std::sscanf(v.c_str(), "%ldx%ld%c", &cellW, &cellH, &tail) != 2 || cellW < 1 || cellH < 1 ||
                cellW > 1024 || cellH > 1024)
                return Fail("--cell needs WxH");
        } else if (a == "--blend" && hasValue) {
            if (!ParseInt(args[++i], blend) || blend < 0 || blend > 2) return Fail("--blend needs 0, 1 or 2");
        } else if (a == "--smooth") {
            smooth = true;
        } else if (a.rfind("--", 0) == 0) {
            return Fail("unknown or incomplete option " + a);
        } else if (out.empty()) {
            out = a;
        } else {
            return Fail("unexpected argument " + a);
        }
    }
    if (out.empty()) return Fail("no output file");
    if (ttf.empty() == grid.empty()) return Fail("give either --ttf FILE --size PX or --grid FILE --cell WxH");

    CViewWriter writer("FONT", 8);
    int status = 0;
    if (!ttf.empty()) {
        if (!size) return Fail("--ttf needs --size PX");
        status = FromTrueType(ttf, size, writer);
    } else {
        if (!cellW) return Fail("--grid needs --cell WxH");
        bool eightBit = true;
        status = FromGrid(grid, static_cast<u32>(cellW), static_cast<u32>(cellH), writer, eightBit);
    }
    if (status) return status;
    writer.blendMode = static_cast<u32>(blend);
    writer.smooth = smooth ? 1 : 0;
    CFile file(out.c_str(), "wb");
    if (!file.IsOpen() || !writer.Write(&file)) return Fail("cannot write " + out);
    return 0;
}

}  // namespace

OVE_TOOL_COMMAND("font", RunFont);
