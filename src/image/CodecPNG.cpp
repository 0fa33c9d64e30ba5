#include "image/CodecPNG.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "image/ImageLoad.h"
#include "io/Inflate.h"
#include "io/Types.h"
#include "io/Uninitialised.h"

namespace ove {

namespace {

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
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) Fail(kCodecUnsupported, kPNGBadBitDepth);
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

// Undoes a row's filter from `src` into `dst`; `prev` is the previous unfiltered row of the pass
// (zeros before the first). `n` bytes, `Bpp` the filter distance.
template <u32 Bpp>
void UnfilterRow(u32 filter, const u8* src, const u8* prev, u8* dst, std::size_t n) {
    switch (filter) {
    case 0: std::memcpy(dst, src, n); break;
    case 1:
        for (std::size_t i = 0; i < Bpp && i < n; ++i) dst[i] = src[i];
        for (std::size_t i = Bpp; i < n; ++i) dst[i] = static_cast<u8>(src[i] + dst[i - Bpp]);
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<u8>(src[i] + prev[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < Bpp && i < n; ++i) dst[i] = static_cast<u8>(src[i] + (prev[i] >> 1));
        for (std::size_t i = Bpp; i < n; ++i) dst[i] = static_cast<u8>(src[i] + ((dst[i - Bpp] + prev[i]) >> 1));
        break;
    default:
        for (std::size_t i = 0; i < Bpp && i < n; ++i) dst[i] = static_cast<u8>(src[i] + prev[i]);
        if constexpr (Bpp >= 3) {
            // Pixel by pixel, with the left and upper-left pixels kept in registers.
            int a[Bpp], c[Bpp];
            for (u32 k = 0; k < Bpp && k < n; ++k) a[k] = dst[k], c[k] = prev[k];
            for (std::size_t i = Bpp; i + Bpp <= n; i += Bpp) {
                for (u32 k = 0; k < Bpp; ++k) {
                    const int b = prev[i + k];
                    const int pa = std::abs(b - c[k]), pb = std::abs(a[k] - c[k]), pc = std::abs(a[k] + b - 2 * c[k]);
                    const int pred = (pa <= pb && pa <= pc) ? a[k] : (pb <= pc ? b : c[k]);
                    a[k] = static_cast<u8>(src[i + k] + pred);
                    dst[i + k] = static_cast<u8>(a[k]);
                    c[k] = b;
                }
            }
        } else {
            for (std::size_t i = Bpp; i < n; ++i)
                dst[i] = static_cast<u8>(src[i] + Paeth(dst[i - Bpp], prev[i], prev[i - Bpp]));
        }
        break;
    }
}

void Unfilter(u32 filter, u32 bpp, const u8* src, const u8* prev, u8* dst, std::size_t n) {
    switch (bpp) {
    case 1: UnfilterRow<1>(filter, src, prev, dst, n); break;
    case 2: UnfilterRow<2>(filter, src, prev, dst, n); break;
    case 3: UnfilterRow<3>(filter, src, prev, dst, n); break;
    case 4: UnfilterRow<4>(filter, src, prev, dst, n); break;
    case 6: UnfilterRow<6>(filter, src, prev, dst, n); break;
    default: UnfilterRow<8>(filter, src, prev, dst, n); break;
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
            else p = (p & 0x00FF00FFu) | ((p & 0xFF00u) << 16) | ((p >> 16) & 0xFF00u);
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
    case 4: return (row[x >> 1] >> (x & 1 ? 0 : 4)) & 15;
    default: return row[x];
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

inline void Put32(u8* dst, u32 v) { std::memcpy(dst, &v, 4); }

// Whether a bitmap of this size can exist (the bitmap model's own limits).
bool Fits(u32 width, u32 height, u32 bits) {
    const u32 stride = ComputeStride(width, bits);
    return width && height && stride && std::size_t(stride) * height <= kMaxBitmapBytes;
}

struct SHeader {
    bool seen = false;
    u32 width = 0, height = 0, depth = 0, colourType = 0, interlace = 0;
    PixelFormat source = PixelFormat::NoFormat;
    PixelFormat target = PixelFormat::NoFormat;
};

// Everything the chunks say, with the image data located but not read.
struct SPngFile {
    SHeader header;
    std::array<u32, 256> palette{};
    bool havePalette = false;
    i32 transparent = -1;
    std::vector<std::pair<u32, u32>> idat;  // offset and length of each non-empty IDAT chunk
    u64 idatBytes = 0;
};

std::unique_ptr<CBitmapInterface> Checked(std::unique_ptr<CBitmapInterface> bitmap) {
    if (!bitmap || bitmap->IsEmpty()) Fail(kCodecNoBitmap);
    return bitmap;
}

// A bitmap of a given depth, as the drawing surface picks its format from depth and palette.
std::unique_ptr<CBitmapInterface> MakeSurface(u32 width, u32 height, u32 bits, const u32* palette) {
    return Checked(std::make_unique<CBitmap>(width, height, bits, palette));
}

SPngFile ReadChunks(CDataBin& in) {
    u8 signature[8];
    ReadOrFail(in, signature, 8);
    if (std::memcmp(signature, kSignature, 8) != 0) Fail(kCodecBadHeader);
    SPngFile f;
    SHeader& header = f.header;
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
            f.palette.fill(0);
            for (u32 i = 0; i < entries; ++i)
                f.palette[i] = rgb[i * 3] | (u32(rgb[i * 3 + 1]) << 8) | (u32(rgb[i * 3 + 2]) << 16);
            f.havePalette = true;
            SkipOrFail(in, length - entries * 3);
        } else if (type == ChunkType("tRNS")) {
            std::array<u8, 256> alpha;
            alpha.fill(255);
            const u32 count = std::min<u32>(length, 256);
            ReadOrFail(in, alpha.data(), count);
            SkipOrFail(in, length - count);
            for (u32 i = 0; i < 256; ++i) {
                if (f.havePalette) {
                    f.palette[i] = (f.palette[i] & 0xFFFFFFu) | (u32(alpha[i]) << 24);
                    if (alpha[i] != 0 && alpha[i] != 255) header.target = PixelFormat::Rgba8888;
                }
                if (alpha[i] < 128) f.transparent = static_cast<i32>(i);
            }
        } else if (type == ChunkType("IDAT")) {
            // Only located here: the data is inflated straight from the file once the chunks
            // (a late palette, say) have all been seen.
            const u32 at = in.Tell();
            SkipOrFail(in, length);
            if (length) f.idat.emplace_back(at, length);
            f.idatBytes += length;
        } else {
            SkipOrFail(in, length);
        }
        // The CRC is skipped, never checked. A missing one shows as a short read of the next chunk.
        const u64 at = in.Tell(), size = in.GetSize();
        if (at < size) in.Seek(static_cast<u32>(std::min<u64>(at + 4, size)));
    }
    return f;
}

// The concatenated IDAT data, read piece by piece, without the 2-byte zlib header (not checked,
// and neither is the Adler-32 at the end).
class CIdatSource : public inflate_detail::CInflateSource {
public:
    CIdatSource(CDataBin& in, const std::vector<std::pair<u32, u32>>& spans) : m_in(in), m_spans(spans) {}
    std::size_t Pull(u8* to, std::size_t room) override {
        while (m_span < m_spans.size()) {
            const auto [at, length] = m_spans[m_span];
            if (m_offset == length) {
                ++m_span;
                m_offset = 0;
                continue;
            }
            if (m_skip) {
                const u32 n = std::min(m_skip, length - m_offset);
                m_skip -= n;
                m_offset += n;
                continue;
            }
            const u32 n = static_cast<u32>(std::min<std::size_t>(room, length - m_offset));
            m_in.Seek(at + m_offset);
            const u32 got = m_in.Read(to, n);
            if (got == 0) return 0;
            m_offset += got;
            return got;
        }
        return 0;
    }

private:
    CDataBin& m_in;
    const std::vector<std::pair<u32, u32>>& m_spans;
    std::size_t m_span = 0;
    u32 m_offset = 0;
    u32 m_skip = 2;
};

class CDiscard : public inflate_detail::CInflateSink {
public:
    bool Take(const u8*, std::size_t) override { return true; }
};

// How decoded rows reach the picture.
enum class ERowPath {
    Store,    // the picture's own format: bytes as they are (colour order turned)
    Convert,  // through a one-row bitmap in the source format and CopyFrom into the picture's
    Lut,      // 32-bit: each cell of 8 bits or less looked up
    Rgb8,     // 32-bit from 8-bit RGB
    Rgba8,    // 32-bit from 8-bit RGBA
    Rgb16,    // 32-bit from 16-bit RGB (high bytes)
    Rgba16,   // 32-bit from 16-bit RGBA
};

// What the pipeline (store or convert, then the 32-bit conversion of loaded pictures) makes of each
// value of a cell of 8 bits or less, found by running it over one row holding every value.
// `native`: cells of the picture's own format rather than of the file's.
std::array<u32, 256> CellColours(u32 bits, const SPngFile& f, bool sameFormat, const u32* pal, const u32* targetPal,
                                 bool native) {
    const u32 count = 1u << bits;
    std::unique_ptr<CBitmapInterface> picture;
    auto fill = [&](CBitmapInterface& b) {
        for (u32 v = 0; v < count; ++v) {
            if (bits == 8) b.Row(0)[v] = static_cast<u8>(v);
            else WriteCell(b.Row(0), v, bits, v);
        }
    };
    if (native) {
        // Cells of the picture's own format: Load's result as it stands.
        picture = MakeSurface(count, 1, bits, targetPal);
        fill(*picture);
    } else if (sameFormat) {
        picture = MakeSurface(count, 1, bits, pal);
        fill(*picture);
    } else {
        CBitmapBuffer source(count, 1, f.header.source, pal);
        if (source.IsEmpty()) Fail(kCodecNoBitmap);
        fill(source);
        picture = MakeSurface(count, 1, FormatBits(f.header.target), targetPal);
        if (!picture->CopyFrom(source)) Fail(kCodecNoBitmap);
    }
    picture->SetTransparentIndex(f.transparent);
    std::unique_ptr<CBitmapInterface> rgba = ConvertToRgba8888(std::move(picture));
    if (!rgba) Fail(kCodecNoBitmap);
    std::array<u32, 256> lut{};
    for (u32 v = 0; v < count; ++v) std::memcpy(&lut[v], rgba->Row(0) + v * 4, 4);
    return lut;
}

// Receives the inflated image data, undoes the filters row by row and writes each row into the
// picture. Errors are noted, not thrown: the caller first lets the inflater finish, since damaged
// compressed data is reported before anything found in the rows.
class CRowDecoder : public inflate_detail::CInflateSink {
public:
    CRowDecoder(const SPngFile& f, std::vector<SPass> passes, CBitmapInterface& picture, bool rgba)
        : m_f(f), m_passes(std::move(passes)), m_picture(picture), m_rgba(rgba) {
        const SHeader& h = f.header;
        m_bits = FormatBits(h.source);
        m_bpp = std::max<u32>(1, m_bits / 8);
        m_sameFormat = h.target == h.source;
        m_interlaced = m_passes.size() > 1 || m_passes[0].colStep > 1;
        m_pal = f.havePalette ? f.palette.data() : nullptr;
        // A 2-bit picture without a palette shows four greys.
        static constexpr u32 kFourGreys[16] = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
        m_targetPal = m_pal;
        if (!m_pal && m_bits == 2) m_targetPal = kFourGreys;
        m_targetBits = FormatBits(h.target);

        m_path = m_sameFormat ? ERowPath::Store : ERowPath::Convert;
        if (m_rgba) {
            if (m_bits <= 8) {
                m_path = ERowPath::Lut;
                m_lut = CellColours(m_bits, f, m_sameFormat, m_pal, m_targetPal, false);
            } else if (h.source == PixelFormat::Rgb888) {
                m_path = ERowPath::Rgb8;
            } else if (h.source == PixelFormat::Rgba8888) {
                m_path = ERowPath::Rgba8;
            } else if (h.source == PixelFormat::Rgb16) {
                m_path = ERowPath::Rgb16;
            } else if (h.source == PixelFormat::Rgba16) {
                m_path = ERowPath::Rgba16;
            } else {
                // Converted to the picture's own format first, then to 32 bits.
                m_path = ERowPath::Convert;
                if (m_targetBits <= 8)
                    m_nativeLut = CellColours(m_targetBits, f, m_sameFormat, m_pal, m_targetPal, true);
            }
        }
        std::size_t widest = 0;
        for (const SPass& p : m_passes) widest = std::max<std::size_t>(widest, RowBytes(m_bits, p.columns));
        m_rows = MakeUninitialised<u8>(2 * widest + 16);
        m_prev = m_rows.get();
        m_cur = m_prev + widest + 8;
        m_partial = MakeUninitialised<u8>(widest + 1);
        StartPass();
    }

    bool Take(const u8* data, std::size_t count) override {
        while (count && !Done()) {
            if (m_partialFill || count < m_rowTotal) {
                const std::size_t n = std::min(count, m_rowTotal - m_partialFill);
                std::memcpy(m_partial.get() + m_partialFill, data, n);
                m_partialFill += n;
                data += n;
                count -= n;
                if (m_partialFill == m_rowTotal) {
                    m_partialFill = 0;
                    Row(m_partial.get());
                }
            } else {
                const std::size_t total = m_rowTotal;  // the row may end the pass
                Row(data);
                data += total;
                count -= total;
            }
        }
        return true;
    }

    bool Done() const { return m_pass == m_passes.size(); }
    u32 Error() const { return m_failure; }

private:
    void StartPass() {
        if (Done()) return;
        const SPass& p = m_passes[m_pass];
        m_y = 0;
        m_rowBytes = static_cast<std::size_t>(RowBytes(m_bits, p.columns));
        m_rowTotal = m_rowBytes + 1;
        std::memset(m_prev, 0, m_rowBytes);
        if (m_path == ERowPath::Convert) {
            // One-row bitmaps for converting this pass's rows.
            m_sourceRow = Checked(std::make_unique<CBitmapBuffer>(p.columns, 1, m_f.header.source, m_pal));
            m_targetRow = m_sameFormat ? MakeSurface(p.columns, 1, m_bits, m_pal)
                                       : MakeSurface(p.columns, 1, m_targetBits, m_targetPal);
        } else if (m_interlaced && m_path == ERowPath::Store) {
            m_targetRow = MakeSurface(p.columns, 1, m_bits, m_pal);
        }
    }

    void Row(const u8* raw) {
        const SPass& p = m_passes[m_pass];
        if (!m_failure) {
            const u32 filter = raw[0];
            if (filter > 4) {
                m_failure = CodecErrorValue(kCodecUnsupported, kPNGUnknownFilter);
            } else {
                Unfilter(filter, m_bpp, raw + 1, m_prev, m_cur, m_rowBytes);
                Emit(p, m_picture.TopRow(p.rowStart + m_y * p.rowStep));
                std::swap(m_prev, m_cur);
            }
        }
        if (++m_y == p.rows) {
            ++m_pass;
            StartPass();
        }
    }

    // Writes the unfiltered row `m_cur` of pass `p` into the picture row `dst`.
    void Emit(const SPass& p, u8* dst) {
        const u32 n = p.columns, x0 = p.colStart, step = p.colStep;
        const u8* s = m_cur;
        switch (m_path) {
        case ERowPath::Lut: EmitLut(s, n, dst + x0 * 4, step); return;
        case ERowPath::Rgb8:
            for (u32 i = 0; i < n; ++i, s += 3)
                Put32(dst + std::size_t(x0 + i * step) * 4, 0xFF000000u | u32(s[0]) << 16 | u32(s[1]) << 8 | s[2]);
            return;
        case ERowPath::Rgba8:
            for (u32 i = 0; i < n; ++i, s += 4)
                Put32(dst + std::size_t(x0 + i * step) * 4, u32(s[3]) << 24 | u32(s[0]) << 16 | u32(s[1]) << 8 | s[2]);
            return;
        case ERowPath::Rgb16:
            for (u32 i = 0; i < n; ++i, s += 6)
                Put32(dst + std::size_t(x0 + i * step) * 4, 0xFF000000u | u32(s[0]) << 16 | u32(s[2]) << 8 | s[4]);
            return;
        case ERowPath::Rgba16:
            for (u32 i = 0; i < n; ++i, s += 8)
                Put32(dst + std::size_t(x0 + i * step) * 4, u32(s[6]) << 24 | u32(s[0]) << 16 | u32(s[2]) << 8 | s[4]);
            return;
        case ERowPath::Store:
            if (!m_interlaced) {
                StoreRow(m_f.header.source, dst, s, m_rowBytes);
                return;
            }
            StoreRow(m_f.header.source, m_targetRow->Row(0), s, m_rowBytes);
            Place(p, *m_targetRow, dst);
            return;
        case ERowPath::Convert: break;
        }
        StoreRow(m_f.header.source, m_sourceRow->Row(0), s, m_rowBytes);
        if (!m_targetRow->CopyFrom(*m_sourceRow)) {
            m_failure = CodecErrorValue(kCodecNoBitmap);
            return;
        }
        Place(p, *m_targetRow, dst);
    }

    // Puts a converted pass row at its positions in the picture row.
    void Place(const SPass& p, const CBitmapInterface& row, u8* dst) {
        const u8* s = row.Row(0);
        const u32 n = p.columns, x0 = p.colStart, step = p.colStep;
        if (m_rgba) {
            if (row.Format() == PixelFormat::Rgba8888) {
                for (u32 i = 0; i < n; ++i) std::memcpy(dst + std::size_t(x0 + i * step) * 4, s + i * 4, 4);
            } else if (row.Format() == PixelFormat::Rgb888) {
                for (u32 i = 0; i < n; ++i, s += 3)
                    Put32(dst + std::size_t(x0 + i * step) * 4, 0xFF000000u | u32(s[2]) << 16 | u32(s[1]) << 8 | s[0]);
            } else {
                const u32 bits = row.BitsPerPixel();
                for (u32 i = 0; i < n; ++i)
                    Put32(dst + std::size_t(x0 + i * step) * 4, m_nativeLut[ReadCell(s, i, bits)]);
            }
            return;
        }
        const u32 bits = row.BitsPerPixel();
        if (step == 1 && x0 == 0) {
            std::memcpy(dst, s, row.Stride());
        } else if (bits < 8) {
            for (u32 i = 0; i < n; ++i) WriteCell(dst, x0 + i * step, bits, ReadCell(s, i, bits));
        } else {
            const u32 bytes = bits / 8;
            for (u32 i = 0; i < n; ++i) std::memcpy(dst + std::size_t(x0 + i * step) * bytes, s + i * bytes, bytes);
        }
    }

    void EmitLut(const u8* s, u32 n, u8* dst, u32 step) {
        const u32* lut = m_lut.data();
        const std::size_t stride = std::size_t(step) * 4;
        switch (m_bits) {
        case 8:
            for (u32 i = 0; i < n; ++i) Put32(dst + i * stride, lut[s[i]]);
            break;
        case 1:
            for (u32 i = 0; i < n; ++i) Put32(dst + i * stride, lut[(s[i >> 3] >> (7 - (i & 7))) & 1]);
            break;
        case 2:
            for (u32 i = 0; i < n; ++i) Put32(dst + i * stride, lut[(s[i >> 2] >> (6 - 2 * (i & 3))) & 3]);
            break;
        default:
            for (u32 i = 0; i < n; ++i) Put32(dst + i * stride, lut[(s[i >> 1] >> (i & 1 ? 0 : 4)) & 15]);
            break;
        }
    }

    const SPngFile& m_f;
    std::vector<SPass> m_passes;
    CBitmapInterface& m_picture;
    bool m_rgba;
    u32 m_bits = 0, m_bpp = 1, m_targetBits = 0;
    bool m_sameFormat = false, m_interlaced = false;
    const u32* m_pal = nullptr;
    const u32* m_targetPal = nullptr;
    ERowPath m_path = ERowPath::Store;
    std::array<u32, 256> m_lut{}, m_nativeLut{};
    std::unique_ptr<u8[]> m_rows, m_partial;
    u8* m_prev = nullptr;
    u8* m_cur = nullptr;
    std::size_t m_partialFill = 0;
    std::size_t m_pass = 0;
    u32 m_y = 0;
    std::size_t m_rowBytes = 0, m_rowTotal = 1;
    std::unique_ptr<CBitmapInterface> m_sourceRow, m_targetRow;
    u32 m_failure = 0;
};

std::unique_ptr<CBitmapInterface> Decode(CDataBin* source, bool rgba) {
    if (!source) Fail(kCodecReadError);
    CDataBin& in = *source;
    const SPngFile f = ReadChunks(in);
    const SHeader& header = f.header;
    if (!header.seen || header.width == 0 || header.height == 0) Fail(kCodecBadFormat);

    // Passes and the amount of image data they need.
    std::vector<SPass> passes;
    if (header.interlace == 0) {
        passes.push_back(SPass{0, 0, 1, 1});
    } else if (header.interlace == 1) {
        passes.assign(std::begin(kAdam7), std::end(kAdam7));
    }
    const u32 bits = FormatBits(header.source);
    u64 needed = 0;
    auto count = [](u32 size, u32 start, u32 step) {
        return static_cast<u32>(size > start ? (u64(size) - start + step - 1) / step : 0);
    };
    std::vector<SPass> used;
    for (SPass& p : passes) {
        p.columns = count(header.width, p.colStart, p.colStep);
        p.rows = count(header.height, p.rowStart, p.rowStep);
        if (p.columns && p.rows) {
            needed += u64(p.rows) * (1 + RowBytes(bits, p.columns));
            used.push_back(p);
        }
    }

    // Compressed data that is damaged is reported before anything else, as when it is inflated
    // whole before the rows are looked at.
    auto failAfterInflating = [&](u64 cap, u32 error) {
        CIdatSource idat(in, f.idat);
        CDiscard discard;
        if (inflate_detail::InflateStream(idat, discard, false, cap) == inflate_detail::EStreamResult::Corrupt)
            Fail(kCodecUnsupported, kPNGInflateFailed);
        throw SCodecFailure{error};
    };
    // An unknown interlace method is reported after inflating, as if there were one pass.
    if (passes.empty())
        failAfterInflating(u64(header.height) * (1 + RowBytes(bits, header.width)),
                           CodecErrorValue(kCodecUnsupported, kPNGUnknownInterlace));
    const u32 pictureBits = rgba ? 32 : FormatBits(header.target);
    if (!Fits(header.width, header.height, pictureBits)) failAfterInflating(needed, CodecErrorValue(kCodecNoBitmap));
    // Deflate expands at most 1032-fold (a 258-byte match in two bits): a header promising more
    // than the data can hold is refused before the picture is allocated.
    if (needed > f.idatBytes * 1032 + 1032) failAfterInflating(needed, CodecErrorValue(kCodecTruncated));

    std::unique_ptr<CBitmapInterface> picture;
    if (rgba) {
        picture = Checked(std::make_unique<CBitmap>(header.width, header.height, PixelFormat::Rgba8888));
    } else {
        const u32* pal = f.havePalette ? f.palette.data() : nullptr;
        static constexpr u32 kFourGreys[16] = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
        const u32* targetPal = !pal && bits == 2 ? kFourGreys : pal;
        picture = header.target == header.source
                      ? MakeSurface(header.width, header.height, bits, pal)
                      : MakeSurface(header.width, header.height, FormatBits(header.target), targetPal);
    }
    inflate_detail::PrepareForWriting(picture->Pixels(), picture->PixelBytes());
    CRowDecoder rows(f, std::move(used), *picture, rgba);
    CIdatSource idat(in, f.idat);
    if (inflate_detail::InflateStream(idat, rows, false, needed) == inflate_detail::EStreamResult::Corrupt)
        Fail(kCodecUnsupported, kPNGInflateFailed);
    if (rows.Error()) throw SCodecFailure{rows.Error()};
    if (!rows.Done()) Fail(kCodecTruncated);
    picture->SetTransparentIndex(f.transparent);
    return picture;
}

}  // namespace

std::unique_ptr<CBitmapInterface> CCodecPNG::Load(CDataBin* source) {
    return Protect([&] { return Decode(source, m_preferRgba); });
}

std::unique_ptr<CBitmapInterface> CCodecPNG::LoadRgba(CDataBin* source) {
    return Protect([&] { return Decode(source, true); });
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
