// Writing PNG files (screenshots, tools). The engine reads PNG with its own inflater and does not
// link zlib, so the writer carries its own small deflate: LZ77 with the fixed Huffman codes.
#pragma once
#include <cstddef>
#include <vector>

#include "image/Bitmap.h"
#include "io/DataBin.h"

namespace ove {

// Writes the picture as an 8-bit truecolour PNG: with alpha when some pixel is not fully opaque,
// without otherwise. Any format that converts to Rgba8888 is accepted. False for an empty picture,
// one that cannot be converted, or a destination that does not take every byte.
bool WritePNG(const CBitmapInterface& bitmap, CDataBin* destination);

// The data as a zlib stream (RFC 1950): one fixed-Huffman deflate block, or stored blocks when
// that would be larger, and the Adler-32 trailer.
std::vector<u8> ZlibCompress(const u8* data, std::size_t size);

}  // namespace ove
