// Windows bitmap files: read (core, 40, 64, 108 and 124-byte headers, bit fields, RLE8, RLE4) and write.
#pragma once
#include "image/ImageCodec.h"

namespace ove {

class CCodecBMP : public CImageCodec {
public:
    enum EDetail : u32 {
        kBadBitfields = 1,  // under kCodecUnsupported
    };
    std::unique_ptr<CBitmapInterface> Load(CDataBin* source) override;
    // Writes a 40-byte-header file; palette formats write their palette.
    bool Save(const CBitmapInterface* bitmap, CDataBin* destination) override;
    const char* GetErrorText() const override;

private:
    // Reads plain 8- or 24-bit rows into an Rgba8888 bitmap of the same size, widening each in place.
    static void ReadWidened(CDataBin& in, CBitmapInterface& bitmap, u32 fileStride, u32 bitCount, const u32* palette);
};

}  // namespace ove
