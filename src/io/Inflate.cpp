#include "Inflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "io/Types.h"
#include "io/Uninitialised.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define OVE_BMI2_DISPATCH 1
#endif

namespace ove {

namespace {

// ---- Decode tables
//
// A table entry is one u32, laid out so that one look-up gives everything about a symbol:
//   bits 0-4   bits the symbol takes: its code plus the extra bits after it (for a link: the
//              primary table's bit count)
//   bits 5-7   zero: the low byte is subtracted from the bit count and used as a shift as it is
//   bits 8-11  the code's own length, where its extra bits start (for a link: the sub-table's bits)
//   bit 12     two literals: the second one's byte is in bits 24-31, bits 0-4 cover both codes
//   bit 13     literal byte
//   bit 14     link to a sub-table
//   bit 15     exceptional: value 0 = end of block, value 1 = invalid code
//   bits 16-31 value: literal byte, length or distance base, code-length symbol, sub-table offset
constexpr u32 kPair = 1u << 12;
constexpr u32 kLiteral = 1u << 13;
constexpr u32 kLink = 1u << 14;
constexpr u32 kExceptional = 1u << 15;
constexpr u32 kEndOfBlock = kExceptional;
constexpr u32 kInvalid = kExceptional | (1u << 16);

constexpr u32 kLitBits = 11;  // primary literal/length table
constexpr u32 kDistBits = 8;  // primary distance table
constexpr u32 kClBits = 7;    // code-length codes are at most 7 bits long: no sub-tables
constexpr u32 kMaxCodeLen = 15;

// Upper bounds of the table sizes: a sub-table holds at least one code, there are at most as many
// sub-tables as symbols, and a sub-table spans at most 15 - primary bits.
constexpr u32 kLitTableSize = (1u << kLitBits) + 288 * (1u << (kMaxCodeLen - kLitBits));
constexpr u32 kDistTableSize = (1u << kDistBits) + 32 * (1u << (kMaxCodeLen - kDistBits));
constexpr u32 kClTableSize = 1u << kClBits;

// Before a code length is known, the low bits of a length or distance hold its extra-bit count.
constexpr u32 Entry(u32 value, u32 extra, u32 flags = 0) { return (value << 16) | flags | extra; }

struct SymbolInfo {
    std::array<u32, 288> lit{};
    std::array<u32, 32> dist{};
};

SymbolInfo MakeSymbolInfo(bool deflate64) {
    static constexpr u16 kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr u8 kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static constexpr u16 kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                          49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                          2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
    static constexpr u8 kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                          7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
    SymbolInfo info;
    for (u32 s = 0; s < 256; ++s) info.lit[s] = Entry(s, 0, kLiteral);
    info.lit[256] = kEndOfBlock;
    for (u32 s = 257; s < 286; ++s) info.lit[s] = Entry(kLenBase[s - 257], kLenExtra[s - 257]);
    if (deflate64) info.lit[285] = Entry(3, 16);
    info.lit[286] = info.lit[287] = kInvalid;
    const u32 distCount = deflate64 ? 32 : 30;
    for (u32 s = 0; s < 32; ++s) info.dist[s] = s < distCount ? Entry(kDistBase[s], kDistExtra[s]) : kInvalid;
    return info;
}

const SymbolInfo& GetSymbolInfo(bool deflate64) {
    static const SymbolInfo plain = MakeSymbolInfo(false);
    static const SymbolInfo wide = MakeSymbolInfo(true);
    return deflate64 ? wide : plain;
}

// A symbol's entry for a code of `len` bits: the code length is added to the bits the symbol takes,
// and lengths and distances also note it as the start of their extra bits.
constexpr u32 WithCodeLength(u32 info, u32 len) {
    const bool extraBits = !(info & (kLiteral | kExceptional));
    return info + len + (extraBits ? len << 8 : 0);
}

constexpr std::array<u8, 256> kReversedBytes = [] {
    std::array<u8, 256> t{};
    for (u32 b = 0; b < 256; ++b)
        for (u32 i = 0; i < 8; ++i) t[b] |= static_cast<u8>(((b >> i) & 1) << (7 - i));
    return t;
}();

// The low `length` bits of `code` (at most 16) in reverse order: codes are packed from their first bit.
u32 ReverseBits(u32 code, u32 length) {
    const u32 r = (u32(kReversedBytes[code & 0xFF]) << 8) | kReversedBytes[(code >> 8) & 0xFF];
    return r >> (16 - length);
}

// Builds a decode table for the canonical code given by `lens`. Oversubscribed code sets are
// rejected; incomplete ones are accepted and their unused codes decode as invalid.
bool BuildTable(const u8* lens, u32 count, const u32* info, u32 tableBits, u32* table, u32 capacity,
                bool* pairLiterals = nullptr) {
    // Four counts side by side: neighbouring symbols often share a length, and with one array each
    // count would wait for the store before it.
    u16 counts[4][kMaxCodeLen + 1] = {};
    u32 s = 0;
    for (; s + 4 <= count; s += 4) {
        counts[0][lens[s]]++;
        counts[1][lens[s + 1]]++;
        counts[2][lens[s + 2]]++;
        counts[3][lens[s + 3]]++;
    }
    for (; s < count; ++s) counts[0][lens[s]]++;
    u16 lenCount[kMaxCodeLen + 1];
    for (u32 len = 0; len <= kMaxCodeLen; ++len)
        lenCount[len] = static_cast<u16>(counts[0][len] + counts[1][len] + counts[2][len] + counts[3][len]);
    lenCount[0] = 0;
    int left = 1;
    for (u32 len = 1; len <= kMaxCodeLen; ++len) {
        left = (left << 1) - lenCount[len];
        if (left < 0) return false;
    }
    u16 offset[kMaxCodeLen + 2] = {};
    for (u32 len = 1; len <= kMaxCodeLen; ++len) offset[len + 1] = static_cast<u16>(offset[len] + lenCount[len]);
    u16 sorted[288];
    const u32 codes = offset[kMaxCodeLen + 1];
    for (u32 sym = 0; sym < count; ++sym)
        if (lens[sym]) sorted[offset[lens[sym]]++] = static_cast<u16>(sym);

    // Codes no longer than the primary table are written once each, at their reversed code, into
    // a table only as wide as their length; before the next length it doubles (a copy of itself),
    // since the bits after a shorter code do not matter. An incomplete code leaves holes, which
    // start out invalid.
    const u32 primarySize = 1u << tableBits;
    u32 minLen = 1;
    while (minLen <= kMaxCodeLen && lenCount[minLen] == 0) ++minLen;
    u32 size = 1u << std::min(minLen, tableBits);
    if (left > 0) std::fill(table, table + size, kInvalid);
    auto widen = [&](u32 to) {
        for (; size < to; size <<= 1) std::copy_n(table, size, table + size);
    };
    u32 code = 0, k = 0;
    for (u32 len = minLen; len <= tableBits; ++len, code <<= 1) {
        if (lenCount[len] == 0) continue;
        widen(1u << len);
        for (u32 n = lenCount[len]; n > 0; --n, ++k, ++code)
            table[ReverseBits(code, len)] = WithCodeLength(info[sorted[k]], len);
    }
    widen(primarySize);

    // Longer codes go to sub-tables behind links in the primary table. Those with the same first
    // bits follow each other in canonical order, the longest last: it sizes their sub-table.
    std::array<u8, 1u << kLitBits> subLen;
    if (k < codes) {
        u32 c = code, prevLen = tableBits + 1;
        for (u32 j = k; j < codes; ++j, ++c) {
            const u32 len = lens[sorted[j]];
            c <<= (len - prevLen);
            prevLen = len;
            subLen[ReverseBits(c, len) & (primarySize - 1)] = static_cast<u8>(len);
        }
    }
    u32 next = primarySize;  // where the next sub-table goes
    u32 lastPrefix = ~0u, subBase = 0;
    for (u32 prevLen = tableBits + 1; k < codes; ++k, ++code) {
        const u32 sym = sorted[k];
        const u32 len = lens[sym];
        code <<= (len - prevLen);
        prevLen = len;
        const u32 rev = ReverseBits(code, len);
        // The first code under a prefix opens its sub-table (the primary entry may still hold a
        // previous block's link).
        const u32 prefix = rev & (primarySize - 1);
        const u32 subBits = subLen[prefix] - tableBits;
        if (prefix != lastPrefix) {
            if (next + (1u << subBits) > capacity) return false;
            std::fill(table + next, table + next + (1u << subBits), kInvalid);
            table[prefix] = Entry(next, 0, kLink) | (subBits << 8) | tableBits;
            subBase = next;
            lastPrefix = prefix;
            next += 1u << subBits;
        }
        const u32 subEntry = WithCodeLength(info[sym], len - tableBits);
        for (u32 i = rev >> tableBits; i < (1u << subBits); i += 1u << (len - tableBits)) table[subBase + i] = subEntry;
    }
    // Where a short literal's code leaves room in the index for the whole code of the next literal,
    // one look-up yields both. Worth the pass only when some literal codes are that short.
    u32 shortestLiteral = kMaxCodeLen;
    if (pairLiterals) {
        u32 lengthsUsed = 0;  // bit n: some literal has an n-bit code
        for (u32 sym = 0; sym < std::min<u32>(count, 256); ++sym) lengthsUsed |= 1u << lens[sym];
        lengthsUsed &= ~1u;
        if (lengthsUsed) shortestLiteral = static_cast<u32>(std::countr_zero(lengthsUsed));
    }
    if (pairLiterals) *pairLiterals = 2 * shortestLiteral + 2 < tableBits;
    if (pairLiterals && *pairLiterals) {
        // The bits after the first code index the entry at i >> len; it holds for every index with
        // those low bits when its own code is no longer than the bits left. Going downwards, that
        // entry is still a single one. Without branches: which entries pair up follows the data.
        for (u32 i = primarySize; i-- > 0;) {
            const u32 e = table[i];
            const u32 len = e & 31;
            const u32 second = table[i >> len];
            const u32 both = len + (second & 31);
            const bool pair = (e & second & kLiteral) && both <= tableBits;
            const u32 paired = (e & 0x00FF0000u) | ((second & 0x00FF0000u) << 8) | kLiteral | kPair | both;
            table[i] = pair ? paired : e;
        }
    }
    return true;
}

struct FixedTables {
    std::array<u32, kLitTableSize> lit;
    std::array<u32, kDistTableSize> dist;
};

FixedTables MakeFixedTables(bool deflate64) {
    FixedTables t{};
    u8 lens[288];
    std::fill(lens, lens + 144, 8);
    std::fill(lens + 144, lens + 256, 9);
    std::fill(lens + 256, lens + 280, 7);
    std::fill(lens + 280, lens + 288, 8);
    const SymbolInfo& info = GetSymbolInfo(deflate64);
    BuildTable(lens, 288, info.lit.data(), kLitBits, t.lit.data(), kLitTableSize);
    std::fill(lens, lens + 32, 5);
    BuildTable(lens, 32, info.dist.data(), kDistBits, t.dist.data(), kDistTableSize);
    return t;
}

const FixedTables& GetFixedTables(bool deflate64) {
    static const FixedTables plain = MakeFixedTables(false);
    static const FixedTables wide = MakeFixedTables(true);
    return deflate64 ? wide : plain;
}

// ---- Output
//
// Decoded bytes go into one linear buffer. Back-references read straight from it, so it always
// holds at least the last 64 KiB produced in front of the write pointer, and room for the longest
// match (plus some over-copy) behind the limit.
//
// The buffer is fixed: its new bytes are handed to a sink whenever it fills, after which the last
// window slides down to its start. It is not zero-filled: nothing before the first byte produced is
// ever read.
constexpr std::size_t kWindow = 65536;
constexpr std::size_t kMargin = 65536 + 128;     // longest deflate64 match (65,538) plus over-copy; any stored block
constexpr std::size_t kChunk = 4 * kWindow;      // bytes produced between two hand-overs to a sink
constexpr std::size_t kMaxOutput = 0xFFFFFFFFu;  // data bins are 32-bit

using inflate_detail::CInflateSink;

// Where the decoder writes: up to its limit and, for the last symbol, some way past it (Margin).
class COutput {
public:
    u8* Start() const { return m_start; }
    u8* Limit() const { return m_limit; }
    std::size_t Margin() const { return m_margin; }
    // True once the output reached its cap: the decoder stopped there on purpose.
    bool Capped() const { return m_capped; }
    bool Refused() const { return m_refused; }

    // Called when the write pointer has passed the limit; returns the (possibly moved) write pointer,
    // or null to stop (see Capped and Refused).
    virtual u8* MakeRoom(u8* out) = 0;
    // Successful end: everything up to `out` (and the cap) is the output.
    virtual bool Finish(u8* out) = 0;
    // Failed end.
    virtual void Abandon(u8* out) = 0;
    // A symbol needed more room than there is past the limit: only an output of fixed size, whose
    // limit MakeRoom leaves in place, gets here. Decoding ends (see Capped and Refused).
    virtual void Overflow(u8* out) {
        (void)out;
        m_refused = true;
    }

protected:
    explicit COutput(std::size_t margin) : m_margin(margin) {}
    ~COutput() = default;

    u8* m_start = nullptr;  // first byte of this stream's output: references may not go before it
    u8* m_limit = nullptr;
    std::size_t m_margin;
    bool m_capped = false;
    bool m_refused = false;
};

class CSinkOutput final : public COutput {
public:
    // Handing the bytes to a sink in multiples of `granule` (at most kWindow), at most `cap` of them.
    CSinkOutput(CInflateSink& sink, std::uint64_t cap, std::size_t granule, bool deflate64)
        : COutput(kMargin),
          m_history(deflate64 ? kWindow : kWindow / 2),
          m_sink(&sink),
          m_cap(cap),
          m_granule(std::clamp<std::size_t>(granule, 1, kWindow)),
          m_buffer(MakeUninitialised<u8>(2 * kWindow + kChunk + kMargin)) {
        m_base = m_start = m_pending = m_buffer.get();
        SetSinkLimit(m_base);
    }

    u8* MakeRoom(u8* out) override {
        if (Produced(out) >= m_cap) {
            m_capped = true;
            if (!Deliver(static_cast<std::size_t>(m_cap - m_delivered))) m_refused = true;
            return nullptr;
        }
        const std::size_t ready = out - m_pending;
        if (!Deliver(ready - ready % m_granule)) {
            m_refused = true;
            return nullptr;
        }
        // Keep the last window and whatever has not been handed over yet.
        const std::size_t keep = std::max<std::size_t>(out - m_pending,
                                                       std::min<std::size_t>(m_history, out - m_start));
        u8* from = out - keep;
        std::memmove(m_base, from, keep);
        m_pending = m_base + (m_pending - from);
        m_start = m_base;  // everything kept is real output
        out = m_base + keep;
        SetSinkLimit(out);
        return out;
    }

    // Successful end: everything pending goes out.
    bool Finish(u8* out) override {
        const std::uint64_t wanted = std::min<std::uint64_t>(out - m_pending, m_cap - m_delivered);
        return Deliver(static_cast<std::size_t>(wanted));
    }

    // Failed end: the sink receives only whole granules.
    void Abandon(u8* out) override {
        if (m_refused) return;
        const std::uint64_t ready = std::min<std::uint64_t>(out - m_pending, m_cap - m_delivered);
        Deliver(static_cast<std::size_t>(ready - ready % m_granule));
    }

private:
    std::uint64_t Produced(const u8* out) const { return m_delivered + (out - m_pending); }
    bool Deliver(std::size_t count) {
        if (count == 0) return true;
        m_delivered += count;
        const u8* from = m_pending;
        m_pending += count;
        return m_sink->Take(from, count);
    }
    void SetSinkLimit(u8* out) {
        const std::uint64_t left = m_cap - Produced(out);  // cap not reached: positive
        m_limit = out + static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, left));
    }

    std::size_t m_history;  // the farthest a reference reaches back
    CInflateSink* m_sink = nullptr;
    std::uint64_t m_cap = kMaxOutput;
    std::size_t m_granule = 1;
    std::uint64_t m_delivered = 0;
    std::unique_ptr<u8[]> m_buffer;  // not zeroed: nothing before the first byte produced is ever read
    u8* m_base = nullptr;
    u8* m_pending = nullptr;  // first byte not yet handed to the sink
};

// Plain deflate writes at most this far past the limit: a few literals and a 258-byte match with
// its over-copy.
constexpr std::size_t kPlainMargin = 320;

// Decodes into memory a sink lends for the whole output, and never writes past its end: the fast
// loop stops a margin short of it and the rest is decoded a symbol at a time, exactly. The sink
// gets everything in one hand-over at the end.
class CLentOutput final : public COutput {
public:
    CLentOutput(CInflateSink& sink, u8* room, std::size_t size, std::uint64_t cap, std::size_t granule,
                bool deflate64)
        : COutput(0), m_sink(&sink), m_cap(cap), m_granule(std::clamp<std::size_t>(granule, 1, kWindow)) {
        const std::size_t margin = deflate64 ? kMargin : kPlainMargin;
        m_start = room;
        u8* const end = room + size;
        m_limit = size > margin ? end - margin : room;
        if (cap < static_cast<std::uint64_t>(m_limit - room)) m_limit = room + static_cast<std::size_t>(cap);
        m_margin = end - m_limit;  // the limit plus the margin is the end of the memory
    }

    // The limit never moves: past it, symbols are written exactly.
    u8* MakeRoom(u8* out) override {
        if (Produced(out) >= m_cap) {
            m_capped = true;
            return nullptr;
        }
        return out;
    }
    void Overflow(u8* out) override {
        if (Produced(out) >= m_cap) m_capped = true;
        else m_refused = true;
    }
    bool Finish(u8* out) override { return Deliver(std::min(Produced(out), m_cap)); }
    void Abandon(u8* out) override {
        if (m_refused) return;
        const std::uint64_t ready = std::min(Produced(out), m_cap);
        Deliver(ready - ready % m_granule);
    }

private:
    std::uint64_t Produced(const u8* out) const { return static_cast<std::uint64_t>(out - m_start); }
    bool Deliver(std::uint64_t count) { return count == 0 || m_sink->Take(m_start, static_cast<std::size_t>(count)); }

    CInflateSink* m_sink;
    std::uint64_t m_cap;
    std::size_t m_granule;
};

// Decodes straight into a vector, lengthened (without zero-fill) to the room reserved beforehand
// plus the margin, and cut to the output's size at the end; back-references read from it directly.
// Past the reserved room it grows geometrically.
constexpr std::size_t kLeastGrowth = 128 << 10;

class CVectorOutput final : public COutput {
public:
    CVectorOutput(ByteVector& v, std::uint64_t cap, bool deflate64)
        : COutput(deflate64 ? kMargin : kPlainMargin), m_v(v), m_origin(v.size()), m_cap(cap) {
        Grow(0);
    }

    u8* MakeRoom(u8* out) override {
        const std::size_t produced = out - m_start;
        if (produced >= m_cap) {
            m_capped = true;
            return nullptr;
        }
        Grow(produced);
        return m_start + produced;
    }
    bool Finish(u8* out) override {
        m_v.resize(m_origin + static_cast<std::size_t>(std::min<std::uint64_t>(out - m_start, m_cap)));
        return true;
    }
    void Abandon(u8*) override { m_v.resize(m_origin); }

private:
    // The limit sits one byte past the room, so that an output filling the reserved room exactly
    // ends without lengthening the vector first.
    void Grow(std::size_t produced) {
        const std::size_t spare = m_origin + 1 + m_margin;
        const std::size_t reserved = m_v.capacity() > spare ? m_v.capacity() - spare : 0;
        const std::size_t room = produced < reserved ? reserved : std::max(produced + kLeastGrowth, 2 * produced);
        m_v.resize(m_origin + room + 1 + m_margin);
        m_start = m_v.data() + m_origin;
        m_limit = m_start + static_cast<std::size_t>(std::min<std::uint64_t>(room + 1, m_cap));
    }

    ByteVector& m_v;
    std::size_t m_origin;
    std::uint64_t m_cap;
};

#define OVE_INLINE [[gnu::always_inline]] inline

OVE_INLINE u64 Load64(const u8* p) {
    u64 v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

OVE_INLINE void Copy8(u8* to, const u8* from) { std::memcpy(to, from, 8); }
OVE_INLINE void Copy16(u8* to, const u8* from) { std::memcpy(to, from, 16); }

// The extra bits of a length or distance entry, from the buffer as it was before the entry's bits
// were taken.
template <bool kBmi2 = false>
OVE_INLINE u32 ExtraBits(u64 saved, u32 e) {
#ifdef OVE_BMI2_DISPATCH
    if constexpr (kBmi2) {
        // bzhi keeps the bits below the index in the count's low byte: the entry's bit count.
        u64 low;
        asm("bzhi %2, %1, %0" : "=r"(low) : "r"(saved), "r"(u64{e}));
        return static_cast<u32>(low) >> ((e >> 8) & 31);
    }
#endif
    return (static_cast<u32>(saved) & ((1u << (e & 31)) - 1)) >> ((e >> 8) & 31);
}

// One literal entry: both bytes are stored whatever it holds, the pointer moves by the number of
// literals in it; the room behind the limit takes the spare byte.
template <bool kPairs = true>
OVE_INLINE void StoreLiterals(u8*& out, u32 e) {
    if constexpr (!kPairs) {
        *out++ = static_cast<u8>(e >> 16);
        return;
    }
    const u16 bytes = static_cast<u16>(e >> 16);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &bytes, 2);
    } else {
        out[0] = static_cast<u8>(bytes);
        out[1] = static_cast<u8>(bytes >> 8);
    }
    out += 1 + ((e >> 12) & 1);
}

// Writes `length` bytes copied from `distance` bytes back (at least 1, within the output) and
// returns the end of the match. Whole words are written, up to 32 bytes beyond the end of the match
// (the room behind the limit): a match of up to 24 bytes takes no loop.
OVE_INLINE u8* CopyMatch(u8* out, u32 distance, u32 length) {
    const u8* src = out - distance;
    u8* const stop = out + length;
    if (distance >= 8) [[likely]] {
        // Most matches are short: three words, then a loop only for longer ones.
        Copy8(out, src);
        Copy8(out + 8, src + 8);
        Copy8(out + 16, src + 16);
        out += 24;
        src += 24;
        if (out < stop) [[unlikely]] {
            // Far enough back, 16 bytes at a time.
            if (distance >= 16)
                for (; out < stop; out += 16, src += 16) Copy16(out, src);
            else
                for (; out < stop; out += 8, src += 8) Copy8(out, src);
        }
    } else if (distance == 1) {
        const u64 run = src[0] * 0x0101010101010101ull;
        do {
            std::memcpy(out, &run, 8);
            std::memcpy(out + 8, &run, 8);
            std::memcpy(out + 16, &run, 8);
            std::memcpy(out + 24, &run, 8);
            out += 32;
        } while (out < stop);
    } else {
        // A short period: each word copied from `distance` back makes `distance` more bytes right,
        // until a multiple of the period at least a word long is written; from then on whole words
        // come from that far back, which is already final.
        u32 period = 0;
        do {
            Copy8(out + period, src + period);
            period += distance;
        } while (period < 8);
        for (u8* to = out + period; to < stop; to += 8) Copy8(to, to - period);
    }
    return stop;
}

// ---- The decoder

class CInflater {
public:
    // Pulling the stream from a source through a staging buffer that keeps 8 zero bytes after its end.
    CInflater(inflate_detail::CInflateSource& source, bool deflate64)
        : m_deflate64(deflate64), m_source(&source), m_stage(MakeUninitialised<u8>(kStage + 8)) {
        m_data = m_in = m_end = m_stage.get();
        std::memset(m_stage.get(), 0, 8);
        m_fastEnd = m_end;
        m_exhausted = false;
        Pull();
    }
    CInflater(const u8* data, std::size_t size, bool deflate64) : m_deflate64(deflate64) {
        if (size < 8) {
            // Tiny inputs are decoded from a zero-padded copy so that whole-word loads stay inside it.
            if (size) std::memcpy(m_tiny, data, size);
            data = m_tiny;
            m_fastEnd = data + size;
        } else {
            m_fastEnd = data + size - 8;
        }
        m_data = m_in = data;
        m_end = data + size;
    }

    bool Run(COutput& output);
    u64 ConsumedBytes() const { return (ConsumedBits() + 7) / 8; }

private:
    static constexpr std::size_t kStage = 1u << 16;

    u64 ConsumedBits() const { return (m_dataOffset + static_cast<u64>(m_in - m_data)) * 8 - m_bitsLeft; }
    // Moves what is left of the staging buffer (and the 8 bytes before it, which a stored block
    // may step back into) to its start and fills the rest from the source. False when the source
    // had nothing more.
    bool Pull();

    // Tops the bit buffer up to at least 56 bits. False once the stream has read past its end
    // by more than the buffer can explain (a corrupt or truncated stream).
    bool Refill() {
        if (m_in <= m_fastEnd) [[likely]] {
            m_bitBuf |= Load64(m_in) << m_bitsLeft;
            m_in += (63 - m_bitsLeft) >> 3;
            m_bitsLeft |= 56;
            return true;
        }
        return RefillTail();
    }
    bool RefillTail();
    bool Bits(u32 n, u32& value) {
        if (m_bitsLeft < n && !Refill()) return false;
        value = static_cast<u32>(m_bitBuf & ((u64{1} << n) - 1));
        m_bitBuf >>= n;
        m_bitsLeft -= n;
        return true;
    }
    bool ReadDynamicTables();
    bool Stored(COutput& output, u8*& out);
    bool Codes(COutput& output, u8*& out, const u32* lit, const u32* dist, bool pairs);

    enum class EStep { More, EndOfBlock, Bad, Overflow };
    // Decodes symbols while at least kFastInput bytes are left before m_fastEnd and the output is
    // short of its limit: then no refill and no write inside needs a check. More when either ran
    // short. The same loop is built twice, once for processors with BMI2 (cheaper variable shifts
    // and masks), chosen at run time.
    EStep FastCodes(u8*& out, u8* limit, const u8* start, const u32* lit, const u32* dist, bool pairs);
    template <bool kDeflate64, bool kBmi2, bool kPairs>
    [[gnu::always_inline]] inline EStep FastLoop(u8*& out, u8* limit, const u8* start, const u32* lit, const u32* dist);
    template <bool kDeflate64, bool kPairs>
    EStep FastLoopPlain(u8*& out, u8* limit, const u8* start, const u32* lit, const u32* dist);
#ifdef OVE_BMI2_DISPATCH
    template <bool kDeflate64, bool kPairs>
    [[gnu::target("bmi2")]] EStep FastLoopBmi2(u8*& out, u8* limit, const u8* start, const u32* lit, const u32* dist);
#endif
    // One symbol with every read checked, for the end of the input. Exact: for the end of an output
    // of fixed size, every byte written one at a time and none at or past `end` (Overflow instead).
    template <bool kExact>
    EStep CarefulSymbol(u8*& out, const u8* start, const u8* end, const u32* lit, const u32* dist);
    void Take(u32 e) {
        m_bitBuf >>= e & 63;
        m_bitsLeft -= e & 31;
    }

    const u8* m_data = nullptr;
    const u8* m_in = nullptr;
    const u8* m_end = nullptr;
    const u8* m_fastEnd = nullptr;
    u64 m_bitBuf = 0;
    u32 m_bitsLeft = 0;
    bool m_deflate64;
    bool m_pairs = false;  // the dynamic literal table holds pairs
    u8 m_tiny[16] = {};
    inflate_detail::CInflateSource* m_source = nullptr;
    std::unique_ptr<u8[]> m_stage;
    u64 m_dataOffset = 0;     // stream bytes before m_data
    bool m_exhausted = true;  // no more input to pull
    // Both tables of a dynamic block, allocated at the first one and not cleared: building a table
    // writes every entry a look-up can reach.
    std::unique_ptr<u32[]> m_tables;
    u32* LitTable() const { return m_tables.get(); }
    u32* DistTable() const { return m_tables.get() + kLitTableSize; }
};

bool CInflater::Pull() {
    if (m_exhausted) return false;
    u8* stage = m_stage.get();
    const u8* from = m_in - std::min<std::size_t>(8, m_in - m_data);
    const std::size_t keep = m_end - from;
    std::memmove(stage, from, keep);
    m_dataOffset += static_cast<u64>(from - m_data);
    m_in = stage + (m_in - from);
    m_data = stage;
    u8* end = stage + keep;
    bool more = false;
    while (end < stage + kStage) {
        const std::size_t got = m_source->Pull(end, stage + kStage - end);
        if (got == 0) {
            m_exhausted = true;
            break;
        }
        more = true;
        end += std::min(got, static_cast<std::size_t>(stage + kStage - end));
    }
    m_end = end;
    if (m_exhausted) {
        std::memset(end, 0, 8);  // whole-word loads past the end read zeros
        m_fastEnd = end;
    } else {
        m_fastEnd = end - 8;
    }
    return more;
}

bool CInflater::RefillTail() {
    if (!m_exhausted) {
        Pull();
        if (m_in <= m_fastEnd) {
            m_bitBuf |= Load64(m_in) << m_bitsLeft;
            m_in += (63 - m_bitsLeft) >> 3;
            m_bitsLeft |= 56;
            return true;
        }
    }
    if (m_in > m_end + 8) return false;
    u64 v = 0;
    for (u32 i = 0; i < 8 && m_in + i < m_end; ++i) v |= u64{m_in[i]} << (8 * i);
    m_bitBuf |= v << m_bitsLeft;
    m_in += (63 - m_bitsLeft) >> 3;
    m_bitsLeft |= 56;
    return true;
}

bool CInflater::ReadDynamicTables() {
    static constexpr u8 kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    u32 hlit, hdist, hclen;
    if (!Bits(5, hlit) || !Bits(5, hdist) || !Bits(4, hclen)) return false;
    hlit += 257;
    hdist += 1;
    hclen += 4;
    u8 clLens[19] = {};
    for (u32 i = 0; i < hclen; ++i) {
        u32 v;
        if (!Bits(3, v)) return false;
        clLens[kOrder[i]] = static_cast<u8>(v);
    }
    static const std::array<u32, 19> clInfo = [] {
        std::array<u32, 19> a{};
        for (u32 s = 0; s < 19; ++s) a[s] = Entry(s, 0);
        return a;
    }();
    u32 clTable[kClTableSize];
    if (!BuildTable(clLens, 19, clInfo.data(), kClBits, clTable, kClTableSize)) return false;

    u8 lens[288 + 32] = {};
    const u32 total = hlit + hdist;
    for (u32 n = 0; n < total;) {
        if (!Refill()) return false;
        const u32 e = clTable[m_bitBuf & (kClTableSize - 1)];
        if (e & kExceptional) return false;
        const u32 len = e & 31;
        m_bitBuf >>= len;
        m_bitsLeft -= len;
        const u32 sym = e >> 16;
        if (sym < 16) {
            lens[n++] = static_cast<u8>(sym);
            continue;
        }
        u32 repeat, value = 0;
        if (sym == 16) {
            if (n == 0) return false;
            value = lens[n - 1];
            if (!Bits(2, repeat)) return false;
            repeat += 3;
        } else if (sym == 17) {
            if (!Bits(3, repeat)) return false;
            repeat += 3;
        } else {
            if (!Bits(7, repeat)) return false;
            repeat += 11;
        }
        if (n + repeat > total) return false;
        std::fill(lens + n, lens + n + repeat, static_cast<u8>(value));
        n += repeat;
    }
    const SymbolInfo& info = GetSymbolInfo(m_deflate64);
    if (!m_tables) m_tables = MakeUninitialised<u32>(kLitTableSize + kDistTableSize);
    return BuildTable(lens, hlit, info.lit.data(), kLitBits, LitTable(), kLitTableSize, &m_pairs) &&
           BuildTable(lens + hlit, hdist, info.dist.data(), kDistBits, DistTable(), kDistTableSize);
}

bool CInflater::Stored(COutput& output, u8*& out) {
    // Drop to the byte boundary; the bytes still in the bit buffer are given back.
    const u32 drop = m_bitsLeft & 7;
    m_bitBuf >>= drop;
    m_bitsLeft -= drop;
    m_in -= m_bitsLeft / 8;
    m_bitBuf = 0;
    m_bitsLeft = 0;
    while (m_end - m_in < 4)
        if (!Pull()) return false;
    u32 len = m_in[0] | (m_in[1] << 8);  // NLEN (m_in[2], m_in[3]) is not checked
    m_in += 4;
    // In pieces no longer than the room behind the limit (which in a sink's buffer holds any
    // stored block). Even an empty block stops at a cap reached before it.
    for (;;) {
        if (out >= output.Limit()) {
            u8* moved = output.MakeRoom(out);
            if (!moved) return false;
            out = moved;
        }
        if (!len) return true;
        if (m_in >= m_end && !Pull()) return false;
        const std::size_t room = output.Limit() + output.Margin() - out;
        if (room == 0) {
            output.Overflow(out);
            return false;
        }
        const u32 n = static_cast<u32>(std::min<std::size_t>({len, static_cast<std::size_t>(m_end - m_in), room}));
        std::memcpy(out, m_in, n);
        out += n;
        m_in += n;
        len -= n;
    }
}

constexpr u32 kLitMask = (1u << kLitBits) - 1;
constexpr u32 kDistMask = (1u << kDistBits) - 1;
// Three unchecked refills of at most 7 bytes each, each loading a word: room before m_fastEnd for
// one round of the fast loop.
constexpr std::ptrdiff_t kFastInput = 16;

template <bool kDeflate64, bool kBmi2, bool kPairs>
inline CInflater::EStep CInflater::FastLoop(u8*& outRef, u8* const limit, const u8* const start, const u32* const lit,
                                            const u32* const dist) {
    // Everything the loop touches lives in locals: byte stores through `out` could alias members.
    u8* out = outRef;
    const u8* in = m_in;
    const u8* const fastEnd = m_fastEnd;
    u64 bitBuf = m_bitBuf;
    // Only the low byte counts: whole entries are subtracted from it, their upper bits leave noise
    // above it. A refill makes it 56-63 whatever it was.
    u32 bitsLeft = m_bitsLeft;
    EStep result = EStep::More;
#define OVE_REFILL()                             \
    do {                                         \
        bitBuf |= Load64(in) << (bitsLeft & 63); \
        in += 7 - ((bitsLeft >> 3) & 7);         \
        bitsLeft |= 56;                          \
    } while (0)
#define OVE_TAKE(entry)        \
    do {                       \
        bitBuf >>= (entry)&63; \
        bitsLeft -= (entry);   \
    } while (0)

    if (fastEnd - in < kFastInput || out >= limit) return result;
    const u8* const inLimit = fastEnd - kFastInput;  // inside the input: checked just above
    OVE_REFILL();
    // The entry for the next code is always looked up ahead, while at least kLitBits bits are in
    // the buffer; a refill only adds bits above them, so it stays right.
    u32 e = lit[bitBuf & kLitMask];
    for (;;) {
        // The entry's bits leave the buffer before its kind is known, so that a wrongly predicted
        // kind does not delay the next look-up.
        u64 saved = bitBuf;
        OVE_TAKE(e);
        if (e & kLiteral) {
            // A refill leaves at least 56 bits and a primary-table literal entry takes at most 11:
            // four of them, and still a look-up ahead. The room behind the limit takes the bytes.
            StoreLiterals<kPairs>(out, e);
            e = lit[bitBuf & kLitMask];
            if (!(e & kLiteral)) goto afterLiterals;
            OVE_TAKE(e);
            StoreLiterals<kPairs>(out, e);
            e = lit[bitBuf & kLitMask];
            if (!(e & kLiteral)) goto afterLiterals;
            OVE_TAKE(e);
            StoreLiterals<kPairs>(out, e);
            e = lit[bitBuf & kLitMask];
            if (!(e & kLiteral)) goto afterLiterals;
            OVE_TAKE(e);
            StoreLiterals<kPairs>(out, e);
            e = lit[bitBuf & kLitMask];
            goto next;
        afterLiterals:
            // Straight on to the symbol after the literals, without the loop's checks: their
            // margins hold for one more symbol and one more refill.
            OVE_REFILL();
            saved = bitBuf;
            OVE_TAKE(e);
        }
        if (e & (kLink | kExceptional)) [[unlikely]] {
            if (e & kExceptional) {
                result = (e >> 16) == 0 ? EStep::EndOfBlock : EStep::Bad;  // else an unused code
                break;
            }
            e = lit[(e >> 16) + (bitBuf & ((1u << ((e >> 8) & 15)) - 1))];
            saved = bitBuf;
            OVE_TAKE(e);
            if (e & kExceptional) {
                result = (e >> 16) == 0 ? EStep::EndOfBlock : EStep::Bad;
                break;
            }
            if (e & kLiteral) {
                StoreLiterals<kPairs>(out, e);
                e = lit[bitBuf & kLitMask];
                goto next;
            }
        }
        {
            // Bits, of the 56 a refill leaves: a length takes at most 11 + 5 from its primary entry
            // (15 + 5 through a sub-table), a distance 8 + 13 (15 + 13), the next look-up needs 11.
            // Plain deflate needs no refill in between unless the distance has a sub-table;
            // deflate64's 16 extra length bits need one.
            const u32 length = (e >> 16) + ExtraBits<kBmi2>(saved, e);
            e = dist[bitBuf & kDistMask];
            if constexpr (kDeflate64) OVE_REFILL();
            saved = bitBuf;
            OVE_TAKE(e);
            if (e & (kLink | kExceptional)) [[unlikely]] {
                if (e & kExceptional) {
                    result = EStep::Bad;
                    break;
                }
                e = dist[(e >> 16) + (bitBuf & ((1u << ((e >> 8) & 15)) - 1))];
                saved = bitBuf;
                OVE_TAKE(e);
                if (e & kExceptional) {
                    result = EStep::Bad;
                    break;
                }
                if constexpr (!kDeflate64) OVE_REFILL();
            }
            const u32 distance = (e >> 16) + ExtraBits<kBmi2>(saved, e);
            e = lit[bitBuf & kLitMask];
            if (distance > static_cast<std::size_t>(out - start)) [[unlikely]] {
                result = EStep::Bad;  // reaches before the start of the output
                break;
            }
            // Refilled before the copy, so that the next symbol need not wait for it.
            OVE_REFILL();
            out = CopyMatch(out, distance, length);
            goto check;
        }
    next:
        OVE_REFILL();
    check:
        // At most three refills since the last check: the afterLiterals one, one inside a match,
        // the last one.
        if (in > inLimit || out >= limit) [[unlikely]]
            break;
    }
#undef OVE_REFILL
#undef OVE_TAKE
    m_in = in;
    m_bitBuf = bitBuf;
    m_bitsLeft = bitsLeft & 0xFF;
    outRef = out;
    return result;
}

#ifdef OVE_BMI2_DISPATCH
template <bool kDeflate64, bool kPairs>
CInflater::EStep CInflater::FastLoopBmi2(u8*& out, u8* limit, const u8* start, const u32* lit, const u32* dist) {
    return FastLoop<kDeflate64, true, kPairs>(out, limit, start, lit, dist);
}
#endif

template <bool kDeflate64, bool kPairs>
CInflater::EStep CInflater::FastLoopPlain(u8*& out, u8* limit, const u8* start, const u32* lit, const u32* dist) {
    return FastLoop<kDeflate64, false, kPairs>(out, limit, start, lit, dist);
}

CInflater::EStep CInflater::FastCodes(u8*& out, u8* limit, const u8* start, const u32* lit, const u32* dist, bool pairs) {
#ifdef OVE_BMI2_DISPATCH
    static const bool bmi2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("bmi2") != 0;
    }();
    if (bmi2) {
        if (m_deflate64) return FastLoopBmi2<true, true>(out, limit, start, lit, dist);
        return pairs ? FastLoopBmi2<false, true>(out, limit, start, lit, dist)
                     : FastLoopBmi2<false, false>(out, limit, start, lit, dist);
    }
#endif
    if (m_deflate64) return FastLoopPlain<true, true>(out, limit, start, lit, dist);
    return pairs ? FastLoopPlain<false, true>(out, limit, start, lit, dist)
                 : FastLoopPlain<false, false>(out, limit, start, lit, dist);
}

template <bool kExact>
CInflater::EStep CInflater::CarefulSymbol(u8*& out, const u8* start, const u8* end, const u32* lit,
                                          const u32* dist) {
    if (!Refill()) return EStep::Bad;
    u32 e = lit[m_bitBuf & kLitMask];
    if (e & kLink) {
        Take(e);
        e = lit[(e >> 16) + (m_bitBuf & ((1u << ((e >> 8) & 15)) - 1))];
    }
    if (e & kLiteral) {
        Take(e);
        if constexpr (kExact) {
            for (u32 i = 0, n = 1 + ((e >> 12) & 1); i < n; ++i) {
                if (out == end) return EStep::Overflow;
                *out++ = static_cast<u8>(e >> (16 + 8 * i));
            }
        } else {
            StoreLiterals(out, e);
        }
        return EStep::More;
    }
    if (e & kExceptional) {
        Take(e);
        return (e >> 16) == 0 ? EStep::EndOfBlock : EStep::Bad;
    }
    u64 saved = m_bitBuf;
    Take(e);
    const u32 length = (e >> 16) + ExtraBits(saved, e);
    if (!Refill()) return EStep::Bad;
    e = dist[m_bitBuf & kDistMask];
    if (e & kLink) {
        Take(e);
        e = dist[(e >> 16) + (m_bitBuf & ((1u << ((e >> 8) & 15)) - 1))];
    }
    if (e & kExceptional) return EStep::Bad;
    saved = m_bitBuf;
    Take(e);
    const u32 distance = (e >> 16) + ExtraBits(saved, e);
    if (distance > static_cast<std::size_t>(out - start)) return EStep::Bad;
    if constexpr (kExact) {
        for (u32 i = 0; i < length; ++i, ++out) {
            if (out == end) return EStep::Overflow;
            *out = out[-static_cast<std::ptrdiff_t>(distance)];
        }
    } else {
        out = CopyMatch(out, distance, length);
    }
    return EStep::More;
}

bool CInflater::Codes(COutput& output, u8*& outRef, const u32* lit, const u32* dist, bool pairs) {
    u8* out = outRef;
    EStep step = EStep::More;
    while (step == EStep::More) {
        if (out >= output.Limit()) {
            u8* moved = output.MakeRoom(out);
            if (!moved) {
                step = EStep::Bad;  // capped or refused: Run tells which
                break;
            }
            out = moved;
            if (out >= output.Limit()) {
                // An output of fixed size, in its last bytes.
                const u8* end = output.Limit() + output.Margin();
                step = CarefulSymbol<true>(out, output.Start(), end, lit, dist);
                continue;
            }
        }
        // Near the end of the staged input, more is pulled before the fast loop would have to stop.
        if (m_fastEnd - m_in < kFastInput && !m_exhausted) Pull();
        step = FastCodes(out, output.Limit(), output.Start(), lit, dist, pairs);
        if (step == EStep::More && out < output.Limit())
            step = CarefulSymbol<false>(out, output.Start(), nullptr, lit, dist);
    }
    if (step == EStep::Overflow) output.Overflow(out);
    outRef = out;
    return step == EStep::EndOfBlock;
}

bool CInflater::Run(COutput& output) {
    u8* out = output.Start();
    bool ok = false;
    for (;;) {
        u32 header;
        if (!Bits(3, header)) break;
        const u32 type = header >> 1;
        bool blockOk;
        if (type == 0) {
            blockOk = Stored(output, out);
        } else if (type == 1) {
            const FixedTables& fixed = GetFixedTables(m_deflate64);
            blockOk = Codes(output, out, fixed.lit.data(), fixed.dist.data(), false);
        } else if (type == 2) {
            blockOk = ReadDynamicTables() && Codes(output, out, LitTable(), DistTable(), m_pairs);
        } else {
            blockOk = false;
        }
        if (!blockOk) break;
        if (header & 1) {
            ok = true;
            break;
        }
    }
    // A stream that needed bits beyond its end is truncated, whatever it decoded to.
    if (ok && m_exhausted && ConsumedBits() > (m_dataOffset + static_cast<u64>(m_end - m_data)) * 8) ok = false;
    if (output.Capped()) ok = true;
    if (output.Refused()) ok = false;
    if (ok) ok = output.Finish(out);
    if (!ok) output.Abandon(out);
    return ok;
}

// Reads a data bin from its current position in pieces.
class CBinSource : public inflate_detail::CInflateSource {
public:
    explicit CBinSource(CDataBin& bin) : m_bin(bin) {}
    std::size_t Pull(u8* to, std::size_t room) override {
        return m_bin.Read(to, static_cast<u32>(std::min<std::size_t>(room, 1u << 20)));
    }

private:
    CDataBin& m_bin;
};

// Appends to a data bin. A memory buffer written at its end grows by appending, without the
// zero-fill that writing past its end costs.
class CBinSink : public CInflateSink {
public:
    CBinSink(CDataBin& bin, std::uint64_t limit) : m_bin(bin), m_limit(std::min<std::uint64_t>(limit, kMaxOutput)) {
        m_buffer = dynamic_cast<CBuffer*>(&bin);
        if (m_buffer && m_buffer->Tell() != m_buffer->GetSize()) m_buffer = nullptr;
    }
    // Room for what the caller declared, as far as the input could possibly produce it.
    void Reserve(std::uint64_t inputBytes, bool deflate64) {
        if (!m_buffer || m_limit == kMaxOutput) return;
        // Best ratios: a 258-byte match in 2 bits; for deflate64 a 65,538-byte one in about 18.
        const std::uint64_t most = inputBytes * (deflate64 ? 29128 : 1032) + kWindow;
        const std::uint64_t want = m_buffer->GetSize() + std::min(m_limit, most);
        std::vector<u8>& bytes = m_buffer->Bytes();
        if (want > kMaxOutput) return;
        if (want > bytes.capacity()) bytes.reserve(static_cast<std::size_t>(want));
        inflate_detail::PrepareForWriting(bytes.data() + bytes.size(), static_cast<std::size_t>(want) - bytes.size());
    }
    bool Take(const u8* data, std::size_t count) override {
        if (m_written + count > m_limit) return false;
        m_written += count;
        if (m_buffer) {
            std::vector<u8>& bytes = m_buffer->Bytes();
            bytes.insert(bytes.end(), data, data + count);
            m_buffer->Seek(static_cast<u32>(bytes.size()));
            return true;
        }
        return m_bin.Write(data, static_cast<u32>(count)) == count;
    }

private:
    CDataBin& m_bin;
    CBuffer* m_buffer = nullptr;
    std::uint64_t m_limit;
    std::uint64_t m_written = 0;
};

bool InflateBins(CDataBin* input, CDataBin* output, bool deflate64, std::uint64_t limit) {
    if (!input || !output || !input->CanRead() || !output->CanWrite()) return false;
    const u32 inputStart = input->Tell();
    const u32 outputStart = output->Tell();
    CBinSource source(*input);
    CBinSink sink(*output, limit);
    sink.Reserve(input->GetSize() - std::min(inputStart, input->GetSize()), deflate64);
    std::uint64_t consumed = 0;
    // Output leaves in whole windows until the end, so that a failure leaves only whole ones.
    if (inflate_detail::InflateStream(source, sink, deflate64, kMaxOutput, kWindow, &consumed) !=
        inflate_detail::EStreamResult::Ended)
        return false;
    input->Seek(inputStart + static_cast<u32>(consumed));
    output->Seek(outputStart);
    return true;
}

}  // namespace

bool Inflate(CDataBin* input, CDataBin* output, std::uint64_t limit) {
    return InflateBins(input, output, false, limit);
}

bool Inflate64(CDataBin* input, CDataBin* output, std::uint64_t limit) {
    return InflateBins(input, output, true, limit);
}

namespace inflate_detail {

void PrepareForWriting(void* to, std::size_t bytes) {
#ifdef __linux__
    constexpr std::uintptr_t kPage = 4096;
    if (!to || bytes < (std::size_t(1) << 21)) return;
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(to) + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(to) + bytes) & ~(kPage - 1);
    if (end <= from) return;
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(from), end - from, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    madvise(reinterpret_cast<void*>(from), end - from, MADV_POPULATE_WRITE);
#endif
#else
    (void)to;
    (void)bytes;
#endif
}

bool InflateToVector(const u8* data, std::size_t size, bool deflate64, ByteVector& out, std::size_t* consumed,
                     std::size_t expected, std::size_t cap) {
    // Room for the expected size (as far as the input could possibly produce it) is taken at once;
    // without a hint, a guess from the input's size, grown as needed.
    const std::size_t origin = out.size();
    const u64 most = u64(size) * (deflate64 ? 29128 : 1032) + kWindow;
    const u64 guess = expected ? expected : std::min<u64>(u64(size) * 4 + 1024, u64(64) << 20);
    const u64 room = std::min<u64>({guess, cap, most, kMaxOutput});
    const u64 want = origin + room + 1 + kMargin;
    if (want > out.capacity()) {
        out.reserve(static_cast<std::size_t>(want));
        PrepareForWriting(out.data() + origin, out.capacity() - origin);
    }
    CVectorOutput output(out, std::min<u64>(cap, UINT64_MAX / 2), deflate64);
    CInflater inflater(data, size, deflate64);
    if (!inflater.Run(output)) {
        out.resize(origin);
        return false;
    }
    if (consumed) *consumed = static_cast<std::size_t>(inflater.ConsumedBytes());
    return true;
}

EStreamResult InflateStream(CInflateSource& source, CInflateSink& sink, bool deflate64, std::uint64_t cap,
                            std::size_t granule, std::uint64_t* consumedBytes) {
    cap = std::min<std::uint64_t>(cap, UINT64_MAX / 2);
    auto run = [&](COutput& output) {
        CInflater inflater(source, deflate64);
        if (!inflater.Run(output)) return output.Refused() ? EStreamResult::Refused : EStreamResult::Corrupt;
        if (output.Capped()) return EStreamResult::Capped;
        if (consumedBytes) *consumedBytes = inflater.ConsumedBytes();
        return EStreamResult::Ended;
    };
    std::size_t lentSize = 0;
    if (u8* lent = sink.Lend(lentSize)) {
        CLentOutput output(sink, lent, lentSize, cap, granule, deflate64);
        return run(output);
    }
    CSinkOutput output(sink, cap, granule, deflate64);
    return run(output);
}

}  // namespace inflate_detail

}  // namespace ove
