// The bitmap model: every picture in memory (decoded files, cels, glyph sheets, render captures,
// script images) is a rectangle of pixels in one of 21 formats, rows bottom-up and padded to 4 bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "io/Types.h"

namespace ove {

// Pixel formats. The values are part of the data model (odd 1-9, 11, 15 are grey; even 2-10 are
// indexed; 1-10 carry a palette; 9, 10, 15, 17, 21 have alpha).
enum class PixelFormat : i32 {
    NoFormat = 0,
    Grey1 = 1,
    Indexed1 = 2,
    Grey2 = 3,
    Indexed2 = 4,
    Grey4 = 5,
    Indexed4 = 6,
    Grey8 = 7,
    Indexed8 = 8,
    GreyAlpha8 = 9,
    IndexedAlpha8 = 10,
    Grey16 = 11,
    Rgb555 = 12,
    Rgb565 = 13,
    Rgb888 = 14,
    GreyAlpha16 = 15,
    Rgbx8888 = 16,
    Rgba8888 = 17,
    Rgb101010 = 18,
    Rgb16 = 19,
    Rgbx16 = 20,
    Rgba16 = 21,
};

// Static description of a pixel format.
struct SPixelFormatInfo {
    u32 bits;             // storage bits per pixel
    u32 significantBits;  // bits that carry information
    u32 bitsPerChannel;   // green of Rgb565 has 6
    u32 channels;
    u32 redMask, greenMask, blueMask;  // packed colour formats only, else 0
    u32 redShift;                      // packed colour formats only, else 0
};

// Description of a format; NoFormat and unknown values give all zeroes.
const SPixelFormatInfo& FormatInfo(PixelFormat format);
inline u32 FormatBits(PixelFormat f) { return FormatInfo(f).bits; }
inline u32 FormatSignificantBits(PixelFormat f) { return FormatInfo(f).significantBits; }
bool IsValidFormat(PixelFormat f);
bool IsGreyFormat(PixelFormat f);     // 1, 3, 5, 7, 9, 11, 15
bool IsIndexedFormat(PixelFormat f);  // 2, 4, 6, 8, 10
bool HasPalette(PixelFormat f);       // 1-10
bool HasAlpha(PixelFormat f);         // 9, 10, 15, 17, 21

// Bytes per row for a width at a storage depth: each row padded to 4 bytes. 0 when it does not fit 32 bits.
u32 ComputeStride(u32 width, u32 bitsPerPixel);

// Largest pixel block a bitmap will allocate; bigger requests leave the bitmap empty.
constexpr std::size_t kMaxBitmapBytes = std::size_t(1) << 30;

// The largest picture the engine makes, whatever its format: at most 16384 pixels a side and fewer
// than 16384 x 16384 pixels in all, so that its 32-bit form stays below 1 GiB. Every bitmap is
// created through this test; decoders ask it before they read any pixel data.
constexpr u32 kMaxPictureSide = 16384;
constexpr std::uint64_t kMaxPicturePixels = std::uint64_t(kMaxPictureSide) * kMaxPictureSide - 1;
constexpr bool PictureSizeAllowed(u32 width, u32 height) {
    return width && height && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           std::uint64_t(width) * height <= kMaxPicturePixels;
}

// Zeroed pixel memory. Taken from calloc so that a large picture costs nothing until it is written.
struct SFreeDeleter {
    void operator()(u8* p) const;
};
using PixelStore = std::unique_ptr<u8[], SFreeDeleter>;

// Palette entries in memory: blue, green, red, then a fourth byte, i.e. the u32 0xXXRRGGBB.
// Colours handed to and taken from Set/GetPaletteEntry have red in the low byte (0xXXBBGGRR).
// The top byte is carried along unchanged (PNG transparency keeps per-entry alpha there).
inline u32 SwapRedBlue(u32 c) { return (c & 0xFF00FF00u) | ((c & 0xFFu) << 16) | ((c >> 16) & 0xFFu); }

// A rectangle of pixels. Memory row 0 is the bottom row of the picture, memory row height-1 the top.
class CBitmapInterface {
public:
    CBitmapInterface() = default;
    virtual ~CBitmapInterface() = default;
    CBitmapInterface(const CBitmapInterface&) = delete;
    CBitmapInterface& operator=(const CBitmapInterface&) = delete;

    // Makes the palette effective for a drawing surface; a no-op for memory bitmaps.
    virtual void ApplyPalette() {}
    // Sets up geometry, format and palette and allocates zeroed pixels. False (and no pixels) when
    // the format is not accepted by this kind of bitmap or the memory cannot be had.
    // A palette, when given, holds 2^min(significant bits, 8) colours with red in the low byte.
    virtual bool Create(u32 width, u32 height, PixelFormat format, const u32* palette = nullptr) = 0;

    PixelFormat Format() const { return m_format; }
    u32 Width() const { return m_width; }
    u32 Height() const { return m_height; }
    u32 BitsPerPixel() const { return m_bitsPerPixel; }
    u32 BytesPerPixel() const { return m_bytesPerPixel; }  // 0 below 8 bits
    u32 Stride() const { return m_stride; }
    std::size_t PixelBytes() const { return std::size_t(m_stride) * m_height; }
    u8* Pixels() { return m_pixels; }
    const u8* Pixels() const { return m_pixels; }
    // Memory row (0 = bottom of the picture). No bounds check.
    u8* Row(u32 memoryRow) { return m_pixels + std::size_t(memoryRow) * m_stride; }
    const u8* Row(u32 memoryRow) const { return m_pixels + std::size_t(memoryRow) * m_stride; }
    // Picture row (0 = top of the picture). No bounds check.
    u8* TopRow(u32 y) { return Row(m_height - 1 - y); }
    const u8* TopRow(u32 y) const { return Row(m_height - 1 - y); }
    bool IsEmpty() const { return m_pixels == nullptr; }

    // 256 entries for palette formats, null otherwise. Entries are stored blue, green, red, x.
    u32* Palette() { return m_palette; }
    const u32* Palette() const { return m_palette; }
    // Number of palette entries that matter: 2^min(significant bits, 8), 0 without a palette.
    u32 PaletteSize() const;
    void SetPaletteEntry(u8 index, u32 colour);  // colour 0xXXBBGGRR
    u32 GetPaletteEntry(u8 index) const;         // 0xXXBBGGRR; 0 without a palette

    // Palette index treated as transparent when an indexed picture becomes an alpha format; -1 none.
    i32 TransparentIndex() const { return m_transparentIndex; }
    void SetTransparentIndex(i32 index) { m_transparentIndex = index; }

    // Converts the source's pixels into this bitmap's format. Palette-to-palette conversions move
    // the cell values over (the target keeps its palette); anything else goes through 32-bit colour
    // and can produce Rgb555, Rgb565, Rgb888, Rgbx8888 and Rgba8888. Alpha comes from the source's
    // alpha, from the palette's fourth byte for palette sources, and is 255 otherwise.
    // False on a size mismatch, an impossible palette-to-palette conversion, an unsupported depth or
    // a target this path cannot produce; the target is then unchanged.
    bool CopyFrom(const CBitmapInterface& source);
    // Rgbx8888/Rgba8888 only: becomes Rgba8888 with every alpha byte 255.
    void MakeOpaque();
    // Turns the picture upside down (exchanges memory rows i and height-1-i).
    void FlipVertical();

protected:
    // Shared part of Create: geometry, stride, transparent index -1, and the palette rules
    // (given palette + grey-ramp test, or the default grey ramp). m_palette must already point to
    // 256 entries for palette formats. Does not allocate pixels.
    void SetupGeometry(u32 width, u32 height, PixelFormat format, const u32* palette);
    // Turns an indexed format whose palette is an ascending grey ramp into the matching grey format.
    void ApplyGreyRampTest();
    // Drops pixels and geometry (keeps the palette storage pointer untouched).
    void ClearGeometry();

    PixelFormat m_format = PixelFormat::NoFormat;
    u32* m_palette = nullptr;
    i32 m_transparentIndex = -1;
    u32 m_width = 0;
    u32 m_height = 0;
    u32 m_bitsPerPixel = 0;
    u32 m_bytesPerPixel = 0;
    u32 m_stride = 0;
    u8* m_pixels = nullptr;

    friend class CBitmapProxy;
};

// Plain heap bitmap; any of the 21 formats.
class CBitmapBuffer : public CBitmapInterface {
public:
    CBitmapBuffer() = default;
    CBitmapBuffer(u32 width, u32 height, PixelFormat format, const u32* palette = nullptr);
    // The source's size in `format` (default palette), then CopyFrom(source).
    CBitmapBuffer(const CBitmapInterface& source, PixelFormat format);
    bool Create(u32 width, u32 height, PixelFormat format, const u32* palette = nullptr) override;

private:
    std::vector<u32> m_paletteStore;
    PixelStore m_pixelStore;
};

// The drawing-surface bitmap. On Windows this was a DIB section; here it is plain memory, but it keeps
// the DIB's format rules: only 1, 2, 5, 6, 7, 8, 12, 13, 14, 16, 17, 18 are accepted, anything else
// leaves the bitmap empty (callers check Pixels()).
class CBitmap : public CBitmapInterface {
public:
    CBitmap() = default;
    // Format from a bit depth: 1/2/4/8 indexed with a palette, grey without; 15 Rgb555;
    // 16 Rgb565 (Grey16 with a palette, not accepted); 24 Rgb888; 32 Rgba8888; 48 Rgb16 and
    // 64 Rgbx16 (not accepted).
    CBitmap(u32 width, u32 height, u32 bitsPerPixel, const u32* palette = nullptr);
    CBitmap(u32 width, u32 height, PixelFormat format, const u32* palette = nullptr);
    // Converting copy. Targets 1, 7, 12, 13, 14, 16, 17. A source palette and transparent index are
    // kept. For 32-bit targets: without a transparent index, a source with alpha keeps it and any
    // other is made opaque; with one and a 4- or 8-bit indexed source, pixels whose index differs
    // from it get alpha 255.
    CBitmap(const CBitmapInterface* source, PixelFormat format);
    bool Create(u32 width, u32 height, PixelFormat format, const u32* palette = nullptr) override;
    // Create without a palette and without zeroing the pixels, for a decoder that writes every byte
    // of every row (padding included) before anyone reads them.
    bool CreateForOverwrite(u32 width, u32 height, PixelFormat format);

    static bool IsAcceptedFormat(PixelFormat format);
    static PixelFormat FormatFromDepth(u32 bitsPerPixel, bool withPalette);

private:
    bool Make(u32 width, u32 height, PixelFormat format, const u32* palette, bool zeroed);

    PixelStore m_pixelStore;
    u32 m_colourTable[256] = {};
};

// Extra per-bitmap data that a user (the renderer's texture cache) hangs on a proxy; deleted with it.
class CBitmapAttachment {
public:
    virtual ~CBitmapAttachment() = default;
};

// Wraps (and owns) another bitmap so that the script Image object reads and writes the same pixels.
class CBitmapProxy : public CBitmapInterface {
public:
    explicit CBitmapProxy(std::unique_ptr<CBitmapInterface> wrapped);
    ~CBitmapProxy() override;
    // Re-creates the wrapped bitmap and takes its new geometry.
    bool Create(u32 width, u32 height, PixelFormat format, const u32* palette = nullptr) override;
    void ApplyPalette() override;

    CBitmapInterface* Wrapped() { return m_wrapped.get(); }
    const CBitmapInterface* Wrapped() const { return m_wrapped.get(); }

    // Used by the Image API and the renderer's overlays.
    std::unique_ptr<CBitmapAttachment> texture;  // the overlay's cached texture
    bool needsUpload = false;                    // pixels changed since the last upload
    u32 level = 0;                               // overlay priority level

private:
    void TakeGeometry();
    std::unique_ptr<CBitmapInterface> m_wrapped;
};

}  // namespace ove
