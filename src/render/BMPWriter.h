// Minimal 32-bit BMP writer for screenshots (40-byte header, bottom-up rows, no compression).
#pragma once
#include <string>

namespace ove {

class CBitmapInterface;

// The bitmap must be 32-bit; rows are written in memory order (the bitmap's bottom-up order).
bool WriteBMP32(const std::string& path, const CBitmapInterface& bitmap);

}  // namespace ove
