#include "image/PngWrite.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "io/Types.h"

namespace ove {

namespace {

// ---- Deflate (RFC 1951)

// Bits go out least significant first; Huffman codes are sent from their top bit, so they are
// reversed on the way in.
class CBitWriter {
public:
    explicit CBitWriter(std::vector<u8>& out) : m_out(out) {}
    void Put(u32 bits, int count) {
        m_acc |= u64(bits) << m_fill;
        m_fill += count;
        while (m_fill >= 8) {
            m_out.push_back(u8(m_acc));
            m_acc >>= 8;
            m_fill -= 8;
        }
    }
    void PutCode(u32 code, int length) {
        u32 reversed = 0;
        for (int i = 0; i < length; ++i, code >>= 1) reversed = (reversed << 1) | (code & 1);
        Put(reversed, length);
    }
    void Flush() {
        if (m_fill > 0) m_out.push_back(u8(m_acc));
        m_acc = 0;
        m_fill = 0;
    }

private:
    std::vector<u8>& m_out;
    u64 m_acc = 0;
    int m_fill = 0;
};

constexpr u32 kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr u32 kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                   33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                   1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr u32 kWindow = 32768;
constexpr u32 kMinMatch = 3;
constexpr u32 kMaxMatch = 258;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 64;  // enough for screenshots' long flat runs; bounds the time on noise

// The fixed literal/length code of the symbol (0-255 literals, 256 end, 257-285 lengths).
void PutSymbol(CBitWriter& w, u32 symbol) {
    if (symbol < 144) w.PutCode(0x30 + symbol, 8);
    else if (symbol < 256) w.PutCode(0x190 + symbol - 144, 9);
    else if (symbol < 280) w.PutCode(symbol - 256, 7);
    else w.PutCode(0xC0 + symbol - 280, 8);
}

void PutMatch(CBitWriter& w, u32 length, u32 distance) {
    int l = 28;
    while (kLengthBase[l] > length) --l;
    PutSymbol(w, 257 + u32(l));
    w.Put(length - kLengthBase[l], kLengthExtra[l]);
    int d = 29;
    while (kDistanceBase[d] > distance) --d;
    w.PutCode(u32(d), 5);
    w.Put(distance - kDistanceBase[d], kDistanceExtra[d]);
}

u32 Hash3(const u8* p) { return ((p[0] | (u32(p[1]) << 8) | (u32(p[2]) << 16)) * 2654435761u) >> (32 - kHashBits); }

// One final block with the fixed codes; greedy matching over hash chains.
void DeflateFixed(const u8* data, std::size_t size, std::vector<u8>& out) {
    CBitWriter w(out);
    w.Put(1, 1);  // last block
    w.Put(1, 2);  // fixed Huffman codes
    constexpr std::int64_t kNone = -1;
    std::vector<std::int64_t> head(std::size_t(1) << kHashBits, kNone), prev(kWindow, kNone);
    auto insert = [&](std::size_t at) {
        if (at + kMinMatch > size) return;
        const u32 h = Hash3(data + at);
        prev[at & (kWindow - 1)] = head[h];
        head[h] = std::int64_t(at);
    };
    std::size_t i = 0;
    while (i < size) {
        u32 bestLength = 0, bestDistance = 0;
        if (i + kMinMatch <= size) {
            const std::size_t limit = std::min<std::size_t>(kMaxMatch, size - i);
            std::int64_t candidate = head[Hash3(data + i)];
            // Chains only lead backwards; a slot is reused only after its position left the window.
            for (int chain = 0; candidate != kNone && chain < kMaxChain; ++chain) {
                const std::size_t c = std::size_t(candidate);
                if (i - c > kWindow) break;
                u32 n = 0;
                while (n < limit && data[c + n] == data[i + n]) ++n;
                if (n > bestLength) {
                    bestLength = n;
                    bestDistance = u32(i - c);
                    if (n == limit) break;
                }
                candidate = prev[c & (kWindow - 1)];
            }
        }
        if (bestLength >= kMinMatch) {
            PutMatch(w, bestLength, bestDistance);
            for (u32 k = 0; k < bestLength; ++k) insert(i + k);
            i += bestLength;
        } else {
            PutSymbol(w, data[i]);
            insert(i);
            ++i;
        }
    }
    PutSymbol(w, 256);
    w.Flush();
}

void DeflateStored(const u8* data, std::size_t size, std::vector<u8>& out) {
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, size - at);
        out.push_back(at + n == size ? 1 : 0);  // BFINAL, BTYPE 00; the header byte is aligned
        out.push_back(u8(n));
        out.push_back(u8(n >> 8));
        out.push_back(u8(~n));
        out.push_back(u8(~n >> 8));
        if (n) out.insert(out.end(), data + at, data + at + n);
        at += n;
    } while (at < size);
}

u32 Adler32(const u8* data, std::size_t size) {
    u32 a = 1, b = 0;
    while (size > 0) {
        const std::size_t n = std::min<std::size_t>(size, 5552);  // no overflow before the modulo
        for (std::size_t k = 0; k < n; ++k) {
            a += data[k];
            b += a;
        }
        a %= 65521;
        b %= 65521;
        data += n;
        size -= n;
    }
    return (b << 16) | a;
}

// ---- PNG

u32 Crc32(u32 crc, const u8* data, std::size_t size) {
    static const std::array<u32, 256> table = [] {
        std::array<u32, 256> t{};
        for (u32 n = 0; n < 256; ++n) {
            u32 c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    for (std::size_t k = 0; k < size; ++k) crc = table[(crc ^ data[k]) & 0xFF] ^ (crc >> 8);
    return crc;
}

void PutBigEndian(u8* p, u32 v) {
    p[0] = u8(v >> 24);
    p[1] = u8(v >> 16);
    p[2] = u8(v >> 8);
    p[3] = u8(v);
}

bool PutChunk(CDataBin& out, const char* type, const u8* data, u32 size) {
    u8 head[8], tail[4];
    PutBigEndian(head, size);
    std::memcpy(head + 4, type, 4);
    PutBigEndian(tail, Crc32(Crc32(0xFFFFFFFFu, head + 4, 4), data, size) ^ 0xFFFFFFFFu);
    return out.Write(head, 8) == 8 && (size == 0 || out.Write(data, size) == size) && out.Write(tail, 4) == 4;
}

u8 Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return u8(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Each row gets the filter whose output has the smallest sum of magnitudes (as signed bytes), the
// usual choice that lets flat and gradient areas compress.
std::vector<u8> FilteredRows(const CBitmapInterface& rgba, u32 channels) {
    const std::size_t rowBytes = std::size_t(rgba.Width()) * channels;
    std::vector<u8> out;
    out.reserve((rowBytes + 1) * rgba.Height());
    std::vector<u8> raw(rowBytes), prior(rowBytes, 0), trial(rowBytes), best(rowBytes);
    for (u32 y = 0; y < rgba.Height(); ++y) {
        const u8* p = rgba.TopRow(y);  // blue, green, red, alpha
        for (u32 x = 0; x < rgba.Width(); ++x, p += 4) {
            u8* q = &raw[std::size_t(x) * channels];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
            if (channels == 4) q[3] = p[3];
        }
        u64 bestScore = std::numeric_limits<u64>::max();
        u8 bestType = 0;
        for (u8 type = 0; type < 5; ++type) {
            u64 score = 0;
            for (std::size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= channels ? raw[i - channels] : 0, b = prior[i],
                          c = i >= channels ? prior[i - channels] : 0;
                const int predicted = type == 0   ? 0
                                      : type == 1 ? a
                                      : type == 2 ? b
                                      : type == 3 ? (a + b) / 2
                                                  : Paeth(a, b, c);
                trial[i] = u8(raw[i] - predicted);
                score += trial[i] < 128 ? trial[i] : 256 - trial[i];
            }
            if (score < bestScore) {
                bestScore = score;
                bestType = type;
                best.swap(trial);
            }
        }
        out.push_back(bestType);
        out.insert(out.end(), best.begin(), best.end());
        prior.swap(raw);
    }
    return out;
}

}  // namespace

std::vector<u8> ZlibCompress(const u8* data, std::size_t size) {
    std::vector<u8> out = {0x78, 0x01};  // deflate with a 32 KiB window; check bits for 31
    DeflateFixed(data, size, out);
    // Noise costs up to 9 bits a byte with the fixed codes: store it instead.
    const std::size_t storedSize = size + 5 * (size / 65535 + 1);
    if (out.size() - 2 > storedSize) {
        out.resize(2);
        DeflateStored(data, size, out);
    }
    u8 adler[4];
    PutBigEndian(adler, Adler32(data, size));
    out.insert(out.end(), adler, adler + 4);
    return out;
}

bool WritePNG(const CBitmapInterface& bitmap, CDataBin* destination) {
    if (!destination || bitmap.IsEmpty() || bitmap.Width() == 0 || bitmap.Height() == 0) return false;
    CBitmapBuffer converted;
    const CBitmapInterface* rgba = &bitmap;
    if (bitmap.Format() != PixelFormat::Rgba8888) {
        if (!converted.Create(bitmap.Width(), bitmap.Height(), PixelFormat::Rgba8888) || !converted.CopyFrom(bitmap))
            return false;
        rgba = &converted;
    }
    bool opaque = true;
    for (u32 y = 0; y < rgba->Height() && opaque; ++y) {
        const u8* p = rgba->Row(y);
        for (u32 x = 0; x < rgba->Width(); ++x)
            if (p[x * 4 + 3] != 255) opaque = false;
    }
    const u32 channels = opaque ? 3 : 4;
    const std::vector<u8> rows = FilteredRows(*rgba, channels);
    const std::vector<u8> idat = ZlibCompress(rows.data(), rows.size());
    if (idat.size() > 0x7FFFFFFFu) return false;

    static const u8 kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    u8 ihdr[13];
    PutBigEndian(ihdr, rgba->Width());
    PutBigEndian(ihdr + 4, rgba->Height());
    ihdr[8] = 8;                         // bits per sample
    ihdr[9] = opaque ? 2 : 6;            // truecolour, with alpha or without
    ihdr[10] = ihdr[11] = ihdr[12] = 0;  // deflate, adaptive filtering, no interlace
    if (destination->Write(kSignature, 8) != 8 || !PutChunk(*destination, "IHDR", ihdr, 13)) return false;
    // Data in chunks of at most 1 MiB, as encoders commonly do.
    constexpr std::size_t kChunk = std::size_t(1) << 20;
    for (std::size_t at = 0; at < idat.size(); at += kChunk) {
        const u32 n = u32(std::min(kChunk, idat.size() - at));
        if (!PutChunk(*destination, "IDAT", idat.data() + at, n)) return false;
    }
    return PutChunk(*destination, "IEND", nullptr, 0);
}

}  // namespace ove
