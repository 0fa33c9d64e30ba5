// PNG reader: every colour type and bit depth, palettes, transparency and Adam7 interlacing.
// Exotic formats are reduced to displayable ones (2-bit to 4-bit, 16-bit channels to 8-bit,
// grey or indexed with alpha to Rgba8888). Saving is not supported. The image data is inflated
// straight from the file and each row goes into the picture as it arrives: the picture is the only
// allocation of its size.
#pragma once
#include "image/ImageCodec.h"

namespace ove {

// Details under general code 6 (kCodecUnsupported).
enum EPNGError : u32 {
    kPNGSaveUnsupported = 1,       // "Saving to PNG files is not supported."
    kPNGInflateFailed = 2,         // "Could not inflate compressed data."
    kPNGInterlaceMergeFailed = 3,  // "Cannot handle monochrome interlaced images."
    kPNGUnknownInterlace = 4,      // "Unknown interlace method."
    kPNGUnknownFilter = 5,         // "Unknown compression type."
    kPNGAlphaUnsupported = 6,      // "Alpha channel is only supported for RGB or 8bit indexed images."
    kPNGBadBitDepth = 7,           // "Invalid number of bits per channel. The file may be corrupt."
};

class CCodecPNG : public CImageCodec {
public:
    // With PreferRgba8888 set, the same as LoadRgba.
    std::unique_ptr<CBitmapInterface> Load(CDataBin* source) override;
    // Decodes straight into a 32-bit Rgba8888 picture: the same pixels and transparent index as
    // ConvertToRgba8888(Load(source)), without the intermediate picture.
    std::unique_ptr<CBitmapInterface> LoadRgba(CDataBin* source);
    // Always fails with kPNGSaveUnsupported.
    bool Save(const CBitmapInterface* bitmap, CDataBin* destination) override;
    const char* GetErrorText() const override;
};

}  // namespace ove
