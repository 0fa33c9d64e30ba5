// JPEG pictures, decoded and converted to 32-bit the way images and backdrops are loaded.
#include "FuzzInput.h"
#include "image/ImageLoad.h"

using namespace ove;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CBuffer bin = fuzz::MakeBin(data, size);
    std::string error;
    DecodeImage(&bin, ImageFileFormat::JPEG, &error);
    return 0;
}
