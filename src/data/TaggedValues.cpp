#include "TaggedValues.h"

#include <algorithm>
#include <cstring>

namespace ove {

namespace {

void PutU32(u8* p, u32 v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<u8>(v >> (8 * i));
}

u32 GetU32(const u8* p) { return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24; }

bool WriteAll(CDataBin& bin, const u8* data, std::size_t count) {
    return bin.Write(data, static_cast<u32>(count)) == count;
}

bool ReadExact(CDataBin& bin, void* data, u32 count) { return bin.Read(data, count) == count; }

// Reads `count` bytes into `out` in slices, so that memory grows only with bytes that really
// arrive, whatever the stream claims its size is.
bool ReadPayload(CDataBin& bin, u32 count, std::string& out) {
    constexpr u32 kSlice = 1u << 20;
    out.clear();
    while (out.size() < count) {
        u32 want = std::min<u32>(kSlice, count - static_cast<u32>(out.size()));
        std::size_t at = out.size();
        out.resize(at + want);
        u32 got = bin.Read(out.data() + at, want);
        if (got < want) {
            out.resize(at + got);
            return false;
        }
    }
    return true;
}

// Payload of 'S' or 'B': the count, the size check and the bytes.
ETaggedRead ReadCounted(CDataBin& bin, u32 unitSize, std::string& bytes) {
    u8 raw[4];
    if (!ReadExact(bin, raw, 4)) return ETaggedRead::kShort;
    const std::uint64_t length = std::uint64_t(GetU32(raw)) * unitSize;
    if (length > kMaxTaggedPayload) return ETaggedRead::kTooLarge;
    const u32 size = bin.GetSize(), pos = bin.Tell();
    if (length > (size > pos ? size - pos : 0)) return ETaggedRead::kShort;
    return ReadPayload(bin, static_cast<u32>(length), bytes) ? ETaggedRead::kOk : ETaggedRead::kShort;
}

bool WriteCounted(CDataBin& bin, ETag tag, const u8* payload, u32 count, u32 byteCount) {
    std::vector<u8> out(5 + std::size_t(byteCount));
    out[0] = static_cast<u8>(tag);
    PutU32(&out[1], count);
    if (byteCount) std::memcpy(&out[5], payload, byteCount);
    return WriteAll(bin, out.data(), out.size());
}

}  // namespace

ETaggedRead ReadTaggedValue(CDataBin& bin, STaggedValue& out) {
    if (!bin.CanRead()) return ETaggedRead::kCannotRead;
    u8 tag = 0;
    if (bin.Read(&tag, 1) != 1) return ETaggedRead::kEnd;
    u8 raw[8];
    switch (tag) {
    case 'I':
        if (!ReadExact(bin, raw, 4)) return ETaggedRead::kShort;
        out.integer = static_cast<i32>(GetU32(raw));
        break;
    case 'D': {
        if (!ReadExact(bin, raw, 8)) return ETaggedRead::kShort;
        std::uint64_t bits = GetU32(raw) | std::uint64_t(GetU32(raw + 4)) << 32;
        std::memcpy(&out.number, &bits, 8);
        break;
    }
    case 'S': {
        std::string bytes;
        if (ETaggedRead r = ReadCounted(bin, 2, bytes); r != ETaggedRead::kOk) return r;
        out.units.resize(bytes.size() / 2);
        for (std::size_t i = 0; i < out.units.size(); ++i)
            out.units[i] = static_cast<u16>(u8(bytes[2 * i]) | u8(bytes[2 * i + 1]) << 8);
        break;
    }
    case 'B':
        if (ETaggedRead r = ReadCounted(bin, 1, out.bytes); r != ETaggedRead::kOk) return r;
        break;
    case 'N':
    case 'V': break;
    default: return ETaggedRead::kUnknownTag;
    }
    out.tag = static_cast<ETag>(tag);
    return ETaggedRead::kOk;
}

bool WriteTaggedInt(CDataBin& bin, i32 value) {
    u8 out[5] = {'I'};
    PutU32(out + 1, static_cast<u32>(value));
    return WriteAll(bin, out, sizeof out);
}

bool WriteTaggedDouble(CDataBin& bin, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    u8 out[9] = {'D'};
    PutU32(out + 1, static_cast<u32>(bits));
    PutU32(out + 5, static_cast<u32>(bits >> 32));
    return WriteAll(bin, out, sizeof out);
}

bool WriteTaggedNull(CDataBin& bin) {
    const u8 tag = 'N';
    return WriteAll(bin, &tag, 1);
}

bool WriteTaggedUndefined(CDataBin& bin) {
    const u8 tag = 'V';
    return WriteAll(bin, &tag, 1);
}

bool WriteTaggedString(CDataBin& bin, const u16* units, u32 count) {
    if (count > 0x7FFFFFFFu) return false;  // the payload length would not fit the stream
    std::vector<u8> le(std::size_t(count) * 2);
    for (u32 i = 0; i < count; ++i) {
        le[2 * i] = static_cast<u8>(units[i]);
        le[2 * i + 1] = static_cast<u8>(units[i] >> 8);
    }
    return WriteCounted(bin, ETag::kString, le.data(), count, count * 2);
}

bool WriteTaggedBinary(CDataBin& bin, const void* bytes, u32 count) {
    return WriteCounted(bin, ETag::kBinary, static_cast<const u8*>(bytes), count, count);
}

bool IsTaggedInt(double value) {
    // NaN fails every comparison and lands in 'D' with the infinities.
    return value >= -2147483648.0 && value < 2147483647.0 && value == static_cast<double>(static_cast<i32>(value));
}

bool EngineStringToUnits(const char* text, std::size_t length, std::vector<u16>& units, std::size_t* badOffset) {
    const u8* s = reinterpret_cast<const u8*>(text);
    units.clear();
    units.reserve(length);
    std::size_t i = 0;
    auto continuation = [&](std::size_t at) { return at < length && (s[at] & 0xC0) == 0x80; };
    while (i < length) {
        const u8 b = s[i];
        if (b < 0x80) {
            units.push_back(b);
            i += 1;
        } else if (b >= 0xC0 && b <= 0xDF && continuation(i + 1)) {
            units.push_back(static_cast<u16>((b & 0x1F) << 6 | (s[i + 1] & 0x3F)));
            i += 2;
        } else if (b >= 0xE0 && b <= 0xEF && continuation(i + 1) && continuation(i + 2)) {
            // 0xED leads the surrogate halves, which is how the engine keeps characters beyond
            // U+FFFF: they are units like any other.
            units.push_back(static_cast<u16>((b & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F)));
            i += 3;
        } else if (b >= 0xF0 && b <= 0xF4 && continuation(i + 1) && continuation(i + 2) && continuation(i + 3)) {
            u32 cp = u32(b & 0x07) << 18 | u32(s[i + 1] & 0x3F) << 12 | u32(s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F);
            if (cp < 0x10000 || cp > 0x10FFFF) break;
            cp -= 0x10000;
            units.push_back(static_cast<u16>(0xD800 | cp >> 10));
            units.push_back(static_cast<u16>(0xDC00 | (cp & 0x3FF)));
            i += 4;
        } else {
            break;
        }
    }
    if (i == length) return true;
    if (badOffset) *badOffset = i;
    return false;
}

void UnitsToEngineString(const u16* units, std::size_t count, std::string& out) {
    out.clear();
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const u16 u = units[i];
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | u >> 6));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | u >> 12));
            out.push_back(static_cast<char>(0x80 | (u >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
}

}  // namespace ove
