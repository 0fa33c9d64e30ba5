// Raw Deflate64 streams as archive entries hold them.
#include "FuzzInput.h"
#include "io/Inflate.h"

using namespace ove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBuffer in = fuzz::MakeBin(data, size);
    CBuffer out;
    Inflate64(&in, &out, std::uint64_t(8) << 20);
    return 0;
}
