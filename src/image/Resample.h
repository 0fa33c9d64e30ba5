// Area-averaging resample of 32-bit pictures: the "halftone" stretch used for screen captures.
#pragma once
#include <cstddef>
#include <cstdint>

namespace ove {

class CBitmapInterface;

// Resamples a 32-bit BGRA picture into another size. Each target pixel is the average of the source
// area it covers, weighted by coverage (all four channels). Rows are whatever order the caller uses,
// as long as both sides use the same; strides are bytes per row.
void ResampleArea(const std::uint8_t* source, int sourceWidth, int sourceHeight, std::size_t sourceStride,
                  std::uint8_t* target, int targetWidth, int targetHeight, std::size_t targetStride);

// Both bitmaps 32-bit (Rgbx8888 or Rgba8888); false otherwise or when either is empty.
bool ResampleArea(const CBitmapInterface& source, CBitmapInterface& target);

}  // namespace ove
