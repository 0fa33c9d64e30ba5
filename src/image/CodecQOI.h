// The QOI image format ("Quite OK Image"), read and write.
#pragma once
#include "image/ImageCodec.h"

namespace ove {

class CCodecQOI : public CImageCodec {
public:
    // Decodes to Rgb888 (3 channels) or Rgba8888 (4 channels).
    std::unique_ptr<CBitmapInterface> Load(CDataBin* source) override;
    // Rgb888 and Rgba8888 are written as they are; other formats are converted first
    // (to Rgba8888 when they have alpha, else Rgb888).
    bool Save(const CBitmapInterface* bitmap, CDataBin* destination) override;
};

}  // namespace ove
