#include "Inflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <bit>

namespace ove {

namespace {

using u16 = std::uint16_t;
using u64 = std::uint64_t;

// ---- Decode tables
//
// A table entry is one u32:
//   bits 0-4   code length to consume (for a link: the primary table's bit count)
//   bits 8-12  extra bits that follow the code (lengths, distances); for a link: the sub-table's bit count
//   bit 13     literal byte
//   bit 14     link to a sub-table
//   bit 15     exceptional: value 0 = end of block, value 1 = invalid code
//   bits 16-31 value: literal byte, length or distance base, code-length symbol, sub-table offset
constexpr u32 kLiteral = 1u << 13;
constexpr u32 kLink = 1u << 14;
constexpr u32 kExceptional = 1u << 15;
constexpr u32 kEndOfBlock = kExceptional;
constexpr u32 kInvalid = kExceptional | (1u << 16);

constexpr u32 kLitBits = 10;   // primary literal/length table
constexpr u32 kDistBits = 8;   // primary distance table
constexpr u32 kClBits = 7;     // code-length codes are at most 7 bits long: no sub-tables
constexpr u32 kMaxCodeLen = 15;

// Upper bounds of the table sizes: a sub-table holds at least one code, there are at most as many
// sub-tables as symbols, and a sub-table spans at most 15 - primary bits.
constexpr u32 kLitTableSize = (1u << kLitBits) + 288 * (1u << (kMaxCodeLen - kLitBits));
constexpr u32 kDistTableSize = (1u << kDistBits) + 32 * (1u << (kMaxCodeLen - kDistBits));
constexpr u32 kClTableSize = 1u << kClBits;

constexpr u32 Entry(u32 value, u32 extra, u32 flags = 0) { return (value << 16) | (extra << 8) | flags; }

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
    static constexpr u8 kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
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

u32 ReverseBits(u32 code, u32 length) {
    u32 r = 0;
    for (u32 i = 0; i < length; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}

// Builds a decode table for the canonical code given by `lens`. Oversubscribed code sets are
// rejected; incomplete ones are accepted and their unused codes decode as invalid.
bool BuildTable(const u8* lens, u32 count, const u32* info, u32 tableBits, u32* table, u32 capacity) {
    u16 lenCount[kMaxCodeLen + 1] = {};
    for (u32 s = 0; s < count; ++s) lenCount[lens[s]]++;
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
    for (u32 s = 0; s < count; ++s)
        if (lens[s]) sorted[offset[lens[s]]++] = static_cast<u16>(s);

    const u32 primarySize = 1u << tableBits;
    std::fill(table, table + primarySize, kInvalid);

    // Longest code behind each primary prefix, to size the sub-tables.
    std::array<u8, 1u << kLitBits> subLen{};
    {
        u32 code = 0, prevLen = codes ? lens[sorted[0]] : 0;
        for (u32 k = 0; k < codes; ++k) {
            const u32 len = lens[sorted[k]];
            code <<= (len - prevLen);
            prevLen = len;
            if (len > tableBits) {
                const u32 prefix = ReverseBits(code, len) & (primarySize - 1);
                subLen[prefix] = static_cast<u8>(std::max<u32>(subLen[prefix], len));
            }
            ++code;
        }
    }

    u32 next = primarySize;  // where the next sub-table goes
    u32 code = 0, prevLen = codes ? lens[sorted[0]] : 0;
    for (u32 k = 0; k < codes; ++k) {
        const u32 sym = sorted[k];
        const u32 len = lens[sym];
        code <<= (len - prevLen);
        prevLen = len;
        const u32 rev = ReverseBits(code, len);
        ++code;
        const u32 entry = info[sym] | len;
        if (len <= tableBits) {
            for (u32 i = rev; i < primarySize; i += 1u << len) table[i] = entry;
            continue;
        }
        const u32 prefix = rev & (primarySize - 1);
        const u32 subBits = subLen[prefix] - tableBits;
        u32 link = table[prefix];
        if (!(link & kLink)) {
            if (next + (1u << subBits) > capacity) return false;
            std::fill(table + next, table + next + (1u << subBits), kInvalid);
            link = Entry(next, subBits, kLink) | tableBits;
            table[prefix] = link;
            next += 1u << subBits;
        }
        const u32 base = link >> 16;
        const u32 subEntry = info[sym] | (len - tableBits);
        for (u32 i = rev >> tableBits; i < (1u << subBits); i += 1u << (len - tableBits)) table[base + i] = subEntry;
    }
    return true;
}

struct FixedTables {
    std::array<u32, kLitTableSize> lit;
    std::array<u32, kDistTableSize> dist;
};

FixedTables MakeFixedTables(bool deflate64) {
    FixedTables t;
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
constexpr std::size_t kWindow = 65536;
constexpr std::size_t kMargin = 65536 + 64;  // longest deflate64 match (65,538) plus over-copy; any stored block
constexpr std::size_t kFlushChunk = 16 * kWindow;
constexpr std::size_t kMaxOutput = 0xFFFFFFFFu;  // streams are 32-bit

class COutput {
public:
    // Into a data bin, flushed in whole 64 KiB multiples.
    COutput(CDataBin* bin, std::uint64_t limit)
        : bin_(bin),
          limitBytes_(std::min<std::uint64_t>(limit, kMaxOutput)),
          buffer_(std::make_unique_for_overwrite<u8[]>(kWindow + kFlushChunk + kMargin)) {
        base_ = buffer_.get();
        start_ = base_ + kWindow;  // the window before it is unused until the first flush
        limit_ = start_ + kFlushChunk;
    }
    // Appending to a vector that also serves as the window; decoding stops after `cap` bytes.
    COutput(std::vector<u8>& vec, std::size_t expected, std::size_t cap)
        : vec_(&vec), origin_(vec.size()), cap_(cap) {
        vec.resize(origin_ + std::min({std::max<std::size_t>(expected, 4096), cap_, kMaxOutput}) + kMargin);
        SetVectorPointers();
    }

    u8* Start() const { return start_; }
    u8* Limit() const { return limit_; }
    // True once the vector output reached its cap: the decoder stopped there on purpose.
    bool Capped() const { return capped_; }

    // Called when the write pointer has passed the limit; returns the (possibly moved) write pointer.
    u8* MakeRoom(u8* out) {
        if (vec_) {
            const std::size_t used = out - base_;
            if (used - origin_ >= cap_) {
                capped_ = true;
                return nullptr;
            }
            if (used - origin_ >= kMaxOutput) return nullptr;
            const std::size_t room = std::min(cap_, kMaxOutput) - (used - origin_);  // what may still come
            const std::size_t grown = used + std::min(std::max(vec_->size(), kMargin), room) + kMargin;
            vec_->resize(grown);
            SetVectorPointers();
            return base_ + used;
        }
        // Write the chunk, keep the last window and what lies beyond the chunk.
        if (!Emit(kFlushChunk)) return nullptr;
        const std::size_t keep = out - (base_ + kFlushChunk);
        std::memmove(base_, base_ + kFlushChunk, keep);
        start_ = base_;  // the whole window is now real output
        return base_ + keep;
    }

    // Successful end: everything pending goes out.
    bool Finish(u8* out) {
        if (vec_) {
            vec_->resize(origin_ + std::min<std::size_t>(out - start_, cap_));
            return true;
        }
        return Emit(out - (base_ + kWindow));
    }

    // Failed end: only whole windows leave, as a block-by-block writer would have left them.
    void Abandon(u8* out) {
        if (vec_) {
            vec_->resize(origin_);
            return;
        }
        const std::size_t pending = out - (base_ + kWindow);
        Emit(pending - pending % kWindow);
    }

private:
    void SetVectorPointers() {
        base_ = vec_->data();
        start_ = base_ + origin_;
        limit_ = start_ + std::min(vec_->size() - kMargin - origin_, cap_);
    }
    bool Emit(std::size_t count) {
        if (count == 0) return true;
        if (written_ + count > limitBytes_) return false;
        written_ += count;
        return bin_->Write(base_ + kWindow, static_cast<u32>(count)) == count;
    }

    CDataBin* bin_ = nullptr;
    std::uint64_t limitBytes_ = kMaxOutput;  // a stream producing more is refused
    std::unique_ptr<u8[]> buffer_;  // not zeroed: nothing before the first byte produced is ever read
    std::vector<u8>* vec_ = nullptr;
    std::size_t origin_ = 0;
    std::size_t written_ = 0;
    std::size_t cap_ = kMaxOutput;
    bool capped_ = false;
    u8* base_ = nullptr;
    u8* start_ = nullptr;  // first byte of this stream's output: references may not go before it
    u8* limit_ = nullptr;
};

inline u64 Load64(const u8* p) {
    u64 v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

// ---- The decoder

class CInflater {
public:
    CInflater(const u8* data, std::size_t size, bool deflate64) : deflate64_(deflate64) {
        if (size < 8) {
            // Tiny inputs are decoded from a zero-padded copy so that whole-word loads stay inside it.
            if (size) std::memcpy(tiny_, data, size);
            data = tiny_;
            fastEnd_ = data + size;
        } else {
            fastEnd_ = data + size - 8;
        }
        data_ = in_ = data;
        end_ = data + size;
    }

    bool Run(COutput& output);
    std::size_t ConsumedBytes() const { return (ConsumedBits() + 7) / 8; }

private:
    std::size_t ConsumedBits() const { return static_cast<std::size_t>(in_ - data_) * 8 - bitsLeft_; }

    // Tops the bit buffer up to at least 56 bits. False once the stream has read past its end
    // by more than the buffer can explain (a corrupt or truncated stream).
    bool Refill() {
        if (in_ <= fastEnd_) [[likely]] {
            bitBuf_ |= Load64(in_) << bitsLeft_;
            in_ += (63 - bitsLeft_) >> 3;
            bitsLeft_ |= 56;
            return true;
        }
        return RefillTail();
    }
    bool RefillTail();
    bool Bits(u32 n, u32& value) {
        if (bitsLeft_ < n && !Refill()) return false;
        value = static_cast<u32>(bitBuf_ & ((u64{1} << n) - 1));
        bitBuf_ >>= n;
        bitsLeft_ -= n;
        return true;
    }
    bool ReadDynamicTables();
    bool Stored(COutput& output, u8*& out);
    bool Codes(COutput& output, u8*& out, const u32* lit, const u32* dist);

    const u8* data_ = nullptr;
    const u8* in_ = nullptr;
    const u8* end_ = nullptr;
    const u8* fastEnd_ = nullptr;
    u64 bitBuf_ = 0;
    u32 bitsLeft_ = 0;
    bool deflate64_;
    u8 tiny_[16] = {};
    std::vector<u32> litTable_;
    std::vector<u32> distTable_;
};

bool CInflater::RefillTail() {
    if (in_ > end_ + 8) return false;
    u64 v = 0;
    for (u32 i = 0; i < 8 && in_ + i < end_; ++i) v |= u64{in_[i]} << (8 * i);
    bitBuf_ |= v << bitsLeft_;
    in_ += (63 - bitsLeft_) >> 3;
    bitsLeft_ |= 56;
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
        const u32 e = clTable[bitBuf_ & (kClTableSize - 1)];
        if (e & kExceptional) return false;
        const u32 len = e & 31;
        bitBuf_ >>= len;
        bitsLeft_ -= len;
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
    const SymbolInfo& info = GetSymbolInfo(deflate64_);
    litTable_.resize(kLitTableSize);
    distTable_.resize(kDistTableSize);
    return BuildTable(lens, hlit, info.lit.data(), kLitBits, litTable_.data(), kLitTableSize) &&
           BuildTable(lens + hlit, hdist, info.dist.data(), kDistBits, distTable_.data(), kDistTableSize);
}

bool CInflater::Stored(COutput& output, u8*& out) {
    // Drop to the byte boundary; the bytes still in the bit buffer are given back.
    const u32 drop = bitsLeft_ & 7;
    bitBuf_ >>= drop;
    bitsLeft_ -= drop;
    const u8* p = in_ - bitsLeft_ / 8;
    bitBuf_ = 0;
    bitsLeft_ = 0;
    if (end_ - p < 4) return false;
    const u32 len = p[0] | (p[1] << 8);  // NLEN (p[2], p[3]) is not checked
    p += 4;
    if (static_cast<std::size_t>(end_ - p) < len) return false;
    if (out >= output.Limit()) {
        u8* moved = output.MakeRoom(out);
        if (!moved) return false;
        out = moved;
    }
    std::memcpy(out, p, len);
    out += len;
    in_ = p + len;
    return true;
}

bool CInflater::Codes(COutput& output, u8*& outRef, const u32* lit, const u32* dist) {
    constexpr u32 litMask = (1u << kLitBits) - 1;
    constexpr u32 distMask = (1u << kDistBits) - 1;
    // Everything the loop touches lives in locals: byte stores through `out` could alias members.
    u8* out = outRef;
    u8* limit = output.Limit();
    const u8* start = output.Start();
    const u8* in = in_;
    const u8* const fastEnd = fastEnd_;
    u64 bitBuf = bitBuf_;
    u32 bitsLeft = bitsLeft_;
    bool ok = false;
#define OVE_REFILL()                                                     \
    do {                                                                 \
        if (in <= fastEnd) [[likely]] {                                  \
            bitBuf |= Load64(in) << bitsLeft;                            \
            in += (63 - bitsLeft) >> 3;                                  \
            bitsLeft |= 56;                                              \
        } else {                                                         \
            in_ = in, bitBuf_ = bitBuf, bitsLeft_ = bitsLeft;            \
            if (!RefillTail()) goto done;                                \
            in = in_, bitBuf = bitBuf_, bitsLeft = bitsLeft_;            \
        }                                                                \
    } while (0)

    for (;;) {
        if (out >= limit) [[unlikely]] {
            u8* moved = output.MakeRoom(out);
            if (!moved) goto done;
            out = moved;
            limit = output.Limit();
            start = output.Start();
        }
        OVE_REFILL();
        u32 e = lit[bitBuf & litMask];
        if (e & kLink) [[unlikely]] {
            bitBuf >>= kLitBits;
            bitsLeft -= kLitBits;
            e = lit[(e >> 16) + (bitBuf & ((1u << ((e >> 8) & 31)) - 1))];
        }
        {
            const u32 len = e & 31;
            bitBuf >>= len;
            bitsLeft -= len;
        }
        if (e & kLiteral) {
            *out++ = static_cast<u8>(e >> 16);
            continue;
        }
        if (e & kExceptional) [[unlikely]] {
            ok = (e >> 16) == 0;  // end of block; anything else is an unused code
            goto done;
        }
        u32 length;
        {
            const u32 extra = (e >> 8) & 31;
            length = (e >> 16) + static_cast<u32>(bitBuf & ((u64{1} << extra) - 1));
            bitBuf >>= extra;
            bitsLeft -= extra;
        }
        OVE_REFILL();
        e = dist[bitBuf & distMask];
        if (e & kLink) [[unlikely]] {
            bitBuf >>= kDistBits;
            bitsLeft -= kDistBits;
            e = dist[(e >> 16) + (bitBuf & ((1u << ((e >> 8) & 31)) - 1))];
        }
        if (e & kExceptional) [[unlikely]]
            goto done;
        u32 distance;
        {
            const u32 len = e & 31;
            bitBuf >>= len;
            bitsLeft -= len;
            const u32 extra = (e >> 8) & 31;
            distance = (e >> 16) + static_cast<u32>(bitBuf & ((u64{1} << extra) - 1));
            bitBuf >>= extra;
            bitsLeft -= extra;
        }
        if (distance > static_cast<std::size_t>(out - start)) [[unlikely]]
            goto done;  // reaches before the start of the output
        const u8* src = out - distance;
        u8* const stop = out + length;
        if (distance >= 16) {
            do {
                std::memcpy(out, src, 16);
                out += 16;
                src += 16;
            } while (out < stop);
        } else if (distance >= 8) {
            do {
                std::memcpy(out, src, 8);
                out += 8;
                src += 8;
            } while (out < stop);
        } else if (distance == 1) {
            std::memset(out, *src, length);
        } else {
            for (u32 i = 0; i < length; ++i) out[i] = src[i];
        }
        out = stop;
    }
done:
#undef OVE_REFILL
    in_ = in;
    bitBuf_ = bitBuf;
    bitsLeft_ = bitsLeft;
    outRef = out;
    return ok;
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
            const FixedTables& fixed = GetFixedTables(deflate64_);
            blockOk = Codes(output, out, fixed.lit.data(), fixed.dist.data());
        } else if (type == 2) {
            blockOk = ReadDynamicTables() && Codes(output, out, litTable_.data(), distTable_.data());
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
    if (ok && ConsumedBits() > static_cast<std::size_t>(end_ - data_) * 8) ok = false;
    if (output.Capped()) ok = true;
    if (ok) ok = output.Finish(out);
    if (!ok) output.Abandon(out);
    return ok;
}

bool InflateBins(CDataBin* input, CDataBin* output, bool deflate64, std::uint64_t limit) {
    if (!input || !output || !input->CanRead() || !output->CanWrite()) return false;
    const u32 inputStart = input->Tell();
    const u32 outputStart = output->Tell();
    const std::vector<u8> data = ReadAll(*input);
    COutput sink(output, limit);
    CInflater inflater(data.data(), data.size(), deflate64);
    if (!inflater.Run(sink)) return false;
    input->Seek(inputStart + static_cast<u32>(inflater.ConsumedBytes()));
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

bool InflateToVector(const u8* data, std::size_t size, bool deflate64, std::vector<u8>& out, std::size_t* consumed,
                     std::size_t expected, std::size_t cap) {
    COutput sink(out, expected, cap);
    CInflater inflater(data, size, deflate64);
    if (!inflater.Run(sink)) return false;
    if (consumed) *consumed = inflater.ConsumedBytes();
    return true;
}

}  // namespace inflate_detail

}  // namespace ove
