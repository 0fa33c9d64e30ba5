// JPEG through libjpeg-turbo: decodes to Grey8 or Rgb888, encodes grey or 24-bit at quality 80.
#pragma once
#include "image/ImageCodec.h"

namespace ove {

class CCodecJPG : public CImageCodec {
public:
    enum EDetail : u32 {
        kLibraryMissing = 1,  // kept for the message table; the library is linked, so never raised
        kLibraryInit = 2,
        kEncodeFailed = 3,
    };
    static constexpr int kQuality = 80;

    std::unique_ptr<CBitmapInterface> Load(CDataBin* source) override;
    // Grey formats are written as one channel, everything else as 24-bit colour (other formats
    // than Grey8 and Rgb888 are converted first).
    bool Save(const CBitmapInterface* bitmap, CDataBin* destination) override;
    const char* GetErrorText() const override;
};

}  // namespace ove
