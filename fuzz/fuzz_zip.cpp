// Plain ZIP archives (a game's data folder packed as a .zip).
#include "ZipTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ove::fuzz::RunZip(data, size, false, 0, {});
    return 0;
}
