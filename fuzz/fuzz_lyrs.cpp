// LYRS tile-layer files: the records, then the layers built from them (without views).
#include "FuzzInput.h"
#include "tiles/TileLayerSet.h"

using namespace ove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBuffer bin = fuzz::MakeBin(data, size);
    SLayerFile file;
    std::string error;
    if (ReadLayerFile(bin, file, error)) {
        CBuffer out;
        WriteLayerFile(out, file);
    }
    bin.Seek(0);
    CTileLayerSet set;
    std::optional<std::string> properties;
    set.Load(bin, properties, error);
    return 0;
}
