#include "image/CodecQOI.h"

#include <cstring>

namespace ove {

namespace {

enum : u8 {
    kOpIndex = 0x00,
    kOpDiff = 0x40,
    kOpLuma = 0x80,
    kOpRun = 0xC0,
    kOpRgb = 0xFE,
    kOpRgba = 0xFF,
};

struct SPixel {
    u8 r = 0, g = 0, b = 0, a = 255;
    bool operator==(const SPixel&) const = default;
};

inline u32 Hash(const SPixel& p) { return (p.r * 3u + p.g * 5u + p.b * 7u + p.a * 11u) % 64; }

inline u32 Be32(const u8* p) { return (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | p[3]; }
inline void PutBe32(u8* p, u32 v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<u8>(v >> (24 - 8 * i));
}

// Writes pixels top row first into a bottom-up bitmap.
class CPixelSink {
public:
    // `channels`: bytes per pixel of the bitmap; `opaque`: the fourth byte is 255 whatever the data say
    // (a 3-channel file decoded into a 32-bit bitmap).
    CPixelSink(CBitmapInterface& bmp, u32 channels, bool opaque) : m_bmp(bmp), m_channels(channels), m_opaque(opaque) {
        m_total = std::uint64_t(bmp.Width()) * bmp.Height();
        if (m_total) m_row = bmp.TopRow(0);
    }
    bool Done() const { return m_written >= m_total; }
    void Put(const SPixel& p) {
        if (Done()) return;
        u8* d = m_row + std::size_t(m_x) * m_channels;
        d[0] = p.b;
        d[1] = p.g;
        d[2] = p.r;
        if (m_channels == 4) d[3] = m_opaque ? 255 : p.a;
        ++m_written;
        if (++m_x == m_bmp.Width() && !Done()) {
            m_x = 0;
            ++m_y;
            m_row = m_bmp.TopRow(m_y);
        }
    }

private:
    CBitmapInterface& m_bmp;
    u32 m_channels;
    bool m_opaque;
    std::uint64_t m_total = 0, m_written = 0;
    u32 m_x = 0, m_y = 0;
    u8* m_row = nullptr;
};

// Buffered writer that raises the codec's write error through the callback on a short write.
class COutput {
public:
    explicit COutput(CDataBin& dest) : m_dest(dest) { m_buf.reserve(kChunk + 8); }
    void Byte(u8 b) {
        m_buf.push_back(b);
        if (m_buf.size() >= kChunk) Flush();
    }
    bool Flush() {
        bool ok = m_buf.empty() || m_dest.Write(m_buf.data(), static_cast<u32>(m_buf.size())) == m_buf.size();
        m_buf.clear();
        m_ok = m_ok && ok;
        return m_ok;
    }
    bool Ok() const { return m_ok; }

private:
    static constexpr std::size_t kChunk = 1 << 16;
    CDataBin& m_dest;
    std::vector<u8> m_buf;
    bool m_ok = true;
};

}  // namespace

std::unique_ptr<CBitmapInterface> CCodecQOI::Load(CDataBin* source) {
    return Protect([&]() -> std::unique_ptr<CBitmapInterface> {
        if (!source) Raise(kCodecReadError);
        u8 header[14];
        ReadExact(*source, header, 14);
        if (std::memcmp(header, "qoif", 4) != 0) Raise(kCodecBadFormat);
        const u32 width = Be32(header + 4), height = Be32(header + 8);
        const u32 channels = header[12];
        if (channels != 3 && channels != 4) Raise(kCodecBadHeader);

        // A 3-channel picture goes straight into 32 bits when the caller wants those.
        const u32 depth = m_preferRgba ? 4 : channels;
        const u32 stride = ComputeStride(width, depth * 8);
        if (!PictureSizeAllowed(width, height) || !stride || std::uint64_t(stride) * height > kMaxBitmapBytes)
            Raise(kCodecNoBitmap);
        // No operation yields more than 62 pixels: a header promising more than the data can hold
        // ends prematurely, and is told so before any memory is set aside for it.
        const u32 size32 = source->GetSize(), at = source->Tell();
        if (std::uint64_t(width) * height > 62ull * (size32 > at ? size32 - at : 0)) Raise(kCodecTruncated);
        auto bitmap = std::make_unique<CBitmap>(width, height,
                                                depth == 4 ? PixelFormat::Rgba8888 : PixelFormat::Rgb888);
        if (bitmap->IsEmpty()) Raise(kCodecNoBitmap);

        const std::vector<u8> data = ReadAll(*source);
        const std::size_t size = data.size();
        CPixelSink sink(*bitmap, depth, channels == 3);
        SPixel index[64] = {};
        for (SPixel& p : index) p.a = 0;
        SPixel px;
        u32 zeros = 0;  // index-0 operations held back until we know they are not the end marker
        bool ended = false;

        auto emit = [&](const SPixel& p) {
            index[Hash(p)] = p;
            sink.Put(p);
        };
        auto replayZeros = [&](u32 n) {
            for (u32 i = 0; i < n && !sink.Done(); ++i) {
                px = index[0];
                emit(px);
            }
        };

        std::size_t pos = 0;
        while (!sink.Done()) {
            if (pos >= size) break;
            const u8 b = data[pos++];
            if (b == 0) {
                ++zeros;
                continue;
            }
            if (b == 1 && zeros >= 7) {
                replayZeros(zeros - 7);
                zeros = 0;
                ended = true;
                break;
            }
            replayZeros(zeros);
            zeros = 0;
            if (sink.Done()) break;

            if (b == kOpRgb || b == kOpRgba) {
                const std::size_t need = b == kOpRgb ? 3 : 4;
                if (pos + need > size) Raise(kCodecTruncated);
                px.r = data[pos];
                px.g = data[pos + 1];
                px.b = data[pos + 2];
                if (b == kOpRgba) px.a = data[pos + 3];
                pos += need;
                emit(px);
            } else if ((b & 0xC0) == kOpIndex) {
                px = index[b & 63];
                emit(px);
            } else if ((b & 0xC0) == kOpDiff) {
                px.r = static_cast<u8>(px.r + ((b >> 4) & 3) - 2);
                px.g = static_cast<u8>(px.g + ((b >> 2) & 3) - 2);
                px.b = static_cast<u8>(px.b + (b & 3) - 2);
                emit(px);
            } else if ((b & 0xC0) == kOpLuma) {
                if (pos >= size) Raise(kCodecTruncated);
                const u8 b2 = data[pos++];
                const int vg = (b & 63) - 32;
                px.r = static_cast<u8>(px.r + vg - 8 + ((b2 >> 4) & 15));
                px.g = static_cast<u8>(px.g + vg);
                px.b = static_cast<u8>(px.b + vg - 8 + (b2 & 15));
                emit(px);
            } else {  // run
                const u32 run = (b & 63) + 1;
                for (u32 i = 0; i < run && !sink.Done(); ++i) emit(px);
            }
        }
        if (!ended) replayZeros(zeros);
        if (!sink.Done()) Raise(kCodecTruncated);
        return bitmap;
    });
}

bool CCodecQOI::Save(const CBitmapInterface* bitmap, CDataBin* destination) {
    return Protect([&]() -> bool {
        if (!bitmap || bitmap->IsEmpty()) Raise(kCodecReadError);
        if (!destination) Raise(kCodecWriteError);

        std::unique_ptr<CBitmapBuffer> converted;
        if (bitmap->Format() != PixelFormat::Rgb888 && bitmap->Format() != PixelFormat::Rgba8888) {
            const PixelFormat target = HasAlpha(bitmap->Format()) ? PixelFormat::Rgba8888 : PixelFormat::Rgb888;
            converted = std::make_unique<CBitmapBuffer>(*bitmap, target);
            // CopyFrom refuses nothing a decoder produces; a refusal here means an unusable source.
            if (converted->IsEmpty()) Raise(kCodecNoMemory);
            bitmap = converted.get();
        }
        const u32 channels = bitmap->Format() == PixelFormat::Rgba8888 ? 4 : 3;
        const u32 width = bitmap->Width(), height = bitmap->Height();

        u8 header[14];
        std::memcpy(header, "qoif", 4);
        PutBe32(header + 4, width);
        PutBe32(header + 8, height);
        header[12] = static_cast<u8>(channels);
        header[13] = 0;
        WriteExact(*destination, header, 14);

        COutput out(*destination);
        SPixel index[64] = {};
        for (SPixel& p : index) p.a = 0;
        SPixel prev;
        u32 run = 0;
        for (u32 y = 0; y < height; ++y) {
            const u8* row = bitmap->TopRow(y);
            for (u32 x = 0; x < width; ++x) {
                const u8* s = row + std::size_t(x) * channels;
                SPixel px;
                px.b = s[0];
                px.g = s[1];
                px.r = s[2];
                px.a = channels == 4 ? s[3] : 255;
                if (px == prev) {
                    if (++run == 62) {
                        out.Byte(static_cast<u8>(kOpRun | (run - 1)));
                        run = 0;
                    }
                    continue;
                }
                if (run) {
                    out.Byte(static_cast<u8>(kOpRun | (run - 1)));
                    run = 0;
                }
                const u32 h = Hash(px);
                if (index[h] == px) {
                    out.Byte(static_cast<u8>(kOpIndex | h));
                } else {
                    index[h] = px;
                    if (px.a == prev.a) {
                        // Channel differences wrap around, as the decoder's arithmetic does.
                        const int dr = static_cast<signed char>(static_cast<u8>(px.r - prev.r));
                        const int dg = static_cast<signed char>(static_cast<u8>(px.g - prev.g));
                        const int db = static_cast<signed char>(static_cast<u8>(px.b - prev.b));
                        const int vgr = dr - dg, vgb = db - dg;
                        if (dr > -3 && dr < 2 && dg > -3 && dg < 2 && db > -3 && db < 2) {
                            out.Byte(static_cast<u8>(kOpDiff | ((dr + 2) << 4) | ((dg + 2) << 2) | (db + 2)));
                        } else if (vgr > -9 && vgr < 8 && dg > -33 && dg < 32 && vgb > -9 && vgb < 8) {
                            out.Byte(static_cast<u8>(kOpLuma | (dg + 32)));
                            out.Byte(static_cast<u8>(((vgr + 8) << 4) | (vgb + 8)));
                        } else {
                            out.Byte(kOpRgb);
                            out.Byte(px.r);
                            out.Byte(px.g);
                            out.Byte(px.b);
                        }
                    } else {
                        out.Byte(kOpRgba);
                        out.Byte(px.r);
                        out.Byte(px.g);
                        out.Byte(px.b);
                        out.Byte(px.a);
                    }
                }
                prev = px;
            }
            if (!out.Ok()) Raise(kCodecWriteError);
        }
        if (run) out.Byte(static_cast<u8>(kOpRun | (run - 1)));
        static const u8 kEnd[8] = {0, 0, 0, 0, 0, 0, 0, 1};
        for (u8 b : kEnd) out.Byte(b);
        if (!out.Flush()) Raise(kCodecWriteError);
        return true;
    });
}

}  // namespace ove
