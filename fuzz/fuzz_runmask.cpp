// Run masks on their own: load, then look values up and expand them as the walker does.
#include <vector>

#include "FuzzInput.h"
#include "image/RunMask.h"

using namespace ove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBuffer bin = fuzz::MakeBin(data, size);
    CRunMask mask;
    if (!mask.Load(&bin)) return 0;
    std::size_t n = std::min<std::size_t>(mask.PixelCount(), std::size_t(1) << 16);
    std::vector<std::uint8_t> plane(n);
    mask.Expand(plane.data(), plane.size());
    mask.ExpandLevel(plane.data(), plane.size(), 1);
    mask.ValueAt(0);
    if (mask.PixelCount()) mask.ValueAt(mask.PixelCount() - 1);
    mask.ValueAt(mask.PixelCount());
    mask.ValueAt(0xFFFFFFFFu);
    // What loads must write back unchanged.
    CBuffer out;
    mask.Write(&out);
    out.Seek(0);
    CRunMask again;
    if (!again.Load(&out) || again.Runs() != mask.Runs() || again.PixelCount() != mask.PixelCount()) __builtin_trap();
    return 0;
}
