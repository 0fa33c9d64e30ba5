// Run-length mask of 8-bit values over a picture (backdrop control, depth, walk and click masks).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/Types.h"

namespace ove {

class CDataBin;

// Each run word holds the value in its top 8 bits and the length in its low 24 bits. Runs cover the
// pixels in row-major order from the top-left corner (index = y * width + x).
class CRunMask {
public:
    static constexpr u32 kMaxRunLength = 0xFFFFFF;

    CRunMask() = default;

    // Reads pixel count, run count and the run words from the stream's position. False (mask left
    // empty) when the stream ends before the runs do.
    bool Load(CDataBin* file);
    // Writes the same layout Load reads.
    void Write(CDataBin* file) const;

    // Builds the runs for `count` values (row-major), splitting runs longer than 24 bits can hold.
    static CRunMask Encode(const u8* values, u32 count);

    // Value of the run holding the pixel; 0 at or beyond the pixel count or past the last run.
    u8 ValueAt(u32 index) const;
    // Writes every pixel's value into buffer[0 .. size): exactly what ValueAt answers, so pixels not
    // covered by runs (or beyond the pixel count) become 0. Never writes past size.
    void Expand(u8* buffer, std::size_t size) const;
    // Writes `value` only where the runs of that value lie (other bytes untouched) and answers how
    // many pixels it wrote. Never writes past size.
    u32 ExpandLevel(u8* buffer, std::size_t size, u8 value) const;

    u32 PixelCount() const { return m_pixelCount; }
    u32 RunCount() const { return static_cast<u32>(m_runs.size()); }
    const std::vector<u32>& Runs() const { return m_runs; }
    static u8 RunValue(u32 run) { return static_cast<u8>(run >> 24); }
    static u32 RunLength(u32 run) { return run & kMaxRunLength; }

private:
    void Index();

    std::vector<u32> m_runs;
    u32 m_pixelCount = 0;
    // End (exclusive) of each run in pixels, clamped to the pixel count; for lookups by bisection.
    std::vector<u32> m_ends;
};

}  // namespace ove
