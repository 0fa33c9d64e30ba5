// PICT backdrop pictures: the image, its four run masks and the hotspot names.
#include <stdexcept>
#include <vector>

#include "FuzzInput.h"
#include "walk/BackdropPicture.h"

using namespace ove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBuffer bin = fuzz::MakeBin(data, size);
    CBackdropPicture picture;
    bool loaded = false;
    try {
        loaded = picture.Load(&bin);
    } catch (const std::runtime_error&) {
        return 0;  // the engine reports these as script errors
    }
    if (!loaded) return 0;
    // What the walker and the renderer read: a value per pixel of every mask present.
    std::size_t pixels = std::size_t(std::max(0, picture.Width())) * std::size_t(std::max(0, picture.Height()));
    if (pixels > (std::size_t(16) << 20)) return 0;
    std::vector<std::uint8_t> plane(pixels);
    for (int m = 0; m < CBackdropPicture::kMaskCount; ++m) {
        const CRunMask* mask = picture.Mask(CBackdropPicture::EMask(m));
        if (!mask) continue;
        mask->Expand(plane.data(), plane.size());
        if (pixels) mask->ValueAt(u32(pixels - 1));
    }
    for (u32 n = 0; n < 4; ++n) picture.HotspotName(n);
    return 0;
}
