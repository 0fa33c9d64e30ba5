// The tagged value format of script data files: each value is a one-byte tag and its payload,
// integers little-endian. Platform-free; reads and writes go through any CDataBin.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/DataBin.h"

namespace ove {

enum class ETag : u8 {
    kInt = 'I',        // i32
    kDouble = 'D',     // f64
    kString = 'S',     // u32 count, count UTF-16 code units
    kBinary = 'B',     // u32 count, count bytes
    kNull = 'N',       // no payload
    kUndefined = 'V',  // no payload
};

// One decoded value. Only the member matching the tag is meaningful.
struct STaggedValue {
    ETag tag = ETag::kUndefined;
    i32 integer = 0;
    double number = 0;
    std::vector<u16> units;  // kString
    std::string bytes;       // kBinary
};

enum class ETaggedRead {
    kOk,
    kCannotRead,  // the stream is not readable
    kEnd,         // no tag byte
    kUnknownTag,
    kShort,     // the payload ends early (or claims more than the stream holds)
    kTooLarge,  // a payload beyond kMaxTaggedPayload bytes
};

// Largest string or binary payload the reader accepts, in bytes. A hostile count cannot make it
// allocate more than this, nor more than the stream actually holds.
inline constexpr u32 kMaxTaggedPayload = 256u << 20;

// Reads one value at the stream's position. On any result but kOk `out` is unspecified.
ETaggedRead ReadTaggedValue(CDataBin& bin, STaggedValue& out);

// Each writes one complete value (tag and payload) and returns false when the stream took fewer
// bytes than that.
bool WriteTaggedInt(CDataBin& bin, i32 value);
bool WriteTaggedDouble(CDataBin& bin, double value);
bool WriteTaggedNull(CDataBin& bin);
bool WriteTaggedUndefined(CDataBin& bin);
bool WriteTaggedString(CDataBin& bin, const u16* units, u32 count);
bool WriteTaggedBinary(CDataBin& bin, const void* bytes, u32 count);

// Numbers that are integers in -2147483648 ... 2147483646 are stored as 'I'; every other number
// (fractions, NaN, infinities, 2147483647 and beyond) as 'D'.
bool IsTaggedInt(double value);

// The script engine's string form (UTF-8 in which each UTF-16 unit, surrogate halves included,
// is its own sequence of 1 to 3 bytes) to UTF-16 units. Four-byte sequences are taken as the
// surrogate pair of their code point. False at the first malformed sequence, whose byte offset
// goes to *badOffset when given; `units` then holds what came before it.
bool EngineStringToUnits(const char* text, std::size_t length, std::vector<u16>& units,
                         std::size_t* badOffset = nullptr);
// UTF-16 units to the engine's string form: 1, 2 or 3 bytes per unit.
void UnitsToEngineString(const u16* units, std::size_t count, std::string& out);

}  // namespace ove
