#include "text/Text.h"

#include <algorithm>

#include "render/Renderer.h"
#include "resources/View.h"

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

void MeasureBlock(const CFont* font, const char* text, std::int32_t* width, std::int32_t* height, std::int32_t* lines) {
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

namespace {

// Effect copies drawn before the glyph, in order.
struct SOffset {
    int dx, dy;
};
constexpr SOffset kOutline[8] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
constexpr SOffset kRaisedBase[3] = {{-1, 2}, {0, 2}, {1, 2}};
constexpr SOffset kShadow[1] = {{1, 1}};

}  // namespace

void DrawText(CRenderer& renderer, const CFont* font, const char* text, const STextRect& client,
              const STextStyle& style) {
    if (!font || !text || font->LoopCount() == 0) return;
    renderer.SetBlendMode(static_cast<int>(font->BlendMode()));
    const std::int32_t H = GetFontHeight(font);
    const std::int32_t N = GetGlyphCount(font);
    const std::int32_t TW = renderer.GetWidth(), TH = renderer.GetHeight();
    const std::int32_t left = client.left, top = client.top;
    const std::int32_t right = left + client.width, bottom = top + client.height;
    if (!style.wrapping) {
        switch (style.effect) {
        case kEffectOutline: renderer.SetClipRect(left - 1, top - 1, right + 1, bottom + 1); break;
        case kEffectRaised: renderer.SetClipRect(left - 1, top - 1, right + 1, bottom + 2); break;
        case kEffectShadow: renderer.SetClipRect(left, top, right + 1, bottom + 1); break;
        default: renderer.SetClipRect(left, top, right, bottom); break;
        }
    }
    const auto& glyphs = font->Loop(0);
    std::int32_t x = left, y = top;
    bool aligned = false;
    TextureHandle bound = nullptr;
    bool anyBound = false;
    for (const char* p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (!aligned && style.alignment != kTextAlignLeft) {
            std::int32_t width = 0;
            for (const char* q = p; *q && *q != '\n'; ++q) width += GetGlyphWidth(font, static_cast<unsigned char>(*q));
            const std::int32_t slack = client.width - width;
            if (style.alignment == kTextAlignRight) x += slack;
            else if (style.alignment == kTextAlignCentre) x += slack >> 1;
            aligned = true;
        }
        if (c >= N) continue;
        const SCel& g = glyphs[c];
        const auto gw = static_cast<std::int32_t>(g.width);
        if (style.wrapping) {
            if (c == '\n' || x + gw > right) {
                y += static_cast<std::int32_t>(g.height);
                x = left;
            }
            if (c == '\n') {
                aligned = false;
                continue;
            }
        }
        if (!anyBound || g.texture != bound) {
            renderer.SetTexture(g.texture);
            bound = g.texture;
            anyBound = true;
        }
        if (x + gw > -3 && y + H > -3 && x <= TW && y <= TH) {
            const SOffset* copies = nullptr;
            int count = 0;
            if (style.effect == kEffectShadow) {
                copies = kShadow;
                count = 1;
            } else if (style.effect == kEffectRaised) {
                for (const SOffset& o : kRaisedBase)
                    renderer.DrawCel(g, kAlignLeft, kAlignTop, float(x + o.dx), float(y + o.dy), 0.0f,
                                     style.effectColour);
                copies = kOutline;
                count = 8;
            } else if (style.effect == kEffectOutline) {
                copies = kOutline;
                count = 8;
            }
            for (int i = 0; i < count; ++i)
                renderer.DrawCel(g, kAlignLeft, kAlignTop, float(x + copies[i].dx), float(y + copies[i].dy), 0.0f,
                                 style.effectColour);
            renderer.DrawCel(g, kAlignLeft, kAlignTop, float(x), float(y), 0.0f, style.colour);
        }
        x += gw;
    }
    if (!style.wrapping) renderer.ResetClip();
}

bool ReflowText(const CFont* font, const char* text, std::int32_t maxWidth, std::int32_t maxHeight, std::string& out,
                std::int32_t& width, std::int32_t& height) {
    if (!font || !text || font->LoopCount() == 0) return false;
    const std::int32_t H = GetFontHeight(font);
    const std::int32_t N = GetGlyphCount(font);
    std::string s(text);
    std::int32_t used = H, widest = 0, lineWidth = 0, wordWidth = 0;
    std::size_t lineStart = 0, lastBreak = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= N) continue;
        if (c == ' ' || c == '\n') {
            lineWidth += wordWidth;
            lastBreak = i;
            wordWidth = 0;
        }
        wordWidth += GetGlyphWidth(font, c);
        if (lineWidth + wordWidth > maxWidth) {
            if (lastBreak == lineStart) {
                // A word longer than the line is split before this character; the first character
                // of a line stays where it is, however wide, or the split would never end.
                if (i > lineStart) {
                    s.insert(i, 1, '\n');
                    lineWidth = wordWidth;
                }
            } else {
                s[lastBreak] = '\n';
                i = lastBreak;
            }
        }
        if (s[i] == '\n' && i + 1 < s.size()) {
            widest = std::max(widest, lineWidth);
            if (used + H <= maxHeight) {
                used += H;
            } else {
                // The displayed copy ends here; the lines after it are still measured, though
                // they add no height.
                s[i] = '\0';
            }
            lineWidth = wordWidth = 0;
            lineStart = lastBreak = i + 1;
        }
    }
    lineWidth += wordWidth;
    widest = std::max(widest, lineWidth);
    const std::size_t end = s.find('\0');
    if (end != std::string::npos) s.resize(end);
    out = std::move(s);
    width = widest;
    height = used;
    return true;
}

}  // namespace ove
