// The tagged value format of files written and read by scripts. Every value read must write back
// to the same bytes and read again to the same value.
#include <cstring>

#include "FuzzInput.h"
#include "data/TaggedValues.h"

using namespace ove;

static void WriteBack(CDataBin& bin, const STaggedValue& v) {
    switch (v.tag) {
    case ETag::kInt: WriteTaggedInt(bin, v.integer); break;
    case ETag::kDouble: WriteTaggedDouble(bin, v.number); break;
    case ETag::kString: WriteTaggedString(bin, v.units.data(), u32(v.units.size())); break;
    case ETag::kBinary: WriteTaggedBinary(bin, v.bytes.data(), u32(v.bytes.size())); break;
    case ETag::kNull: WriteTaggedNull(bin); break;
    case ETag::kUndefined: WriteTaggedUndefined(bin); break;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBuffer bin = fuzz::MakeBin(data, size);
    for (int i = 0; i < 1024; ++i) {
        u32 start = bin.Tell();
        STaggedValue v;
        if (ReadTaggedValue(bin, v) != ETaggedRead::kOk) break;
        u32 end = bin.Tell();
        CBuffer out;
        WriteBack(out, v);
        if (out.GetSize() != end - start || std::memcmp(out.Bytes().data(), data + start, end - start) != 0)
            __builtin_trap();
        if (v.tag == ETag::kString) {
            std::string text;
            UnitsToEngineString(v.units.data(), v.units.size(), text);
            std::vector<u16> units;
            EngineStringToUnits(text.data(), text.size(), units);
        }
    }
    return 0;
}
