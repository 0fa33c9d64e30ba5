// Conversion between the engine's one-byte text (code page 1252) and UTF-8, which SDL speaks.
#pragma once
#include <cstdint>
#include <string>

namespace ove {

// The Unicode code point of a code page 1252 byte. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, so that
// every byte survives a round trip.
char32_t Cp1252ToUnicode(std::uint8_t byte);
// The code page 1252 byte of a code point, or -1 when the code page has none.
int UnicodeToCp1252(char32_t codePoint);

std::string Cp1252ToUtf8(const std::string& text);
// Characters without a code page 1252 byte, and malformed UTF-8 (one per bad byte), become
// `replacement`; a replacement of 0 drops them.
std::string Utf8ToCp1252(const std::string& text, char replacement = '?');

// Whether the bytes are well-formed UTF-8 (pure ASCII included).
bool IsValidUtf8(const std::string& text);
// Text from a script (or another UTF-8 source) as the engine's one-byte text: valid UTF-8 becomes
// code page 1252, characters outside it "?"; anything else (a binary string) keeps its bytes.
std::string ScriptTextToCodePage(const std::string& text);
// Text for the desktop (window titles): valid UTF-8 as it is, anything else read as code page 1252.
std::string DisplayTextToUtf8(const std::string& text);

}  // namespace ove
