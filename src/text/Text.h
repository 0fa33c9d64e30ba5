// Bitmap-font text: measuring, drawing with alignment, wrapping, clipping and effects, and the
// reflow that fits a text into a maximum size. A font's glyph for character code c is cel c of
// loop 0; characters without a glyph take no room and are never drawn.
#pragma once
#include <cstdint>
#include <string>

namespace ove {

class CFont;
class CRenderer;

enum : std::int32_t { kEffectNone = 0, kEffectOutline = 1, kEffectRaised = 2, kEffectShadow = 3 };
enum : std::int32_t { kTextAlignLeft = 0, kTextAlignCentre = 1, kTextAlignRight = 2 };

// Glyphs in loop 0 (0 without a font or loops).
std::int32_t GetGlyphCount(const CFont* font);
// Width of the glyph of a character; 0 when it has none.
std::int32_t GetGlyphWidth(const CFont* font, unsigned char c);
// Height of glyph 0: every line is this tall. 0 without a font or glyphs.
std::int32_t GetFontHeight(const CFont* font);

// Characters in the text; width = sum of its glyph widths (line feeds are ordinary characters
// here), height = the font height. Outputs may be null.
std::int32_t MeasureLine(const CFont* font, const char* text, std::int32_t* width, std::int32_t* height);
// Lines split at line feeds: width of the widest, height = lines x font height. An empty text is
// one line of width 0. Outputs may be null.
void MeasureBlock(const CFont* font, const char* text, std::int32_t* width, std::int32_t* height, std::int32_t* lines);

// The stored effect colour for an effect: half transparent for the shadow, opaque otherwise.
std::uint32_t EffectColourFor(std::int32_t effect, std::uint32_t colour);

// The client rectangle text is placed in, render-target pixels (right = left + width).
struct STextRect {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
};

struct STextStyle {
    std::uint32_t colour = 0xFF000000u;
    std::int32_t effect = kEffectNone;
    std::uint32_t effectColour = 0xFF000000u;  // used as given (EffectColourFor is applied on storing)
    std::int32_t alignment = kTextAlignLeft;
    bool wrapping = false;
};

// Draws the text inside the client rectangle. Without wrapping the text is clipped to the
// rectangle (widened by the effect) and a line feed is an ordinary glyph; with wrapping, line
// feeds and overflowing glyphs start a new line and nothing is clipped.
void DrawText(CRenderer& renderer, const CFont* font, const char* text, const STextRect& client,
              const STextStyle& style);

// Breaks a text so that it fits maxWidth x maxHeight (client pixels): spaces and line feeds become
// line breaks, a word longer than a line is split before the first character that overflows, and
// lines beyond the height are dropped. Writes the broken text and the size it needs (widest line,
// lines kept x font height). False (outputs untouched) without a font or text.
bool ReflowText(const CFont* font, const char* text, std::int32_t maxWidth, std::int32_t maxHeight, std::string& out,
                std::int32_t& width, std::int32_t& height);

}  // namespace ove
