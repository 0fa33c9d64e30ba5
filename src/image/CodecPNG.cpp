#include "image/CodecPNG.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "image/Inflate.h"

namespace ove {

namespace {

using u64 = std::uint64_t;

constexpr u8 kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

inline u32 Be32(const u8* p) { return (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | p[3]; }

constexpr u32 ChunkType(const char (&t)[5]) {
    return (u32(u8(t[0])) << 24) | (u32(u8(t[1])) << 16) | (u32(u8(t[2])) << 8) | u8(t[3]);
}

[[noreturn]] void Fail(u32 general, u32 detail = 0) { throw SCodecFailure{CodecErrorValue(general, detail)}; }

void ReadOrFail(CDataBin& source, void* data, u32 count) {
    if (count && source.Read(data, count) != count) Fail(kCodecTruncated);
}

// Skips `count` bytes of chunk data; data that the source does not have is a truncated file.
void SkipOrFail(CDataBin& source, u64 count) {
    const u64 at = source.Tell(), size = source.GetSize();
    if (at + count > size) Fail(kCodecTruncated);
    source.Seek(static_cast<u32>(at + count));
}

// The source format for a bit depth and colour type (bit 0 palette, bit 1 colour, bit 2 alpha).
PixelFormat SourceFormat(u32 depth, u32 colourType) {
    const bool palette = colourType & 1, colour = colourType & 2, alpha = colourType & 4;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
        Fail(kCodecUnsupported, kPNGBadBitDepth);
    if (alpha && depth < 8) Fail(kCodecUnsupported, kPNGAlphaUnsupported);
    // Columns: grey (colour bit clear), palette (palette and colour bits), colour.
    const int column = !colour ? 0 : palette ? 1 : 2;
    using P = PixelFormat;
    switch (depth) {
    case 1: return column == 0 ? P::Grey1 : P::Indexed1;
    case 2: return column == 0 ? P::Grey2 : P::Indexed2;
    case 4: return column == 0 ? P::Grey4 : P::Indexed4;
    case 8:
        if (alpha) return column == 0 ? P::GreyAlpha8 : column == 1 ? P::IndexedAlpha8 : P::Rgba8888;
        return column == 0 ? P::Grey8 : column == 1 ? P::Indexed8 : P::Rgb888;
    default:
        if (alpha) return column == 0 ? P::GreyAlpha16 : P::Rgba16;
        return column == 0 ? P::Grey16 : P::Rgb16;
    }
}

PixelFormat TargetFormat(PixelFormat source) {
    using P = PixelFormat;
    switch (source) {
    case P::Grey2: return P::Grey4;
    case P::Indexed2: return P::Indexed4;
    case P::Grey16: return P::Grey8;
    case P::Rgb16:
    case P::Rgbx16: return P::Rgb888;
    case P::GreyAlpha8:
    case P::IndexedAlpha8:
    case P::GreyAlpha16:
    case P::Rgba16: return P::Rgba8888;
    default: return source;
    }
}

struct SPass {
    u32 colStart, rowStart, colStep, rowStep;
    u32 columns = 0, rows = 0;
};

constexpr SPass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};

inline u64 RowBytes(u32 bits, u32 columns) { return (u64(bits) * columns + 7) / 8; }

// ---- Filters, undone in place. `prev` is the previous row of the pass (zeros before the first).

inline u8 Paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<u8>(a);
    return static_cast<u8>(pb <= pc ? b : c);
}

template <u32 Bpp>
void UnfilterRow(u32 filter, u8* cur, const u8* prev, std::size_t n) {
    switch (filter) {
    case 1:
        for (std::size_t i = Bpp; i < n; ++i) cur[i] = static_cast<u8>(cur[i] + cur[i - Bpp]);
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i) cur[i] = static_cast<u8>(cur[i] + prev[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < Bpp && i < n; ++i) cur[i] = static_cast<u8>(cur[i] + (prev[i] >> 1));
        for (std::size_t i = Bpp; i < n; ++i) cur[i] = static_cast<u8>(cur[i] + ((cur[i - Bpp] + prev[i]) >> 1));
        break;
    case 4:
        for (std::size_t i = 0; i < Bpp && i < n; ++i) cur[i] = static_cast<u8>(cur[i] + prev[i]);
        for (std::size_t i = Bpp; i < n; ++i)
            cur[i] = static_cast<u8>(cur[i] + Paeth(cur[i - Bpp], prev[i], prev[i - Bpp]));
        break;
    default: break;
    }
}

void Unfilter(u32 filter, u32 bpp, u8* cur, const u8* prev, std::size_t n) {
    switch (bpp) {
    case 1: UnfilterRow<1>(filter, cur, prev, n); break;
    case 2: UnfilterRow<2>(filter, cur, prev, n); break;
    case 3: UnfilterRow<3>(filter, cur, prev, n); break;
    case 4: UnfilterRow<4>(filter, cur, prev, n); break;
    case 6: UnfilterRow<6>(filter, cur, prev, n); break;
    default: UnfilterRow<8>(filter, cur, prev, n); break;
    }
}

// Copies a decoded row into a bitmap row, turning red-first samples into the bitmap's blue-first
// order for the direct colour formats.
void StoreRow(PixelFormat format, u8* dst, const u8* src, std::size_t n) {
    switch (format) {
    case PixelFormat::Rgb888:
        for (std::size_t i = 0; i + 3 <= n; i += 3) {
            dst[i] = src[i + 2];
            dst[i + 1] = src[i + 1];
            dst[i + 2] = src[i];
        }
        break;
    case PixelFormat::Rgba8888:
        for (std::size_t i = 0; i + 4 <= n; i += 4) {
            u32 p;
            std::memcpy(&p, src + i, 4);
            if constexpr (std::endian::native == std::endian::little)
                p = (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu);
            else
                p = (p & 0x00FF00FFu) | ((p & 0xFF00u) << 16) | ((p >> 16) & 0xFF00u);
            std::memcpy(dst + i, &p, 4);
        }
        break;
    case PixelFormat::Rgb16:
    case PixelFormat::Rgba16: {
        const std::size_t step = format == PixelFormat::Rgb16 ? 6 : 8;
        for (std::size_t i = 0; i + step <= n; i += step) {
            std::memcpy(dst + i, src + i, step);
            dst[i] = src[i + 4];
            dst[i + 1] = src[i + 5];
            dst[i + 4] = src[i];
            dst[i + 5] = src[i + 1];
        }
        break;
    }
    default: std::memcpy(dst, src, n); break;
    }
}

inline u32 ReadCell(const u8* row, u32 x, u32 bits) {
    switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 2: return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    default: return (row[x >> 1] >> (x & 1 ? 0 : 4)) & 15;
    }
}

inline void WriteCell(u8* row, u32 x, u32 bits, u32 value) {
    u32 shift;
    switch (bits) {
    case 1: shift = 7 - (x & 7); break;
    case 2: shift = 6 - 2 * (x & 3); break;
    default: shift = x & 1 ? 0 : 4; break;
    }
    const u32 mask = (1u << bits) - 1;
    u8& cell = row[(x * bits) >> 3];
    cell = static_cast<u8>((cell & ~(mask << shift)) | ((value & mask) << shift));
}

// Places an Adam7 pass at its positions in the full picture.
void MergePass(const CBitmapInterface& pass, const SPass& p, CBitmapInterface& full) {
    const u32 bits = full.BitsPerPixel();
    const u32 bytes = bits / 8;
    for (u32 j = 0; j < p.rows; ++j) {
        const u8* src = pass.TopRow(j);
        u8* dst = full.TopRow(p.rowStart + j * p.rowStep);
        if (bits < 8) {
            for (u32 i = 0; i < p.columns; ++i)
                WriteCell(dst, p.colStart + i * p.colStep, bits, ReadCell(src, i, bits));
        } else {
            for (u32 i = 0; i < p.columns; ++i)
                std::memcpy(dst + std::size_t(p.colStart + i * p.colStep) * bytes, src + std::size_t(i) * bytes, bytes);
        }
    }
}

// Whether a bitmap of this size can exist (the bitmap model's own limits).
bool Fits(u32 width, u32 height, u32 bits) {
    const u32 stride = ComputeStride(width, bits);
    return width && height && stride && std::size_t(stride) * height <= kMaxBitmapBytes;
}

// Walks the passes over image data known to be too short and raises the error that decoding them
// in order would meet: a bitmap that cannot be made, a bad filter type or the end of the data.
[[noreturn]] void FindDataError(const std::vector<u8>& raw, const std::vector<SPass>& passes, u32 width, u32 height,
                                u32 bits) {
    std::size_t pos = 0;
    bool first = true;
    for (const SPass& p : passes) {
        if (!p.columns || !p.rows) continue;
        if (!Fits(p.columns, p.rows, bits)) Fail(kCodecNoBitmap);
        const u64 rowBytes = RowBytes(bits, p.columns);
        for (u32 y = 0; y < p.rows; ++y) {
            if (raw.size() - pos < 1) Fail(kCodecTruncated);
            const u32 filter = raw[pos];
            if (raw.size() - pos - 1 < rowBytes) Fail(kCodecTruncated);
            if (filter > 4) Fail(kCodecUnsupported, kPNGUnknownFilter);
            pos += static_cast<std::size_t>(1 + rowBytes);
        }
        if (passes.size() > 1 && first && !Fits(width, height, bits)) Fail(kCodecNoBitmap);
        first = false;
    }
    Fail(kCodecTruncated);
}

struct SHeader {
    bool seen = false;
    u32 width = 0, height = 0, depth = 0, colourType = 0, interlace = 0;
    PixelFormat source = PixelFormat::NoFormat;
    PixelFormat target = PixelFormat::NoFormat;
};

std::unique_ptr<CBitmapInterface> Checked(std::unique_ptr<CBitmapInterface> bitmap) {
    if (!bitmap || bitmap->IsEmpty()) Fail(kCodecNoBitmap);
    return bitmap;
}

// A bitmap of a given depth, as the drawing surface picks its format from depth and palette.
std::unique_ptr<CBitmapInterface> MakeSurface(u32 width, u32 height, u32 bits, const u32* palette) {
    return Checked(std::make_unique<CBitmap>(width, height, bits, palette));
}

}  // namespace

std::unique_ptr<CBitmapInterface> CCodecPNG::Load(CDataBin* source) {
    return Protect([&]() -> std::unique_ptr<CBitmapInterface> {
        if (!source) Fail(kCodecReadError);
        CDataBin& in = *source;
        u8 signature[8];
        ReadOrFail(in, signature, 8);
        if (std::memcmp(signature, kSignature, 8) != 0) Fail(kCodecBadHeader);

        SHeader header;
        std::array<u32, 256> palette{};
        bool havePalette = false;
        i32 transparent = -1;
        std::vector<u8> compressed;

        for (;;) {
            u8 head[8];
            ReadOrFail(in, head, 8);
            const u32 length = Be32(head);
            const u32 type = Be32(head + 4);
            if (type == ChunkType("IEND")) break;
            if (type == ChunkType("IHDR")) {
                if (length != 13) Fail(kCodecBadFormat);
                u8 h[13];
                ReadOrFail(in, h, 13);
                header.seen = true;
                header.width = Be32(h);
                header.height = Be32(h + 4);
                header.depth = h[8];
                header.colourType = h[9];
                header.interlace = h[12];  // compression (h[10]) and filter method (h[11]) are not checked
                header.source = SourceFormat(header.depth, header.colourType);
                header.target = TargetFormat(header.source);
            } else if (type == ChunkType("PLTE")) {
                const u32 entries = std::min<u32>(length / 3, 256);
                u8 rgb[768];
                ReadOrFail(in, rgb, entries * 3);
                palette.fill(0);
                for (u32 i = 0; i < entries; ++i)
                    palette[i] = rgb[i * 3] | (u32(rgb[i * 3 + 1]) << 8) | (u32(rgb[i * 3 + 2]) << 16);
                havePalette = true;
                SkipOrFail(in, length - entries * 3);
            } else if (type == ChunkType("tRNS")) {
                std::array<u8, 256> alpha;
                alpha.fill(255);
                const u32 count = std::min<u32>(length, 256);
                ReadOrFail(in, alpha.data(), count);
                SkipOrFail(in, length - count);
                for (u32 i = 0; i < 256; ++i) {
                    if (havePalette) {
                        palette[i] = (palette[i] & 0xFFFFFFu) | (u32(alpha[i]) << 24);
                        if (alpha[i] != 0 && alpha[i] != 255) header.target = PixelFormat::Rgba8888;
                    }
                    if (alpha[i] < 128) transparent = static_cast<i32>(i);
                }
            } else if (type == ChunkType("IDAT")) {
                const u64 at = in.Tell();
                if (at + length > in.GetSize()) Fail(kCodecTruncated);
                const std::size_t old = compressed.size();
                compressed.resize(old + length);
                ReadOrFail(in, compressed.data() + old, length);
            } else {
                SkipOrFail(in, length);
            }
            // The CRC is skipped, never checked. A missing one shows as a short read of the next chunk.
            const u64 at = in.Tell(), size = in.GetSize();
            if (at < size) in.Seek(static_cast<u32>(std::min<u64>(at + 4, size)));
        }
        if (!header.seen || header.width == 0 || header.height == 0) Fail(kCodecBadFormat);

        // Passes and the amount of image data they need.
        std::vector<SPass> passes;
        if (header.interlace == 0) {
            passes.push_back(SPass{0, 0, 1, 1});
        } else if (header.interlace == 1) {
            passes.assign(std::begin(kAdam7), std::end(kAdam7));
        }
        const u32 bits = FormatBits(header.source);
        // An unknown interlace method is reported after inflating, as if there were one pass.
        u64 needed = passes.empty() ? u64(header.height) * (1 + RowBytes(bits, header.width)) : 0;
        auto count = [](u32 size, u32 start, u32 step) {
            return static_cast<u32>(size > start ? (u64(size) - start + step - 1) / step : 0);
        };
        for (SPass& p : passes) {
            p.columns = count(header.width, p.colStart, p.colStep);
            p.rows = count(header.height, p.rowStart, p.rowStep);
            if (p.columns && p.rows) needed += u64(p.rows) * (1 + RowBytes(bits, p.columns));
        }

        // The zlib header (2 bytes) and the Adler-32 at the end are not checked. Nothing past
        // what the passes need is decoded.
        std::vector<u8> raw;
        const std::size_t skip = std::min<std::size_t>(2, compressed.size());
        // Deflate expands at most 1032-fold: a damaged header cannot make the size hint absurd.
        const std::size_t hint =
            static_cast<std::size_t>(std::min<u64>(needed, u64(compressed.size()) * 1032 + 65536));
        if (!inflate_detail::InflateToVector(compressed.data() + skip, compressed.size() - skip, false, raw, nullptr,
                                             hint, static_cast<std::size_t>(std::min<u64>(needed, SIZE_MAX))))
            Fail(kCodecUnsupported, kPNGInflateFailed);
        std::vector<u8>().swap(compressed);

        if (passes.empty()) Fail(kCodecUnsupported, kPNGUnknownInterlace);

        const u32* pal = havePalette ? palette.data() : nullptr;
        const bool single = passes.size() == 1;
        const bool sameFormat = header.target == header.source;
        const u32 bpp = std::max<u32>(1, bits / 8);
        std::unique_ptr<CBitmapInterface> full;
        std::unique_ptr<CBitmapInterface> image;
        std::vector<u8> zeros;
        std::size_t pos = 0;

        // Image data that ends early fails, but only after the bitmaps that come before the failing
        // row; find that error first instead of allocating what a damaged header may claim.
        if (raw.size() < needed) FindDataError(raw, passes, header.width, header.height, bits);

        for (const SPass& p : passes) {
            if (!p.columns || !p.rows) continue;
            std::unique_ptr<CBitmapInterface> passBitmap =
                single && sameFormat
                    ? MakeSurface(p.columns, p.rows, bits, pal)
                    : Checked(std::make_unique<CBitmapBuffer>(p.columns, p.rows, header.source, pal));
            const std::size_t rowBytes = static_cast<std::size_t>(RowBytes(bits, p.columns));
            zeros.assign(rowBytes, 0);
            const u8* prev = zeros.data();
            for (u32 y = 0; y < p.rows; ++y) {
                if (raw.size() - pos < 1) Fail(kCodecTruncated);
                const u32 filter = raw[pos];
                if (raw.size() - pos - 1 < rowBytes) Fail(kCodecTruncated);
                if (filter > 4) Fail(kCodecUnsupported, kPNGUnknownFilter);
                u8* cur = raw.data() + pos + 1;
                Unfilter(filter, bpp, cur, prev, rowBytes);
                StoreRow(header.source, passBitmap->TopRow(y), cur, rowBytes);
                prev = cur;
                pos += 1 + rowBytes;
            }
            if (single) {
                image = std::move(passBitmap);
                break;
            }
            if (!full) {
                full = sameFormat ? MakeSurface(header.width, header.height, bits, pal)
                                  : Checked(std::make_unique<CBitmapBuffer>(header.width, header.height,
                                                                            header.source, pal));
            }
            MergePass(*passBitmap, p, *full);
        }
        std::vector<u8>().swap(raw);
        if (!single) image = std::move(full);
        if (!image) Fail(kCodecNoBitmap);

        if (!sameFormat) {
            // Reduce to the displayable format. A 2-bit picture without a palette shows four greys.
            static constexpr u32 kFourGreys[16] = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
            const u32* targetPalette = pal;
            if (!pal && bits == 2) targetPalette = kFourGreys;
            std::unique_ptr<CBitmapInterface> converted =
                MakeSurface(header.width, header.height, FormatBits(header.target), targetPalette);
            if (!converted->CopyFrom(*image)) Fail(kCodecNoBitmap);
            image = std::move(converted);
        }
        image->SetTransparentIndex(transparent);
        return image;
    });
}

bool CCodecPNG::Save(const CBitmapInterface*, CDataBin*) {
    m_error = CodecErrorValue(kCodecUnsupported, kPNGSaveUnsupported);
    return false;
}

const char* CCodecPNG::GetErrorText() const {
    if (GetGeneralError() == kCodecUnsupported) {
        switch (GetErrorDetail()) {
        case kPNGSaveUnsupported: return "Saving to PNG files is not supported.";
        case kPNGInflateFailed: return "Could not inflate compressed data.";
        case kPNGInterlaceMergeFailed: return "Cannot handle monochrome interlaced images.";
        case kPNGUnknownInterlace: return "Unknown interlace method.";
        case kPNGUnknownFilter: return "Unknown compression type.";
        case kPNGAlphaUnsupported: return "Alpha channel is only supported for RGB or 8bit indexed images.";
        case kPNGBadBitDepth: return "Invalid number of bits per channel. The file may be corrupt.";
        default: break;
        }
    }
    return CImageCodec::GetErrorText();
}

}  // namespace ove
