#include "image/CodecBMP.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace ove {

namespace {

inline u32 Le16(const u8* p) { return p[0] | (u32(p[1]) << 8); }
inline u32 Le32(const u8* p) { return p[0] | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24); }
inline void Put16(u8* p, u32 v) {
    p[0] = static_cast<u8>(v);
    p[1] = static_cast<u8>(v >> 8);
}
inline void Put32(u8* p, u32 v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<u8>(v >> (8 * i));
}

// Run-length decoding (RLE8 with 8-bit cells, RLE4 with 4-bit cells) into a bottom-up bitmap.
// Every write is checked against the picture and every read against the data.
class CRleDecoder {
public:
    CRleDecoder(CBitmapInterface& bitmap, const std::vector<u8>& data, bool four)
        : m_bmp(bitmap), m_data(data), m_four(four) {}

    // True when the picture was finished or the end-of-bitmap code came; false when the data ran out.
    bool Run() {
        const u32 height = m_bmp.Height();
        while (m_row < height) {
            if (m_pos + 2 > m_data.size()) return false;
            u32 n = m_data[m_pos], v = m_data[m_pos + 1];
            m_pos += 2;
            if (n > 0) {
                for (u32 i = 0; i < n && m_row < height; ++i) Put(m_four ? ((i & 1) ? (v & 15) : (v >> 4)) : v);
                continue;
            }
            switch (v) {
            case 0:  // end of line
                m_x = 0;
                ++m_row;
                break;
            case 1:  // end of bitmap
                return true;
            case 2: {  // delta
                if (m_pos + 2 > m_data.size()) return false;
                m_x += m_data[m_pos];
                m_row += m_data[m_pos + 1];
                m_pos += 2;
                break;
            }
            default: {  // absolute run of v cells
                u32 bytes = m_four ? (v + 1) / 2 : v;
                if (m_pos + bytes > m_data.size()) return false;
                for (u32 i = 0; i < v && m_row < height; ++i) {
                    u32 b = m_data[m_pos + (m_four ? i / 2 : i)];
                    Put(m_four ? ((i & 1) ? (b & 15) : (b >> 4)) : b);
                }
                m_pos += bytes + (bytes & 1);
                break;
            }
            }
        }
        return true;
    }

private:
    // Cells per row including the padding: encoders such as ImageMagick's spell out the padding
    // cells, so a row only wraps once its padded length is full.
    void Put(u32 cell) {
        const u32 width = m_bmp.Width();
        const u32 rowCells = m_bmp.Stride() * (m_four ? 2 : 1);
        if (m_x >= rowCells) {  // a run carries on at the start of the next row up
            m_x = 0;
            if (++m_row >= m_bmp.Height()) return;
        }
        u8* row = m_bmp.Row(m_row);
        if (m_four) {
            u8& b = row[m_x >> 1];
            b = (m_x & 1) ? static_cast<u8>((b & 0xF0) | cell) : static_cast<u8>((b & 0x0F) | (cell << 4));
        } else {
            row[m_x] = static_cast<u8>(cell);
        }
        ++m_x;
        // The top row is finished once its last cell is written.
        if (m_x >= width && m_row + 1 >= m_bmp.Height()) m_row = m_bmp.Height();
    }

    CBitmapInterface& m_bmp;
    const std::vector<u8>& m_data;
    bool m_four;
    std::size_t m_pos = 0;
    u32 m_x = 0;
    u32 m_row = 0;
};

}  // namespace

void CCodecBMP::ReadWidened(CDataBin& in, CBitmapInterface& bitmap, u32 fileStride, u32 bitCount, const u32* palette) {
    // Each file row is read into the start of its 32-bit row and widened from its last pixel
    // backwards, so no source byte is overwritten before it has been used.
    std::array<u32, 256> colours{};
    if (bitCount == 8)
        for (u32 i = 0; i < 256; ++i) colours[i] = SwapRedBlue(palette[i]) | 0xFF000000u;
    const u32 width = bitmap.Width();
    for (u32 y = 0; y < bitmap.Height(); ++y) {
        u8* row = bitmap.Row(y);
        ReadExact(in, row, fileStride);
        if (bitCount == 8) {
            for (u32 x = width; x-- > 0;) {
                const u32 c = colours[row[x]];
                std::memcpy(row + std::size_t(x) * 4, &c, 4);
            }
        } else {
            for (u32 x = width; x-- > 0;) {
                const u8* s = row + std::size_t(x) * 3;
                u8* d = row + std::size_t(x) * 4;
                const u8 b = s[0], g = s[1], r = s[2];
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = 255;
            }
        }
    }
}

const char* CCodecBMP::GetErrorText() const {
    if (GetGeneralError() == kCodecUnsupported && GetErrorDetail() == kBadBitfields)
        return "Unsupported bitfield configuration.";
    return CImageCodec::GetErrorText();
}

std::unique_ptr<CBitmapInterface> CCodecBMP::Load(CDataBin* source) {
    return Protect([&]() -> std::unique_ptr<CBitmapInterface> {
        if (!source) Raise(kCodecReadError);
        CDataBin& in = *source;
        // Offsets in the file count from its first byte, wherever the file starts in the source.
        const u32 fileStart = in.Tell();

        u8 fileHeader[14];
        ReadExact(in, fileHeader, 14);
        if (fileHeader[0] != 'B' || fileHeader[1] != 'M') Raise(kCodecBadFormat);
        const u32 dataOffset = Le32(fileHeader + 10);

        u8 sizeBytes[4];
        ReadExact(in, sizeBytes, 4);
        const u32 headerSize = Le32(sizeBytes);

        i32 width = 0, height = 0;
        u32 bitCount = 0, compression = 0, coloursUsed = 0;
        u32 redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
        const bool core = headerSize == 12;
        if (core) {
            u8 h[8];
            ReadExact(in, h, 8);
            width = static_cast<i32>(Le16(h));
            height = static_cast<i32>(Le16(h + 2));
            if (Le16(h + 4) != 1) Raise(kCodecUnsupported, 4);
            bitCount = Le16(h + 6);
            if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) Raise(kCodecUnsupported, 4);
        } else if (headerSize == 40 || headerSize == 64 || headerSize == 108 || headerSize == 124) {
            u8 h[36];
            ReadExact(in, h, 36);
            width = static_cast<i32>(Le32(h));
            height = static_cast<i32>(Le32(h + 4));
            bitCount = Le16(h + 10);
            compression = Le32(h + 12);
            coloursUsed = Le32(h + 28);
            u8 rest[84];
            if (headerSize == 64) {
                ReadExact(in, rest, 24);
            } else if (headerSize >= 108) {
                ReadExact(in, rest, 16);
                redMask = Le32(rest);
                greenMask = Le32(rest + 4);
                blueMask = Le32(rest + 8);
                alphaMask = Le32(rest + 12);
                // The rest of the header (colour space, gamma, profile) is of no use here.
                ReadExact(in, rest, headerSize - 56);
            }
        } else {
            Raise(kCodecUnsupported, 4);
        }

        PixelFormat format;
        switch (bitCount) {
        case 1: format = PixelFormat::Indexed1; break;
        case 4: format = PixelFormat::Indexed4; break;
        case 8: format = PixelFormat::Indexed8; break;
        case 16: format = PixelFormat::Rgb555; break;
        case 24: format = PixelFormat::Rgb888; break;
        case 32: format = PixelFormat::Rgbx8888; break;
        default: Raise(kCodecUnsupported, 4);
        }

        if (compression == 3) {
            if (!redMask && !greenMask && !blueMask) {
                u8 m[12];
                ReadExact(in, m, 12);
                redMask = Le32(m);
                greenMask = Le32(m + 4);
                blueMask = Le32(m + 8);
                if (!redMask && !greenMask && !blueMask) Raise(kCodecUnsupported, 4);
            }
            if (bitCount == 16) {
                format = redMask == 0xF800 ? PixelFormat::Rgb565 : PixelFormat::Rgb555;
            } else if (bitCount == 32) {
                if (redMask == 0x3FF00000) format = PixelFormat::Rgb101010;
                else if (alphaMask == 0xFF000000u) format = PixelFormat::Rgba8888;
            }
            const SPixelFormatInfo& info = FormatInfo(format);
            if (bitCount < 16 || redMask != info.redMask || greenMask != info.greenMask || blueMask != info.blueMask)
                Raise(kCodecUnsupported, kBadBitfields);
        }
        // Only plain rows, the two run-length encodings and bit fields are understood; anything else
        // (embedded JPEG or PNG data, say) cannot be read, so it is not passed off as a blank picture.
        if (compression > 3 || (compression == 1 && bitCount != 8) || (compression == 2 && bitCount != 4))
            Raise(kCodecUnsupported, 4);

        std::array<u32, 256> palette{};
        const bool withPalette = bitCount <= 8;
        if (withPalette) {
            u32 count = coloursUsed ? coloursUsed : (1u << bitCount);
            const u32 entrySize = core ? 3 : 4;
            const u32 kept = count < 256 ? count : 256;
            std::vector<u8> entries(std::size_t(kept) * entrySize);
            ReadExact(in, entries.data(), static_cast<u32>(entries.size()));
            for (u32 i = 0; i < kept; ++i) {
                const u8* e = entries.data() + i * entrySize;
                palette[i] = e[2] | (u32(e[1]) << 8) | (u32(e[0]) << 16);
            }
            if (count > kept && dataOffset == 0) {
                std::uint64_t skip = std::uint64_t(count - kept) * entrySize + in.Tell();
                in.Seek(skip > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<u32>(skip));
            }
        }

        if (width <= 0 || height == 0) Raise(kCodecNoBitmap);
        const std::int64_t rows64 = height < 0 ? -std::int64_t(height) : height;
        if (rows64 > kMaxPictureSide || !PictureSizeAllowed(static_cast<u32>(width), static_cast<u32>(rows64)))
            Raise(kCodecNoBitmap);
        const u32 rows = static_cast<u32>(rows64);
        const u32 stride = ComputeStride(static_cast<u32>(width), FormatBits(format));
        if (stride == 0 || std::uint64_t(stride) * rows > kMaxBitmapBytes) Raise(kCodecNoBitmap);

        // A header that promises more than the data can hold is refused before the picture is set
        // up: plain rows need every byte; a run-length pair yields at most 255 cells.
        const std::uint64_t size = in.GetSize();
        const std::uint64_t start = dataOffset ? std::uint64_t(fileStart) + dataOffset : in.Tell();
        const std::uint64_t available = size > start ? size - start : 0;
        const std::uint64_t pixels = std::uint64_t(static_cast<u32>(width)) * rows;
        const std::uint64_t needed = (compression == 0 || compression == 3) ? std::uint64_t(stride) * rows
                                                                            : 2 * ((pixels + 254) / 255);
        if (needed > available) Raise(kCodecTruncated);

        // Plain 8-, 24- and 32-bit rows can be widened to Rgba8888 as they are read, when the caller
        // wants that: no second picture to convert through.
        const bool widen = m_preferRgba && compression == 0 && (bitCount == 8 || bitCount == 24);
        const PixelFormat made = widen ? PixelFormat::Rgba8888 : format;
        auto bitmap = std::make_unique<CBitmap>(static_cast<u32>(width), rows, made,
                                                withPalette && !widen ? palette.data() : nullptr);
        if (bitmap->IsEmpty()) Raise(kCodecNoBitmap);

        if (dataOffset != 0) {
            const std::uint64_t at = std::uint64_t(fileStart) + dataOffset;
            in.Seek(at > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<u32>(at));
        }

        if (widen) {
            ReadWidened(in, *bitmap, stride, bitCount, palette.data());
        } else if (compression == 0 || compression == 3) {
            std::size_t bytes = bitmap->PixelBytes();
            ReadExact(in, bitmap->Pixels(), static_cast<u32>(bytes));
            if (m_preferRgba && bitmap->Format() == PixelFormat::Rgbx8888) bitmap->MakeOpaque();
        } else if (compression == 1 || compression == 2) {
            std::vector<u8> data = ReadAll(in);
            CRleDecoder decoder(*bitmap, data, compression == 2);
            if (!decoder.Run()) Raise(kCodecTruncated);
        }

        if (height < 0) bitmap->FlipVertical();
        return bitmap;
    });
}

bool CCodecBMP::Save(const CBitmapInterface* bitmap, CDataBin* destination) {
    return Protect([&]() -> bool {
        if (!bitmap || bitmap->IsEmpty()) Raise(kCodecReadError);
        if (!destination) Raise(kCodecWriteError);

        // Formats a BMP file cannot hold are written in the nearest one it can.
        std::unique_ptr<CBitmapBuffer> converted;
        const u32* sourcePalette = nullptr;
        PixelFormat target = PixelFormat::NoFormat;
        switch (bitmap->Format()) {
        case PixelFormat::Grey2:
        case PixelFormat::Indexed2: target = PixelFormat::Indexed4; break;
        case PixelFormat::Grey16: target = PixelFormat::Grey8; break;
        case PixelFormat::Rgb16: target = PixelFormat::Rgb888; break;
        case PixelFormat::Rgbx16: target = PixelFormat::Rgbx8888; break;
        case PixelFormat::GreyAlpha8:
        case PixelFormat::IndexedAlpha8:
        case PixelFormat::GreyAlpha16:
        case PixelFormat::Rgba16: target = PixelFormat::Rgba8888; break;
        default: break;
        }
        if (target != PixelFormat::NoFormat) {
            std::array<u32, 256> palette{};
            if (target == PixelFormat::Indexed4) {
                for (u32 i = 0; i < 4; ++i) palette[i] = bitmap->GetPaletteEntry(static_cast<u8>(i));
                sourcePalette = palette.data();
            }
            converted = std::make_unique<CBitmapBuffer>(bitmap->Width(), bitmap->Height(), target, sourcePalette);
            if (converted->IsEmpty() || !converted->CopyFrom(*bitmap)) Raise(kCodecNoMemory);
            bitmap = converted.get();
        }

        const PixelFormat format = bitmap->Format();
        const u32 bits = bitmap->BitsPerPixel();
        const bool palette = HasPalette(format);
        // 565 and 10-10-10 pixels are only read back right with their masks.
        const bool bitfields = format == PixelFormat::Rgb565 || format == PixelFormat::Rgb101010;
        const u32 paletteBytes = palette ? 4u << bits : 0;
        const u32 dataOffset = 54 + paletteBytes + (bitfields ? 12 : 0);
        const std::size_t imageBytes = bitmap->PixelBytes();
        if (imageBytes + dataOffset > 0xFFFFFFFFull) Raise(kCodecWriteError);

        u8 header[54] = {};
        header[0] = 'B';
        header[1] = 'M';
        Put32(header + 2, static_cast<u32>(dataOffset + imageBytes));
        Put32(header + 10, dataOffset);
        Put32(header + 14, 40);
        Put32(header + 18, bitmap->Width());
        Put32(header + 22, bitmap->Height());
        Put16(header + 26, 1);
        Put16(header + 28, bits);
        Put32(header + 30, bitfields ? 3 : 0);
        Put32(header + 34, static_cast<u32>(imageBytes));
        WriteExact(*destination, header, 54);
        if (bitfields) {
            const SPixelFormatInfo& info = FormatInfo(format);
            u8 masks[12];
            Put32(masks, info.redMask);
            Put32(masks + 4, info.greenMask);
            Put32(masks + 8, info.blueMask);
            WriteExact(*destination, masks, 12);
        }
        if (palette) {
            std::vector<u8> entries(paletteBytes);
            const u32* p = bitmap->Palette();
            for (u32 i = 0; i < (1u << bits) && i < 256; ++i) Put32(entries.data() + i * 4, p[i] & 0xFFFFFFu);
            WriteExact(*destination, entries.data(), paletteBytes);
        }
        WriteExact(*destination, bitmap->Pixels(), static_cast<u32>(imageBytes));
        return true;
    });
}

}  // namespace ove
