// Packed game archives: the engine's own signature and the traditional ZIP cipher.
#include "ZipTarget.h"
#include "data/PackedArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ove::fuzz::RunZip(data, size, true, ove::PackedArchiveSignature(), ove::PackedArchivePassword());
    return 0;
}
