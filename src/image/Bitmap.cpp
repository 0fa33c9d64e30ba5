#include "image/Bitmap.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>

namespace ove {

namespace {

const SPixelFormatInfo kFormats[22] = {
    {0, 0, 0, 0, 0, 0, 0, 0},                         // none
    {1, 1, 1, 1, 0, 0, 0, 0},                         // Grey1
    {1, 1, 1, 1, 0, 0, 0, 0},                         // Indexed1
    {2, 2, 2, 1, 0, 0, 0, 0},                         // Grey2
    {2, 2, 2, 1, 0, 0, 0, 0},                         // Indexed2
    {4, 4, 4, 1, 0, 0, 0, 0},                         // Grey4
    {4, 4, 4, 1, 0, 0, 0, 0},                         // Indexed4
    {8, 8, 8, 1, 0, 0, 0, 0},                         // Grey8
    {8, 8, 8, 1, 0, 0, 0, 0},                         // Indexed8
    {16, 8, 8, 2, 0, 0, 0, 0},                        // GreyAlpha8
    {16, 8, 8, 2, 0, 0, 0, 0},                        // IndexedAlpha8
    {16, 16, 16, 1, 0, 0, 0, 0},                      // Grey16
    {16, 15, 5, 4, 0x7C00, 0x3E0, 0x1F, 10},          // Rgb555
    {16, 16, 5, 3, 0xF800, 0x7E0, 0x1F, 11},          // Rgb565
    {24, 24, 8, 3, 0xFF0000, 0xFF00, 0xFF, 16},       // Rgb888
    {32, 16, 16, 2, 0, 0, 0, 0},                      // GreyAlpha16
    {32, 24, 8, 4, 0xFF0000, 0xFF00, 0xFF, 16},       // Rgbx8888
    {32, 24, 8, 4, 0xFF0000, 0xFF00, 0xFF, 16},       // Rgba8888
    {32, 30, 10, 4, 0x3FF00000, 0xFFC00, 0x3FF, 20},  // Rgb101010
    {48, 48, 16, 3, 0, 0, 0, 0},                      // Rgb16
    {64, 48, 16, 4, 0, 0, 0, 0},                      // Rgbx16
    {64, 48, 16, 4, 0, 0, 0, 0},                      // Rgba16
};

inline i32 F(PixelFormat f) { return static_cast<i32>(f); }

// Widening tables for 5- and 6-bit channels (value * 255 / max, rounded down).
struct SWiden {
    u8 five[32];
    u8 six[64];
    SWiden() {
        for (u32 i = 0; i < 32; ++i) five[i] = static_cast<u8>(i * 255 / 31);
        for (u32 i = 0; i < 64; ++i) six[i] = static_cast<u8>(i * 255 / 63);
    }
};
const SWiden kWiden;

inline u32 ReadCell(const u8* row, u32 x, u32 bits) {
    switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 2: return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    case 4: return (row[x >> 1] >> (x & 1 ? 0 : 4)) & 15;
    case 8: return row[x];
    default: return row[x * 2];  // 16-bit cells contribute their first byte
    }
}

inline void WriteCell(u8* row, u32 x, u32 bits, u32 value) {
    switch (bits) {
    case 2: {
        u32 shift = 6 - 2 * (x & 3);
        row[x >> 2] = static_cast<u8>((row[x >> 2] & ~(3u << shift)) | ((value & 3) << shift));
        break;
    }
    case 4: {
        u32 shift = x & 1 ? 0 : 4;
        row[x >> 1] = static_cast<u8>((row[x >> 1] & ~(15u << shift)) | ((value & 15) << shift));
        break;
    }
    case 8: row[x] = static_cast<u8>(value); break;
    default: row[x * 2] = static_cast<u8>(value); break;
    }
}

}  // namespace

const SPixelFormatInfo& FormatInfo(PixelFormat format) {
    i32 f = F(format);
    return kFormats[(f >= 1 && f <= 21) ? f : 0];
}

bool IsValidFormat(PixelFormat f) { return F(f) >= 1 && F(f) <= 21; }
bool IsGreyFormat(PixelFormat f) {
    i32 v = F(f);
    return v == 1 || v == 3 || v == 5 || v == 7 || v == 9 || v == 11 || v == 15;
}
bool IsIndexedFormat(PixelFormat f) {
    i32 v = F(f);
    return v == 2 || v == 4 || v == 6 || v == 8 || v == 10;
}
bool HasPalette(PixelFormat f) { return F(f) >= 1 && F(f) <= 10; }
bool HasAlpha(PixelFormat f) {
    i32 v = F(f);
    return v == 9 || v == 10 || v == 15 || v == 17 || v == 21;
}

u32 ComputeStride(u32 width, u32 bitsPerPixel) {
    std::uint64_t bytes = (std::uint64_t(bitsPerPixel) * width + 7) / 8;
    std::uint64_t stride = (bytes + 3) & ~std::uint64_t(3);
    return stride > 0xFFFFFFFFull ? 0 : static_cast<u32>(stride);
}

void SFreeDeleter::operator()(u8* p) const { std::free(p); }

// ---- CBitmapInterface

u32 CBitmapInterface::PaletteSize() const {
    if (!m_palette) return 0;
    return 1u << std::min<u32>(FormatSignificantBits(m_format), 8);
}

void CBitmapInterface::SetPaletteEntry(u8 index, u32 colour) {
    if (m_palette) m_palette[index] = SwapRedBlue(colour);
}

u32 CBitmapInterface::GetPaletteEntry(u8 index) const { return m_palette ? SwapRedBlue(m_palette[index]) : 0; }

void CBitmapInterface::ClearGeometry() {
    m_format = PixelFormat::NoFormat;
    m_transparentIndex = -1;
    m_width = m_height = m_bitsPerPixel = m_bytesPerPixel = m_stride = 0;
    m_pixels = nullptr;
}

void CBitmapInterface::SetupGeometry(u32 width, u32 height, PixelFormat format, const u32* palette) {
    const SPixelFormatInfo& info = FormatInfo(format);
    m_format = format;
    m_width = width;
    m_height = height;
    m_bitsPerPixel = info.bits;
    m_bytesPerPixel = info.bits / 8;
    m_stride = ComputeStride(width, info.bits);
    m_transparentIndex = -1;
    if (!m_palette) return;

    u32 sig = info.significantBits;
    if (palette) {
        if (sig < 9) {
            u32 n = 1u << std::min<u32>(sig, 8);
            for (u32 i = 0; i < n; ++i) SetPaletteEntry(static_cast<u8>(i), palette[i]);
            ApplyGreyRampTest();
        }
        return;
    }
    switch (sig) {
    case 8:
        for (u32 i = 0; i < 256; ++i) m_palette[i] = i * 0x010101u;
        break;
    case 4:
        for (u32 i = 0; i < 16; ++i) m_palette[i] = 17 * i * 0x010101u;
        break;
    case 2:
        for (u32 i = 0; i < 4; ++i) m_palette[i] = 0x55 * i * 0x010101u;
        break;
    case 1:
        m_palette[0] = 0;
        m_palette[1] = 0xFFFFFF;
        break;
    default: break;
    }
}

void CBitmapInterface::ApplyGreyRampTest() {
    if (!m_palette || !IsIndexedFormat(m_format)) return;
    u32 n = 1u << std::min<u32>(FormatSignificantBits(m_format), 8);
    u32 previous = 0;
    for (u32 i = 0; i < n; ++i) {
        u32 c = m_palette[i];
        u32 b = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
        if (r != g || g != b || b < previous) return;
        previous = b;
    }
    m_format = static_cast<PixelFormat>(F(m_format) - 1);
}

void CBitmapInterface::MakeOpaque() {
    if (m_format != PixelFormat::Rgbx8888 && m_format != PixelFormat::Rgba8888) return;
    m_format = PixelFormat::Rgba8888;
    if (!m_pixels) return;
    for (u32 y = 0; y < m_height; ++y) {
        u8* row = Row(y);
        for (u32 x = 0; x < m_width; ++x) row[x * 4 + 3] = 255;
    }
}

void CBitmapInterface::FlipVertical() {
    if (!m_pixels || m_height < 2) return;
    std::vector<u8> scratch(m_stride);
    for (u32 i = 0; i < m_height / 2; ++i) {
        u8* a = Row(i);
        u8* b = Row(m_height - 1 - i);
        std::memcpy(scratch.data(), a, m_stride);
        std::memcpy(a, b, m_stride);
        std::memcpy(b, scratch.data(), m_stride);
    }
}

bool CBitmapInterface::CopyFrom(const CBitmapInterface& source) {
    if (source.m_width != m_width || source.m_height != m_height) return false;
    if (!m_pixels || !source.m_pixels) return false;
    const PixelFormat sf = source.m_format, tf = m_format;

    if (sf == tf) {
        std::memcpy(m_pixels, source.m_pixels, std::min(PixelBytes(), source.PixelBytes()));
        return true;
    }

    const u32 sbits = source.m_bitsPerPixel, tbits = m_bitsPerPixel;
    if ((HasPalette(sf) || IsGreyFormat(sf)) && HasPalette(tf)) {
        // Palette to palette: the cell values move over unchanged; the target keeps its palette.
        if (tbits != 2 && tbits != 4 && tbits != 8 && tbits != 16) return false;
        if (sbits != 1 && sbits != 2 && sbits != 4 && sbits != 8 && sbits != 16) return false;
        u32 ssig = std::min<u32>(FormatSignificantBits(sf), 8);
        if (FormatSignificantBits(tf) < ssig) return false;
        for (u32 y = 0; y < m_height; ++y) {
            const u8* src = source.Row(y);
            u8* dst = Row(y);
            for (u32 x = 0; x < m_width; ++x) {
                WriteCell(dst, x, tbits, ReadCell(src, x, sbits));
                if (tbits == 16) dst[x * 2 + 1] = HasAlpha(sf) ? src[x * 2 + 1] : 255;  // alpha
            }
        }
        return true;
    }

    // Everything else goes through a row of 32-bit blue, green, red, alpha values.
    enum { kNone, k555, k565, k888, k8888 } pack = kNone;
    switch (tf) {
    case PixelFormat::Rgb555: pack = k555; break;
    case PixelFormat::Rgb565: pack = k565; break;
    case PixelFormat::Rgb888: pack = k888; break;
    case PixelFormat::Rgbx8888:
    case PixelFormat::Rgba8888: pack = k8888; break;
    default: break;
    }
    // Other targets cannot be produced from this source.
    if (pack == kNone) return false;

    std::array<u32, 256> table{};
    const bool lookup = HasPalette(sf) || sf == PixelFormat::Grey16 || sf == PixelFormat::GreyAlpha16;
    if (HasPalette(sf)) {
        u32 n = source.PaletteSize();
        for (u32 i = 0; i < n && source.m_palette; ++i) table[i] = source.m_palette[i];
    } else if (lookup) {
        for (u32 i = 0; i < 256; ++i) table[i] = 0xFF000000u | i * 0x010101u;
    }

    std::vector<u32> scratch(m_width);
    for (u32 y = 0; y < m_height; ++y) {
        const u8* src = source.Row(y);
        u32* s = scratch.data();
        if (lookup) {
            for (u32 x = 0; x < m_width; ++x) {
                u32 c;
                if (sf == PixelFormat::GreyAlpha16) c = (table[src[x * 4]] & 0xFFFFFFu) | (u32(src[x * 4 + 2]) << 24);
                else if (sf == PixelFormat::GreyAlpha8 || sf == PixelFormat::IndexedAlpha8)
                    c = (table[src[x * 2]] & 0xFFFFFFu) | (u32(src[x * 2 + 1]) << 24);
                else c = table[ReadCell(src, x, sbits)];
                s[x] = c;
            }
        } else {
            for (u32 x = 0; x < m_width; ++x) {
                u32 b = 0, g = 0, r = 0, a = 255;
                switch (sf) {
                case PixelFormat::Rgb555: {
                    u32 p = src[x * 2] | (u32(src[x * 2 + 1]) << 8);
                    r = kWiden.five[(p >> 10) & 31];
                    g = kWiden.five[(p >> 5) & 31];
                    b = kWiden.five[p & 31];
                    break;
                }
                case PixelFormat::Rgb565: {
                    u32 p = src[x * 2] | (u32(src[x * 2 + 1]) << 8);
                    r = kWiden.five[(p >> 11) & 31];
                    g = kWiden.six[(p >> 5) & 63];
                    b = kWiden.five[p & 31];
                    break;
                }
                case PixelFormat::Rgb888:
                    b = src[x * 3];
                    g = src[x * 3 + 1];
                    r = src[x * 3 + 2];
                    break;
                case PixelFormat::Rgbx8888:
                case PixelFormat::Rgba8888:
                    b = src[x * 4];
                    g = src[x * 4 + 1];
                    r = src[x * 4 + 2];
                    if (sf == PixelFormat::Rgba8888) a = src[x * 4 + 3];  // Rgbx: the fourth byte means nothing
                    break;
                case PixelFormat::Rgb101010: {
                    u32 p = src[x * 4] | (u32(src[x * 4 + 1]) << 8) | (u32(src[x * 4 + 2]) << 16) |
                            (u32(src[x * 4 + 3]) << 24);
                    r = (p >> 22) & 0xFF;
                    g = (p >> 12) & 0xFF;
                    b = (p >> 2) & 0xFF;
                    break;
                }
                case PixelFormat::Rgb16:
                    b = src[x * 6];
                    g = src[x * 6 + 2];
                    r = src[x * 6 + 4];
                    break;
                case PixelFormat::Rgbx16:
                case PixelFormat::Rgba16:
                    b = src[x * 8];
                    g = src[x * 8 + 2];
                    r = src[x * 8 + 4];
                    if (sf == PixelFormat::Rgba16) a = src[x * 8 + 6];
                    break;
                default: return false;
                }
                s[x] = b | (g << 8) | (r << 16) | (a << 24);
            }
        }

        u8* dst = Row(y);
        switch (pack) {
        case k555:
        case k565:
            for (u32 x = 0; x < m_width; ++x) {
                u32 c = s[x], b = c & 0xFF, g = (c >> 8) & 0xFF, r = (c >> 16) & 0xFF;
                u32 p = pack == k555 ? ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)
                                     : ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
                dst[x * 2] = static_cast<u8>(p);
                dst[x * 2 + 1] = static_cast<u8>(p >> 8);
            }
            break;
        case k888:
            for (u32 x = 0; x < m_width; ++x) {
                dst[x * 3] = static_cast<u8>(s[x]);
                dst[x * 3 + 1] = static_cast<u8>(s[x] >> 8);
                dst[x * 3 + 2] = static_cast<u8>(s[x] >> 16);
            }
            break;
        default:
            for (u32 x = 0; x < m_width; ++x) {
                dst[x * 4] = static_cast<u8>(s[x]);
                dst[x * 4 + 1] = static_cast<u8>(s[x] >> 8);
                dst[x * 4 + 2] = static_cast<u8>(s[x] >> 16);
                dst[x * 4 + 3] = static_cast<u8>(s[x] >> 24);
            }
            break;
        }
    }
    return true;
}

// ---- storage helper

namespace {

// Zeroed storage for stride x height bytes; false when the size is unreasonable or memory is short.
bool Allocate(PixelStore& store, u32 stride, u32 height, bool zeroed = true) {
    std::size_t bytes = std::size_t(stride) * height;
    if (stride == 0 || height == 0 || bytes > kMaxBitmapBytes) return false;
    store.reset(static_cast<u8*>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes)));
    return store != nullptr;
}

}  // namespace

// ---- CBitmapBuffer

CBitmapBuffer::CBitmapBuffer(u32 width, u32 height, PixelFormat format, const u32* palette) {
    Create(width, height, format, palette);
}

CBitmapBuffer::CBitmapBuffer(const CBitmapInterface& source, PixelFormat format) {
    if (Create(source.Width(), source.Height(), format, nullptr)) CopyFrom(source);
}

bool CBitmapBuffer::Create(u32 width, u32 height, PixelFormat format, const u32* palette) {
    m_pixelStore.reset();
    m_paletteStore.clear();
    m_palette = nullptr;
    ClearGeometry();
    if (!IsValidFormat(format) || !PictureSizeAllowed(width, height)) return false;
    if (HasPalette(format)) {
        m_paletteStore.assign(256, 0);
        m_palette = m_paletteStore.data();
    }
    SetupGeometry(width, height, format, palette);
    if (!Allocate(m_pixelStore, m_stride, height)) {
        m_paletteStore.clear();
        m_palette = nullptr;
        ClearGeometry();
        return false;
    }
    m_pixels = m_pixelStore.get();
    return true;
}

// ---- CBitmap

bool CBitmap::IsAcceptedFormat(PixelFormat format) {
    switch (F(format)) {
    case 1:
    case 2:
    case 5:
    case 6:
    case 7:
    case 8:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17:
    case 18: return true;
    default: return false;
    }
}

PixelFormat CBitmap::FormatFromDepth(u32 bitsPerPixel, bool withPalette) {
    switch (bitsPerPixel) {
    case 1: return withPalette ? PixelFormat::Indexed1 : PixelFormat::Grey1;
    case 2: return withPalette ? PixelFormat::Indexed2 : PixelFormat::Grey2;
    case 4: return withPalette ? PixelFormat::Indexed4 : PixelFormat::Grey4;
    case 8: return withPalette ? PixelFormat::Indexed8 : PixelFormat::Grey8;
    case 15: return PixelFormat::Rgb555;
    case 16: return withPalette ? PixelFormat::Grey16 : PixelFormat::Rgb565;
    case 24: return PixelFormat::Rgb888;
    case 32: return PixelFormat::Rgba8888;
    case 48: return PixelFormat::Rgb16;
    case 64: return PixelFormat::Rgbx16;
    default: return PixelFormat::NoFormat;
    }
}

CBitmap::CBitmap(u32 width, u32 height, u32 bitsPerPixel, const u32* palette) {
    Create(width, height, FormatFromDepth(bitsPerPixel, palette != nullptr), palette);
}

CBitmap::CBitmap(u32 width, u32 height, PixelFormat format, const u32* palette) {
    Create(width, height, format, palette);
}

CBitmap::CBitmap(const CBitmapInterface* source, PixelFormat format) {
    if (!source) return;
    switch (F(format)) {
    case 1:
    case 7:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17: break;
    default: return;
    }
    std::array<u32, 256> palette{};
    const bool withPalette = source->Palette() != nullptr;
    if (withPalette) {
        u32 n = source->PaletteSize();
        for (u32 i = 0; i < n; ++i) palette[i] = source->GetPaletteEntry(static_cast<u8>(i));
    }
    if (!Create(source->Width(), source->Height(), format, withPalette ? palette.data() : nullptr)) return;
    const i32 transparent = source->TransparentIndex();
    m_transparentIndex = transparent;
    CopyFrom(*source);

    if (m_bitsPerPixel != 32) return;
    const PixelFormat sf = source->Format();
    if (transparent >= 0 && (sf == PixelFormat::Indexed4 || sf == PixelFormat::Indexed8)) {
        // Alpha from the transparent index: visible everywhere except where the index matches.
        const u32 bits = source->BitsPerPixel();
        for (u32 y = 0; y < m_height; ++y) {
            const u8* src = source->Row(y);
            u8* dst = Row(y);
            for (u32 x = 0; x < m_width; ++x)
                dst[x * 4 + 3] = ReadCell(src, x, bits) == static_cast<u32>(transparent) ? 0 : 255;
        }
    } else if (!HasAlpha(sf)) {
        MakeOpaque();
    }
}

bool CBitmap::Create(u32 width, u32 height, PixelFormat format, const u32* palette) {
    return Make(width, height, format, palette, true);
}

bool CBitmap::CreateForOverwrite(u32 width, u32 height, PixelFormat format) {
    return Make(width, height, format, nullptr, false);
}

bool CBitmap::Make(u32 width, u32 height, PixelFormat format, const u32* palette, bool zeroed) {
    m_pixelStore.reset();
    m_palette = nullptr;
    ClearGeometry();
    if (!IsAcceptedFormat(format) || !PictureSizeAllowed(width, height)) return false;
    std::fill(std::begin(m_colourTable), std::end(m_colourTable), 0u);
    if (HasPalette(format)) m_palette = m_colourTable;
    SetupGeometry(width, height, format, palette);
    if (!Allocate(m_pixelStore, m_stride, height, zeroed)) {
        m_palette = nullptr;
        ClearGeometry();
        return false;
    }
    m_pixels = m_pixelStore.get();
    return true;
}

// ---- CBitmapProxy

CBitmapProxy::CBitmapProxy(std::unique_ptr<CBitmapInterface> wrapped) : m_wrapped(std::move(wrapped)) {
    TakeGeometry();
}

CBitmapProxy::~CBitmapProxy() = default;

void CBitmapProxy::TakeGeometry() {
    ClearGeometry();
    m_palette = nullptr;
    if (!m_wrapped) return;
    m_format = m_wrapped->m_format;
    m_width = m_wrapped->m_width;
    m_height = m_wrapped->m_height;
    m_bitsPerPixel = m_wrapped->m_bitsPerPixel;
    m_bytesPerPixel = m_wrapped->m_bytesPerPixel;
    m_transparentIndex = m_wrapped->m_transparentIndex;
    m_stride = m_wrapped->m_stride;
    m_pixels = m_wrapped->m_pixels;
    m_palette = m_wrapped->m_palette;
}

bool CBitmapProxy::Create(u32 width, u32 height, PixelFormat format, const u32* palette) {
    if (!m_wrapped) m_wrapped = std::make_unique<CBitmapBuffer>();
    bool ok = m_wrapped->Create(width, height, format, palette);
    TakeGeometry();
    needsUpload = true;
    return ok;
}

void CBitmapProxy::ApplyPalette() {
    if (m_wrapped) m_wrapped->ApplyPalette();
}

}  // namespace ove
