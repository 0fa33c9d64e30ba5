// Helpers for the inflate and PNG tests: sample data, zlib compression and a bit writer for
// hand-made DEFLATE streams.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace pngtest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b) c = static_cast<std::uint8_t>(rng());
    return b;
}

// Words, spaces and line breaks drawn from a small vocabulary: compresses like prose.
inline Bytes TextBytes(std::size_t n, std::uint32_t seed) {
    static const char* kWords[] = {"the",    "adventure", "engine", "draws", "sprites", "walk",  "behind",
                                   "a",      "door",      "key",    "opens", "castle",  "north", "room",
                                   "script", "calls",     "Init",   "Run",   "player",  "says",  "hello"};
    std::mt19937 rng(seed);
    Bytes b;
    b.reserve(n);
    while (b.size() < n) {
        const char* w = kWords[rng() % (sizeof kWords / sizeof *kWords)];
        for (const char* p = w; *p && b.size() < n; ++p) b.push_back(static_cast<std::uint8_t>(*p));
        if (b.size() < n) b.push_back(rng() % 12 == 0 ? '\n' : ' ');
    }
    return b;
}

// Runs, repeats at long distances, and noise mixed.
inline Bytes MixedBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b;
    b.reserve(n);
    while (b.size() < n) {
        switch (rng() % 4) {
        case 0: {  // run
            std::size_t len = 1 + rng() % 600;
            b.insert(b.end(), len, static_cast<std::uint8_t>(rng()));
            break;
        }
        case 1: {  // repeat of something earlier
            if (b.size() < 16) break;
            std::size_t dist = 1 + rng() % std::min<std::size_t>(b.size(), 40000);
            std::size_t len = 3 + rng() % 300;
            for (std::size_t i = 0; i < len; ++i) b.push_back(b[b.size() - dist]);
            break;
        }
        case 2: {  // noise
            std::size_t len = 1 + rng() % 200;
            for (std::size_t i = 0; i < len; ++i) b.push_back(static_cast<std::uint8_t>(rng()));
            break;
        }
        default: {
            Bytes t = TextBytes(1 + rng() % 400, rng());
            b.insert(b.end(), t.begin(), t.end());
        }
        }
    }
    b.resize(n);
    return b;
}

// Raw DEFLATE (no zlib header) or, with windowBits 15, a zlib stream; with another flush than
// Z_FINISH, a stream that does not end.
inline Bytes ZlibDeflate(const Bytes& in, int level, int strategy = Z_DEFAULT_STRATEGY, int windowBits = -15,
                         int memLevel = 8, int flush = Z_FINISH) {
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, windowBits, memLevel, strategy) != Z_OK) return {};
    Bytes out(deflateBound(&zs, static_cast<uLong>(in.size())) + 64);
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&zs, flush);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == (flush == Z_FINISH ? Z_STREAM_END : Z_OK) ? out : Bytes{};
}

// zlib's own raw inflate: true with the output when the stream ends properly.
inline bool ZlibInflateRaw(const Bytes& in, Bytes& out, std::size_t maxOut = 1 << 24) {
    z_stream zs{};
    if (inflateInit2(&zs, -15) != Z_OK) return false;
    out.assign(maxOut, 0);
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    inflateEnd(&zs);
    return rc == Z_STREAM_END;
}

// Writes a DEFLATE bit stream: plain values least significant bit first, Huffman codes most
// significant bit first.
class BitWriter {
public:
    void Bits(std::uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) Bit((value >> i) & 1);
    }
    void Code(std::uint32_t code, unsigned length) {
        for (unsigned i = length; i-- > 0;) Bit((code >> i) & 1);
    }
    // A block header: final flag, then type (0 stored, 1 fixed codes, 2 dynamic codes).
    void Block(bool final, unsigned type) {
        Bits(final ? 1 : 0, 1);
        Bits(type, 2);
    }
    // A whole stored block with a correct length and its complement.
    void Stored(bool final, const Bytes& data) {
        Block(final, 0);
        const unsigned n = static_cast<unsigned>(data.size());
        for (unsigned b : {n & 0xFF, n >> 8, ~n & 0xFF, (~n >> 8) & 0xFF}) Byte(static_cast<int>(b));
        for (std::uint8_t b : data) Byte(b);
    }
    void AlignToByte() {
        while (m_used != 0) Bit(0);
    }
    void Byte(int b) {
        AlignToByte();
        m_bytes.push_back(static_cast<std::uint8_t>(b));
    }
    // Fixed-code literal/length symbol and distance symbol.
    void FixedLit(unsigned sym) {
        if (sym < 144) Code(0x30 + sym, 8);
        else if (sym < 256) Code(0x190 + sym - 144, 9);
        else if (sym < 280) Code(sym - 256, 7);
        else Code(0xC0 + sym - 280, 8);
    }
    void FixedDist(unsigned sym) { Code(sym, 5); }
    const Bytes& Data() const { return m_bytes; }

private:
    void Bit(unsigned b) {
        if (m_used == 0) m_bytes.push_back(0);
        m_bytes.back() |= static_cast<std::uint8_t>(b << m_used);
        m_used = (m_used + 1) & 7;
    }
    Bytes m_bytes;
    unsigned m_used = 0;
};

// Canonical codes for a set of code lengths, as RFC 1951 assigns them.
inline std::vector<std::uint32_t> CanonicalCodes(const std::vector<unsigned>& lens) {
    unsigned count[16] = {}, next[16] = {};
    for (unsigned l : lens) count[l]++;
    count[0] = 0;
    unsigned code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<std::uint32_t> codes(lens.size());
    for (std::size_t s = 0; s < lens.size(); ++s)
        if (lens[s]) codes[s] = next[lens[s]]++;
    return codes;
}

}  // namespace pngtest
