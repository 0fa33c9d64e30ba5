#include "text/Text.h"

#include "data/View.h"
#include "render/Renderer.h"

namespace ove {

std::int32_t GetGlyphCount(const CFont* font) {
    if (!font || font->LoopCount() == 0) return 0;
    return static_cast<std::int32_t>(font->CelCount(0));
}

std::int32_t GetGlyphWidth(const CFont* font, unsigned char c) {
    const SCel* cel = font ? font->GetCel(0, c) : nullptr;
    return cel ? static_cast<std::int32_t>(cel->width) : 0;
}

std::int32_t GetFontHeight(const CFont* font) {
    const SCel* cel = font ? font->GetCel(0, 0) : nullptr;
    return cel ? static_cast<std::int32_t>(cel->height) : 0;
}

std::int32_t MeasureLine(const CFont* font, const char* text, std::int32_t* width, std::int32_t* height) {
    std::int32_t count = 0, w = 0;
    if (text) {
        for (const char* p = text; *p; ++p, ++count) w += GetGlyphWidth(font, static_cast<unsigned char>(*p));
    }
    if (width) *width = w;
    if (height) *height = GetFontHeight(font);
    return count;
}

void MeasureBlock(const CFont* font, const char* text, std::int32_t* width, std::int32_t* height,
                  std::int32_t* lines) {
    std::int32_t widest = 0, line = 0, count = 1;
    if (text) {
        for (const char* p = text; *p; ++p) {
            if (*p == '\n') {
                if (line > widest) widest = line;
                line = 0;
                ++count;
            } else {
                line += GetGlyphWidth(font, static_cast<unsigned char>(*p));
            }
        }
    }
    if (line > widest) widest = line;
    if (width) *width = widest;
    if (height) *height = count * GetFontHeight(font);
    if (lines) *lines = count;
}

std::uint32_t EffectColourFor(std::int32_t effect, std::uint32_t colour) {
    return (colour & 0x00FFFFFFu) | (effect == kEffectShadow ? 0x80000000u : 0xFF000000u);
}

void DrawText(CRenderer&, const CFont*, const char*, const STextRect&, const STextStyle&) {}

bool ReflowText(const CFont*, const char*, std::int32_t, std::int32_t, std::string&, std::int32_t&,
                std::int32_t&) {
    return false;
}

}  // namespace ove
